// The operating-system layer against real folders, files and processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/platform.h"
#include "platform/platform_detail.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace ka::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadLfLines;
using test::TempDir;
using test::WriteFileBytes;

bool IsWindows() {
    return PathRules::Native().style == PathStyle::Windows;
}

// ---- Pure rules ------------------------------------------------------------------------------

TEST(Wildcard, FollowsTheDirectorySearchRules) {
    struct Row {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Row rows[] = {
        {"*", "abc", true},
        {"*", ".", true},
        {"*.*", "abc", true},  // no dot needed
        {"*.*", "..", true},
        {"*.*", ".profile", true},
        {"*.hgl", "a.hgl", true},
        {"*.hgl", "A.HGL", true},  // case-insensitive
        {"*.HGL", "a.hgl", true},
        {"*.hgl", "a.b.hgl", true},
        {"*.hgl", ".hgl", true},
        {"*.hgl", "a.hgl.bak", false},
        {"*.hgl", "ahgl", false},
        {"*.hgl", "a.hgl ", false},
        {"*.h?l", "x.hpl", true},
        {"*.h?l", "x.hl", false},
        {"?.hgl", "a.hgl", true},
        {"?.hgl", "ab.hgl", false},
        {"a??.txt", "a.txt", true},  // "?" before a dot may match nothing
        {"a??.txt", "ab.txt", true},
        {"a??.txt", "abcd.txt", false},
        {"???", "ab", true},
        {"???", "abcd", false},
        {"a?c", "a.c", false},
        {"*.", "readme", true},  // "*." lists names without an extension
        {"*.", "readme.txt", false},
        {"a*.*", "abc", true},
        {"a*.*", "abc.def", true},
        {"a*.*", "bcd", false},
        {"*abc*", "xxABCxx", true},
        {"a.b", "a.b", true},
        {"a.b", "a.bc", false},
        {"Data_*.hgl", "data_01.hgl", true},
        {"Data_*.hgl", "data01.hgl", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.pattern) + " vs " + row.name);
        const detail::WildcardMatcher matcher(row.pattern);
        EXPECT_EQ(matcher.Matches(row.name), row.matches);
        // A matcher is reused for many names: a second call must give the same answer.
        EXPECT_EQ(matcher.Matches(row.name), row.matches);
    }
}

TEST(SplitCommandLine, FollowsTheWindowsRuntimeRules) {
    struct Row {
        std::string line;
        std::vector<std::string> args;
    };
    const Row rows[] = {
        {"a b\tc", {"a", "b", "c"}},
        {"  a   b  ", {"a", "b"}},
        {"", {}},
        {" \t ", {}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        {"a\\b\\\\c", {"a\\b\\\\c"}},       // backslashes not before a quote are literal
        {"a\\\\\"b c\"", {"a\\b c"}},       // 2n backslashes + quote: n, quote toggles
        {"a\\\"b", {"a\"b"}},               // 2n+1 backslashes + quote: n and a quote
        {"a\\\\\\\"b", {"a\\\"b"}},         // three backslashes + quote
        {"\"a\"\"b\"", {"a\"b"}},           // doubled quote inside quotes
        {"\"a\"\"b c\"", {"a\"b c"}},       // quoting goes on after a doubled quote
        {"\"a\"\"\"b c\"", {"a\"b", "c"}},  // a third quote closes it
        {"\"unterminated b", {"unterminated b"}},
        {"/p \"C:\\In\\a.hgl\" \"/oD:\\Out\\a.pdf\"", {"/p", "C:\\In\\a.hgl", "/oD:\\Out\\a.pdf"}},
        {"\"C:\\In\\\" x", {"C:\\In\" x"}},  // a closing quote after "\" is a literal quote
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(detail::SplitCommandLine(row.line, 1252), row.args);
    }
}

TEST(SplitCommandLine, KeepsDoubleByteCharactersWhole) {
    // 0x95 0x5C is one character in code page 932; its trail byte is no backslash.
    const std::string name = "\"C:\\In\\\x95\x5C\" next";
    EXPECT_EQ(detail::SplitCommandLine(name, 932),
              (std::vector<std::string>{"C:\\In\\\x95\x5C", "next"}));
    EXPECT_EQ(detail::SplitCommandLine(name, 1252),
              (std::vector<std::string>{"C:\\In\\\x95\" next"}));
}

TEST(SplitProgramName, TakesQuotesButNoEscapes) {
    struct Row {
        std::string line;
        std::string program;
        std::string rest;
    };
    const Row rows[] = {
        {"\"C:\\Program Files\\K\\Korvane.exe\" /z \"x\"", "C:\\Program Files\\K\\Korvane.exe",
         " /z \"x\""},
        {"prog a", "prog", " a"},
        {"  \"C:\\dir\\\" a", "C:\\dir\\", " a"},
        {"a\"b c\"d e", "ab cd", " e"},
        {"", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        std::string rest;
        EXPECT_EQ(detail::SplitProgramName(row.line, rest), row.program);
        EXPECT_EQ(rest, row.rest);
    }
}

TEST(CodePageAndTime, LeadBytesAndTheDosRange) {
    EXPECT_TRUE(IsLeadByte(932, 0x95));
    EXPECT_TRUE(IsLeadByte(932, 0xFC));
    EXPECT_FALSE(IsLeadByte(932, 0xA0));
    EXPECT_FALSE(IsLeadByte(932, 0xB1));  // half-width katakana is one byte
    EXPECT_TRUE(IsLeadByte(936, 0xFE));
    EXPECT_TRUE(IsLeadByte(949, 0xB0));
    EXPECT_FALSE(IsLeadByte(950, 0x80));
    EXPECT_FALSE(IsLeadByte(1252, 0x95));
    EXPECT_FALSE(IsLeadByte(65001, 0xE3));
    // Times outside the DOS range (1980 to 2107) have no DOS form.
    EXPECT_EQ(detail::DosDateTime(1979, 12, 31, 23, 59, 59), 0u);
    EXPECT_EQ(detail::DosDateTime(2108, 1, 1, 0, 0, 0), 0u);
}

TEST(Utf8ToSystem, GivesTheSystemCodePagesBytes) {
    const std::string kanji = "\xE8\xA1\xA8";  // U+8868, 0x95 0x5C in code page 932
    switch (ActiveCodePage()) {
        case 932:
            EXPECT_EQ(Utf8ToSystem("a" + kanji), "a\x95\x5C");
            break;
        case 1252:
            EXPECT_EQ(Utf8ToSystem("caf\xC3\xA9"), "caf\xE9");
            break;
        default:
            EXPECT_EQ(Utf8ToSystem("a" + kanji), "a" + kanji);
            break;
    }
}

TEST(TextSortKey, OrdersNamesIgnoringCase) {
    EXPECT_LT(TextSortKey("a.hgl"), TextSortKey("B.hgl"));
    EXPECT_LT(TextSortKey("B.hgl"), TextSortKey("c.hgl"));
    EXPECT_EQ(TextSortKey("A.hgl"), TextSortKey("a.hgl"));
    EXPECT_NE(TextSortKey("a.hgl"), TextSortKey("b.hgl"));
    EXPECT_LT(TextSortKey("a"), TextSortKey("ab"));
    if (ActiveCodePage() == 65001) {
        // Letters beyond ASCII fold too.
        EXPECT_EQ(TextSortKey("\xC3\x89t\xC3\xA9.hgl"), TextSortKey("\xC3\xA9t\xC3\xA9.hgl"));
    }

    std::vector<std::string> names = {"delta.hgl", "Bravo.hgl", "alpha.hgl", "Charlie.hgl"};
    std::sort(names.begin(), names.end(), [](const std::string& x, const std::string& y) {
        return TextSortKey(x) < TextSortKey(y);
    });
    EXPECT_EQ(names,
              (std::vector<std::string>{"alpha.hgl", "Bravo.hgl", "Charlie.hgl", "delta.hgl"}));
}

// ---- Files and folders -----------------------------------------------------------------------

class PlatformFiles : public ::testing::Test {
  protected:
    TempDir tmp;
};

TEST_F(PlatformFiles, FindEntriesListsMatchingEntriesOfEveryKind) {
    WriteFileBytes(tmp / "a.hgl", "12345");
    WriteFileBytes(tmp / "B.HGL", "1");
    WriteFileBytes(tmp / "c.txt", "");
    WriteFileBytes(tmp / "noext", "xy");
    test::MakeDir(tmp / "sub.hgl");
    WriteFileBytes(tmp / "ro.hgl", "abc");
    test::SetReadOnly(tmp / "ro.hgl", true);
    // The Windows search finds these for "*.hgl" through their 8.3 aliases ("LONGER~1.HGL").
    WriteFileBytes(tmp / "longername.hglx", "");
    WriteFileBytes(tmp / "x.hglx", "");

    std::vector<DirEntry> all;
    ASSERT_TRUE(FindEntries(tmp / "*.*", [&](const DirEntry& e) {
        all.push_back(e);
        return true;
    }));
    std::set<std::string> names;
    for (const DirEntry& e : all) {
        names.insert(e.name);
    }
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "a.hgl", "B.HGL", "c.txt", "noext",
                                            "sub.hgl", "ro.hgl", "longername.hglx", "x.hglx"}));
    for (const DirEntry& e : all) {
        SCOPED_TRACE(e.name);
        if (e.name == "a.hgl") {
            EXPECT_FALSE(e.isDirectory);
            EXPECT_FALSE(e.isReadOnly);
            EXPECT_EQ(e.size, 5u);
        } else if (e.name == "sub.hgl" || e.name == "." || e.name == "..") {
            EXPECT_TRUE(e.isDirectory);
            EXPECT_EQ(e.size, 0u);
        } else if (e.name == "ro.hgl") {
            EXPECT_TRUE(e.isReadOnly);
            EXPECT_EQ(e.size, 3u);
        }
    }
    // Missing only where the system says nothing is there.
    EXPECT_TRUE(IsMissing(tmp / "none.hgl"));
    EXPECT_TRUE(IsMissing(JoinPath(tmp / "none", "")));
    EXPECT_TRUE(IsMissing(JoinPath(tmp / "a.hgl", "x.pdf")));
    EXPECT_FALSE(IsMissing(tmp / "a.hgl"));
    EXPECT_FALSE(IsMissing(JoinPath(tmp / "sub.hgl", "")));
    // A file's stamp comes with the read-only mark the listing gives, from one look.
    for (const std::string name : {"a.hgl", "ro.hgl"}) {
        FileStamp stamp;
        bool readOnly = name == "a.hgl";
        ASSERT_TRUE(GetFileStamp(tmp / name, stamp, &readOnly));
        EXPECT_EQ(readOnly, name == "ro.hgl") << name;
    }
    // A look through the listing sees what a look by path sees.
    ASSERT_TRUE(FindEntries(tmp / "*.hgl", [&](const DirEntry& e) {
        const std::string path = tmp / e.name;
        FileStamp byEntry;
        FileStamp byPath;
        bool entryReadOnly = false;
        bool pathReadOnly = false;
        EXPECT_EQ(GetEntryStamp(e, path, byEntry, &entryReadOnly),
                  GetFileStamp(path, byPath, &pathReadOnly))
            << e.name;
        EXPECT_EQ(byEntry, byPath) << e.name;
        EXPECT_EQ(entryReadOnly, pathReadOnly) << e.name;
        UnsharedFile entryProbe;
        UnsharedFile pathProbe;
        const bool free = CanOpenEntryReadWrite(e, path, entryProbe);
        EXPECT_EQ(free, CanOpenReadWrite(path, pathProbe)) << e.name;
        // The probe's stamp is the one a later look compares with before settling the file.
        if (free) {
            EXPECT_EQ(entryProbe.stamp, byPath) << e.name;
            EXPECT_EQ(pathProbe.stamp, byPath) << e.name;
        }
        return true;
    }));

    std::set<std::string> hgl;
    ASSERT_TRUE(FindEntries(tmp / "*.hgl", [&](const DirEntry& e) {
        hgl.insert(e.name);
        return true;
    }));
    EXPECT_EQ(hgl, (std::set<std::string>{"a.hgl", "B.HGL", "sub.hgl", "ro.hgl"}));
    std::set<std::string> alias;
    ASSERT_TRUE(FindEntries(tmp / "*~*", [&](const DirEntry& e) {
        alias.insert(e.name);
        return true;
    }));
    EXPECT_TRUE(alias.empty());
}

TEST_F(PlatformFiles, FindEntriesStopsWhenTheVisitorSaysSoAndFailsOnAMissingFolder) {
    for (int i = 0; i < 5; ++i) {
        WriteFileBytes(tmp / ("f" + std::to_string(i) + ".hgl"), "x");
    }
    int visited = 0;
    EXPECT_TRUE(FindEntries(tmp / "*.hgl", [&](const DirEntry&) { return ++visited < 2; }));
    EXPECT_EQ(visited, 2);

    int none = 0;
    EXPECT_TRUE(FindEntries(tmp / "*.pdf", [&](const DirEntry&) { return ++none > 0; }));
    EXPECT_EQ(none, 0);
    EXPECT_FALSE(
        FindEntries(JoinPath(tmp / "missing", "*.*"), [](const DirEntry&) { return true; }));
}

TEST_F(PlatformFiles, FindEntriesIncludesHiddenDotFiles) {
    if (IsWindows()) {
        GTEST_SKIP() << "dot files are ordinary names on Windows";
    }
    WriteFileBytes(tmp / ".hidden.hgl", "x");
    std::vector<std::string> names;
    FindEntries(tmp / "*.hgl", [&](const DirEntry& e) {
        names.push_back(e.name);
        return true;
    });
    EXPECT_EQ(names, std::vector<std::string>{".hidden.hgl"});
}

// A read-only file refuses every write, as on Windows, even to an administrator.
TEST_F(PlatformFiles, ReadOnlyFilesRefuseWritingAndDeleting) {
    WriteFileBytes(tmp / "rw.hgl", "1234567");
    WriteFileBytes(tmp / "ro.hgl", "keep");
    test::SetReadOnly(tmp / "ro.hgl", true);
    test::MakeDir(tmp / "dir");

    UnsharedFile probe;
    EXPECT_TRUE(CanOpenReadWrite(tmp / "rw.hgl", probe));
    EXPECT_EQ(probe.stamp.size, 7u);
    EXPECT_FALSE(CanOpenReadWrite(tmp / "ro.hgl", probe));
    EXPECT_FALSE(CanOpenReadWrite(tmp / "dir", probe));
    EXPECT_FALSE(CanOpenReadWrite(tmp / "missing", probe));

    int error = 0;
    EXPECT_FALSE(OpenFile(tmp / "ro.hgl", "wb", error));
    EXPECT_NE(error, 0);
    EXPECT_NE(DeleteFileAt(tmp / "ro.hgl"), 0);
    EXPECT_EQ(test::ReadFileBytes(tmp / "ro.hgl"), "keep");
    EXPECT_FALSE(OpenFile(tmp / "missing", "rb", error));
    EXPECT_NE(error, 0);
    EXPECT_EQ(DeleteFileAt(tmp / "rw.hgl"), 0);
    EXPECT_NE(DeleteFileAt(tmp / "rw.hgl"), 0);
}

TEST_F(PlatformFiles, CanOpenReadWriteFailsWhileAnotherProgramHoldsTheFile) {
    const std::string file = tmp / "held.hgl";
    WriteFileBytes(file, "being written");
    UnsharedFile probe;
    {
        const test::HeldOpen held(file);
        ASSERT_TRUE(held.IsOpen());
        EXPECT_FALSE(CanOpenReadWrite(file, probe));
    }
    EXPECT_TRUE(CanOpenReadWrite(file, probe));
    EXPECT_EQ(probe.stamp.size, 13u);
    EXPECT_TRUE(probe.openersKnown);  // the test's own files: a lease is always to be had
}

#ifndef _WIN32
// Pipes are listed as what they are and never opened: every call returns at once.
TEST_F(PlatformFiles, PipesAreNeverOpened) {
    const std::string fifo = tmp / "pipe.hgl";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    std::vector<DirEntry> entries;
    FindEntries(tmp / "*.hgl", [&](const DirEntry& e) {
        entries.push_back(e);
        return true;
    });
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].isSpecial);
    UnsharedFile probe;
    EXPECT_FALSE(CanOpenReadWrite(fifo, probe));
    for (const char* mode : {"rb", "r+b", "wb", "ab"}) {
        int error = 0;
        EXPECT_FALSE(OpenFile(fifo, mode, error)) << mode;
        EXPECT_NE(error, 0) << mode;
    }
    int error = 0;
    EXPECT_FALSE(OpenFile(tmp.Path(), "rb", error));  // a folder reads as nothing on POSIX
}
#endif

// A symbolic link at `link` naming `target`; false where the system cannot make one (Wine maps
// none onto the POSIX file system, Windows without the right to make links).
bool MakeLink(const std::string& target, const std::string& link, bool toFolder) {
#ifdef _WIN32
    const DWORD flags = (toFolder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    return CreateSymbolicLinkA(link.c_str(), target.c_str(), flags) && IsSymbolicLink(link);
#else
    (void)toFolder;
    return symlink(target.c_str(), link.c_str()) == 0;
#endif
}

TEST_F(PlatformFiles, LinksAreListedAsLinksNeverAsFilesOrFolders) {
    WriteFileBytes(tmp / "file.hgl", "drawing");
    test::MakeDir(tmp / "dir.hgl");
    if (!MakeLink(tmp / "file.hgl", tmp / "tofile.hgl", false) ||
        !MakeLink(tmp / "dir.hgl", tmp / "todir.hgl", true) ||
        !MakeLink(tmp / "none.hgl", tmp / "dangling.hgl", false)) {
        GTEST_SKIP() << "no symbolic links here";
    }
    for (const EntryDetail detail : {EntryDetail::Full, EntryDetail::Kind}) {
        std::set<std::string> links;
        std::set<std::string> folders;
        std::set<std::string> regular;
        ASSERT_TRUE(FindEntries(
            tmp / "*.hgl",
            [&](const DirEntry& e) {
                (e.isLink ? links : e.isDirectory ? folders : regular).insert(e.name);
                if (e.isLink) {
                    EXPECT_TRUE(e.isSpecial) << e.name;
                    EXPECT_FALSE(e.isDirectory) << e.name;
                    EXPECT_EQ(e.size, 0u) << e.name;
                } else {
                    EXPECT_FALSE(e.isSpecial) << e.name;
                }
                return true;
            },
            detail));
        EXPECT_EQ(links, (std::set<std::string>{"tofile.hgl", "todir.hgl", "dangling.hgl"}));
        EXPECT_EQ(folders, std::set<std::string>{"dir.hgl"});
        EXPECT_EQ(regular, std::set<std::string>{"file.hgl"});
    }
    struct Row {
        const char* name;
        bool link;
        bool realFolder;
    };
    for (const Row& row : {Row{"file.hgl", false, false}, Row{"dir.hgl", false, true},
                           Row{"tofile.hgl", true, false}, Row{"todir.hgl", true, false},
                           Row{"dangling.hgl", true, false}, Row{"missing", false, false}}) {
        EXPECT_EQ(IsSymbolicLink(tmp / row.name), row.link) << row.name;
        EXPECT_EQ(IsRealDirectory(tmp / row.name), row.realFolder) << row.name;
        // A separator at the end must not make a link count as what it names.
        EXPECT_EQ(IsRealDirectory(JoinPath(tmp / row.name, "")), row.realFolder) << row.name;
    }
}

// Renames that never replace and moves that never follow a link, with what each leaves behind.
TEST_F(PlatformFiles, RenamesNeverReplaceAndMovesNeverFollowALink) {
    enum class Source { File, Gone, Link };
    enum class Folder { Real, File, Link, Missing };
    enum class Expect { Moved, AlreadyExists, NotFound, OtherError };
    struct Row {
        const char* what;
        bool intoFolder;  // MoveIntoFolderNoFollow, else RenameNoReplace
        Source source;
        bool taken;  // the target name exists
        Folder folder;
        Expect expect;
    };
    const Row rows[] = {
        {"rename", false, Source::File, false, Folder::Real, Expect::Moved},
        {"move", true, Source::File, false, Folder::Real, Expect::Moved},
        {"rename onto a file", false, Source::File, true, Folder::Real, Expect::AlreadyExists},
        {"move onto a file", true, Source::File, true, Folder::Real, Expect::AlreadyExists},
        {"rename, source gone", false, Source::Gone, false, Folder::Real, Expect::NotFound},
        {"move, source gone", true, Source::Gone, false, Folder::Real, Expect::NotFound},
        {"move into a file", true, Source::File, false, Folder::File, Expect::OtherError},
        {"move into a link", true, Source::File, false, Folder::Link, Expect::OtherError},
        {"move into no folder", true, Source::File, false, Folder::Missing, Expect::OtherError},
        {"move of a link", true, Source::Link, false, Folder::Real, Expect::Moved},
        {"rename of a link", false, Source::Link, false, Folder::Real, Expect::Moved},
    };
    int i = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string dir = tmp / ("case" + std::to_string(i++));
        test::MakeDir(dir);
        // In code page 932 a folder whose last byte is a trail byte 0x5C, no separator.
        const std::string real = JoinPath(dir, ActiveCodePage() == 932 ? "\x95\x5C" : "Failed");
        test::MakeDir(real);
        const std::string drawing = JoinPath(dir, "a.hgl");
        WriteFileBytes(drawing, "drawing");
        const std::string to = JoinPath(real, "b.hgl");
        if (row.taken) {
            WriteFileBytes(to, "there before");
        }
        std::string from = drawing;
        if (row.source == Source::Gone) {
            from = JoinPath(dir, "gone.hgl");
        } else if (row.source == Source::Link) {
            from = JoinPath(dir, "link.hgl");
            if (!MakeLink(drawing, from, false)) {
                continue;  // no symbolic links here
            }
        }
        std::string folder = real;
        if (row.folder == Folder::File) {
            folder = JoinPath(dir, "file");
            WriteFileBytes(folder, "not a folder");
        } else if (row.folder == Folder::Missing) {
            folder = JoinPath(dir, "missing");
        } else if (row.folder == Folder::Link) {
            folder = JoinPath(dir, "Elsewhere");
            if (!MakeLink(real, folder, true)) {
                continue;
            }
        }

        const int error = row.intoFolder ? MoveIntoFolderNoFollow(from, folder, "b.hgl")
                                         : RenameNoReplace(from, to);
        switch (row.expect) {
            case Expect::Moved:
                EXPECT_EQ(error, 0);
                EXPECT_FALSE(PathExists(from) || IsSymbolicLink(from));
                // A link moved is still a link, and what it names stays where it was.
                EXPECT_EQ(IsSymbolicLink(to), row.source == Source::Link);
                EXPECT_EQ(FileExists(drawing), row.source == Source::Link);
                EXPECT_EQ(test::ReadFileBytes(to), "drawing");
                break;
            case Expect::AlreadyExists:
                EXPECT_TRUE(IsAlreadyExistsError(error)) << error;
                EXPECT_FALSE(IsNotFoundError(error)) << error;
                EXPECT_EQ(test::ReadFileBytes(to), "there before");
                EXPECT_EQ(test::ReadFileBytes(from), "drawing");
                break;
            case Expect::NotFound:
                EXPECT_TRUE(IsNotFoundError(error)) << error;
                EXPECT_FALSE(IsAlreadyExistsError(error)) << error;
                EXPECT_FALSE(PathExists(to));
                break;
            case Expect::OtherError:
                EXPECT_NE(error, 0);
                EXPECT_FALSE(IsAlreadyExistsError(error) || IsNotFoundError(error)) << error;
                EXPECT_FALSE(PathExists(to));
                EXPECT_EQ(test::ReadFileBytes(from), "drawing");
                break;
        }
    }
}

TEST_F(PlatformFiles, GetDosTimeAndSizeGivesLocalTimeInDosForm) {
    const std::string file = tmp / "t.hgl";
    WriteFileBytes(file, "0123456789");
    const long long when = 1700000001;  // odd second: DOS time keeps two-second steps
    test::SetModificationTime(file, when);

    const std::time_t t = static_cast<std::time_t>(when);
#ifdef _WIN32
    // Windows converts with the zone offset in force today, not the one at the file's date.
    const std::time_t now = std::time(nullptr);
    std::tm nowLocal = *std::localtime(&now);
    const std::time_t shifted = t + (_mkgmtime(&nowLocal) - now);
    const std::tm local = *std::gmtime(&shifted);
#else
    const std::tm local = *std::localtime(&t);
#endif
    const std::uint32_t expected = (static_cast<std::uint32_t>(local.tm_year + 1900 - 1980) << 25) |
                                   (static_cast<std::uint32_t>(local.tm_mon + 1) << 21) |
                                   (static_cast<std::uint32_t>(local.tm_mday) << 16) |
                                   (static_cast<std::uint32_t>(local.tm_hour) << 11) |
                                   (static_cast<std::uint32_t>(local.tm_min) << 5) |
                                   static_cast<std::uint32_t>(local.tm_sec / 2);

    std::uint32_t dos = 0;
    std::uint64_t size = 0;
    ASSERT_TRUE(GetDosTimeAndSize(file, dos, size));
    EXPECT_EQ(dos, expected);
    EXPECT_EQ(size, 10u);
    EXPECT_FALSE(GetDosTimeAndSize(tmp / "missing", dos, size));
}

// ---- Processes -------------------------------------------------------------------------------

class PlatformProcess : public ::testing::Test {
  protected:
    std::string Quoted(const std::string& text) const { return "\"" + text + "\""; }

    TempDir tmp;
    const std::string log = tmp / "standin.log";
    test::ScopedEnv logEnv{"KORVANE_STANDIN_LOG", log};
};

TEST_F(PlatformProcess, AProgramThatCannotBeStartedIsReportedSo) {
    EXPECT_FALSE(RunAndWait(Quoted(tmp / "no-such-program") + " a").started);
    EXPECT_FALSE(RunAndWait("ka-no-such-program-on-the-path a").started);
    EXPECT_FALSE(RunAndWait("").started);
    // A file that is no program.
    WriteFileBytes(tmp / "data.exe", "not a program");
    EXPECT_FALSE(RunAndWait(Quoted(tmp / "data.exe")).started);
}

TEST_F(PlatformProcess, TellsANormalExitFromACrashAndAFailedStart) {
    struct Row {
        const char* crash;  // KORVANE_STANDIN_CRASH
        const char* exit;   // KORVANE_STANDIN_EXIT
        ProcessEnd end;
        int exitCode;
        std::uint32_t posixSignal;
        std::uint32_t windowsCode;
    };
    // abort() is an exit code 3 in the Windows runtime, a SIGABRT here.
    for (const Row& row :
         {Row{"", "7", ProcessEnd::Exited, 7, 0, 0}, Row{"", "0", ProcessEnd::Exited, 0, 0, 0},
          Row{"segv", "0", ProcessEnd::Crashed, -1, 11, 0xC0000005},
          Row{"kill", "0", ProcessEnd::Crashed, -1, 9, 0xC000013A},
          Row{"1", "0", IsWindows() ? ProcessEnd::Exited : ProcessEnd::Crashed,
              IsWindows() ? 3 : -1, 6, 0}}) {
        test::ScopedEnv crashEnv("KORVANE_STANDIN_CRASH", row.crash);
        test::ScopedEnv exitEnv("KORVANE_STANDIN_EXIT", row.exit);
        const ProcessResult r = RunAndWait(Quoted(test::ConverterExe()) + " x");
        EXPECT_TRUE(r.started) << row.crash;
        EXPECT_EQ(r.end, row.end) << row.crash;
        EXPECT_EQ(r.exitCode, row.exitCode) << row.crash;
        if (r.end == ProcessEnd::Crashed) {
            EXPECT_EQ(r.crashCode, IsWindows() ? row.windowsCode : row.posixSignal) << row.crash;
        }
    }
    EXPECT_EQ(RunAndWait(Quoted(tmp / "missing")).end, ProcessEnd::NotStarted);
    ProcessResult crashed;
    crashed.end = ProcessEnd::Crashed;
    crashed.crashCode = 0xC0000005;
    EXPECT_EQ(DescribeProcessEnd(crashed), "exception 0xC0000005");
    crashed.crashCode = 9;
    EXPECT_EQ(DescribeProcessEnd(crashed), "signal 9");
}

TEST_F(PlatformProcess, WaitsWithATimeLimitAndEndsARunningProgram) {
    test::ScopedEnv sleepEnv("KORVANE_STANDIN_SLEEP_MS", "60000");
    Process process;
    ASSERT_TRUE(process.Start(Quoted(test::ConverterExe()) + " x"));
    EXPECT_FALSE(process.Start(Quoted(test::ConverterExe())));  // started once only
    EXPECT_TRUE(process.Running());
    EXPECT_FALSE(process.Wait(0));
    EXPECT_FALSE(process.Wait(20));
    EXPECT_EQ(process.Result().end, ProcessEnd::Running);
    process.Terminate(100);
    EXPECT_FALSE(process.Running());
    EXPECT_TRUE(process.Wait(-1));
    EXPECT_EQ(process.Result().end, ProcessEnd::Stopped);
    // It never got to the end of its job.
    const std::vector<std::string> facts = ReadLfLines(log);
    EXPECT_TRUE(std::none_of(facts.begin(), facts.end(),
                             [](const std::string& f) { return f.rfind("end", 0) == 0; }));

    // Destroying a Process ends its program too.
    {
        Process running;
        ASSERT_TRUE(running.Start(Quoted(test::ConverterExe()) + " y"));
    }
    Process never;
    EXPECT_FALSE(never.Start("\"" + tmp / "missing" + "\""));
    EXPECT_FALSE(never.Running());
    EXPECT_TRUE(never.Wait(-1));
    EXPECT_EQ(never.Result().end, ProcessEnd::NotStarted);
}

// True once the log has a line starting with the text, within the limit.
bool WaitForFact(const std::string& log, const std::string& start, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    do {
        for (const std::string& line : ReadLfLines(log)) {
            if (line.rfind(start, 0) == 0) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

// The owner is killed outright (SIGKILL, TerminateProcess), with no chance to end its converter.
// The converter waits at its gate: had it survived, it would write its output once the gate
// opens.
TEST_F(PlatformProcess, TheConverterDiesWithTheProgramThatStartedIt) {
    const std::string gate = tmp / "gate";
    const std::string out = tmp / "a.pdf";
    WriteFileBytes(tmp / "a.hgl", "A");
    test::ScopedEnv gateEnv("KORVANE_STANDIN_GATE", gate);
    {
        test::ChildProcess owner({test::BuiltPath(KA_PROCESS_OWNER_EXE),
                                  Quoted(test::ConverterExe()) + " /p " + Quoted(tmp / "a.hgl") +
                                      " " + Quoted("/o" + out)});
        ASSERT_TRUE(owner.Started());
        ASSERT_TRUE(WaitForFact(log, "argv 3", 60));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    WriteFileBytes(gate, "");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_FALSE(WaitForFact(log, "output", 0));
    EXPECT_FALSE(PathExists(out));
}

TEST_F(PlatformProcess, TheConverterHoldsNoLockOfThisProgram) {
    const std::string lockPath = tmp / "run.lock";
    FileLock lock;
    int error = 0;
    ASSERT_TRUE(lock.TryLock(lockPath, error));
    test::ScopedEnv sleepEnv("KORVANE_STANDIN_SLEEP_MS", "60000");
    Process converter;
    ASSERT_TRUE(converter.Start(Quoted(test::ConverterExe()) + " x"));
    lock.Unlock();
    FileLock again;
    EXPECT_TRUE(again.TryLock(lockPath, error));
}

#ifndef _WIN32
// A converter that runs a helper of its own: the helper, waiting at a gate, goes with it.
TEST_F(PlatformProcess, TerminateEndsWhatTheProgramStartedToo) {
    const std::string gate = tmp / "gate";
    const std::string late = tmp / "late";
    Process process;
    ASSERT_TRUE(process.Start("/bin/sh -c \"(while [ ! -e '" + gate +
                              "' ]; do sleep 0.02; done; echo late > '" + late +
                              "') & echo started > '" + tmp / "started" + "'; wait\""));
    for (int i = 0; i < 500 && !FileExists(tmp / "started"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    process.Terminate(100);
    EXPECT_EQ(process.Result().end, ProcessEnd::Stopped);
    WriteFileBytes(gate, "");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(FileExists(late));
}
#endif

TEST_F(PlatformProcess, ExecutableFilesAreTold) {
    WriteFileBytes(tmp / "text.exe", "not a program");
    test::MakeDir(tmp / "folder.exe");
    EXPECT_TRUE(IsExecutableFile(test::ConverterExe()));
    EXPECT_FALSE(IsExecutableFile(tmp / "text.exe"));
    EXPECT_FALSE(IsExecutableFile(tmp / "folder.exe"));
    EXPECT_FALSE(IsExecutableFile(tmp / "missing.exe"));
    if (!IsWindows()) {
        const std::string copy = tmp / "Korvane";
        fs::copy_file(test::ConverterExe(), copy);
        fs::permissions(copy,
                        fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::remove);
        EXPECT_FALSE(IsExecutableFile(copy));
    }
}

TEST_F(PlatformProcess, FileStampsTellAReplacedFileAndLocksExcludeEachOther) {
    const std::string path = tmp / "a.hgl";
    WriteFileBytes(path, "version 1");
    test::SetModificationTime(path, 1'700'000'000);
    FileStamp before;
    ASSERT_TRUE(GetFileStamp(path, before));
    EXPECT_EQ(before.size, 9u);
    EXPECT_EQ(before.modified, 1'700'000'000LL * 1'000'000'000);
    FileStamp same;
    ASSERT_TRUE(GetFileStamp(path, same));
    EXPECT_EQ(same, before);

    // Same size and time, but another file put in its place.
    WriteFileBytes(tmp / "new", "version 2");
    test::SetModificationTime(tmp / "new", 1'700'000'000);
    ASSERT_EQ(ReplaceFileWith(tmp / "new", path), 0);
    FileStamp after;
    ASSERT_TRUE(GetFileStamp(path, after));
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(after.modified, before.modified);
    EXPECT_NE(after, before);
    EXPECT_FALSE(GetFileStamp(tmp.Path(), after));
    EXPECT_FALSE(GetFileStamp(tmp / "missing", after));
    const std::int64_t now = NowForFileTimes();
    EXPECT_GT(now, 1'700'000'000LL * 1'000'000'000);

    const std::string lockPath = tmp / "run.lock";
    FileLock first;
    FileLock second;
    int error = -1;
    ASSERT_TRUE(first.TryLock(lockPath, error));
    EXPECT_FALSE(second.TryLock(lockPath, error));
    EXPECT_EQ(error, 0);  // held, not broken
    EXPECT_FALSE(second.Held());
    first.Unlock();
    EXPECT_TRUE(second.TryLock(lockPath, error));
    EXPECT_TRUE(second.Held());
    EXPECT_FALSE(first.TryLock(JoinPath(tmp / "no folder", "run.lock"), error));
    EXPECT_NE(error, 0);
}

TEST_F(PlatformProcess, ArgumentsArriveAsTheWindowsRulesSplitThem) {
    const std::string args = "\"a b\" c\\\"d e\\\\f \"\" \"g\\\\\" /oX \"tab\there\"";
    const ProcessResult r = RunAndWait(Quoted(test::ConverterExe()) + " " + args);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<std::string> expected = {"a b", "c\"d", "e\\\\f",   "",
                                               "g\\", "/oX",  "tab\there"};
    ASSERT_EQ(SplitCommandLine(args), expected);
    std::vector<std::string> logged;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        logged.push_back("argv " + std::to_string(i + 1) + " " + expected[i]);
    }
    const auto lines = ReadLfLines(log);
    ASSERT_GE(lines.size(), logged.size() + 1);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 1 + logged.size()),
              logged);
}

// ---- Stop signals ----------------------------------------------------------------------------

#ifndef _WIN32
// Each signal is recorded, wakes the descriptor and leaves the process running; the first one
// is kept until cleared. A signal ignored before installation (nohup) stays ignored.
TEST(StopSignals, AreRecordedAndWakeTheEventLoop) {
    bool ignored[NSIG] = {};
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current {};
        ignored[sig] = sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
    }
    ASSERT_TRUE(InstallStopSignalHandlers());
    const int fd = StopSignalFd();
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
    const auto readable = [fd] {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 0) == 1;
    };
    ClearStopSignal();
    EXPECT_EQ(PendingStopSignal(), 0);
    EXPECT_FALSE(readable());
    for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(DescribeStopSignal(sig));
        ASSERT_EQ(std::raise(sig), 0);
        if (ignored[sig]) {
            EXPECT_EQ(PendingStopSignal(), 0);
            continue;
        }
        EXPECT_EQ(PendingStopSignal(), sig);
        EXPECT_TRUE(readable());
        ASSERT_EQ(std::raise(sig == SIGTERM ? SIGINT : SIGTERM), 0);
        EXPECT_EQ(PendingStopSignal(), sig);
        DrainStopSignalWake();
        EXPECT_FALSE(readable());
        EXPECT_EQ(PendingStopSignal(), sig);
        ClearStopSignal();
        EXPECT_EQ(PendingStopSignal(), 0);
        EXPECT_FALSE(readable());
    }
}
#else
// The handler itself, as the system's thread runs it: GenerateConsoleCtrlEvent needs a console,
// and none can close a console, log off or shut down from a test.
TEST(StopSignals, AConsoleCloseWaitsForTheOrderlyEnd) {
    ASSERT_TRUE(InstallStopSignalHandlers());
    const HANDLE event = StopSignalEvent();
    ASSERT_NE(event, nullptr);
    struct Row {
        DWORD type;
        bool waits;
    };
    for (const Row row :
         {Row{CTRL_C_EVENT, false}, Row{CTRL_BREAK_EVENT, false}, Row{CTRL_CLOSE_EVENT, true},
          Row{CTRL_LOGOFF_EVENT, true}, Row{CTRL_SHUTDOWN_EVENT, true}}) {
        SCOPED_TRACE(DescribeStopSignal(static_cast<int>(row.type) + 1));
        ClearStopSignal();
        EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        std::atomic<bool> returned{false};
        std::thread system([&] {
            EXPECT_EQ(detail::OnConsoleControl(row.type), 1);
            returned = true;
        });
        EXPECT_EQ(WaitForSingleObject(event, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_EQ(PendingStopSignal(), static_cast<int>(row.type) + 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(returned.load(), !row.waits);
        const auto handled = std::chrono::steady_clock::now();
        StopSignalHandled();
        system.join();
        EXPECT_LT(std::chrono::steady_clock::now() - handled, std::chrono::seconds(2));
        DrainStopSignalWake();
        EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    EXPECT_EQ(detail::OnConsoleControl(99), 0);  // not a stop
}
#endif

// ---- Shell -----------------------------------------------------------------------------------

TEST(ShellLinkFile, ReadsTheLocalBasePath) {
    std::string target;
    EXPECT_TRUE(detail::ReadShellLinkLocalPath(test::ShellLinkFileBytes("C:\\In\\a.hgl", "", true),
                                               target));
    EXPECT_EQ(target, "C:\\In\\a.hgl");
    EXPECT_TRUE(detail::ReadShellLinkLocalPath(test::ShellLinkFileBytes("C:\\In\\", "b.hgl", false),
                                               target));
    EXPECT_EQ(target, "C:\\In\\b.hgl");
}

TEST(ShellLinkFile, RefusesDamagedData) {
    const std::string good = test::ShellLinkFileBytes("C:\\In\\a.hgl", "", true);
    std::string badSize = good;
    badSize[0] = 0x4D;
    std::string badClsid = good;
    badClsid[5] = 0x15;
    std::string noInfo = good;
    noInfo[20] = 0x1;
    std::string badOffset = good;
    badOffset[0x4C + 2 + 4 + 16] = '\x7F';  // local base path offset beyond the LinkInfo
    const std::vector<std::pair<const char*, std::string>> rows = {
        {"empty", ""},
        {"text", "just some text, no shell link at all, long enough to hold a header......"},
        {"header size", badSize},
        {"class id", badClsid},
        {"offset", badOffset},
        {"truncated", good.substr(0, good.size() - 30)},
    };
    std::string target = "unchanged";
    EXPECT_TRUE(detail::ReadShellLinkLocalPath(noInfo, target));
    EXPECT_EQ(target, "") << "a link without a local path has no file-system target";
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        target = "unchanged";
        EXPECT_FALSE(detail::ReadShellLinkLocalPath(bytes, target));
        EXPECT_EQ(target, "unchanged");
    }
}

class PosixSpecialFolders : public ::testing::Test {
  protected:
    void SetUp() override {
        if (IsWindows()) {
            GTEST_SKIP() << "XDG folders are the POSIX stand-ins";
        }
        test::MakeDir(home);
    }

    TempDir tmp;
    const std::string home = tmp / "home";
    test::ScopedEnv homeEnv{"HOME", home};
    test::ScopedEnv dataEnv{"XDG_DATA_HOME", ""};
    test::ScopedEnv configEnv{"XDG_CONFIG_HOME", ""};
};

TEST_F(PosixSpecialFolders, FollowTheXdgVariablesAndUserDirectories) {
    std::string path;
    EXPECT_TRUE(SpecialFolderPath(28, path));
    EXPECT_EQ(path, home + "/.local/share");
    EXPECT_TRUE(SpecialFolderPath(5, path));
    EXPECT_EQ(path, home);                      // nothing configured, no Documents folder
    EXPECT_FALSE(SpecialFolderPath(46, path));  // no common documents here
    EXPECT_EQ(path, "");

    test::SetEnvVar("XDG_DATA_HOME", "relative/is/ignored");
    EXPECT_TRUE(SpecialFolderPath(28, path));
    EXPECT_EQ(path, home + "/.local/share");
    test::MakeDir(home + "/.config");
    WriteFileBytes(home + "/.config/user-dirs.dirs",
                   "# written by xdg-user-dirs-update\n"
                   "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_TRUE(SpecialFolderPath(5, path));
    EXPECT_EQ(path, home + "/Dokumente");
}

TEST(OpenUrl, HandsTheUrlToTheDesktopOpener) {
    if (IsWindows()) {
        GTEST_SKIP() << "would start the real browser";
    }
    TempDir tmp;
    const std::string opener = tmp / "xdg-open";
    const std::string seen = tmp / "seen.txt";
    WriteFileBytes(opener, "#!/bin/sh\nprintf '%s' \"$1\" > '" + seen + ".part'\nmv '" + seen +
                               ".part' '" + seen + "'\n");
    fs::permissions(opener, fs::perms::owner_all);
    {
        const char* oldPath = std::getenv("PATH");
        test::ScopedEnv path("PATH", tmp.Path() + ":" + (oldPath ? oldPath : "/usr/bin:/bin"));
        EXPECT_TRUE(OpenUrl("http://example.com/a b?x=1&y=2"));
    }
    for (int i = 0; i < 200 && !FileExists(seen); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(FileExists(seen));
    EXPECT_EQ(test::ReadFileBytes(seen), "http://example.com/a b?x=1&y=2");

    test::ScopedEnv noOpener("PATH", tmp / "empty");
    EXPECT_FALSE(OpenUrl("http://example.com/"));
}

}  // namespace
}  // namespace ka::platform
