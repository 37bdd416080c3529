// Path splitting for both path styles, including double-byte names whose trail byte is 0x5C.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "shell/Paths.h"

namespace ka {
namespace {

// 0x95 0x5C is one character of code page 932; its second byte is the code of "\".
const std::string kTrail5C = "\x95\x5C";

struct SplitRow {
    const char* what;
    PathRules rules;
    std::string path;
    std::string folder;
    std::string name;
    bool endsWithSeparator;
};

TEST(Paths, FolderAndNameParts) {
    const PathRules win = PathRules::Windows(1252);
    const PathRules sjis = PathRules::Windows(932);
    const PathRules posix = PathRules::Posix();
    const SplitRow rows[] = {
        {"plain", win, "C:\\In\\a.hgl", "C:\\In\\", "a.hgl", false},
        {"drive only", win, "C:a.hgl", "C:", "a.hgl", false},
        {"name only", win, "a.hgl", "", "a.hgl", false},
        {"folder", win, "C:\\In\\", "C:\\In\\", "", true},
        {"drive root", win, "C:\\", "C:\\", "", true},
        {"bare drive", win, "C:", "C:", "", false},
        {"network", win, "\\\\server\\share\\x.hgl", "\\\\server\\share\\", "x.hgl", false},
        {"slash is no separator", win, "C:/In/a.hgl", "C:", "/In/a.hgl", false},
        {"empty", win, "", "", "", false},
        {"932 folder name", sjis, "C:\\" + kTrail5C + "\\a.hgl", "C:\\" + kTrail5C + "\\", "a.hgl",
         false},
        {"932 file name", sjis, "C:\\In\\" + kTrail5C, "C:\\In\\", kTrail5C, false},
        {"932 name alone", sjis, kTrail5C, "", kTrail5C, false},
        {"932 two in a row", sjis, "D:\\" + kTrail5C + kTrail5C + "\\x",
         "D:\\" + kTrail5C + kTrail5C + "\\", "x", false},
        {"932 half-width kana", sjis, "C:\\\xB1\\a", "C:\\\xB1\\", "a", false},
        {"932 lead byte last", sjis, "C:\\In\\\x95", "C:\\In\\", "\x95", false},
        {"1252 reads 0x5C as separator", win, "C:\\In\\" + kTrail5C, "C:\\In\\\x95\\", "", true},
        {"posix", posix, "/in/a.hgl", "/in/", "a.hgl", false},
        {"posix root", posix, "/", "/", "", true},
        {"posix relative", posix, "a.hgl", "", "a.hgl", false},
        {"posix backslash is a name", posix, "/in/C:\\a", "/in/", "C:\\a", false},
    };
    for (const SplitRow& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(FolderPart(row.path, row.rules), row.folder);
        EXPECT_EQ(NamePart(row.path, row.rules), row.name);
        EXPECT_EQ(FolderPart(row.path, row.rules) + NamePart(row.path, row.rules), row.path);
        EXPECT_EQ(EndsWithSeparator(row.path, row.rules), row.endsWithSeparator);
    }
}

TEST(Paths, TrailingSeparatorAndJoin) {
    const PathRules win = PathRules::Windows(1252);
    const PathRules sjis = PathRules::Windows(932);
    const PathRules posix = PathRules::Posix();
    struct Row {
        const char* what;
        PathRules rules;
        std::string folder;
        std::string withSeparator;
    };
    const Row rows[] = {
        {"empty stays empty", win, "", ""},
        {"folder", win, "C:\\In", "C:\\In\\"},
        {"has one", win, "C:\\In\\", "C:\\In\\"},
        {"drive", win, "C:", "C:\\"},
        {"932 trail byte", sjis, "C:\\" + kTrail5C, "C:\\" + kTrail5C + "\\"},
        {"posix", posix, "/in", "/in/"},
        {"posix has one", posix, "/in/", "/in/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(WithTrailingSeparator(row.folder, row.rules), row.withSeparator);
        EXPECT_EQ(JoinPath(row.folder, "a.hgl", row.rules), row.withSeparator + "a.hgl");
    }
}

TEST(Paths, LastSeparatorPosition) {
    EXPECT_EQ(LastSeparatorPos("C:\\In\\a", PathRules::Windows(1252)), 5u);
    EXPECT_EQ(LastSeparatorPos("C:" + kTrail5C, PathRules::Windows(932)), 1u);
    EXPECT_EQ(LastSeparatorPos(kTrail5C + "a", PathRules::Windows(932)), std::string::npos);
    EXPECT_EQ(LastSeparatorPos("/a/b", PathRules::Posix()), 2u);
    EXPECT_EQ(LastSeparatorPos("ab", PathRules::Posix()), std::string::npos);
}

TEST(Paths, AsciiLowerLeavesOtherBytesAlone) {
    EXPECT_EQ(AsciiLower("ABC.Hgl"), "abc.hgl");
    EXPECT_EQ(AsciiLower("\xC4\x82\x60Z"), "\xC4\x82\x60z");
    EXPECT_EQ(AsciiLower(""), "");
}

TEST(Paths, NativeRulesAreThisSystems) {
    const PathRules native = PathRules::Native();
    EXPECT_EQ(native.codePage, platform::ActiveCodePage());
    // Whatever the style, a path built with it splits back into its parts.
    const std::string path = JoinPath(JoinPath("top", "sub", native), "a.hgl", native);
    EXPECT_EQ(NamePart(path, native), "a.hgl");
    EXPECT_EQ(FolderPart(path, native),
              WithTrailingSeparator(JoinPath("top", "sub", native), native));
}

}  // namespace
}  // namespace ka
