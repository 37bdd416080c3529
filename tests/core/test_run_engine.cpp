// The one run engine under the three modes: a drawing that crashes or hangs the converter is
// found and set aside while every other drawing gets its own result, several converters share
// a run, and the modes fail the same way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "RunFixture.h"
#include "TestSupport.h"
#include "app/ConversionRun.h"
#include "app/RunJournal.h"
#include "app/RunModes.h"
#include "app/RunResults.h"
#include "platform/platform.h"
#include "settings/UserMessages.h"

namespace ka {
namespace {

enum class Mode { Batch, Standby, StandbyCompare };

struct PoisonRow {
    const char* what;
    Mode mode;
    const char* fault;  // KORVANE_STANDIN_CRASH_ON or KORVANE_STANDIN_HANG_ON
    int converters;
    const char* reason;
};

void PrintTo(const PoisonRow& row, std::ostream* os) {
    *os << row.what;
}

class PoisonDrawing : public test::RunFixture, public ::testing::WithParamInterface<PoisonRow> {
  protected:
    std::string In(const std::string& name) const { return JoinPath(inDir, name); }
    const std::string inDir = tmp / "in";
    const std::string in2Dir = tmp / "in2";
};

// One drawing among twenty good ones makes the converter crash or hang: the good ones are
// converted (each exactly once but for the groups retried around the bad one) and settled in
// the same cycle; the bad one is set aside with its reason.
TEST_P(PoisonDrawing, IsSetAsideAndTheRestGoOn) {
    const PoisonRow& row = GetParam();
    test::ScopedEnv fault(row.fault, "poison");
    settings.run.converters = row.converters;
    // A hang is ended after 1.2 s without progress; a crash needs no limit (and under Wine a
    // crash takes long enough to be taken for a hang by a short one).
    const bool hang = std::string(row.fault) == "KORVANE_STANDIN_HANG_ON";
    settings.run.converterIdleMinutes = hang ? 0.02 : 0;
    test::MakeDir(inDir);
    test::MakeDir(in2Dir);
    std::vector<std::string> names;
    for (int i = 0; i < 21; ++i) {
        names.push_back(i == 7 ? "poison.hgl" : "good" + std::to_string(i) + ".hgl");
        test::WriteFileBytes(In(names.back()), "one " + names.back());
        test::WriteFileBytes(JoinPath(in2Dir, names.back()), "two " + names.back());
    }
    settings.iAutoWaitTime = 2;
    settings.sAutoOutDirFName = JoinPath(inDir, "*.hgl");
    if (row.mode == Mode::Batch) {
        settings.sOutListFileName = tmp / "list.txt";
        std::vector<std::string> lines;
        for (const std::string& name : names) {
            lines.push_back(In(name));
        }
        test::WriteFileBytes(settings.sOutListFileName, test::CrLfLines(lines));
        window.settings = settings;
        modes.ButtonBatchOutputClick(window);
    } else {
        if (row.mode == Mode::StandbyCompare) {
            window.compareChecked = true;
            settings.iChgArea = 1;
            settings.sChgAreaDir1 = JoinPath(inDir, "*.hgl");
            settings.sChgAreaDir2 = WithTrailingSeparator(in2Dir);
        }
        window.settings = settings;
        modes.ButtonAutoOutputClick(window);
        modes.StandbyTick();
        modes.StandbyTick();
        modes.StopStandby();
    }

    const bool standby = row.mode != Mode::Batch;
    for (const std::string& name : names) {
        const bool poison = name == "poison.hgl";
        EXPECT_EQ(platform::FileExists(settings.sOutDir +
                                       NamePart(name).substr(0, name.size() - 4) + ".pdf"),
                  !poison)
            << name;
        if (standby) {
            EXPECT_FALSE(platform::FileExists(In(name))) << name;
            EXPECT_EQ(platform::FileExists(JoinPath(JoinPath(inDir, kFailedFolderName), name)),
                      poison)
                << name;
        }
    }
    const std::string report = test::ReadFileBytes(RunReport::PathIn(dataDir));
    EXPECT_NE(report.find("\tno output\t" + std::string(standby ? "inputs moved to Failed" : "-") +
                          "\t" + settings.sOutDir + "poison.pdf\t" + In("poison.hgl")),
              std::string::npos)
        << report;
    EXPECT_NE(report.find(std::string("\t") + row.reason + "\r\n"), std::string::npos) << report;
    EXPECT_EQ(modes.LastCounts().Of(JobResult::Written), 20);
    EXPECT_EQ(modes.ExitCode(), 1);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_NE(sink.messages.back().find("set aside"), std::string::npos) << sink.messages.back();
}

const PoisonRow kPoisonRows[] = {
    {"batch, crash", Mode::Batch, "KORVANE_STANDIN_CRASH_ON", 1,
     "the converter crashed on this drawing"},
    {"standby, crash", Mode::Standby, "KORVANE_STANDIN_CRASH_ON", 1,
     "the converter crashed on this drawing"},
    {"standby comparison, crash", Mode::StandbyCompare, "KORVANE_STANDIN_CRASH_ON", 1,
     "the converter crashed on this drawing"},
    {"standby, hang", Mode::Standby, "KORVANE_STANDIN_HANG_ON", 1,
     "the converter timed out on this drawing"},
    {"batch, hang, three converters", Mode::Batch, "KORVANE_STANDIN_HANG_ON", 3,
     "the converter timed out on this drawing"},
    {"standby, crash, two converters", Mode::Standby, "KORVANE_STANDIN_CRASH_ON", 2,
     "the converter crashed on this drawing"},
};

INSTANTIATE_TEST_SUITE_P(Rows, PoisonDrawing, ::testing::ValuesIn(kPoisonRows),
                         [](const ::testing::TestParamInfo<PoisonRow>& row) {
                             std::string name;
                             for (const char c : std::string(row.param.what)) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) {
                                     name += c;
                                 }
                             }
                             return name;
                         });

class Engine : public test::RunFixture {
  protected:
    std::string In(const std::string& name) const { return JoinPath(inDir, name); }
    void BatchOf(int count) {
        test::MakeDir(inDir);
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i) {
            lines.push_back(In("d" + std::to_string(i) + ".hgl"));
            test::WriteFileBytes(lines.back(), "drawing");
        }
        settings.sOutListFileName = tmp / "list.txt";
        test::WriteFileBytes(settings.sOutListFileName, test::CrLfLines(lines));
    }
    void RunBatch() {
        window.settings = settings;
        modes.ButtonBatchOutputClick(window);
    }
    const std::string inDir = tmp / "in";
};

// A converter that crashes on everything is not taken for forty bad drawings: after a few
// starts the run gives up, nothing is set aside, and every job says how the converter ended.
// It crashes after its jobs (the run halves them) or at the first (the run peels one off).
class AlwaysCrashes : public Engine, public ::testing::WithParamInterface<const char*> {};

TEST_P(AlwaysCrashes, IsNotBlamedOnTheDrawings) {
    const bool atFirst = std::string(GetParam()) == "at the first job";
    test::ScopedEnv crash(atFirst ? "KORVANE_STANDIN_CRASH_ON" : "KORVANE_STANDIN_CRASH",
                          atFirst ? ".hgl" : "segv");
    BatchOf(40);
    RunBatch();
    EXPECT_EQ(modes.LastCounts().Of(JobResult::NotRun), 40);
    EXPECT_LE(Starts(), 16);
    EXPECT_EQ(modes.ExitCode(), 1);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].find("Korvane program ended abnormally"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, AlwaysCrashes,
                         ::testing::Values("after its jobs", "at the first job"),
                         [](const ::testing::TestParamInfo<const char*>& row) {
                             return std::string(row.param) == "after its jobs" ? "AfterItsJobs"
                                                                               : "AtTheFirstJob";
                         });

// Several converters share a run: each job goes to exactly one of them, each over a record file
// of its own written whole before its start.
TEST_F(Engine, SeveralConvertersTakeEachJobOnce) {
    settings.run.converters = 3;
    test::ScopedEnv slow("KORVANE_STANDIN_JOB_MS", "5");
    BatchOf(60);
    RunBatch();
    EXPECT_EQ(modes.LastCounts().Of(JobResult::Written), 60);
    std::map<std::string, int> converted;
    for (const std::string& line : test::ReadLfLines(standinLog)) {
        if (line.rfind("output ", 0) == 0) {
            ++converted[line.substr(7)];
        }
    }
    EXPECT_EQ(converted.size(), 60u);
    for (const auto& [output, times] : converted) {
        EXPECT_EQ(times, 1) << output;
    }
    EXPECT_GT(Starts(), 3);
    for (const char* record : {"Korvaneline.txt", "Korvaneline2.txt", "Korvaneline3.txt"}) {
        EXPECT_TRUE(platform::FileExists(JoinPath(dataDir, record))) << record;
    }
    EXPECT_EQ(modes.ExitCode(), 0);
}

// The live progress keeps up with a converter that writes hundreds of outputs a second: it
// does not leave most of the run to a jump at the converter's end.
TEST_F(Engine, LiveProgressKeepsUpWithAFastConverter) {
    test::ScopedEnv pace("KORVANE_STANDIN_JOB_MS", "2");
    BatchOf(1000);
    RunBatch();
    ASSERT_EQ(modes.LastCounts().Of(JobResult::Written), 1000);
    long long shown = 0;
    long long jump = 0;
    for (const RunProgress& p : host.progress) {
        jump = std::max(jump, p.done - shown);
        shown = p.done;
    }
    EXPECT_EQ(shown, 1000);
    EXPECT_LT(jump, 250);
}

// A record file that cannot be written stops every mode the same way, with the same message,
// and no converter starts.
TEST_F(Engine, ARecordFileNotWrittenStopsEveryModeAlike) {
    if (!platform::PathExists("/dev/full")) {
        GTEST_SKIP() << "no device that fails every write";
    }
    test::MakeDir(inDir);
    test::MakeDir(tmp / "in2");
    test::WriteFileBytes(In("a.hgl"), "a");
    test::WriteFileBytes(JoinPath(tmp / "in2", "a.hgl"), "b");
    settings.sComLineFile = "/dev/full";
    settings.sOutListFileName = tmp / "list.txt";
    test::WriteFileBytes(settings.sOutListFileName, test::CrLfLines({In("a.hgl")}));
    settings.sAutoOutDirFName = JoinPath(inDir, "*.hgl");
    settings.sChgAreaDir1 = JoinPath(inDir, "*.hgl");
    settings.sChgAreaDir2 = WithTrailingSeparator(tmp / "in2");
    settings.iAutoWaitTime = 2;
    for (int mode = 0; mode < 3; ++mode) {
        sink.messages.clear();
        window.settings = settings;
        RunModes run(flags, sink, host);
        if (mode == 0) {
            run.ButtonBatchOutputClick(window);
        } else if (mode == 1) {
            run.ButtonChgAreaClick(window);
        } else {
            run.ButtonAutoOutputClick(window);
            run.StandbyTick();
            run.StandbyTick();
            run.StopStandby();
        }
        EXPECT_EQ(sink.messages, std::vector<std::string>{"/dev/full\nCannot open file!"}) << mode;
        EXPECT_EQ(run.ExitCode(), 2) << mode;
    }
    EXPECT_EQ(Starts(), 0);
    EXPECT_TRUE(platform::FileExists(In("a.hgl")));
}

// A run killed on its way (a crash, a kill, a power loss) is finished at the next start from its
// journal: what it had proven done is settled and reported as recovered, nothing else is touched,
// and a report line it left half written is ended first.
TEST_F(Engine, AnInterruptedRunIsFinishedFromItsJournal) {
    test::MakeDir(inDir);
    for (const char* name : {"b.hgl", "c.hgl", "d.hgl"}) {
        test::WriteFileBytes(In(name), name);
    }
    test::WriteFileBytes(settings.sOutDir + "a.pdf", "a converted");
    test::WriteFileBytes(settings.sOutDir + "b.pdf", "b converted");
    const std::string journalPath = JoinPath(dataDir, "Korvanejobs.txt");
    {
        RunJournal journal;
        ASSERT_TRUE(journal.Create(journalPath, {"standby", true}));
        for (const char* name : {"a", "b", "c", "d"}) {
            JournalJob job;
            job.job.inputs = {In(std::string(name) + ".hgl")};
            job.job.output = settings.sOutDir + name + ".pdf";
            job.arguments = "/p";
            job.inputKnown = {true};
            job.inputStamps.resize(1);
            platform::GetFileStamp(job.job.inputs[0], job.inputStamps[0]);
            ASSERT_TRUE(journal.Add(job));
        }
        ASSERT_TRUE(journal.EndJobs());
        const JobVerdict written{JobResult::Written, JobReason::None, 0};
        ASSERT_TRUE(journal.NoteVerdicts(
            0, {written, written, {JobResult::NoOutput, JobReason::OutputNotWritten, 0}}));
        ASSERT_TRUE(journal.NoteSettled(1));  // a's input was deleted and reported
    }
    const std::string reportPath = RunReport::PathIn(dataDir);
    const std::string cut = "2026-12-09 10:00:00\tstandby\twritten\tinputs del";
    test::WriteFileBytes(reportPath, cut);

    RunChoices choices;
    choices.settings = settings;
    bool stop = false;
    RunProgress progress;
    const RunContext context{flags,
                             sink,
                             host,
                             PathRules::Native(),
                             choices.settings,
                             stop,
                             progress,
                             std::chrono::steady_clock::now()};
    ASSERT_TRUE(ConversionRun::RecoverInterrupted(journalPath, context));
    EXPECT_FALSE(platform::FileExists(In("b.hgl")));
    EXPECT_TRUE(platform::FileExists(JoinPath(JoinPath(inDir, kFailedFolderName), "c.hgl")));
    EXPECT_TRUE(platform::FileExists(In("d.hgl")));
    const std::string report = test::ReadFileBytes(reportPath);
    EXPECT_EQ(report.substr(0, cut.size() + 2), cut + "\r\n");
    for (const std::string& line :
         {"\tstandby recovered\twritten\tinputs deleted\t" + settings.sOutDir + "b.pdf\t" +
              In("b.hgl") + "\t-\r\n",
          "\tstandby recovered\tno output\tinputs moved to Failed\t" + settings.sOutDir +
              "c.pdf\t" + In("c.hgl") + "\toutput not written\r\n",
          "\tstandby recovered\tnot run\tinputs kept\t" + settings.sOutDir + "d.pdf\t" +
              In("d.hgl") + "\trun interrupted\r\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
    }
    EXPECT_EQ(report.find("a.hgl"), std::string::npos);
    // Finished once: a second start finds nothing to recover.
    EXPECT_FALSE(ConversionRun::RecoverInterrupted(journalPath, context));
}

// Inputs that cannot be settled (here a "Failed" that is a file) are said once and not handed
// to the converter again while they stay unchanged; changed, they are taken again.
TEST_F(Engine, WhatCannotBeSettledIsSaidOnceAndNotRedone) {
    test::ScopedEnv fail("KORVANE_STANDIN_FAIL_ON", "bad");
    test::MakeDir(inDir);
    test::WriteFileBytes(In("bad.hgl"), "fails");
    test::WriteFileBytes(JoinPath(inDir, kFailedFolderName), "a file, not a folder");
    settings.sAutoOutDirFName = JoinPath(inDir, "*.hgl");
    settings.iAutoWaitTime = 2;
    window.settings = settings;
    modes.ButtonAutoOutputClick(window);
    for (int tick = 0; tick < 8; ++tick) {
        modes.StandbyTick();
    }
    EXPECT_EQ(Starts(), 1);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].find("could not be deleted or moved to Failed"), std::string::npos);
    EXPECT_NE(sink.messages[0].find(In("bad.hgl")), std::string::npos);
    test::WriteFileBytes(In("bad.hgl"), "a new version");
    for (int tick = 0; tick < 4; ++tick) {
        modes.StandbyTick();
    }
    modes.StopStandby();
    EXPECT_EQ(Starts(), 2);
    EXPECT_EQ(test::ReadFileBytes(In("bad.hgl")), "a new version");
}

TEST_F(Engine, AReportThatCannotBeWrittenIsSaidOnce) {
    test::MakeDir(RunReport::PathIn(dataDir));  // a folder where the report goes
    BatchOf(1);
    RunBatch();
    RunBatch();
    EXPECT_EQ(sink.messages, std::vector<std::string>{PathMessage(
                                 RunReport::PathIn(dataDir), "The run report cannot be written!")});
    EXPECT_EQ(modes.LastCounts().Of(JobResult::Written), 1);
}

}  // namespace
}  // namespace ka
