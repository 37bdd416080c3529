// Batch output over a batch list file, with the real stand-in converter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/RunModes.h"
#include "platform/platform.h"

namespace ka {
namespace {

using test::CrLfLines;
using test::ReadLfLines;

class BatchRun : public ::testing::Test {
  protected:
    void SetUp() override {
        test::MakeDir(inDir);
        test::MakeDir(tmp / "out");
        settings.sComLineFile = tmp / "Korvaneline.txt";
        settings.sKorvaneExe = test::ConverterExe();
        settings.sOutDir = WithTrailingSeparator(tmp / "out");
        settings.sOutListFileName = tmp / "list.txt";
    }

    std::string In(const std::string& name, bool create = true) {
        const std::string path = JoinPath(inDir, name);
        if (create) {
            test::WriteFileBytes(path, "drawing " + name);
        }
        return path;
    }
    std::string Out(const std::string& name) const { return settings.sOutDir + name; }

    void WriteList(const std::vector<std::string>& lines) {
        test::WriteFileBytes(settings.sOutListFileName, CrLfLines(lines));
    }

    void Run() {
        window.settings = settings;
        modes.ButtonBatchOutputClick(window);
    }

    std::vector<std::string> Log() const { return ReadLfLines(log); }
    long StartCount() const {
        const auto lines = Log();
        return std::count(lines.begin(), lines.end(), "start");
    }

    // The frame every run ends with, successful or not.
    void ExpectControlsRestored() const {
        EXPECT_EQ(host.enableHistory, (std::vector<bool>{false, true}));
        EXPECT_FALSE(host.busyCursor);
    }

    test::TempDir tmp;
    const std::string inDir = tmp / "in";
    const std::string log = tmp / "standin.log";
    test::ScopedEnv logEnv{"KORVANE_STANDIN_LOG", log};
    Settings settings;
    ProgramFlags flags;
    test::RecordingMessageSink sink;
    test::RecordingRunHost host;
    RunChoices window;  // the window's choices at the start of each run
    RunModes modes{flags, sink, host};
};

TEST_F(BatchRun, WritesRecordFileAndStartsTheConverterOnce) {
    const std::string a = In("a.hgl"), b = In("b.hgl"), c = In("c.hgl");
    WriteList({a, b + "," + c});
    Run();

    const std::string line1 = "/p \"" + a + "\" \"/o" + Out("a.pdf") + "\"";
    const std::string line2 = "/p \"" + b + "\" \"" + c + "\" \"/o" + Out("b.pdf") + "\"";
    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile), CrLfLines({line1, line2}));

    const std::vector<std::string> expectedLog = {"start",
                                                  "argv 1 /z",
                                                  "argv 2 " + settings.sComLineFile,
                                                  "line " + line1,
                                                  "line " + line2,
                                                  "output " + Out("a.pdf"),
                                                  "output " + Out("b.pdf"),
                                                  "end 0"};
    EXPECT_EQ(Log(), expectedLog);
    EXPECT_EQ(test::ReadFileBytes(Out("b.pdf")),
              CrLfLines({"KORVANE-STANDIN", "switch=/p", "input=" + b, "input=" + c}));

    EXPECT_EQ(host.list, (std::vector<std::string>{a, b + "," + c}));
    EXPECT_EQ(host.statusHistory, (std::vector<std::string>{"Outputting !", "Waiting !"}));
    ExpectControlsRestored();
    EXPECT_TRUE(sink.messages.empty());
}

// An empty line on page "Output1" is a job like any other; a missing input is the converter's
// business, not the run's.
TEST_F(BatchRun, Output1AcceptsEveryLineUnchecked) {
    const std::string a = In("a.hgl");
    const std::string gone = In("gone.hgl", false);
    WriteList({a, "", gone});
    Run();

    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile),
              CrLfLines({"/p \"" + a + "\" \"/o" + Out("a.pdf") + "\"", "",
                         "/p \"" + gone + "\" \"/o" + Out("gone.pdf") + "\""}));
    EXPECT_EQ(host.list, (std::vector<std::string>{a, "", gone}));
    EXPECT_EQ(StartCount(), 1);
    EXPECT_TRUE(platform::FileExists(Out("a.pdf")));
    EXPECT_FALSE(platform::FileExists(Out("gone.pdf")));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(BatchRun, LfAloneEndsAListLine) {
    const std::string a = In("a.hgl"), b = In("b.hgl");
    test::WriteFileBytes(settings.sOutListFileName, a + "\n" + b + "\n");
    Run();
    EXPECT_EQ(host.list, (std::vector<std::string>{a, b}));
    EXPECT_TRUE(platform::FileExists(Out("a.pdf")) && platform::FileExists(Out("b.pdf")));
}

TEST_F(BatchRun, EmptyListStartsNothingButCreatesTheRecordFile) {
    WriteList({});
    test::WriteFileBytes(settings.sComLineFile, "previous run\r\n");
    Run();
    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile), "");
    EXPECT_FALSE(platform::FileExists(log));
    EXPECT_EQ(host.status, "Waiting !");
    EXPECT_TRUE(host.list.empty());
    ExpectControlsRestored();
}

TEST_F(BatchRun, DisplayTypeStartsOncePerJobAndLeavesTheRecordFileEmpty) {
    const std::string a = In("a.hgl"), b = In("b.hgl");
    WriteList({a, b});
    settings.iOutTyp = 22;
    Run();

    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile), "");
    const std::vector<std::string> expectedLog = {"start", "argv 1 " + a, "end 0",
                                                  "start", "argv 1 " + b, "end 0"};
    EXPECT_EQ(Log(), expectedLog);
    EXPECT_EQ(host.status, "Waiting !");
}

// Page "Output2" takes the first entry of a line when it is an existing ".pdf" file; the hand-over
// still follows iOutTyp of page "Output1".
TEST_F(BatchRun, Output2FiltersToExistingPdfFirstEntries) {
    const std::string upper = In("A.PDF"), suffixed = In("a.pdf_2"), p = In("p.pdf"),
                      q = In("q.pdf"), hgl = In("x.hgl"), missing = In("missing.pdf", false);
    WriteList({upper, suffixed, p + "," + q, missing, hgl});
    window.output1Shown = false;
    window.selectedOutTyp2 = 4;
    settings.iOutTyp = 3;
    Run();

    EXPECT_EQ(host.list, (std::vector<std::string>{upper, p}));
    // One message after the run, not one box per line.
    EXPECT_EQ(sink.messages,
              (std::vector<std::string>{
                  "3 lines were skipped: the first entry is no existing .pdf file.\n" + suffixed +
                  "\n" + missing + "\n" + hgl}));
    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile),
              CrLfLines({"/f \"" + upper + "\" \"/o" + Out("A.svg") + "\"",
                         "/f \"" + p + "\" \"/o" + Out("p.svg") + "\""}));
    EXPECT_EQ(StartCount(), 1);
    EXPECT_TRUE(platform::FileExists(Out("A.svg")));
    EXPECT_TRUE(platform::FileExists(Out("p.svg")));

    // With display chosen on page "Output1", each accepted line gets its own start.
    std::remove(log.c_str());
    settings.iOutTyp = 22;
    sink.messages.clear();
    Run();
    EXPECT_EQ(StartCount(), 2);
    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile), "");
}

// The run list keeps about 100 lines: above 100 the 50 oldest go, and the newest 15 are in view.
TEST_F(BatchRun, RunListDropsTheOldestFiftyAboveAHundred) {
    struct Row {
        int jobs;
        int first;
        int top;
    };
    for (const Row row : {Row{3, 1, 0}, Row{15, 1, 0}, Row{16, 1, 1}, Row{101, 1, 86},
                          Row{102, 51, 37}, Row{151, 51, 86}, Row{152, 101, 37}}) {
        std::vector<std::string> lines;
        for (int i = 1; i <= row.jobs; ++i) {
            lines.push_back("job" + std::to_string(i));
        }
        WriteList(lines);
        host = test::RecordingRunHost();
        Run();
        std::vector<std::string> expected(lines.begin() + (row.first - 1), lines.end());
        EXPECT_EQ(host.list, expected) << row.jobs << " jobs";
        EXPECT_EQ(host.topIndex, row.top) << row.jobs << " jobs";
        EXPECT_EQ(host.status, "Waiting !");
    }
}

// "End" during the run: the line in hand is finished, the lines written so far still go to
// the converter. "End" with the conversion stopped: nothing is handed to the converter.
class BatchRunEnd : public BatchRun, public ::testing::WithParamInterface<bool> {};

TEST_P(BatchRunEnd, StopsAfterTheCurrentLine) {
    const bool stopNow = GetParam();
    const std::string a = In("a.hgl"), b = In("b.hgl"), c = In("c.hgl");
    WriteList({a, b, c});
    host.onPump = [&] {
        if (host.list.size() == 2) {
            flags.bEndRequested = true;
            if (stopNow) {
                modes.RequestStop();
            }
        }
    };
    Run();

    EXPECT_EQ(host.list, (std::vector<std::string>{a, b}));
    // Stopped, nothing is handed over: the record file stays empty.
    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile),
              stopNow ? std::string()
                      : CrLfLines({"/p \"" + a + "\" \"/o" + Out("a.pdf") + "\"",
                                   "/p \"" + b + "\" \"/o" + Out("b.pdf") + "\""}));
    EXPECT_EQ(StartCount(), stopNow ? 0 : 1);
    EXPECT_EQ(platform::FileExists(Out("b.pdf")), !stopNow);
    EXPECT_FALSE(platform::FileExists(Out("c.pdf")));
    ExpectControlsRestored();
}

INSTANTIATE_TEST_SUITE_P(FinishOrStop, BatchRunEnd, ::testing::Bool());

struct FailCase {
    const char* name;
    const char* listName;  // empty: the setting is empty
    bool listIsPipe;
    bool recordCreatable;
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}

class BatchRunRefused : public BatchRun, public ::testing::WithParamInterface<FailCase> {};

TEST_P(BatchRunRefused, ReportsAndStartsNothing) {
    const FailCase& c = GetParam();
    WriteList({In("a.hgl")});
    settings.sOutListFileName = *c.listName ? tmp / c.listName : std::string();
    if (c.listIsPipe && !test::MakeFifo(settings.sOutListFileName)) {
        GTEST_SKIP() << "no named pipes in folders here";
    }
    if (!c.recordCreatable) {
        settings.sComLineFile = JoinPath(tmp / "no-folder", "Korvaneline.txt");
    }
    Run();

    const std::string expected =
        !*c.listName ? "There is no specification of batch file!"
                     : (c.recordCreatable ? settings.sOutListFileName : settings.sComLineFile) +
                           "\nCannot open file!";
    EXPECT_EQ(sink.messages, std::vector<std::string>{expected});
    EXPECT_FALSE(platform::FileExists(log));
    EXPECT_TRUE(host.statusHistory.empty());
    ExpectControlsRestored();
}

INSTANTIATE_TEST_SUITE_P(Cases, BatchRunRefused,
                         ::testing::Values(FailCase{"MissingList", "missing.txt", false, true},
                                           FailCase{"ListIsAFolder", "in", false, true},
                                           FailCase{"ListIsAPipe", "pipe", true, true},
                                           FailCase{"RecordNotCreatable", "list.txt", false, false},
                                           FailCase{"NoListNamed", "", false, true}),
                         [](const auto& row) { return std::string(row.param.name); });

struct ConverterTrouble {
    const char* name;
    bool converterMissing;
    const char* envName;
    const char* envValue;
    bool outputExpected;
    const char* result;   // in the report; empty: no job ran
    const char* reason;   // the report line's last field
    const char* message;  // start of the one message; empty: none
    int exitCode;
    std::optional<JobResult> mark;  // the job's line's last mark: its result
};

void PrintTo(const ConverterTrouble& c, std::ostream* os) {
    *os << c.name;
}

class BatchRunConverterTrouble : public BatchRun,
                                 public ::testing::WithParamInterface<ConverterTrouble> {};

// Whatever the converter does, the run ends and says what became of the job.
TEST_P(BatchRunConverterTrouble, RunEndsAndTellsTheResult) {
    const ConverterTrouble& c = GetParam();
    test::ScopedEnv env(c.envName, c.envValue);
    if (c.converterMissing) {
        settings.sKorvaneExe = tmp / "no-converter";
    }
    WriteList({In("a.hgl")});
    Run();
    EXPECT_EQ(platform::FileExists(Out("a.pdf")), c.outputExpected);
    ExpectControlsRestored();
    EXPECT_EQ(modes.ExitCode(), c.exitCode);
    if (c.mark) {
        ASSERT_FALSE(host.marks.empty());
        EXPECT_EQ(host.marks.back(), std::make_pair(0LL, *c.mark));
    } else {
        EXPECT_TRUE(host.marks.empty());
    }
    const std::string reportPath = JoinPath(tmp.Path(), "RunReport.log");
    const std::string report =
        platform::FileExists(reportPath) ? test::ReadFileBytes(reportPath) : std::string();
    if (*c.result) {
        // A crash's reason ends with how it crashed, which differs between systems.
        const std::string reason(c.reason);
        EXPECT_NE(report.find("\tbatch\t" + std::string(c.result) + "\t-\t" + Out("a.pdf") + "\t" +
                              In("a.hgl") + "\t" + reason + (reason.ends_with('(') ? "" : "\r\n")),
                  std::string::npos)
            << report;
        EXPECT_EQ(host.status, "Waiting !");
        EXPECT_EQ(host.summaries, std::vector<std::string>{modes.LastSummary()});
    } else {
        EXPECT_EQ(report, "");
    }
    if (*c.message) {
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].rfind(settings.sKorvaneExe + c.message, 0), 0u);
    } else {
        EXPECT_TRUE(sink.messages.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchRunConverterTrouble,
    ::testing::Values(
        ConverterTrouble{"Missing", true, "KORVANE_STANDIN_UNUSED", "1", false, "", "",
                         "\nKorvane program cannot be started!", 2, std::nullopt},
        ConverterTrouble{"ExitsNonZero", false, "KORVANE_STANDIN_EXIT", "7", true, "doubtful",
                         "converter exit code 7", "", 1, JobResult::Doubtful},
        ConverterTrouble{"Crashes", false, "KORVANE_STANDIN_CRASH", "segv", true, "not run",
                         "converter crashed (", "\nKorvane program ended abnormally (", 1,
                         JobResult::NotRun},
        ConverterTrouble{"WritesNothing", false, "KORVANE_STANDIN_WRITE_ONLY", "0", false,
                         "no output", "output not written", "", 1, JobResult::NoOutput},
        ConverterTrouble{"Sleeps", false, "KORVANE_STANDIN_SLEEP_MS", "400", true, "written", "-",
                         "", 0, JobResult::Written}),
    [](const auto& row) { return std::string(row.param.name); });

// A record file that cannot be written whole is reported and not handed to the converter.
TEST_F(BatchRun, RecordWriteFailureIsReportedNotRun) {
    if (!platform::PathExists("/dev/full")) {
        GTEST_SKIP() << "no device that fails every write";
    }
    settings.sComLineFile = "/dev/full";
    settings.sDataDir = tmp.Path();
    WriteList({In("a.hgl"), In("b.hgl")});
    Run();
    EXPECT_EQ(sink.messages, std::vector<std::string>{"/dev/full\nCannot open file!"});
    EXPECT_FALSE(platform::FileExists(log));
    EXPECT_EQ(modes.ExitCode(), 2);
    EXPECT_NE(test::ReadFileBytes(JoinPath(tmp.Path(), "RunReport.log"))
                  .find("\tnot run\t-\t" + Out("b.pdf") + "\t" + In("b.hgl") +
                        "\trecord file not written\r\n"),
              std::string::npos);
    ExpectControlsRestored();
}

}  // namespace
}  // namespace ka
