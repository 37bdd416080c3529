// A result per job, and what standby, the report and the exit code make of it, with the
// stand-in converter failing in the ways real converters fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "RunFixture.h"
#include "TestSupport.h"
#include "app/RunModes.h"
#include "app/RunOutputs.h"
#include "app/RunResults.h"
#include "platform/platform.h"
#include "settings/UserMessages.h"

namespace ka {
namespace {

using platform::ProcessEnd;

// Fields of the report's job lines by the name of their first input; run lines apart.
struct Report {
    std::map<std::string, std::vector<std::string>> jobs;
    std::vector<std::vector<std::string>> runs;
    std::vector<std::string> messages;
};

Report ReadReport(const std::string& dataDir) {
    Report report;
    const std::string text = test::ReadFileBytes(RunReport::PathIn(dataDir));
    for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos;
         pos = end + 2) {
        std::vector<std::string> fields;
        const std::string line = text.substr(pos, end - pos);
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        if (fields.size() > 2 && fields[2] == "run") {
            report.runs.push_back(fields);
        } else if (fields.size() > 5) {
            report.jobs[NamePart(fields[5])] = fields;
        }
    }
    return report;
}

// Which outputs are one file, which existed before the run (looked at one by one, or from a
// listing once many are asked for), and which page-split files a run wrote.
TEST(RunOutputsTest, KeysBeforeAndSplitPages) {
    test::TempDir tmp;
    const std::string old = tmp / "old.pdf";
    test::WriteFileBytes(old, "from an earlier run");
    test::WriteFileBytes(tmp / "s_1.tif", "a page from an earlier run");
    test::SetModificationTime(tmp / "s_1.tif", 1000000000);
    platform::FileStamp oldStamp;
    ASSERT_TRUE(platform::GetFileStamp(old, oldStamp));

    RunOutputs outputs(platform::NowForFileTimes());
    EXPECT_TRUE(outputs.Claim(tmp / "a.pdf"));
    EXPECT_FALSE(outputs.Claim(tmp / "a.pdf"));
    EXPECT_TRUE(outputs.Claim(tmp / "a_1.pdf"));  // another job's output, not a page of a.pdf
    // Many looks: from the 65th on, one listing of the folder answers.
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(outputs.Before(tmp / ("n" + std::to_string(i) + ".pdf")).existed) << i;
        const OutputBefore seen = outputs.Before(old);
        EXPECT_TRUE(seen.existed);
        EXPECT_EQ(seen.stamp, oldStamp);
    }
    test::WriteFileBytes(tmp / "a_1.pdf", "output of a_1");
    test::WriteFileBytes(tmp / "b_2.pdf", "page 2 of b");
    test::WriteFileBytes(tmp / "e_1.pdf", "");
    EXPECT_FALSE(outputs.SplitWritten(tmp / "a.pdf", true));
    EXPECT_TRUE(outputs.SplitWritten(tmp / "b.pdf", false));
    EXPECT_FALSE(outputs.SplitWritten(tmp / "e.pdf", false));  // empty
    EXPECT_FALSE(outputs.SplitWritten(tmp / "s.tif", false));  // older than the run

    // After a converter: which outputs are there now, from one listing once many are asked;
    // the next round of looks lists the folder anew.
    test::WriteFileBytes(tmp / "c.pdf", "written");
    test::MakeDir(tmp / "d.pdf");
    for (const bool lateFile : {false, true}) {
        outputs.NewLooks();
        platform::FileStamp stamp;
        for (int i = 10; i < 110; ++i) {
            EXPECT_FALSE(outputs.ThereNow(tmp / ("n" + std::to_string(i) + ".pdf"), stamp)) << i;
            ASSERT_TRUE(outputs.ThereNow(tmp / "c.pdf", stamp)) << i;
            EXPECT_EQ(stamp.size, 7U);
        }
        EXPECT_EQ(outputs.FileThere(tmp / "n5.pdf"), lateFile);
        EXPECT_FALSE(outputs.FileThere(tmp / "d.pdf"));  // a folder is no file
        test::WriteFileBytes(tmp / "n5.pdf", "late");
    }

    // Names told apart as the file system tells them: Windows folds case and drops the blanks
    // and dots that end a name.
    RunOutputs windows(0, PathRules::Windows());
    EXPECT_EQ(windows.Key(R"(C:\Out\Plan A.PDF. )"), windows.Key(R"(C:\Out\plan a.pdf)"));
    EXPECT_NE(windows.Key(R"(C:\Out\a.pdf)"), windows.Key(R"(C:\Out\b.pdf)"));
    EXPECT_TRUE(windows.SameName(R"(C:\Out\Plan A.PDF. )", R"(C:\Out\plan a.pdf)"));
    EXPECT_FALSE(windows.SameName(R"(C:\Out\a.pdf)", R"(C:\Out\a.hgl)"));
}

// The set answers as a plain one does, small or large, reserved or grown, while its filter is
// off and once it is on.
TEST(KeySetTest, AnswersAsAPlainSetDoes) {
    for (const bool reserved : {false, true}) {
        KeySet keys;
        if (reserved) {
            keys.Reserve(150000);
        }
        std::unordered_set<std::string> plain;
        std::mt19937 random(7);
        for (int i = 0; i < 300000; ++i) {
            const std::string key = "k" + std::to_string(random() % 200000);
            ASSERT_EQ(keys.Insert(key), plain.insert(key).second) << reserved << " " << i;
            if (i % 5 == 0) {
                const std::string probe = "k" + std::to_string(random() % 400000);
                ASSERT_EQ(keys.Contains(probe), plain.contains(probe)) << reserved << " " << i;
            }
        }
        EXPECT_EQ(keys.Size(), plain.size());
    }
}

class RunOutcome : public test::RunFixture {
  protected:
    void SetUp() override {
        for (const std::string& dir : {inDir, in2Dir}) {
            test::MakeDir(dir);
        }
        settings.sAutoOutDirFName = JoinPath(inDir, "*.hgl");
        settings.iAutoWaitTime = 2;
    }
    std::string In(const std::string& name) const { return JoinPath(inDir, name); }
    std::string Failed(const std::string& dir, const std::string& name) const {
        return JoinPath(JoinPath(dir, kFailedFolderName), name);
    }
    // One standby cycle: the start, the countdown and the processing.
    void StandbyCycle() {
        modes.ButtonAutoOutputClick(Choices());
        modes.StandbyTick();
        modes.StandbyTick();
    }
    RunChoices Choices() {
        window.settings = settings;
        return window;
    }
    // Each file ends as its job's result says: deleted when done (unless replaced meanwhile),
    // moved to Failed without output, in place when not run.
    void ExpectFilesFollowResults(const Report& report, const std::vector<std::string>& dirs) {
        for (const auto& [name, fields] : report.jobs) {
            const std::string& result = fields[2];
            for (const std::string& dir : dirs) {
                const std::string path = JoinPath(dir, name);
                if (result == "no output" || result == "doubtful") {
                    EXPECT_FALSE(platform::PathExists(path)) << path;
                    EXPECT_TRUE(platform::FileExists(Failed(dir, name))) << path;
                } else if (result == "not run" || fields[3] == "inputs kept") {
                    EXPECT_TRUE(platform::FileExists(path)) << path;
                } else {
                    EXPECT_EQ(fields[3], "inputs deleted") << path;
                    EXPECT_FALSE(platform::PathExists(path)) << path;
                }
            }
        }
    }

    const std::string inDir = tmp / "in";
    const std::string in2Dir = tmp / "in2";
};

struct FaultRow {
    const char* what;
    const char* variable;  // of the stand-in converter
    const char* value;
    std::vector<std::string> results;  // sorted
    int exitCode;
};

const FaultRow kFaultRows[] = {
    {"non-zero exit, outputs written", "KORVANE_STANDIN_EXIT", "3", {"doubtful", "doubtful"}, 1},
    {"exit 0, nothing written", "KORVANE_STANDIN_WRITE_ONLY", "0", {"no output", "no output"}, 1},
    {"only some outputs", "KORVANE_STANDIN_WRITE_ONLY", "1", {"no output", "written"}, 1},
    {"SIGSEGV after writing", "KORVANE_STANDIN_CRASH", "segv", {"not run", "not run"}, 1},
    {"SIGKILL after writing", "KORVANE_STANDIN_CRASH", "kill", {"not run", "not run"}, 1},
    {"an input replaced meanwhile", "KORVANE_STANDIN_REPLACE", "b.", {"written", "written"}, 0},
};

std::string RowName(const ::testing::TestParamInfo<FaultRow>& info) {
    std::string name;
    for (const char c : std::string(info.param.what)) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += c;
        }
    }
    return name;
}

class StandbyFaults : public RunOutcome, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(StandbyFaults, NoInputIsLost) {
    const FaultRow& row = GetParam();
    test::ScopedEnv fault(row.variable, row.value);
    test::WriteFileBytes(In("a.hgl"), "a");
    test::WriteFileBytes(In("b.hgl"), "b");
    StandbyCycle();

    const Report report = ReadReport(dataDir);
    ASSERT_EQ(report.jobs.size(), 2u) << row.what;
    std::vector<std::string> results;
    for (const auto& [name, fields] : report.jobs) {
        results.push_back(fields[2]);
        EXPECT_EQ(fields[1], "standby");
    }
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results, row.results) << row.what;
    ExpectFilesFollowResults(report, {inDir});
    // The window hears of exactly the drawings moved to Failed, with the report's reason.
    std::vector<std::pair<std::vector<std::string>, std::string>> moved;
    for (const auto& [name, fields] : report.jobs) {
        if (fields[3] == "inputs moved to Failed")
            moved.push_back({{In(name)}, fields.back()});
    }
    auto told = host.movedToFailed;
    std::sort(told.begin(), told.end());
    EXPECT_EQ(told, moved) << row.what;
    ASSERT_EQ(report.runs.size(), 1u);
    EXPECT_EQ(report.runs[0][3], RunSummaryText(modes.LastCounts()));
    EXPECT_EQ(host.summaries.back(), modes.LastSummary());
    EXPECT_EQ(modes.ExitCode(), row.exitCode) << row.what;
    if (std::string(row.variable) == "KORVANE_STANDIN_EXIT") {
        EXPECT_EQ(report.runs[0][4], "converter exit code 3");
    }
    if (std::string(row.variable) == "KORVANE_STANDIN_REPLACE") {
        // Only the old version was converted: the new one waits for the next cycle.
        EXPECT_EQ(report.jobs.at("b.hgl")[3], "inputs kept");
        EXPECT_EQ(test::ReadFileBytes(In("b.hgl")), "new version\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StandbyFaults, ::testing::ValuesIn(kFaultRows), RowName);

class StandbyCompareFaults : public RunOutcome, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(StandbyCompareFaults, EveryFileOfAPairFollowsItsResult) {
    const FaultRow& row = GetParam();
    test::ScopedEnv fault(row.variable, row.value);
    window.compareChecked = true;
    settings.iChgArea = 1;
    settings.sChgAreaDir1 = JoinPath(inDir, "*.hgl");
    settings.sChgAreaDir2 = WithTrailingSeparator(in2Dir);
    for (const std::string name : {"a.hgl", "b.hgl"}) {
        test::WriteFileBytes(In(name), "one " + name);
        test::WriteFileBytes(JoinPath(in2Dir, name), "two " + name);
    }
    test::WriteFileBytes(In("a.cmt"), "comment");
    StandbyCycle();

    const Report report = ReadReport(dataDir);
    ASSERT_EQ(report.jobs.size(), 2u) << row.what;
    ExpectFilesFollowResults(report, {inDir, in2Dir});
    const std::string result = report.jobs.at("a.hgl")[2];
    EXPECT_EQ(platform::FileExists(In("a.cmt")), result == "not run") << row.what;
    EXPECT_EQ(modes.ExitCode(), row.exitCode) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Rows, StandbyCompareFaults,
                         ::testing::Values(kFaultRows[0], kFaultRows[1], kFaultRows[3]), RowName);

TEST_F(RunOutcome, RunsThatCannotStartReportItAndKeepEveryInput) {
    test::WriteFileBytes(In("a.hgl"), "a");
    settings.sKorvaneExe = tmp / "not-a-program";
    test::WriteFileBytes(settings.sKorvaneExe, "text");
    StandbyCycle();
    EXPECT_TRUE(platform::FileExists(In("a.hgl")));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0],
              PathMessage(settings.sKorvaneExe, "Korvane program cannot be started!"));
    EXPECT_EQ(modes.ExitCode(), 2);

    // A second standby on the same data folder is refused; a batch run is not.
    test::RecordingRunHost host2;
    ProgramFlags flags2;
    flags2.bAutoClose = true;
    RunModes second(flags2, sink, host2);
    second.ButtonAutoOutputClick(Choices());
    EXPECT_EQ(sink.messages.back(),
              "Standby output is already running on " + dataDir + " in another KorvaneAuto!");
    EXPECT_EQ(second.ExitCode(), 2);
    EXPECT_EQ(second.Standby().phase, StandbyPhase::Idle);

    settings.sOutListFileName = tmp / "missing-list.txt";
    RunModes batch(flags2, sink, host2);
    batch.ButtonBatchOutputClick(Choices());
    EXPECT_EQ(sink.messages.back(), PathMessage(settings.sOutListFileName, "Cannot open file!"));
    EXPECT_EQ(batch.ExitCode(), 2);
}

// A batch run started while a standby cycle holds the data folder waits, then runs its own
// jobs only; the standby's inputs were converted before they were deleted.
TEST_F(RunOutcome, ASecondCopyWaitsForTheDataFolder) {
    test::WriteFileBytes(In("s.hgl"), "standby input");
    const std::string listed = tmp / "d.hgl";
    test::WriteFileBytes(listed, "batch input");
    settings.sOutListFileName = tmp / "list.txt";
    test::WriteFileBytes(settings.sOutListFileName, test::CrLfLines({listed}));

    // The standby copy has taken its first snapshot; its cycle is due.
    modes.ButtonAutoOutputClick(Choices());
    modes.StandbyTick();

    platform::FileLock heldByStandby;
    int error = 0;
    ASSERT_TRUE(heldByStandby.TryLock(JoinPath(dataDir, "KorvaneAuto.lock"), error));
    Settings batchSettings = settings;
    ProgramFlags batchFlags;
    test::RecordingRunHost batchHost;
    RunModes batch(batchFlags, sink, batchHost);
    batchHost.onPump = [&] {
        if (batchHost.status != "Waiting for another KorvaneAuto on this data folder !" ||
            !heldByStandby.Held()) {
            return;
        }
        // While the batch copy waits, the standby cycle runs to its end under the lock.
        heldByStandby.Unlock();
        modes.StandbyTick();
    };
    RunChoices batchChoices;
    batchChoices.settings = batchSettings;
    batch.ButtonBatchOutputClick(batchChoices);

    EXPECT_FALSE(heldByStandby.Held());
    EXPECT_FALSE(platform::FileExists(In("s.hgl")));
    EXPECT_TRUE(platform::FileExists(JoinPath(outDir, "s.pdf")));
    EXPECT_TRUE(platform::FileExists(JoinPath(outDir, "d.pdf")));
    EXPECT_TRUE(platform::FileExists(listed));
    const auto lines = test::ReadLfLines(tmp / "standin.log");
    std::vector<std::string> jobLines;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(jobLines),
                 [](const std::string& l) { return l.rfind("line ", 0) == 0; });
    ASSERT_EQ(jobLines.size(), 2u);
    EXPECT_NE(jobLines[0].find("s.hgl"), std::string::npos);  // standby's run: its own job
    EXPECT_NE(jobLines[1].find("d.hgl"), std::string::npos);  // then the batch's
    EXPECT_EQ(batch.ExitCode(), 0);
    EXPECT_EQ(batchHost.summaries, (std::vector<std::string>{"1 written"}));
}

TEST(StampsByPathTest, FindsEveryPathAcrossBlocksAndKeepsTheFirstStamp) {
    StampsByPath stamps;
    const std::string longPath = "/in/" + std::string(40000, 'x') + ".hgl";
    std::vector<std::string> paths{longPath};
    for (int i = 0; i < 5000; ++i)
        paths.push_back("/in/drawing" + std::to_string(i) + ".hgl");  // several blocks' worth
    for (std::size_t i = 0; i < paths.size(); ++i)
        stamps.Add(paths[i], platform::FileStamp{i, 0, 0, 0});
    stamps.Add(paths[1], platform::FileStamp{99999, 0, 0, 0});
    ASSERT_EQ(stamps.Size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const platform::FileStamp* found = stamps.Find(paths[i]);
        ASSERT_TRUE(found) << i;
        EXPECT_EQ(found->size, i);
    }
    EXPECT_EQ(stamps.Find("/in/drawing5000.hgl"), nullptr);
    stamps.Clear();
    EXPECT_EQ(stamps.Find(paths[1]), nullptr);
}

TEST(FailedFolder, NumbersANameAlreadyThereAndRotatesABigReport) {
    test::TempDir tmp;
    const std::string file = tmp / "a.hgl";
    for (const char* bytes : {"first", "second", "third"}) {
        test::WriteFileBytes(file, bytes);
        ASSERT_EQ(MoveToFailedFolder(file), 0);
    }
    const std::string failed = tmp / kFailedFolderName;
    EXPECT_EQ(test::ReadFileBytes(JoinPath(failed, "a.hgl")), "first");
    EXPECT_EQ(test::ReadFileBytes(JoinPath(failed, "a (2).hgl")), "second");
    EXPECT_EQ(test::ReadFileBytes(JoinPath(failed, "a (3).hgl")), "third");

    const std::string report = RunReport::PathIn(tmp.Path());
    test::WriteFileBytes(report, std::string(RunReport::kRotateSize + 1, 'x'));
    ASSERT_TRUE(AppendReportLine(tmp.Path(), {"message", "after rotation"}));
    EXPECT_EQ(test::ReadFileBytes(JoinPath(tmp.Path(), "RunReport.old.log")).size(),
              RunReport::kRotateSize + 1);
    const std::string fresh = test::ReadFileBytes(report);
    EXPECT_NE(fresh.find("\tmessage\tafter rotation\r\n"), std::string::npos);
    EXPECT_LT(fresh.size(), 100u);

    // A message's own line breaks never start a false report line.
    ASSERT_TRUE(AppendReportLine(tmp.Path(), {"two\r\nlines", "lf\nonly"}));
    EXPECT_NE(test::ReadFileBytes(report).find("\ttwo  lines\tlf only\r\n"), std::string::npos);
}

}  // namespace
}  // namespace ka
