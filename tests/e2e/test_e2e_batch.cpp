// The real program started by another program for an unattended batch output ("/d"): it must
// convert the list with the stand-in converter, save its settings and end by itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/platform.h"

#ifndef _WIN32
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;
#endif

namespace ka {
namespace {

using test::CrLfLines;

constexpr int kTimeoutSeconds = 60;

struct Finished {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
};

// Runs the program with the given arguments; kills it when it has not ended in time.
Finished RunProgram(const std::vector<std::string>& args) {
    Finished result;
#ifdef _WIN32
    std::string line = "\"" + std::string(KA_KORVANEAUTO_EXE) + "\"";
    for (const auto& arg : args) {
        line += " \"" + arg + "\"";
    }
    const platform::ProcessResult run = platform::RunAndWait(line);
    result.started = run.started;
    result.exitCode = run.exitCode;
#else
    std::vector<std::string> all{KA_KORVANEAUTO_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return result;
    }
    result.started = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timedOut = true;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

// A parameter file as the program keeps it, naming the stand-in converter; no list, no folder.
std::string ParFile(const std::string& converter) {
    return CrLfLines({"Version 10.11",
                      "hgl;plt",
                      "tif",
                      "pdf",
                      "emf",
                      "dxf",
                      "dwg",
                      "igs",
                      "gbr",
                      converter,
                      "",
                      "",
                      "",
                      "600",
                      "",
                      "",
                      "0",
                      "2",
                      "0",
                      "0",
                      "0",
                      "30",
                      "0"});
}

struct E2eCase {
    const char* name;
    const char* typeSwitch;
    bool pairs;
    const char* expectedSwitch;
    const char* ext;
    const char* chgAreaLine;  // stored at exit
    const char* outTypLine;
};

void PrintTo(const E2eCase& c, std::ostream* os) {
    *os << c.name;
}

class E2eBatch : public ::testing::TestWithParam<E2eCase> {
  protected:
    test::TempDir tmp;
    const std::string dataHome = tmp / "data";
    const std::string dataDir = JoinPath(JoinPath(dataHome, "Tavrolint"), "KorvaneAuto");
    const std::string log = tmp / "standin.log";
    test::ScopedEnv xdg{"XDG_DATA_HOME", dataHome};
    test::ScopedEnv qpa{"QT_QPA_PLATFORM", "offscreen"};
    test::ScopedEnv standinLog{"KORVANE_STANDIN_LOG", log};
};

TEST_P(E2eBatch, ConvertsTheListAndEndsByItself) {
    const E2eCase& c = GetParam();
    test::MakeDir(dataDir);
    const std::string parFile = JoinPath(dataDir, "KorvaneAuto.par");
    test::WriteFileBytes(parFile, ParFile(test::ConverterExe()));

    const std::string inDir = tmp / "in drawings";
    const std::string outDir = tmp / "out";
    const std::string refDir = tmp / "ref";
    test::MakeDir(inDir);
    test::MakeDir(outDir);
    test::MakeDir(refDir);
    std::vector<std::string> jobs;
    std::vector<std::string> expectedRecord;
    std::vector<std::string> outputs;
    for (const char* name : {"plan1", "plan 2", "plan3"}) {
        const std::string in = JoinPath(inDir, std::string(name) + ".hgl");
        test::WriteFileBytes(in, std::string("drawing ") + name);
        std::string job = in;
        std::string quoted = "\"" + in + "\"";
        if (c.pairs) {
            const std::string ref = JoinPath(refDir, std::string(name) + ".hgl");
            test::WriteFileBytes(ref, std::string("reference ") + name);
            job += "," + ref;
            quoted += " \"" + ref + "\"";
        }
        const std::string out = JoinPath(outDir, std::string(name) + c.ext);
        jobs.push_back(job);
        outputs.push_back(out);
        expectedRecord.push_back(std::string(c.expectedSwitch) + " " + quoted + " \"/o" + out +
                                 "\"");
    }
    const std::string list = tmp / "batch list.txt";
    test::WriteFileBytes(list, CrLfLines(jobs));

    const Finished run = RunProgram({"/d", c.typeSwitch, list, outDir});
    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timedOut) << "the program did not end within " << kTimeoutSeconds << " s";
    EXPECT_EQ(run.exitCode, 0);

    const std::string recordFile = JoinPath(dataDir, "Korvaneline.txt");
    EXPECT_EQ(test::ReadFileBytes(recordFile), CrLfLines(expectedRecord));

    const std::vector<std::string> logLines = test::ReadLfLines(log);
    std::vector<std::string> starts;
    for (std::size_t i = 0; i + 1 < logLines.size(); ++i) {
        if (logLines[i] == "start") {
            starts.push_back(logLines[i + 1]);
        }
    }
    EXPECT_EQ(starts, std::vector<std::string>{"argv 1 /z"});
    for (const auto& out : outputs) {
        EXPECT_TRUE(platform::FileExists(out)) << out;
    }

    // Values from the command line are ordinary settings: saved at the end.
    std::vector<std::string> par;
    {
        const std::string bytes = test::ReadFileBytes(parFile);
        std::size_t start = 0;
        for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            par.push_back(bytes.substr(start, end - start));
        }
    }
    ASSERT_EQ(par.size(), 23u);
    EXPECT_EQ(par[0], "Version 10.11");
    EXPECT_EQ(par[9], test::ConverterExe());
    EXPECT_EQ(par[10], list);
    EXPECT_EQ(par[12], WithTrailingSeparator(outDir));
    EXPECT_EQ(par[16], c.chgAreaLine);
    EXPECT_EQ(par[17], c.outTypLine);
}

INSTANTIATE_TEST_SUITE_P(Runs, E2eBatch,
                         ::testing::Values(E2eCase{"Pdf", "/op", false, "/p", ".pdf", "0", "0"},
                                           E2eCase{"ComparePng", "/ocm", true, "/cm", ".png", "1",
                                                   "15"}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace ka
