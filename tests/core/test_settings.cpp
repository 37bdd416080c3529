// Parameter file, extension lists and the input filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "platform/platform.h"
#include "settings/Orrin1.h"
#include "settings/ParFields.h"

namespace ka {
namespace {

constexpr const char* kDefaultExe = "C:\\Program Files\\Tavrolint\\Korvane\\Korvane.exe";
constexpr const char* kX86Exe = "C:\\Program Files (x86)\\Tavrolint\\Korvane\\Korvane.exe";
constexpr const char* kMissingExeWarning =
    "\r Korvane program file does not exist!\r Please register Korvane program name with Set "
    "Button.";

// The 23 lines of a parameter file whose converter exists.
// clang-format off
std::vector<std::string> ParLines() {
    return {"Version 10.11", "hgl;plt", "tif", "pdf", "emf", "dxf", "dwg", "igs", "gbr",
            test::ConverterExe(), "C:\\list.txt", "C:\\In\\*.hgl", "C:\\Out\\", "600",
            "C:\\A\\*.hgl", "C:\\B\\", "1", "5", "3", "1", "2", "40", "1"};
}
// clang-format on

// Line number (1 to 23) and its text.
using Edits = std::vector<std::pair<std::size_t, std::string>>;

std::vector<std::string> Edited(std::vector<std::string> lines, const Edits& edits) {
    for (const auto& [number, text] : edits) {
        lines.at(number - 1) = text;
    }
    return lines;
}

std::string ParText(const Edits& edits = {}, std::size_t count = 23, const std::string& tail = "") {
    std::vector<std::string> lines = Edited(ParLines(), edits);
    lines.resize(count);
    return test::CrLfLines(lines) + tail;
}

// The text with every CR LF turned into LF, as Linux programs write files.
std::string LfOnly(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) {
        text.erase(at, 1);
    }
    return text;
}

// The stored fields as the file holds them, in file order.
std::vector<std::string> Fields(const Settings& s) {
    std::vector<std::string> fields;
    for (const ParField& field : kParFields) {
        fields.push_back(ParFieldText(s, field));
    }
    return fields;
}

TEST(ParFile, RoundTripKeepsEveryStoredFieldByteForByte) {
    test::TempDir dir;
    // clang-format off
    const std::vector<std::string> lines = Edited(ParLines(), {
        {2, "hgl;;HPG"}, {3, ""}, {4, " pdf"}, {5, "\x80\xFF"}, {11, "C:\\\x95\x5C\\a"},
        {13, "C:\\\x95\x5C\\"}, {14, "2147483647"}, {15, "a\tb"}, {17, "1"}, {18, "22"},
        {19, "7"}, {20, "1"}, {22, "100"}, {23, "0"}});
    // clang-format on
    Settings settings;
    settings.sParFile = dir / "in.par";
    settings.sDataDir = "kept";
    settings.sSxfFileExt = "sxf";
    test::WriteFileBytes(settings.sParFile, test::CrLfLines(lines));
    test::RecordingMessageSink sink;
    ASSERT_EQ(ReadParFile(settings, sink), 0);
    EXPECT_EQ(Fields(settings), std::vector<std::string>(lines.begin() + 1, lines.end()));
    EXPECT_EQ(settings.sDataDir, "kept");
    EXPECT_EQ(settings.sSxfFileExt, "sxf");
    EXPECT_EQ(settings.sInputFilter.substr(0, 45), "HPGL(*.hgl;*.;*.HPG)|.hgl;.;.HPG|Image(*.)|.|");

    settings.sParFile = dir / "out.par";
    ASSERT_TRUE(WriteParFile(settings, sink));
    EXPECT_EQ(test::ReadFileBytes(settings.sParFile), test::CrLfLines(lines));
    EXPECT_FALSE(platform::PathExists(settings.sParFile + ".tmp"));
    EXPECT_TRUE(sink.messages.empty());
}

TEST(ParFile, LineBreaksInsideValuesCannotShiftLaterLines) {
    test::TempDir dir;
    Settings settings;
    settings.sParFile = dir / "KorvaneAuto.par";
    settings.sKorvaneExe = test::ConverterExe();
    settings.sOutDir = "C:\\Out\r\n\x1A\\";
    settings.iNoOut = 1;
    test::RecordingMessageSink sink;
    ASSERT_TRUE(WriteParFile(settings, sink));
    ASSERT_EQ(ReadParFile(settings, sink), 0);
    EXPECT_EQ(settings.sOutDir, "C:\\Out\\");
    EXPECT_EQ(settings.iNoOut, 1);
}

TEST(ParFile, FailedWriteReportsOnceAndKeepsWhatWasThere) {
    test::TempDir dir;
    const std::string par = dir / "KorvaneAuto.par";
    test::WriteFileBytes(par, "old contents");
    test::MakeDir(par + ".tmp");  // the temporary name is taken
    const std::string parFolder = dir / "folder.par";
    test::MakeDir(JoinPath(parFolder, "inside"));
    const std::string noFolder = JoinPath(dir / "missing", "KorvaneAuto.par");
    for (const std::string& target : {par, parFolder, noFolder, std::string()}) {
        Settings settings;
        settings.sParFile = target;
        test::RecordingMessageSink sink;
        EXPECT_FALSE(WriteParFile(settings, sink)) << target;
        EXPECT_EQ(sink.messages, std::vector<std::string>{"Cannot create parameter file!"});
    }
    EXPECT_EQ(test::ReadFileBytes(par), "old contents");
    EXPECT_TRUE(platform::DirectoryExists(par + ".tmp"));
    EXPECT_TRUE(platform::DirectoryExists(JoinPath(parFolder, "inside")));
    EXPECT_FALSE(platform::PathExists(parFolder + ".tmp"));
    EXPECT_FALSE(platform::PathExists(dir / "missing"));
}

struct ReadCase {
    const char* name;
    std::string file;
    int result;
    Edits changed;  // lines of ParLines() that read differently
};

std::ostream& operator<<(std::ostream& os, const ReadCase& c) {
    return os << c.name;
}

std::string PseudoRandomBytes() {
    std::string bytes(100000, '\0');
    unsigned x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return bytes;
}

class ParFileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ParFileRead, GivesResultAndValues) {
    test::TempDir dir;
    Settings settings;
    settings.sParFile = dir / "KorvaneAuto.par";
    settings.sInputFilter = "untouched";
    const std::vector<std::string> before = Fields(settings);
    test::WriteFileBytes(settings.sParFile, GetParam().file);
    test::RecordingMessageSink sink;
    ASSERT_EQ(ReadParFile(settings, sink), GetParam().result);
    EXPECT_TRUE(sink.messages.empty());
    if (GetParam().result != 0) {
        EXPECT_EQ(Fields(settings), before);
        EXPECT_EQ(settings.sInputFilter, "untouched");
        return;
    }
    const std::vector<std::string> expected = Edited(ParLines(), GetParam().changed);
    EXPECT_EQ(Fields(settings), std::vector<std::string>(expected.begin() + 1, expected.end()));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ParFileRead,
    ::testing::Values(
        ReadCase{"Empty", "", 2, {}},
        ReadCase{"LowerCaseVersion", ParText({{1, "version 10.11"}}), 2, {}},
        ReadCase{"VersionAndBlank", ParText({{1, "Version 10.11 "}}), 2, {}},
        ReadCase{"LfLineEnds", LfOnly(ParText()), 0, {}},
        ReadCase{"RandomBytes", PseudoRandomBytes(), 2, {}},
        ReadCase{"Complete", ParText(), 0, {}},
        ReadCase{"SingleLine", ParText({}, 1), 3, {}},
        ReadCase{"EndsAfterLine22", ParText({}, 22), 3, {}},
        ReadCase{"CtrlZEndsTheFile", ParText({}, 12, "\x1A" "C:\\Out\\\r\n600\r\n"), 3, {}},
        ReadCase{"LinesAfter23Ignored", ParText({}, 23, "99\r\nx\r\n"), 0, {}},
        ReadCase{"NumberLineWithoutNumberReadsZeroClamped", ParText({{14, "abc"}, {17, ""}}), 0,
                 {{14, "2"}, {17, "0"}}},
        ReadCase{"NumbersAreClampedNeverWrapped",
                 ParText({{14, "99999999999999"}, {17, "-1"}, {18, "256"}, {19, " 7 trailing"},
                          {21, "4294967299"}, {22, "-5"}, {23, "513"}}), 0,
                 {{14, "2147483647"}, {17, "0"}, {18, "0"}, {19, "7"}, {21, "3"}, {22, "0"},
                  {23, "1"}}}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

TEST(ParFile, FolderPipeOrMissingFileCannotBeOpened) {
    test::TempDir dir;
    Settings settings;
    test::RecordingMessageSink sink;
    settings.sParFile = dir / "missing.par";
    EXPECT_EQ(ReadParFile(settings, sink), 1);
    settings.sParFile = dir.Path();
    EXPECT_EQ(ReadParFile(settings, sink), 1);
    settings.sParFile = dir / "pipe.par";
    if (test::MakeFifo(settings.sParFile)) {
        EXPECT_EQ(ReadParFile(settings, sink), 1);  // at once, with no writer at the other end
    }
    EXPECT_EQ(settings.sInputFilter, "");
}

TEST(ParFile, EnormousLinesAreReadWhole) {
    test::TempDir dir;
    const std::string huge(50 * 1024 * 1024, 'h');
    Settings settings;
    settings.sParFile = dir / "KorvaneAuto.par";
    test::RecordingMessageSink sink;
    test::WriteFileBytes(settings.sParFile, huge);
    EXPECT_EQ(ReadParFile(settings, sink), 2);
    test::WriteFileBytes(settings.sParFile, ParText({{13, huge}}));
    EXPECT_EQ(ReadParFile(settings, sink), 0);
    EXPECT_EQ(settings.sOutDir.size(), huge.size());
    EXPECT_EQ(settings.iAutoWaitTime, 600);
    EXPECT_EQ(settings.iNoOut, 1);
}

TEST(ParFile, MissingConverterWarnsAndKeepsItsPath) {
    test::TempDir dir;
    Settings settings;
    settings.sParFile = dir / "KorvaneAuto.par";
    const std::string missing = dir / "nowhere.exe";
    test::WriteFileBytes(settings.sParFile, ParText({{10, missing}}));
    test::RecordingMessageSink sink;
    EXPECT_EQ(ReadParFile(settings, sink), 0);
    EXPECT_EQ(sink.messages, std::vector<std::string>{missing + kMissingExeWarning});
    EXPECT_EQ(settings.sKorvaneExe, missing);
    EXPECT_EQ(settings.iNoOut, 1);
}

TEST(ParFile, ConverterCheckFallsBackToX86OnlyForTheExactDefaultPath) {
    const std::string lowerDefault = "c:\\program files\\Tavrolint\\Korvane\\Korvane.exe";
    // Converter path, the files that exist, the path kept, whether it warns.
    const std::tuple<std::string, std::vector<std::string>, std::string, bool> rows[] = {
        {kDefaultExe, {kDefaultExe, kX86Exe}, kDefaultExe, false},
        {kDefaultExe, {kX86Exe}, kX86Exe, false},
        {kDefaultExe, {}, kDefaultExe, true},
        {lowerDefault, {kX86Exe}, lowerDefault, true},
        {"D:\\Korvane.exe", {kX86Exe}, "D:\\Korvane.exe", true}};
    for (const auto& [path, existing, kept, warns] : rows) {
        std::string exe = path;
        test::RecordingMessageSink sink;
        CheckKorvaneExe(exe, sink, [&existing](const std::string& p) {
            return std::find(existing.begin(), existing.end(), p) != existing.end();
        });
        EXPECT_EQ(exe, kept) << path;
        EXPECT_EQ(sink.messages.size(), warns ? 1u : 0u) << path;
        if (warns) {
            EXPECT_EQ(sink.messages[0], path + kMissingExeWarning);
        }
    }
}

TEST(ParFile, BareConverterNameMeansTheOneBesideTheProgram) {
    const std::string folder = JoinPath("pkg", "KorvaneAuto");
    const std::array<std::string, 2> rows[] = {{"Korvane.exe", JoinPath(folder, "Korvane.exe")},
                                               {"", ""},
                                               {"D:\\Korvane.exe", "D:\\Korvane.exe"},
                                               {"C:Korvane.exe", "C:Korvane.exe"},
                                               {"bin/Korvane", "bin/Korvane"},
                                               {"tools\\Korvane.exe", "tools\\Korvane.exe"}};
    for (const auto& [stored, used] : rows) {
        EXPECT_EQ(ConverterBesideProgram(stored, folder), used) << stored;
    }
    EXPECT_EQ(ConverterBesideProgram("Korvane.exe", ""), "Korvane.exe");
}

// The tests run beside the stand-in converter, as the program does.
TEST(ParFile, BareConverterNameIsWrittenBackBareWhileItIsTheOneBesideTheProgram) {
    test::TempDir dir;
    const std::string bare = NamePart(test::ConverterExe());
    Settings settings;
    settings.sParFile = dir / "KorvaneAuto.par";
    test::WriteFileBytes(settings.sParFile, test::ParFileBytes({{"sKorvaneExe", bare}}));
    test::RecordingMessageSink sink;
    ASSERT_EQ(ReadParFile(settings, sink), 0);
    EXPECT_EQ(settings.sKorvaneExe, test::ConverterExe());
    ASSERT_TRUE(WriteParFile(settings, sink));
    EXPECT_EQ(test::ReadFileBytes(settings.sParFile), test::ParFileBytes({{"sKorvaneExe", bare}}));

    settings.sKorvaneExe = dir / bare;  // another converter, chosen in "Set"
    ASSERT_TRUE(WriteParFile(settings, sink));
    EXPECT_EQ(test::ReadFileBytes(settings.sParFile),
              test::ParFileBytes({{"sKorvaneExe", dir / bare}}));
}

TEST(ExtensionLists, ExtListToMasksAddsDotsAndChangesNothingElse) {
    const std::array<const char*, 3> rows[] = {{"p21;sfc", "*.p21;*.sfc", ".p21;.sfc"},
                                               {"", "*.", "."},
                                               {"hgl;;hpg", "*.hgl;*.;*.hpg", ".hgl;.;.hpg"},
                                               {";", "*.;*.", ".;."},
                                               {"HGL; a", "*.HGL;*. a", ".HGL;. a"}};
    for (const auto& [list, mask, pattern] : rows) {
        std::string m = "old";
        std::string p = "old";
        ExtListToMasks(list, m, p);
        EXPECT_EQ(m, mask) << list;
        EXPECT_EQ(p, pattern) << list;
    }
}

TEST(ExtensionLists, InputFilterFromTheStartValues) {
    Settings settings;
    settings.sInputFilter = "old";
    MakeInputFilter(settings);
    EXPECT_EQ(settings.sInputFilter,
              "HPGL(*.hgl)|.hgl|Image(*.tif)|.tif|PDF(*.pdf)|.pdf|EMF(*.emf)|.emf|DXF(*.dxf)|.dxf|"
              "DWG(*.dwg)|.dwg|IGES(*.igs)|.igs|GERBER(*.gbr)|.gbr|SXF(*.p21;*.sfc)|.p21;.sfc|"
              "COMMENT(*.cmt)|.cmt|All Files(*.*)|.*");
}

TEST(ExtensionLists, IsExtInList) {
    // clang-format off
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"hgl", "hgl", true},   {"hgl", "HPG;HGL", true},  {"hg", "hgl", false},
        {"hgl", "hg", false},   {"hgl", " hgl", false},    {"hgl", "hgl ", false},
        {"", "", true},         {"", ";hgl", true},        {"", "hgl;", true},
        {"", "hgl;;hpg", true}, {"", "hgl;hpg", false},    {"hgl", "", false},
        {"hpg", "hgl;;hpg", true}, {"HGL", "hgl", false}};
    // clang-format on
    for (const auto& [ext, list, expected] : rows) {
        EXPECT_EQ(IsExtInList(ext, list), expected) << '"' << ext << "\" in \"" << list << '"';
    }
}

TEST(ExtensionLists, GetInputFileKindTriesTheListsInOrder) {
    Settings settings;
    settings.sImageFileExt = "tif;pdf";  // also in the PDF list: the earlier list wins
    settings.sGerberFileExt = "gbr;";    // files without an extension
    const auto win = PathRules::Windows();
    const auto posix = PathRules::Posix();
    // clang-format off
    const std::tuple<const char*, PathRules, int> rows[] = {
        {"C:\\In\\a.HGL", win, 1},  {"C:\\In\\a.pdf", win, 2},  {"C:\\In\\a.emf", win, 4},
        {"a.b.igs", win, 7},        {"C:\\In.dwg\\noext", win, 8}, {"C:\\In\\x.P21", win, 9},
        {"C:\\In\\x.sfc", win, 9},  {"C:\\In\\x.CMT", win, 10}, {"C:\\In\\x.txt", win, 0},
        {"C:\\In\\x.hgl ", win, 0}, {"D:x.dxf", win, 5},        {"/in.dwg/file.", posix, 8},
        {"/in/dir\\x.dwg", posix, 6}};
    // clang-format on
    for (const auto& [path, rules, kind] : rows) {
        EXPECT_EQ(GetInputFileKind(path, settings, rules), kind) << path;
    }
    settings.sGerberFileExt = "gbr";
    EXPECT_EQ(GetInputFileKind("C:\\In\\noext", settings, win), 0);
}

}  // namespace
}  // namespace ka
