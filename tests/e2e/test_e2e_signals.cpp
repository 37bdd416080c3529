// The real program stopped from outside: a stop signal ends it in order (whole report, exit code,
// no converter left, nothing lost), and a program killed outright is finished at its next start
// without converting again what it had proven done.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "KorvaneAutoRun.h"
#include "TestSupport.h"
#include "app/RunResults.h"
#include "platform/platform.h"

// POSIX signals: on Windows a stop comes as a console or session event instead.
#ifndef _WIN32

namespace ka {
namespace {

bool WaitUntil(int seconds, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Processes whose command line names the text (the stand-in converter over this test's record
// file): none may outlive the program.
int ProcessesNaming(const std::string& text) {
    int found = 0;
    platform::FindEntries("/proc/*", [&](const platform::DirEntry& entry) {
        if (entry.name.find_first_not_of("0123456789") != std::string::npos) {
            return true;
        }
        std::string cmdline;
        const std::string path = "/proc/" + entry.name + "/cmdline";
        if (platform::FileExists(path)) {
            cmdline = test::ReadFileBytes(path);
        }
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        found += cmdline.find(text) != std::string::npos ? 1 : 0;
        return true;
    });
    return found;
}

class E2eStops : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const std::string& dir : {dataDir, outDir, inDir}) {
            test::MakeDir(dir);
        }
        test::WriteFileBytes(JoinPath(dataDir, "KorvaneAuto.par"),
                             test::ParFileBytes({{"sOutDir", WithTrailingSeparator(outDir)},
                                                 {"iAutoWaitTime", "2"}}));
        for (int i = 0; i < 6; ++i) {
            const std::string name = "d" + std::to_string(i) + ".hgl";
            bytes[name] = "drawing <" + name + ">";
            test::WriteFileBytes(JoinPath(inDir, name), bytes[name]);
        }
    }
    std::vector<std::string> Standby() const {
        return test::KorvaneAutoCommand({"/b", JoinPath(inDir, "*.hgl"), outDir});
    }
    std::vector<std::string> Log() const { return test::ReadLfLines(tmp / "standin.log"); }
    int Outputs() const {
        const auto log = Log();
        return static_cast<int>(std::count_if(log.begin(), log.end(), [](const std::string& l) {
            return l.rfind("output ", 0) == 0;
        }));
    }
    // Every drawing is in place or gone with a whole copy of it in the output folder.
    void ExpectNothingLost() const {
        std::vector<std::string> outputs;
        platform::FindEntries(JoinPath(outDir, "*"), [&](const platform::DirEntry& e) {
            if (!e.isDirectory) {
                outputs.push_back(test::ReadFileBytes(JoinPath(outDir, e.name)));
            }
            return true;
        });
        for (const auto& [name, content] : bytes) {
            const std::string in = JoinPath(inDir, name);
            const bool inPlace = platform::FileExists(in) && test::ReadFileBytes(in) == content;
            const bool converted =
                std::find(outputs.begin(), outputs.end(), content) != outputs.end();
            EXPECT_TRUE(inPlace || converted) << name << " is lost";
        }
    }
    std::string Report() const {
        const std::string path = RunReport::PathIn(dataDir);
        return platform::FileExists(path) ? test::ReadFileBytes(path) : std::string();
    }

    test::TempDir tmp;
    const std::string dataHome = tmp / "data";
    const std::string dataDir = JoinPath(JoinPath(dataHome, "Tavrolint"), "KorvaneAuto");
    const std::string outDir = tmp / "out", inDir = tmp / "hot";
    std::map<std::string, std::string> bytes;
    test::ScopedEnv dataHomeEnv{test::DataHomeVariable(), dataHome};
    test::ScopedEnv qpa{"QT_QPA_PLATFORM", test::ProgramQtPlatform()};
    test::ScopedEnv logEnv{"KORVANE_STANDIN_LOG", tmp / "standin.log"};
    test::ScopedEnv copyEnv{"KORVANE_STANDIN_COPY", "1"};
    test::ScopedEnv slowEnv{"KORVANE_STANDIN_JOB_MS", "300"};
};

struct StopRow {
    const char* name;
    int signal;
    bool duringConversion;  // else during the wait before the first cycle
};

class E2eStopSignal : public E2eStops, public ::testing::WithParamInterface<StopRow> {};

TEST_P(E2eStopSignal, EndsInOrder) {
    const StopRow& row = GetParam();
    const std::string output = tmp / "stdout.txt";
    test::ChildProcess program(Standby(), output);
    ASSERT_TRUE(program.Started());
    if (row.duringConversion) {
        ASSERT_TRUE(WaitUntil(30, [&] { return Outputs() >= 2; })) << "no conversion";
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    }
    ASSERT_TRUE(program.Signal(row.signal));
    ASSERT_TRUE(program.WaitFor(15)) << "did not end after the signal";
    EXPECT_EQ(program.ExitCode(), 1);
    EXPECT_EQ(ProcessesNaming(dataDir), 0) << "a converter outlived the program";
    ExpectNothingLost();
    const std::string report = Report();
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
    EXPECT_NE(report.find("\tsignal\tmessage\tEnded by "), std::string::npos) << report;
    if (row.duringConversion) {
        // The stopped run judged and reported every job it had, with its run line.
        EXPECT_NE(report.find("\tstandby\trun\t"), std::string::npos) << report;
        EXPECT_NE(report.find("\tstopped\r\n"), std::string::npos) << report;
    }
    EXPECT_NE(test::ReadFileBytes(output).find("; exit code 1"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, E2eStopSignal,
                         ::testing::Values(StopRow{"TermWhileWaiting", SIGTERM, false},
                                           StopRow{"TermWhileConverting", SIGTERM, true},
                                           StopRow{"IntWhileConverting", SIGINT, true},
                                           StopRow{"HupWhileConverting", SIGHUP, true}),
                         [](const auto& row) { return std::string(row.param.name); });

// Killed outright during a conversion: the converter goes with it, and the next start finishes
// the work without losing a drawing or converting one more than twice.
TEST_F(E2eStops, AKilledProgramIsFinishedAtItsNextStart) {
    {
        test::ChildProcess program(Standby());
        ASSERT_TRUE(WaitUntil(30, [&] { return Outputs() >= 2; })) << "no conversion";
        ASSERT_TRUE(program.Signal(SIGKILL));
        ASSERT_TRUE(program.WaitFor(10));
    }
    EXPECT_TRUE(WaitUntil(5, [&] { return ProcessesNaming(dataDir) == 0; }))
        << "a converter outlived the program";
    ExpectNothingLost();

    test::ChildProcess again(Standby());
    EXPECT_TRUE(WaitUntil(60, [&] {
        return std::none_of(bytes.begin(), bytes.end(), [&](const auto& item) {
            return platform::FileExists(JoinPath(inDir, item.first));
        });
    })) << "the drawings were not all converted after the restart";
    ASSERT_TRUE(again.Signal(SIGTERM));
    ASSERT_TRUE(again.WaitFor(15));
    ExpectNothingLost();
    std::map<std::string, int> conversions;
    for (const std::string& line : Log()) {
        if (line.rfind("output ", 0) == 0) {
            const std::string name = NamePart(line.substr(7));
            ++conversions[name.substr(0, name.find_first_of(" ."))];
        }
    }
    for (const auto& [name, times] : conversions) {
        EXPECT_LE(times, 2) << name;
    }
    const std::string report = Report();
    EXPECT_NE(report.find("\tstandby recovered\t"), std::string::npos) << report;
}

}  // namespace
}  // namespace ka

#endif
