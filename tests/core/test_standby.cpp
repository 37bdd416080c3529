// Standby output driven tick by tick, with real folders and the stand-in converter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "RunFixture.h"
#include "TestSupport.h"
#include "app/FolderCompare.h"
#include "app/RunModes.h"
#include "app/StandbyRun.h"
#include "platform/platform.h"

#ifndef _WIN32
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace ka {
namespace {

TEST(StandbyText, SizeFieldPatternAndCountdown) {
    const std::vector<std::pair<std::uint64_t, std::string>> sizes = {
        {0, "         0"},
        {2'147'483'648ULL, "2147483648"},
        {9'999'999'999ULL, "9999999999"},
        {10'000'000'000ULL, "+004LDQPDS"},
        {101'559'956'668'415ULL, "+ZZZZZZZZZ"},
        {101'559'956'668'416ULL, ""},  // beyond the field: not listed at all
    };
    for (const auto& [size, field] : sizes) {
        EXPECT_EQ(SnapshotSizeField(size), field) << size;
    }
    const PathRules win = PathRules::Windows();
    EXPECT_EQ(StandbyPattern("C:\\In\\*.hgl", true, win), "*.hgl");
    EXPECT_EQ(StandbyPattern("C:\\In\\*.hgl", false, win), "*.pdf");
    EXPECT_EQ(StandbyPattern("C:*", false, win), "*.pdf");
    EXPECT_EQ(WaitTimeText(3725), "Waiting!  Waiting time=1 Hour  2 Minute  5 Second");
}

class Standby : public test::RunFixture {
  protected:
    void SetUp() override {
        test::MakeDir(inDir);
        settings.sAutoOutDirFName = JoinPath(inDir, "*.hgl");
        settings.iAutoWaitTime = 2;
    }

    std::string In(const std::string& name) const { return JoinPath(inDir, name); }
    void Put(const std::string& name, const std::string& bytes) {
        test::WriteFileBytes(In(name), bytes);
    }
    bool Has(const std::string& name) const { return platform::FileExists(In(name)); }
    std::string Data(const std::string& name) const { return JoinPath(dataDir, name); }
    // The first tick is the start, as a click on "Standby Output"; the rest are timer ticks.
    void Tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            if (Phase() == StandbyPhase::Idle) {
                window.settings = settings;
                modes.ButtonAutoOutputClick(window);
            } else {
                modes.StandbyTick();
            }
        }
    }
    StandbyPhase Phase() const { return modes.Standby().phase; }
    // A file's CR LF lines, sorted: the snapshots follow the file system's order.
    static std::vector<std::string> Lines(const std::string& path) {
        const std::string text = test::ReadFileBytes(path);
        std::vector<std::string> lines;
        for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos;
             pos = end + 2) {
            lines.push_back(text.substr(pos, end - pos));
        }
        EXPECT_EQ(test::CrLfLines(lines), text) << path;
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    const std::string inDir = tmp / "in";
};

TEST_F(Standby, ConvertsOnlyFilesThatKeptTheirSizeAndDeletesThem) {
    Put("a.hgl", "aaaa");
    Put("grow.hgl", "12");
    Put("same.hgl", "xyz");
    Put("ro.hgl", "read-only");
    test::SetReadOnly(In("ro.hgl"), true);
    Put("note.txt", "other pattern");
    Put("longername.hglx", "whose short name matches");

    Tick();  // start: first snapshot
    EXPECT_EQ(Phase(), StandbyPhase::Waiting);
    EXPECT_FALSE(host.buttonsEnabled);
    EXPECT_EQ(host.status, "Waiting!  Waiting time=0 Hour  0 Minute  2 Second");
    EXPECT_EQ(
        Lines(Data("FList1.txt")),
        (std::vector<std::string>{"         2grow.hgl", "         3same.hgl", "         4a.hgl"}));
    EXPECT_EQ(host.list.size(), 3u);

    Put("grow.hgl", "123");   // still being written
    Put("same.hgl", "abc");   // rewritten with the same size
    Put("late.hgl", "late");  // arrived during the wait
    Tick(2);                  // countdown to 0, then processing and the next period at once

    EXPECT_EQ(Lines(Data("FList2.txt")),
              (std::vector<std::string>{"         3grow.hgl", "         3same.hgl",
                                        "         4a.hgl", "         4late.hgl"}));
    EXPECT_EQ(Lines(Data("FList.txt")), (std::vector<std::string>{In("a.hgl"), In("same.hgl")}));
    EXPECT_EQ(Lines(settings.sComLineFile),
              (std::vector<std::string>{
                  "/p \"" + In("a.hgl") + "\" \"/o" + settings.sOutDir + "a.pdf\"",
                  "/p \"" + In("same.hgl") + "\" \"/o" + settings.sOutDir + "same.pdf\""}));
    EXPECT_EQ(Starts(), 1);
    EXPECT_TRUE(platform::FileExists(settings.sOutDir + "same.pdf"));
    EXPECT_FALSE(Has("a.hgl"));
    EXPECT_FALSE(Has("same.hgl"));
    EXPECT_TRUE(Has("grow.hgl") && Has("late.hgl") && Has("ro.hgl") && Has("note.txt") &&
                Has("longername.hglx"));
    EXPECT_NE(std::find(host.statusHistory.begin(), host.statusHistory.end(), "Waiting !"),
              host.statusHistory.end());
    EXPECT_EQ(Phase(), StandbyPhase::Waiting);
    // The timer is off for the cycle and back on for the next waiting period.
    EXPECT_EQ(host.standbyPhases,
              (std::vector<StandbyPhase>{StandbyPhase::Waiting, StandbyPhase::Cycle,
                                         StandbyPhase::Waiting}));

    Tick(3);  // the next cycle takes the two that have settled
    EXPECT_FALSE(Has("grow.hgl") || Has("late.hgl"));
    EXPECT_TRUE(Has("ro.hgl"));
    EXPECT_EQ(Starts(), 2);
    EXPECT_TRUE(sink.messages.empty());
}

// A cycle hands drawings whose output is there already (most often left by a start that never
// ended) to the converter last, and gives one start at most 256 jobs, so a program killed in the
// middle of a cycle has proven what the starts before had done.
TEST_F(Standby, OldOutputsGoLastAndStartsStaySmall) {
    for (int i = 0; i < 300; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "d%03d.hgl", i);
        Put(name, name);
    }
    test::WriteFileBytes(settings.sOutDir + "d000.pdf", "left by a start that never ended");
    Tick(3);
    EXPECT_EQ(Starts(), 2);
    const auto log = test::ReadLfLines(standinLog);
    std::vector<std::string> handed;
    for (const std::string& line : log) {
        if (line.rfind("line ", 0) == 0) {
            handed.push_back(line);
        }
    }
    ASSERT_EQ(handed.size(), 300u);
    EXPECT_NE(handed.back().find("d000.hgl"), std::string::npos);
    EXPECT_NE(handed.back().find("d000 (2).pdf"), std::string::npos);
    EXPECT_EQ(modes.LastCounts().Of(JobResult::Written), 300);
}

// Names the job syntax cannot carry stay where they are and are reported once. Before, a CR or
// Ctrl-Z split the snapshot line and the unrelated file it then named ("victim.txt", "a") was
// deleted; a comma or quote split the job.
TEST_F(Standby, NamesTheJobSyntaxCannotCarryAreLeftAlone) {
    std::vector<std::string> odd = {"Plan A,rev2.hgl"};
    if (PathRules::Native().style == PathStyle::Posix) {  // not valid in Windows names
        odd.insert(odd.end(), {"q\"uote.hgl", "victim.txt\r.hgl", "a\x1A.hgl", "new\nline.hgl"});
    }
    for (const std::string& name : odd) {
        Put(name, "odd");
    }
    for (const char* unrelated : {"victim.txt", "a", "Plan A", "q"}) {
        Put(unrelated, "unrelated");
    }
    Put("ok.hgl", "fine");
    Tick(3);

    EXPECT_EQ(Lines(settings.sComLineFile),
              std::vector<std::string>{"/p \"" + In("ok.hgl") + "\" \"/o" + settings.sOutDir +
                                       "ok.pdf\""});
    EXPECT_FALSE(Has("ok.hgl"));
    for (const std::string& name : odd) {
        EXPECT_EQ(test::ReadFileBytes(In(name)), "odd");
    }
    for (const char* unrelated : {"victim.txt", "a", "Plan A", "q"}) {
        EXPECT_EQ(test::ReadFileBytes(In(unrelated)), "unrelated") << unrelated;
    }
    // One message, naming each file.
    ASSERT_EQ(sink.messages.size(), 1u);
    for (const std::string& name : odd) {
        EXPECT_NE(sink.messages[0].find(PrintablePath(In(name))), std::string::npos) << name;
    }
    Tick(4);  // later cycles find them again but say nothing new
    EXPECT_EQ(sink.messages.size(), 1u);
}

// A copy that stalls with its file open keeps the size unchanged; the file is taken only once
// the writer has closed it, however many cycles that takes.
TEST_F(Standby, AFileHeldOpenByAnotherProgramWaitsUntilItIsClosed) {
    Put("a.hgl", "complete");
    Put("copying.hgl", "half");
    {
        const test::HeldOpen writer(In("copying.hgl"));
        ASSERT_TRUE(writer.IsOpen());
        Tick(5);
        EXPECT_FALSE(Has("a.hgl"));
        EXPECT_TRUE(Has("copying.hgl"));
        EXPECT_EQ(Starts(), 1);
    }
    Tick(2);
    EXPECT_FALSE(Has("copying.hgl"));
    EXPECT_EQ(Starts(), 2);
}

#ifndef _WIN32
// Drops the right to take leases on other users' files from this thread for the object's life.
class WithoutLeaseRight {
  public:
    WithoutLeaseRight() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        if (syscall(SYS_capget, &header_, saved_) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[CAP_LEASE / 32].effective &= ~(1u << (CAP_LEASE % 32));
        dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutLeaseRight() {
        if (dropped_) {
            syscall(SYS_capset, &header_, saved_);
        }
    }
    WithoutLeaseRight(const WithoutLeaseRight&) = delete;
    WithoutLeaseRight& operator=(const WithoutLeaseRight&) = delete;
    bool Dropped() const { return dropped_; }

  private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

// Another user's file gets no lease: then a file whose time moved during the wait is not taken,
// even with its size unchanged.
TEST_F(Standby, WithoutALeaseTheModificationTimeMustStayToo) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs files of another owner";
    }
    // Times that differ, so each file is held to its own.
    for (const auto& [name, time] :
         {std::pair{"kept.hgl", 1'600'000'000}, std::pair{"touched.hgl", 1'600'000'030}}) {
        Put(name, "1234");
        test::SetModificationTime(In(name), time);
        ASSERT_EQ(chown(In(name).c_str(), 65534, 65534), 0);
    }
    const WithoutLeaseRight noLease;
    ASSERT_TRUE(noLease.Dropped());
    platform::UnsharedFile probe;
    ASSERT_TRUE(platform::CanOpenReadWrite(In("kept.hgl"), probe));
    ASSERT_FALSE(probe.openersKnown);

    Tick();
    test::SetModificationTime(In("touched.hgl"), 1'600'000'060);
    Tick(2);
    EXPECT_FALSE(Has("kept.hgl"));
    EXPECT_TRUE(Has("touched.hgl"));
    Tick(2);  // unchanged through the next wait: taken
    EXPECT_FALSE(Has("touched.hgl"));
}
#endif

// A converter that cannot be started has seen nothing: every input stays for a later cycle.
class StandbyNoConverter : public Standby, public ::testing::WithParamInterface<int> {};

TEST_P(StandbyNoConverter, KeepsEveryInput) {
    settings.iOutTyp = static_cast<std::uint8_t>(GetParam());
    settings.sKorvaneExe = tmp / "no-such-converter";
    Put("a.hgl", "a");
    Put("b.hgl", "b");
    Tick(6);
    EXPECT_EQ(Lines(Data("FList.txt")), (std::vector<std::string>{In("a.hgl"), In("b.hgl")}));
    EXPECT_TRUE(Has("a.hgl") && Has("b.hgl"));
}

INSTANTIATE_TEST_SUITE_P(OutTyp, StandbyNoConverter, ::testing::Values(0, 22));

TEST_F(Standby, DisplayTypeStartsTheConverterOncePerFile) {
    settings.iOutTyp = 22;
    Put("a.hgl", "a");
    Put("b.hgl", "b");
    Tick(3);
    const auto log = test::ReadLfLines(standinLog);
    EXPECT_EQ(Starts(), 2);
    EXPECT_NE(std::find(log.begin(), log.end(), "argv 1 " + In("b.hgl")), log.end());
    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile), "");
    EXPECT_FALSE(Has("a.hgl") || Has("b.hgl"));
}

TEST_F(Standby, Output2TakesPdfFilesOnly) {
    window.output1Shown = false;
    Put("a.hgl", "a");
    Put("p.pdf", "p");
    Tick();
    EXPECT_EQ(Lines(Data("FList1.txt")), (std::vector<std::string>{"         1p.pdf"}));
}

// Pairs that arrive during a wait are compared, and logged, only by the cycle that finds them
// stable: each once. The log is cleared only on the first start.
TEST_F(Standby, ComparisonTakesEachPairOnceItIsStable) {
    const std::string dir2 = tmp / "in2";
    const std::string logFile = JoinPath(JoinPath(tmp / "Tavrolint", "Korvane"), "Compar2.log");
    test::MakeDir(dir2);
    test::MakeDir(JoinPath(tmp / "Tavrolint", "Korvane"));
    window.compareChecked = true;
    settings.iChgArea = 1;
    settings.iCompSkipFlags = 2;
    settings.sChgAreaDir1 = JoinPath(inDir, "*.hgl");
    settings.sChgAreaDir2 = WithTrailingSeparator(dir2);
    const auto pair = [&](const std::string& name, const std::string& one, const std::string& two) {
        Put(name, one);
        test::WriteFileBytes(JoinPath(dir2, name), two);
    };
    pair("a.hgl", "one", "two");
    test::WriteFileBytes(logFile, "before standby\r\n");

    Tick();
    EXPECT_FALSE(platform::PathExists(logFile));
    test::WriteFileBytes(logFile, "first cycle\r\n");
    pair("late.hgl", "still being written", "other");  // dropped by the size rule
    pair("late2.hgl", "abc", "abd");                   // compared
    Tick(2);

    EXPECT_EQ(test::ReadFileBytes(logFile), "first cycle\r\n");
    EXPECT_FALSE(Has("a.hgl") || platform::PathExists(JoinPath(dir2, "a.hgl")));
    EXPECT_TRUE(Has("late.hgl") && Has("late2.hgl"));
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Phase(), StandbyPhase::Waiting);
    EXPECT_FALSE(host.buttonsEnabled);  // the comparison left the controls to standby

    Tick(4);  // the next cycle takes both; the one after finds nothing
    EXPECT_EQ(test::ReadFileBytes(logFile),
              test::CrLfLines(
                  {"first cycle", "*3 File size differs by more than 30% ; " + In("late.hgl")}));
    const auto log = test::ReadLfLines(standinLog);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const std::string& l) {
                                return l.rfind("line ", 0) == 0 &&
                                       l.find(In("late2.hgl")) != std::string::npos;
                            }),
              1);
    EXPECT_FALSE(Has("late.hgl") || Has("late2.hgl"));
}

TEST_F(Standby, CountdownOfTenMinutesProcessesAfterItRunsOut) {
    settings.iAutoWaitTime = 600;
    Tick();
    EXPECT_EQ(host.status, "Waiting!  Waiting time=0 Hour  10 Minute  0 Second");
    Tick();
    EXPECT_EQ(host.status, "Waiting!  Waiting time=0 Hour  9 Minute  58 Second");
    Tick(299);
    EXPECT_FALSE(platform::FileExists(Data("FList2.txt")));
    Tick();
    EXPECT_TRUE(platform::FileExists(Data("FList2.txt")));
}

TEST_F(Standby, FilesOfManyGigabytesKeepTheirFullSize) {
    Put("big.hgl", "");
    Put("huge.hgl", "");
    std::error_code ec;
    std::filesystem::resize_file(In("big.hgl"), 3ULL << 30, ec);
    if (!ec) {
        std::filesystem::resize_file(In("huge.hgl"), 12ULL << 30, ec);
    }
    if (ec) {
        GTEST_SKIP() << "the file system refuses large sparse files: " << ec.message();
    }
    Tick();
    EXPECT_EQ(Lines(Data("FList1.txt")),
              (std::vector<std::string>{"+005X3C5XChuge.hgl", "3221225472big.hgl"}));
    Tick(2);
    EXPECT_EQ(Lines(Data("FList.txt")), (std::vector<std::string>{In("big.hgl"), In("huge.hgl")}));
    EXPECT_FALSE(Has("big.hgl") || Has("huge.hgl"));
}

// The work list is read back before hand-over: a line the matching did not write (a cut or
// foreign line, a file that was not stable, a repeat) hands nothing over, in whatever order.
TEST_F(Standby, HandsOverOnlyTheStablePathsTheWorkListHoldsAndEachOnce) {
    for (const char* name : {"a.hgl", "b.hgl", "c.hgl"})
        Put(name, name);
    Tick();
    Put("late.hgl", "late");
    host.onPump = [&] {
        if (host.status != "Outputting !")
            return;
        host.onPump = nullptr;
        test::WriteFileBytes(Data("FList.txt"),
                             test::CrLfLines({In("c.hgl"), In("late.hgl"), In("a.h"), In("a.hgl"),
                                              In("a.hgl"), In("b.hgl")}));
    };
    Tick(2);
    EXPECT_EQ(Lines(settings.sComLineFile),
              (std::vector<std::string>{
                  "/p \"" + In("a.hgl") + "\" \"/o" + settings.sOutDir + "a.pdf\"",
                  "/p \"" + In("b.hgl") + "\" \"/o" + settings.sOutDir + "b.pdf\"",
                  "/p \"" + In("c.hgl") + "\" \"/o" + settings.sOutDir + "c.pdf\""}));
    EXPECT_FALSE(Has("a.hgl") || Has("b.hgl") || Has("c.hgl"));
    EXPECT_TRUE(Has("late.hgl"));
}

TEST_F(Standby, UnwritableSnapshotsAreReportedAndNothingIsLost) {
    settings.sDataDir = tmp / "missing";
    Put("a.hgl", "a");
    Tick();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].rfind("I/O Error code=", 0), 0u);
    Tick(2);
    // FList2.txt, the two snapshots, the work list and the next period's FList1.txt.
    EXPECT_EQ(sink.messages.size(), 6u);
    EXPECT_TRUE(Has("a.hgl"));
    EXPECT_EQ(Starts(), 0);
}

// "Stop Standby" while waiting ends standby at once; during a cycle, and "End" during a
// cycle, the cycle in hand completes and no new waiting period starts.
struct StopRow {
    const char* name;
    bool duringCycle;
    bool end;
};

class StandbyStop : public Standby, public ::testing::WithParamInterface<StopRow> {};

TEST_P(StandbyStop, EndsStandbyAndRestoresTheControls) {
    const StopRow& row = GetParam();
    Put("a.hgl", "a");
    Tick(2);
    const auto stop = [&] {
        if (row.end) {
            flags.bEndRequested = true;
        } else {
            modes.StopStandby();
        }
    };
    if (row.duringCycle) {
        host.onPump = [&] {
            stop();
            host.onPump = nullptr;
        };
        Tick();
    } else {
        stop();
        modes.StandbyTick();  // a tick already queued does nothing
    }
    EXPECT_EQ(Has("a.hgl"), !row.duringCycle);
    EXPECT_EQ(Phase(), StandbyPhase::Idle);
    EXPECT_EQ(host.standbyPhases.back(), StandbyPhase::Idle);
    EXPECT_TRUE(host.buttonsEnabled);
    EXPECT_FALSE(flags.bInStandby);

    if (!row.end) {  // standby can be started again
        Tick();
        EXPECT_EQ(Phase(), StandbyPhase::Waiting);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StandbyStop,
                         ::testing::Values(StopRow{"StopWhileWaiting", false, false},
                                           StopRow{"StopDuringCycle", true, false},
                                           StopRow{"EndDuringCycle", true, true}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace ka
