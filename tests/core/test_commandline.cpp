// The program's command line: mode switch, output-type switch, paths and the run it starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Startup.h"

namespace ka {
namespace {

// Records what the start-up does to the main window's controls: "B1" box on, "T20" type 20.
class RecordingControls : public StartupControls {
  public:
    void SetCompareBox(bool on) override { calls += on ? "B1 " : "B0 "; }
    void SelectOutTyp(int index) override { calls += "T" + std::to_string(index) + " "; }
    std::string calls;
};

struct CmdCase {
    const char* name;
    std::vector<std::string> args;
    int chgAreaBefore;
    StartAction action;
    const char* flags;  // standby, batch, compare, auto close as "SBCA" with "-" for unset
    int chgArea;
    int outTyp;
    const char* controlCalls;
    // Expected settings; the stored values are "list.lst", "in/*.hgl", "out/", "c1/*.hgl", "c2/".
    const char* list = "list.lst";
    const char* standbyIn = "in/*.hgl";
    const char* outDir = "out/";
    const char* compare1 = "c1/*.hgl";
    const char* compare2 = "c2/";
};

std::ostream& operator<<(std::ostream& os, const CmdCase& c) {
    return os << c.name;
}

std::string FlagText(const ProgramFlags& f) {
    return std::string(f.bCmdStandby ? "S" : "-") + (f.bCmdBatch ? "B" : "-") +
           (f.bCmdCompare ? "C" : "-") + (f.bAutoClose ? "A" : "-");
}

Settings StoredSettings(int chgArea) {
    Settings s;
    s.iOutTyp = 5;
    s.iChgArea = static_cast<std::uint8_t>(chgArea);
    s.sOutListFileName = "list.lst";
    s.sAutoOutDirFName = "in/*.hgl";
    s.sOutDir = "out/";
    s.sChgAreaDir1 = "c1/*.hgl";
    s.sChgAreaDir2 = "c2/";
    return s;
}

class CommandLine : public ::testing::TestWithParam<CmdCase> {};

TEST_P(CommandLine, SetsFlagsSettingsAndControls) {
    const CmdCase& c = GetParam();
    Settings settings = StoredSettings(c.chgAreaBefore);
    ProgramFlags flags{
        .bCmdStandby = true, .bCmdBatch = true, .bCmdCompare = true, .bAutoClose = true};
    RecordingControls controls;
    EXPECT_EQ(ReadCommandLine(c.args, settings, flags, controls, PathRules::Posix()), c.action);
    EXPECT_EQ(FlagText(flags), c.flags);
    EXPECT_EQ(settings.iChgArea, c.chgArea);
    EXPECT_EQ(settings.iOutTyp, c.outTyp);
    EXPECT_EQ(controls.calls, c.controlCalls);
    EXPECT_EQ(settings.sOutListFileName, c.list);
    EXPECT_EQ(settings.sAutoOutDirFName, c.standbyIn);
    EXPECT_EQ(settings.sOutDir, c.outDir);
    EXPECT_EQ(settings.sChgAreaDir1, c.compare1);
    EXPECT_EQ(settings.sChgAreaDir2, c.compare2);

    // A store driven through the window's rules ends up the same.
    Settings viaRules = StoredSettings(c.chgAreaBefore);
    SettingsControls rules(viaRules);
    ReadCommandLine(c.args, viaRules, flags, rules, PathRules::Posix());
    EXPECT_EQ(viaRules.iChgArea, c.chgArea);
    EXPECT_EQ(viaRules.iOutTyp, c.outTyp);
}

using A = StartAction;

// Fields: name, args, iChgArea before, action, flags, iChgArea, iOutTyp (stored 5), control calls,
// then the settings that differ from the stored ones.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    ::testing::Values(
        CmdCase{"NoArguments", {}, 1, A::None, "----", 1, 5, ""},
        CmdCase{"BatchAlone", {"/c"}, 1, A::Batch, "-B--", 1, 5, ""},
        CmdCase{"BatchUpperCase", {"/C", "a.lst"}, 0, A::Batch, "-B--", 0, 5, "", "a.lst"},
        CmdCase{"BatchCompareCmtFallsBackToPdf", {"/c", "/oca", "a.lst", "o"}, 0, A::Batch, "-B--",
                1, 0, "B1 T20 ", "a.lst", "in/*.hgl", "o/"},
        CmdCase{"StandbyPdfComparisonOff", {"/a", "/op"}, 1, A::Standby, "S---", 0, 0, "B0 B0 T0 "},
        CmdCase{"StandbyComparePdfKeepsComparison", {"/ac", "/op"}, 0, A::Standby, "S-C-", 1, 0,
                "B1 T0 "},
        CmdCase{"CompareTakesCAsTheLetter", {"/g", "/ocp"}, 0, A::Compare, "--C-", 1, 5, "B1 "},
        CmdCase{"UnknownLetterIsConsumed", {"/c", "/oz", "a.lst"}, 1, A::Batch, "-B--", 0, 5, "B0 ",
                "a.lst"},
        CmdCase{"UpperCaseCAfterOIsALetter", {"/c", "/oCp", "a.lst"}, 1, A::Batch, "-B--", 0, 5,
                "B0 ", "a.lst"},
        CmdCase{"BatchOcWithoutLetter", {"/c", "/oc"}, 1, A::Batch, "-B--", 0, 5, "B0 "},
        CmdCase{"PathInsteadOfOutputSwitch", {"/c", "b.lst", "o2"}, 0, A::Batch, "-B--", 0, 5, "",
                "b.lst", "in/*.hgl", "o2/"},
        CmdCase{"ShortOIsAPath", {"/d", "/o"}, 0, A::Batch, "-B-A", 0, 5, "", "/o"},
        CmdCase{"UpperCaseOIsAPath", {"/c", "/Op"}, 0, A::Batch, "-B--", 0, 5, "", "/Op"},
        CmdCase{"EmptyListStopsBatch", {"/c", ""}, 0, A::BatchNoList, "-B--", 0, 5, "", ""},
        CmdCase{"EmptyOutputFolderStaysEmpty", {"/d", "/ocp", "a.lst", ""}, 0, A::Batch, "-B-A", 1,
                0, "B1 T0 ", "a.lst", "in/*.hgl", ""},
        CmdCase{"MixedCaseIsAListFile", {"/Ac", "/op"}, 1, A::None, "----", 1, 5, "", "/Ac"},
        CmdCase{"AbsolutePathLikeSwitch", {"/c/list.txt"}, 0, A::None, "----", 0, 5, "",
                "/c/list.txt"},
        CmdCase{"RelativePathLikeSwitch", {"./c"}, 0, A::None, "----", 0, 5, "", "./c"},
        CmdCase{"EmptyFirstArgument", {""}, 0, A::None, "----", 0, 5, "", ""},
        CmdCase{"StandbyPaths", {"/b", "/o0", "x/*.plt", "y/"}, 1, A::Standby, "S--A", 0, 22,
                "B0 B0 T22 ", "list.lst", "x/*.plt", "y/"},
        CmdCase{"StandbyComparePathsAreStandbyPaths", {"/BC", "x/*.plt", "y"}, 0, A::Standby,
                "S-CA", 1, 5, "B1 ", "list.lst", "x/*.plt", "y/"},
        CmdCase{"ComparePaths", {"/h", "/ot", "p/*.hgl", "q", "extra"}, 0, A::Compare, "--CA", 1, 1,
                "B1 T1 ", "list.lst", "in/*.hgl", "out/", "p/*.hgl", "q/"},
        CmdCase{"CompareOneEmptyPath", {"/G", ""}, 0, A::Compare, "--C-", 1, 5, "B1 ", "list.lst",
                "in/*.hgl", "out/", ""}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

// "/jN" and "/s" after the mode switch, in any order with the output type; N is clamped.
TEST(CommandLine, ConvertersAndSharedHotFolderSwitches) {
    struct Row {
        std::vector<std::string> args;
        int converters;
        bool shared;
        const char* input;
    };
    for (const Row& row : {
             Row{{"/b", "/j4", "/op", "/s", "x/*.plt", "y"}, 4, true, "x/*.plt"},
             Row{{"/d", "/op", "/J99", "a.lst"}, 64, false, "a.lst"},
             Row{{"/d", "/j0", "a.lst"}, 1, false, "a.lst"},
             Row{{"/d", "/j", "a.lst"}, 1, false, "/j"},
             Row{{"/a", "/S", "/j2", "/s", "y"}, 2, true, "/s"},
         }) {
        Settings settings;
        ProgramFlags flags;
        SettingsControls controls(settings);
        ReadCommandLine(row.args, settings, flags, controls, PathRules::Posix());
        EXPECT_EQ(settings.run.converters, row.converters) << row.args[1];
        EXPECT_EQ(settings.run.sharedHotFolder, row.shared) << row.args[1];
        EXPECT_EQ(flags.bCmdStandby ? settings.sAutoOutDirFName : settings.sOutListFileName,
                  row.input)
            << row.args[1];
    }
}

TEST(CommandLine, CmtSelectedWhileComparingFromTheStoreFallsBack) {
    Settings settings;
    settings.iOutTyp = 20;
    ProgramFlags flags;
    RecordingControls controls;
    ReadCommandLine({"/ac"}, settings, flags, controls, PathRules::Posix());
    EXPECT_EQ(settings.iOutTyp, 0);
    SettingsControls rules(settings);
    rules.SetCompareBox(false);
    rules.SelectOutTyp(20);
    EXPECT_EQ(settings.iOutTyp, 20);  // comparison off: CMT allowed
    rules.SetCompareBox(true);
    EXPECT_EQ(settings.iOutTyp, 0);
    EXPECT_EQ(settings.iChgArea, 1);
}

TEST(CommandLine, OutputFolderGetsTheWindowsSeparatorAwareOfDoubleByteNames) {
    Settings settings;
    ProgramFlags flags;
    RecordingControls controls;
    ReadCommandLine({"/c", "a.lst", "C:\\\x95\x5C"}, settings, flags, controls,
                    PathRules::Windows(932));
    EXPECT_EQ(settings.sOutDir, "C:\\\x95\x5C\\");
    ReadCommandLine({"/c", "a.lst", "C:\\Out\\"}, settings, flags, controls,
                    PathRules::Windows(932));
    EXPECT_EQ(settings.sOutDir, "C:\\Out\\");
}

}  // namespace
}  // namespace ka
