// Folder comparison with real folders and the stand-in converter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "RunFixture.h"
#include "TestSupport.h"
#include "app/FolderCompare.h"
#include "app/RunModes.h"
#include "app/RunResults.h"
#include "platform/platform.h"

namespace ka {
namespace {

using test::CrLfLines;

constexpr long long kSomeTime = 1'600'000'000;  // even: t and t + 1 share a 2-second slot

struct SkipRow {
    const char* what;
    int flags, percent, size1, size2, secondsApart;
    CompSkip expected;
};

class SkipRules : public ::testing::TestWithParam<SkipRow> {};

TEST_P(SkipRules, DecidesAsTheRulesSay) {
    const SkipRow& row = GetParam();
    test::TempDir tmp;
    const std::string path1 = tmp / "one.hgl", path2 = tmp / "two.hgl";
    test::WriteFileBytes(path1, std::string(static_cast<size_t>(row.size1), 'x'));
    test::WriteFileBytes(path2, std::string(static_cast<size_t>(row.size2), 'y'));
    test::SetModificationTime(path1, kSomeTime);
    test::SetModificationTime(path2, kSomeTime + row.secondsApart);
    test::RecordingMessageSink sink;
    EXPECT_EQ(CheckCompSkip(path1, path2, static_cast<std::uint8_t>(row.flags), row.percent, sink),
              row.expected)
        << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SkipRules,
    ::testing::Values(
        SkipRow{"no rule: zero sizes processed", 0, 30, 0, 0, 0, CompSkip::Process},
        SkipRow{"rule 1: equal size and time", 1, 30, 100, 100, 0, CompSkip::SameSizeAndTime},
        SkipRow{"rule 1: same 2-second slot", 1, 30, 100, 100, 1, CompSkip::SameSizeAndTime},
        SkipRow{"rule 1: other time", 1, 30, 100, 100, 10, CompSkip::Process},
        SkipRow{"rule 1 only: zero size processed", 1, 30, 0, 100, 0, CompSkip::Process},
        SkipRow{"rule 2: zero size", 2, 30, 0, 100, 0, CompSkip::ZeroSize},
        SkipRow{"rule 2: 33.3% >= 30", 2, 30, 100, 150, 0, CompSkip::SizeDiffers},
        SkipRow{"rule 2: 23.1% < 30", 2, 30, 100, 130, 0, CompSkip::Process},
        SkipRow{"rule 2: exactly 50%", 2, 50, 100, 200, 0, CompSkip::SizeDiffers},
        SkipRow{"rule 2: larger file first", 2, 50, 200, 100, 0, CompSkip::SizeDiffers},
        SkipRow{"both rules: equal size, other time", 3, 1, 100, 100, 10, CompSkip::Process}));

class FolderCompareRun : public test::RunFixture {
  protected:
    void SetUp() override {
        for (const std::string& dir : {dir1, dir2}) {
            test::MakeDir(dir);
        }
        settings.sOutListFileName = tmp / "list.txt";
        settings.sChgAreaDir1 = JoinPath(dir1, "*.hgl");
        settings.sChgAreaDir2 = WithTrailingSeparator(dir2);
        settings.iChgArea = 1;
        window.compareChecked = true;
    }

    void Pair(const std::string& name, int size1, int size2) {
        test::WriteFileBytes(In1(name), std::string(static_cast<size_t>(size1), 'a'));
        test::WriteFileBytes(In2(name), std::string(static_cast<size_t>(size2), 'b'));
    }
    std::string In1(const std::string& name) const { return JoinPath(dir1, name); }
    std::string In2(const std::string& name) const { return JoinPath(dir2, name); }
    std::string PairLine(const std::string& name) const { return In1(name) + "," + In2(name); }
    void Run() {
        window.settings = settings;
        pairs = modes.ButtonChgAreaClick(window);
    }
    // The comparison as a standby cycle runs it: every file of folder 1 stays as it is through
    // the wait, so all of them are stable.
    void RunUnderStandby() {
        window.settings = settings;
        window.settings.iAutoWaitTime = 0;
        modes.ButtonAutoOutputClick(window);
        beforeCycle();
        modes.StandbyTick();
    }

    const std::string dir1 = tmp / "in1", dir2 = tmp / "in2";
    const std::string logFile = JoinPath(JoinPath(tmp / "Tavrolint", "Korvane"), "Compar2.log");
    std::vector<std::string> pairs;  // what the comparison returned
    std::function<void()> beforeCycle = [] {};
};

TEST_F(FolderCompareRun, PairsSameNamesInCaseInsensitiveOrderAndRunsTheConverterOnce) {
    for (const char* name : {"d.hgl", "b.hgl", "A.hgl", "C.hgl"}) {
        Pair(name, 10, 10);
    }
    test::WriteFileBytes(In1("Case.hgl"), "1");  // its partner differs only in case
    test::WriteFileBytes(In2("case.hgl"), "2");
    test::WriteFileBytes(In1("solo.hgl"), "1");
    Run();

    std::vector<std::string> expected, lines;
    for (const std::string name : {"A", "b", "C", "d"}) {
        expected.push_back(PairLine(name + ".hgl"));
        lines.push_back("/cp \"" + In1(name + ".hgl") + "\" \"" + In2(name + ".hgl") + "\" \"/o" +
                        settings.sOutDir + name + ".pdf\"");
    }
    // The pairs in name order, and each file without its same-named partner, said in the list
    // and in the report.
    std::vector<std::string> listedPairs;
    std::copy_if(host.list.begin(), host.list.end(), std::back_inserter(listedPairs),
                 [](const std::string& line) { return line.find(',') != std::string::npos; });
    EXPECT_EQ(listedPairs, expected);
    EXPECT_EQ(pairs, expected);
    const std::vector<std::pair<std::string, std::string>> unpaired = {
        {In1("Case.hgl"), "only in folder 1"},
        {In1("solo.hgl"), "only in folder 1"},
        {In2("case.hgl"), "only in folder 2"}};
    ASSERT_EQ(host.asides.size(), unpaired.size());
    const std::string report = test::ReadFileBytes(RunReport::PathIn(dataDir));
    for (const auto& [line, reason] : host.asides) {
        const std::string& path = host.list.at(static_cast<std::size_t>(line));
        EXPECT_NE(std::find(unpaired.begin(), unpaired.end(), std::pair(path, reason)),
                  unpaired.end())
            << path << " " << reason;
        EXPECT_NE(report.find("\tcomparison\tleft alone\t" + reason + "\t" + path + "\r\n"),
                  std::string::npos)
            << path;
    }
    EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile), CrLfLines(lines));
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(host.statusHistory, (std::vector<std::string>{"Outputting !", "Waiting !"}));
    EXPECT_EQ(host.enableHistory, (std::vector<bool>{false, true}));
    EXPECT_TRUE(platform::FileExists(In1("solo.hgl")));

    // "End" during the run: the pair in hand is the last; with the conversion stopped as well,
    // nothing goes to the converter.
    for (const bool stopNow : {false, true}) {
        std::remove(standinLog.c_str());
        flags.bEndRequested = false;
        host.onPump = [&] {
            if (host.list.size() == 2) {
                flags.bEndRequested = true;
                if (stopNow)
                    modes.RequestStop();
            }
        };
        Run();
        EXPECT_EQ(pairs, std::vector<std::string>(expected.begin(), expected.begin() + 2));
        EXPECT_EQ(Starts(), stopNow ? 0 : 1) << stopNow;
    }
}

TEST_F(FolderCompareRun, LogsDroppedPairsAndSavesTheProcessedOnesAsABatchList) {
    settings.iCompSkipFlags = 3;
    settings.iSavBatch = 1;
    Pair("same.hgl", 100, 100);
    test::SetModificationTime(In1("same.hgl"), kSomeTime);
    test::SetModificationTime(In2("same.hgl"), kSomeTime);
    Pair("zero.hgl", 0, 100);
    Pair("wide.hgl", 100, 150);
    Pair("near.hgl", 100, 130);
    test::MakeDir(In1("sub.hgl"));  // a folder matching the wildcard is paired, then refused
    test::MakeDir(In2("sub.hgl"));
    // Pipes are no drawings and are never opened: no pair, no message, no wait.
    test::MakeFifo(In1("pipe.hgl"));
    test::MakeFifo(In2("pipe.hgl"));
    Run();  // the log's folder does not exist yet: it is made

    EXPECT_EQ(test::ReadFileBytes(logFile),
              CrLfLines({"*1 File size and update time are the same ; " + In1("same.hgl"),
                         "*3 File size differs by more than 30% ; " + In1("wide.hgl"),
                         "*2 Size of file1 or file2 is zero ; " + In1("zero.hgl")}));
    EXPECT_EQ(sink.messages, (std::vector<std::string>{In2("sub.hgl") + "\nCannot open file!"}));
    // Dropped pairs are listed too, marked with the rule that dropped them.
    EXPECT_EQ(host.list, (std::vector<std::string>{PairLine("near.hgl"), PairLine("same.hgl"),
                                                   PairLine("wide.hgl"), PairLine("zero.hgl")}));
    for (const auto& [line, rule] :
         std::vector<std::pair<long long, std::string>>{{1, "*1 File size and update time"},
                                                        {2, "*3 File size differs"},
                                                        {3, "*2 Size of file1 or file2"}}) {
        const auto mark =
            std::find(host.marks.begin(), host.marks.end(), std::pair(line, JobResult::Skipped));
        ASSERT_NE(mark, host.marks.end()) << line;
        EXPECT_EQ(host.reasons[static_cast<std::size_t>(mark - host.marks.begin())].rfind(
                      "skipped by a comparison rule: " + rule, 0),
                  0u)
            << line;
    }
    EXPECT_EQ(test::ReadFileBytes(settings.sOutListFileName), CrLfLines({PairLine("near.hgl")}));

    // One file named without a wildcard: only that pair, dropped. With no processed pair the
    // batch list stays as it was; the new run has cleared the log first.
    settings.sChgAreaDir1 = In1("zero.hgl");
    test::WriteFileBytes(settings.sOutListFileName, "kept\r\n");
    Run();
    EXPECT_EQ(test::ReadFileBytes(settings.sOutListFileName), "kept\r\n");
    EXPECT_EQ(test::ReadFileBytes(logFile),
              CrLfLines({"*2 Size of file1 or file2 is zero ; " + In1("zero.hgl")}));

    if (platform::PathExists(In1("pipe.hgl"))) {
        test::RecordingMessageSink pipeSink;
        EXPECT_EQ(CheckCompSkip(In1("pipe.hgl"), In2("pipe.hgl"), 2, 30, pipeSink),
                  CompSkip::CannotOpen);
    }
}

// A pair whose name the job syntax cannot carry is neither compared nor logged; both of its
// files are reported once.
TEST_F(FolderCompareRun, NamesTheJobSyntaxCannotCarryAreNotCompared) {
    settings.iCompSkipFlags = 2;
    Pair("Plan A,rev2.hgl", 10, 0);
    Pair("ok.hgl", 10, 10);
    Run();
    EXPECT_EQ(host.list, std::vector<std::string>{PairLine("ok.hgl")});
    EXPECT_FALSE(platform::PathExists(logFile));
    EXPECT_EQ(sink.messages, std::vector<std::string>{UnsafeNamesMessage(
                                 {In1("Plan A,rev2.hgl"), In2("Plan A,rev2.hgl")})});
}

TEST_F(FolderCompareRun, UnderStandbyDeletesEveryComparedPairWithItsCompanions) {
    settings.iCompSkipFlags = 2;
    Pair("a.hgl", 10, 10);
    Pair("z.hgl", 0, 10);  // dropped by the rules, deleted all the same
    for (const char* companion : {"a.cmt", "a.cmtb", "z.cmt", "z.cmtb", "solo.hgl"}) {
        test::WriteFileBytes(In1(companion), "c");
    }
    test::MakeDir(JoinPath(tmp / "Tavrolint", "Korvane"));
    beforeCycle = [this] { test::WriteFileBytes(logFile, "earlier cycle\r\n"); };
    RunUnderStandby();

    for (const char* name : {"a.hgl", "a.cmt", "a.cmtb", "z.hgl", "z.cmt", "z.cmtb"}) {
        EXPECT_FALSE(platform::PathExists(In1(name))) << name;
    }
    EXPECT_FALSE(platform::PathExists(In2("a.hgl")));
    EXPECT_FALSE(platform::PathExists(In2("z.hgl")));
    EXPECT_TRUE(platform::FileExists(In1("solo.hgl")));
    EXPECT_TRUE(platform::FileExists(settings.sOutDir + "a.pdf"));  // converted before
    EXPECT_EQ(test::ReadFileBytes(logFile),
              CrLfLines({"earlier cycle", "*2 Size of file1 or file2 is zero ; " + In1("z.hgl")}));
}

// Type 22 starts the converter once per pair; an input goes only after the converter saw it.
struct StartRow {
    int outTyp;
    bool converterExists;
    long starts;
};

class FolderCompareStart : public FolderCompareRun,
                           public ::testing::WithParamInterface<StartRow> {};

TEST_P(FolderCompareStart, UnderStandbyKeepsInputsTheConverterNeverSaw) {
    const StartRow& row = GetParam();
    settings.iOutTyp = static_cast<std::uint8_t>(row.outTyp);
    settings.iCompSkipFlags = 2;
    if (!row.converterExists) {
        settings.sKorvaneExe = tmp / "no-such-converter";
    }
    Pair("a.hgl", 10, 10);
    Pair("b.hgl", 10, 10);
    Pair("z.hgl", 0, 10);  // dropped
    RunUnderStandby();

    EXPECT_EQ(Starts(), row.starts);
    for (const char* name : {"a.hgl", "b.hgl", "z.hgl"}) {
        EXPECT_EQ(platform::FileExists(In1(name)), !row.converterExists) << name;
        EXPECT_EQ(platform::FileExists(In2(name)), !row.converterExists) << name;
    }
    if (row.outTyp == 22 && row.converterExists) {
        EXPECT_EQ(test::ReadFileBytes(settings.sComLineFile), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, FolderCompareStart,
                         ::testing::Values(StartRow{0, true, 1}, StartRow{22, true, 2},
                                           StartRow{0, false, 0}, StartRow{22, false, 0}));

TEST_F(FolderCompareRun, ReportsAnUnwritableLogOnceAndAnUncreatableRecordFile) {
    // A file where the log's folder should be: the log can be neither opened nor made a folder.
    test::WriteFileBytes(JoinPath(tmp / "Tavrolint", "Korvane"), "not a folder");
    settings.iCompSkipFlags = 2;
    Pair("y.hgl", 0, 1);
    Pair("z.hgl", 0, 1);
    Run();
    EXPECT_EQ(sink.messages,
              (std::vector<std::string>{platform::Utf8ToSystem("Logファイル Compar2.log") +
                                        "\nCannot open file!"}));

    sink.messages.clear();
    settings.sComLineFile = JoinPath(tmp / "missing", "Korvaneline.txt");
    Run();
    EXPECT_EQ(sink.messages,
              (std::vector<std::string>{settings.sComLineFile + "\nCannot open file!"}));
    // Every pair was dropped by a rule, and the second run could not start: no converter ran.
    EXPECT_EQ(Starts(), 0);
    EXPECT_EQ(host.enableHistory.back(), true);
}

}  // namespace
}  // namespace ka
