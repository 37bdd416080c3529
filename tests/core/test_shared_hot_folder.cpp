// Several machines on one hot folder: the claim by rename, the way back into the hot folder, the
// share of a cycle, and the claims a machine left behind when it died.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "RunFixture.h"
#include "TestSupport.h"
#include "app/RunJournal.h"
#include "app/SharedHotFolder.h"
#include "platform/platform.h"

namespace ka {
namespace {

// The names in a folder, folders marked with a trailing '/'.
std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        names.insert(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    }
    return names;
}

class SharedHot : public test::RunFixture {
  protected:
    void SetUp() override { test::MakeDir(hotDir); }

    RunContext Context() {
        return RunContext{flags,    sink, host,     PathRules::Native(),
                          settings, stop, progress, std::chrono::steady_clock::now()};
    }
    std::string Hot(const std::string& name) const { return JoinPath(hotDir, name); }

    const std::string hotDir = tmp / "hot";
    const std::string claimedDir = Hot(kClaimedFolderName);
    bool stop = false;
    RunProgress progress;
};

// The rename never replaces: a file gone or a name already held is another machine's (Gone);
// a claim folder that is not there fails and leaves the file where it was. Also under Wine.
TEST_F(SharedHot, ClaimTakesAFileOnlyByARenameThatReplacesNothing) {
    struct Row {
        const char* what;
        bool source;       // the file is still in the hot folder
        bool heldAlready;  // the claim folder has a file of that name
        bool folder;       // the claim folder exists
        ClaimOutcome outcome;
    };
    const Row rows[] = {
        {"free", true, false, true, ClaimOutcome::Taken},
        {"gone", false, false, true, ClaimOutcome::Gone},
        {"held", true, true, true, ClaimOutcome::Gone},
        {"nofolder", true, false, false, ClaimOutcome::Failed},
    };
    for (const Row& row : rows) {
        const std::string hot = JoinPath(hotDir, row.what);
        const std::string files = JoinPath(hot, "Files");
        test::MakeDir(hot);
        if (row.folder) {
            test::MakeDir(files);
        }
        const std::string source = JoinPath(hot, "a.hgl");
        const std::string target = JoinPath(files, "a.hgl");
        if (row.source) {
            test::WriteFileBytes(source, "new drawing");
        }
        if (row.heldAlready) {
            test::WriteFileBytes(target, "claimed before");
        }
        std::string claimedPath;
        int error = 0;
        EXPECT_EQ(ClaimFile(source, files, claimedPath, error), row.outcome) << row.what;
        EXPECT_EQ(error == 0, row.outcome == ClaimOutcome::Taken) << row.what << " " << error;
        if (row.outcome == ClaimOutcome::Taken) {
            EXPECT_EQ(claimedPath, target);
            EXPECT_EQ(test::ReadFileBytes(target), "new drawing");
            EXPECT_FALSE(platform::PathExists(source));
        } else {
            EXPECT_EQ(platform::FileExists(source), row.source) << row.what;
        }
        if (row.heldAlready) {
            EXPECT_EQ(test::ReadFileBytes(target), "claimed before") << row.what;
            EXPECT_EQ(test::ReadFileBytes(source), "new drawing") << row.what;
        }
    }
}

// Back under its own name, else the first numbered name free; what is there stays as it was.
TEST_F(SharedHot, ReturnNumbersWhenTheNameIsTakenAndNeverReplaces) {
    struct Row {
        std::vector<std::string> there;
        std::string lands;  // empty: the file was gone, nothing lands
    };
    const std::vector<Row> rows = {
        {{}, "a.hgl"},
        {{"a.hgl"}, "a (2).hgl"},
        {{"a.hgl", "a (2).hgl"}, "a (3).hgl"},
        {{"a.hgl"}, ""},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string hot = JoinPath(hotDir, std::to_string(i));
        const std::string files = JoinPath(hot, "Files");
        test::MakeDir(hot);
        test::MakeDir(files);
        for (const std::string& name : rows[i].there) {
            test::WriteFileBytes(JoinPath(hot, name), "arrived " + name);
        }
        const std::string claimed = JoinPath(files, "a.hgl");
        if (!rows[i].lands.empty()) {
            test::WriteFileBytes(claimed, "claimed");
        }
        EXPECT_EQ(ReturnToFolder(claimed, WithTrailingSeparator(hot), PathRules::Native()), 0) << i;
        EXPECT_TRUE(Names(files).empty()) << i;
        for (const std::string& name : rows[i].there) {
            EXPECT_EQ(test::ReadFileBytes(JoinPath(hot, name)), "arrived " + name) << i;
        }
        if (!rows[i].lands.empty()) {
            EXPECT_EQ(test::ReadFileBytes(JoinPath(hot, rows[i].lands)), "claimed") << i;
        }
        EXPECT_EQ(Names(hot).size(), rows[i].there.size() + 1 + (rows[i].lands.empty() ? 0 : 1))
            << i;
    }
}

// Two machines joined: each claims half of a cycle's stable files and never the same one.
TEST_F(SharedHot, MachinesAliveShareACycleWithoutOverlap) {
    SharedHotFolder one(WithTrailingSeparator(hotDir), "one-00000001", 2);
    SharedHotFolder two(WithTrailingSeparator(hotDir), "two-00000002", 2);
    ASSERT_TRUE(one.Join(Context()));
    ASSERT_TRUE(two.Join(Context()));
    std::vector<std::string> stable;
    StampsByPath seen;
    for (int i = 0; i < 7; ++i) {
        stable.push_back(Hot("f" + std::to_string(i) + ".hgl"));
        test::WriteFileBytes(stable.back(), stable.back());
        platform::FileStamp stamp;
        ASSERT_TRUE(platform::GetFileStamp(stable.back(), stamp));
        seen.Add(stable.back(), stamp);
    }
    one.Survey(Context());
    two.Survey(Context());
    EXPECT_EQ(one.Alive(), 2);
    std::vector<std::string> byOne, byTwo;
    StampsByPath stampsOne, stampsTwo;
    one.ClaimShare(Context(), stable, seen, byOne, stampsOne, nullptr);
    two.ClaimShare(Context(), stable, seen, byTwo, stampsTwo, nullptr);
    EXPECT_EQ(byOne.size(), 4U);
    EXPECT_EQ(byTwo.size(), 3U);
    std::set<std::string> names;
    for (const auto* claimed : {&byOne, &byTwo}) {
        for (const std::string& path : *claimed) {
            names.insert(NamePart(path));
        }
    }
    EXPECT_EQ(names.size(), 7U);
    EXPECT_EQ(Names(hotDir), std::set<std::string>{std::string(kClaimedFolderName) + "/"});
    EXPECT_TRUE(sink.messages.empty());

    // Three more while both still hold theirs: the loads even out, (3 + 4) / 2 rounded up is
    // more than there is, so two takes all three instead of half.
    stable.clear();
    StampsByPath seenAgain;
    for (int i = 0; i < 3; ++i) {
        stable.push_back(Hot("g" + std::to_string(i) + ".hgl"));
        test::WriteFileBytes(stable.back(), "later");
        platform::FileStamp stamp;
        ASSERT_TRUE(platform::GetFileStamp(stable.back(), stamp));
        seenAgain.Add(stable.back(), stamp);
    }
    two.Survey(Context());
    two.ClaimShare(Context(), stable, seenAgain, byTwo, stampsTwo, nullptr);
    EXPECT_EQ(byTwo.size(), 3U);
}

// A claim folder left behind (a machine killed, or this one restarted) is recovered once: what
// its spool proved done is settled, the rest is back in the hot folder for any machine.
TEST_F(SharedHot, ClaimsLeftBehindAreRecoveredOnceFromTheirSpool) {
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "restart" : "dead machine");
        std::filesystem::remove_all(hotDir);
        test::MakeDir(hotDir);
        std::filesystem::remove_all(outDir);
        test::MakeDir(outDir);
        const std::string dead = restart ? "mine-00000001" : "dead-00000009";
        {
            SharedHotFolder leaving(WithTrailingSeparator(hotDir), dead, 2);
            ASSERT_TRUE(leaving.Join(Context()));
            RunJournal journal;
            ASSERT_TRUE(journal.Create(leaving.JournalPath(), {"standby", true}));
            for (const char* name : {"a", "b", "c"}) {
                const std::string path = Hot(std::string(name) + ".hgl");
                test::WriteFileBytes(path, name);
                std::string claimed;
                int error = 0;
                ASSERT_EQ(ClaimFile(path, leaving.Inputs().filesFolder, claimed, error),
                          ClaimOutcome::Taken);
                JournalJob job;
                job.job.inputs = {claimed};
                job.job.output = settings.sOutDir + name + ".pdf";
                job.arguments = "/p";
                job.inputKnown = {true};
                job.inputStamps.resize(1);
                platform::GetFileStamp(claimed, job.inputStamps[0]);
                ASSERT_TRUE(journal.Add(job));
            }
            ASSERT_TRUE(journal.EndJobs());
            test::WriteFileBytes(settings.sOutDir + "a.pdf", "a converted");
            // a proven done, b failed, c never decided: killed here, no Leave.
            ASSERT_TRUE(
                journal.NoteVerdicts(0, {{JobResult::Written, JobReason::None, 0},
                                         {JobResult::NoOutput, JobReason::OutputNotWritten, 0}}));
        }
        test::WriteFileBytes(Hot("c.hgl"), "a new c");
        const std::string deadFolder = JoinPath(claimedDir, dead);
        std::filesystem::last_write_time(
            JoinPath(deadFolder, "heartbeat"),
            std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));

        SharedHotFolder first(WithTrailingSeparator(hotDir), restart ? dead : "first-0000000a", 2);
        SharedHotFolder second(WithTrailingSeparator(hotDir), "second-0000000b", 2);
        ASSERT_TRUE(first.Join(Context()));
        ASSERT_TRUE(second.Join(Context()));
        first.Survey(Context());
        second.Survey(Context());
        EXPECT_EQ(first.Alive(), 2);

        EXPECT_EQ(Names(hotDir),
                  (std::set<std::string>{"Claimed/", "Failed/", "c.hgl", "c (2).hgl"}));
        EXPECT_EQ(test::ReadFileBytes(Hot("c.hgl")), "a new c");
        EXPECT_EQ(test::ReadFileBytes(Hot("c (2).hgl")), "c");
        EXPECT_EQ(Names(JoinPath(hotDir, kFailedFolderName)), std::set<std::string>{"b.hgl"});
        EXPECT_FALSE(platform::PathExists(deadFolder + "~first-0000000a"));
        if (!restart) {
            EXPECT_FALSE(platform::PathExists(deadFolder));
        }
        EXPECT_TRUE(Names(first.Inputs().filesFolder).empty());
        const std::string report = test::ReadFileBytes(RunReport::PathIn(dataDir));
        const std::string doneLine = "\tstandby recovered\twritten\tinputs deleted\t" +
                                     settings.sOutDir + "a.pdf\t" + Hot("a.hgl") + "\t-\r\n";
        const std::size_t at = report.find(doneLine);
        EXPECT_NE(at, std::string::npos) << report;
        EXPECT_EQ(report.find(doneLine, at + 1), std::string::npos) << report;
        ASSERT_EQ(sink.messages.size(), 1U);
        EXPECT_NE(sink.messages[0].find("(1 written, 1 without output, 1 not run)"),
                  std::string::npos)
            << sink.messages[0];
        sink.messages.clear();
        std::filesystem::remove(RunReport::PathIn(dataDir));
    }
}

}  // namespace
}  // namespace ka
