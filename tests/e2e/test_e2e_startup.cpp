// The real program started from its command line, in a fresh per-user data folder: it prepares
// the folder from "Init", runs what the command line asks for, ends by itself and leaves the
// command line's settings in its parameter file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/platform.h"
#include "shell/Paths.h"

namespace {

using ka::test::TempDir;

struct ProgramRun {
    bool ended = false;  // false: still running at the time limit, then killed
    int exitCode = -1;
};

// Starts the program with the given arguments and environment additions and waits for it to
// end; kills it when it runs longer than the limit, so a hanging program fails the test.
// An empty value removes the variable; a working folder other than "" is changed to first.
ProgramRun RunKorvaneAuto(const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& env,
                          const std::string& workingFolder = "",
                          std::chrono::seconds limit = std::chrono::seconds(60)) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        if (!workingFolder.empty() && chdir(workingFolder.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        std::string exe = KA_KORVANEAUTO_EXE;
        argv.push_back(exe.data());
        std::vector<std::string> copies = args;
        for (auto& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    ProgramRun run;
    if (pid < 0)
        return run;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (true) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            run.ended = true;
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return run;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

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
    std::string DataDir() const { return appData / "Tavrolint/KorvaneAuto"; }
    std::string ParPath() const { return DataDir() + "/KorvaneAuto.par"; }
    std::string ShippedPar() const {
        return ka::test::ReadFileBytes(
            ka::JoinPath(ka::FolderPart(KA_KORVANEAUTO_EXE), "Init/KorvaneAuto.par"));
    }
    // Runs the program on this test's data folder, without a display.
    ProgramRun Run(const std::vector<std::string>& args) {
        return RunKorvaneAuto(
            args, {{"XDG_DATA_HOME", appData.Path()}, {"QT_QPA_PLATFORM", "offscreen"}});
    }

    TempDir appData;
    TempDir work;
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
    const ProgramRun run = Run({"/h", work / "in1/*.hgl", work / "in2"});
    ASSERT_TRUE(run.ended) << "the program did not end by itself";
    EXPECT_EQ(run.exitCode, 0);
    // The comparison ran: it created the (empty) record file before finding nothing to pair.
    EXPECT_TRUE(ka::platform::FileExists(DataDir() + "/Korvaneline.txt"));

    const std::vector<std::string> written = ParLines(ka::test::ReadFileBytes(ParPath()));
    const std::vector<std::string> shipped = ParLines(ShippedPar());
    ASSERT_EQ(written.size(), 23u);
    ASSERT_EQ(shipped.size(), 23u);
    EXPECT_EQ(written[14], work / "in1/*.hgl");
    EXPECT_EQ(written[15], (work / "in2") + "/");
    EXPECT_EQ(written[16], "1");
    // Everything the command line did not touch is the shipped file's.
    for (size_t line : {0, 1, 2, 9, 10, 13, 17, 18, 21}) {
        EXPECT_EQ(written[line], shipped[line]) << "line " << line + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(FreshOrOtherVersion, CompareStartTest, ::testing::Bool());

// A new account: no ~/.local/share yet. The folder is created and seeded, and settings stay.
TEST_F(StartupE2eTest, FreshHomeGetsItsDataFolder) {
    const std::string home = work / "home";
    ka::test::MakeDir(home);
    ka::test::MakeDir(work / "in1");
    ka::test::MakeDir(work / "in2");
    const ProgramRun run =
        RunKorvaneAuto({"/h", work / "in1/*.hgl", work / "in2"},
                       {{"HOME", home}, {"XDG_DATA_HOME", ""}, {"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<std::string> par = ParLines(
        ka::test::ReadFileBytes(home + "/.local/share/Tavrolint/KorvaneAuto/KorvaneAuto.par"));
    ASSERT_EQ(par.size(), 23u);
    EXPECT_EQ(par[14], work / "in1/*.hgl");  // the run's settings were kept at the end
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
        const ProgramRun run = RunKorvaneAuto(
            {"/d", list, out},
            {{"XDG_DATA_HOME", appData.Path()}, {"QT_QPA_PLATFORM", "offscreen"}}, work.Path());
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(ka::platform::FileExists(out + "/drawing.pdf"));
    }
}

}  // namespace
