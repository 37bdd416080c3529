// The real program started from its command line, in a fresh per-user data folder: it prepares
// the folder from "Init", runs what the command line asks for, ends by itself and leaves the
// command line's settings in its parameter file.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "KorvaneAutoRun.h"
#include "TestSupport.h"
#include "platform/platform.h"
#include "shell/Paths.h"

namespace {

using ka::test::TempDir;

using ka::test::ProgramRun;
using ka::test::RunKorvaneAuto;

std::vector<std::string> ParLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            break;
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class StartupE2eTest : public ::testing::Test {
  protected:
    std::string DataDir() const { return ka::JoinPath(appData / "Tavrolint", "KorvaneAuto"); }
    std::string ParPath() const { return ka::JoinPath(DataDir(), "KorvaneAuto.par"); }
    std::string ShippedPar() const {
        const std::string exe = ka::test::BuiltPath(KA_KORVANEAUTO_EXE);
        return ka::test::ReadFileBytes(
            ka::JoinPath(ka::JoinPath(ka::FolderPart(exe), "Init"), "KorvaneAuto.par"));
    }
    // Runs the program on this test's data folder, without a display.
    ProgramRun Run(const std::vector<std::string>& args) { return RunKorvaneAuto(args); }

    TempDir appData;
    TempDir work;
    ka::test::ScopedEnv dataHome{ka::test::DataHomeVariable(), appData.Path()};
    ka::test::ScopedEnv qpa{"QT_QPA_PLATFORM", ka::test::ProgramQtPlatform()};
};

// Without a data folder, and over a parameter file of another version, which the shipped one
// replaces.
class CompareStartTest : public StartupE2eTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CompareStartTest, CompareSwitchRunsEndsAndKeepsTheCommandLineSettings) {
    if (GetParam()) {
        ka::test::MakeDir(DataDir());
        ka::test::WriteFileBytes(ParPath(), ka::test::CrLfLines({"Version 9.00", "old", "x"}));
    }
    ka::test::MakeDir(work / "in1");
    ka::test::MakeDir(work / "in2");
    const std::string pattern = ka::JoinPath(work / "in1", "*.hgl");
    const ProgramRun run = Run({"/h", pattern, work / "in2"});
    ASSERT_TRUE(run.ended) << "the program did not end by itself";
    // The shipped settings name no output folder: the comparison is refused, nothing runs.
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(ka::platform::FileExists(ka::JoinPath(DataDir(), "Korvaneline.txt")));

    const std::vector<std::string> written = ParLines(ka::test::ReadFileBytes(ParPath()));
    const std::vector<std::string> shipped = ParLines(ShippedPar());
    ASSERT_EQ(written.size(), 23u);
    ASSERT_EQ(shipped.size(), 23u);
    EXPECT_EQ(written[14], pattern);
    EXPECT_EQ(written[15], ka::WithTrailingSeparator(work / "in2"));
    EXPECT_EQ(written[16], "1");
    // Everything the command line did not touch is the shipped file's.
    for (size_t line : {0, 1, 2, 9, 10, 13, 17, 18, 21}) {
        EXPECT_EQ(written[line], shipped[line]) << "line " << line + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(FreshOrOtherVersion, CompareStartTest, ::testing::Bool());

// A new account: no ~/.local/share yet. The folder is created and seeded, and settings stay.
TEST_F(StartupE2eTest, FreshHomeGetsItsDataFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows creates the local application-data folder with the account";
#else
    const std::string home = work / "home";
    ka::test::MakeDir(home);
    ka::test::MakeDir(work / "in1");
    ka::test::MakeDir(work / "in2");
    ka::test::RunOptions options;
    options.env = {{"HOME", home}, {"XDG_DATA_HOME", ""}};
    const ProgramRun run = RunKorvaneAuto({"/h", work / "in1/*.hgl", work / "in2"}, options);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 2);  // no output folder in the shipped settings
    const std::vector<std::string> par = ParLines(
        ka::test::ReadFileBytes(home + "/.local/share/Tavrolint/KorvaneAuto/KorvaneAuto.par"));
    ASSERT_EQ(par.size(), 23u);
    EXPECT_EQ(par[14], work / "in1/*.hgl");  // the run's settings were kept at the end
#endif
}

// Arguments that the window toolkit would take for its own options are the program's: here
// the names of batch list files in the working folder. The shipped settings name the stand-in
// converter and PDF output.
TEST_F(StartupE2eTest, ToolkitLookingArgumentsAreTheProgramsOwn) {
    ka::test::WriteFileBytes(work / "drawing.hgl", "drawing");
    for (const char* list : {"-style", "-reverse"}) {
        SCOPED_TRACE(list);
        const std::string out = work / (std::string("out") + list);
        ka::test::MakeDir(out);
        ka::test::WriteFileBytes(work / list, ka::test::CrLfLines({work / "drawing.hgl"}));
        ka::test::RunOptions options;
        options.workingFolder = work.Path();
        const ProgramRun run = RunKorvaneAuto({"/d", list, out}, options);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(ka::platform::FileExists(ka::JoinPath(out, "drawing.pdf")));
    }
}

}  // namespace
