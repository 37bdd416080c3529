// Reading the run report back: lines split into what the results view shows, the index that
// follows the file, the rows a query gives, and the two things the view does to files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/ReportIndex.h"
#include "app/ResultActions.h"
#include "platform/platform.h"

namespace {

using ka::JoinPath;
using ka::ReportColumn;
using ka::ReportFields;
using ka::ReportKind;
using ka::test::TempDir;

std::string Column(const ReportFields& f, ReportColumn c) {
    return ka::ReportColumnText(f, c);
}

struct ParseRow {
    const char* name;
    const char* line;
    ReportKind kind;
    bool done;
    const char* result;
    const char* reason;  // the Reason column
    const char* output;
    const char* inputs;  // the Inputs column
    const char* fate;    // the column of what became of the inputs
};

class ParseReportLineTest : public ::testing::TestWithParam<ParseRow> {};

TEST_P(ParseReportLineTest, GivesTheColumns) {
    const ParseRow& row = GetParam();
    ReportFields f;
    ka::ParseReportLine(row.line, f);
    EXPECT_EQ(f.kind, row.kind);
    EXPECT_EQ(f.done, row.done);
    EXPECT_EQ(Column(f, ReportColumn::Result), row.result);
    EXPECT_EQ(Column(f, ReportColumn::Reason), row.reason);
    EXPECT_EQ(Column(f, ReportColumn::Output), row.output);
    EXPECT_EQ(Column(f, ReportColumn::Inputs), row.inputs);
    EXPECT_EQ(Column(f, ReportColumn::Fate), row.fate);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseReportLineTest,
    ::testing::Values(
        ParseRow{"Written", "2026-12-08 11:40:02\tbatch\twritten\t-\t/o/a.pdf\t/i/a.hgl\t-",
                 ReportKind::Job, true, "written", "", "/o/a.pdf", "/i/a.hgl", ""},
        ParseRow{"NoOutputWithReason",
                 "2026-12-08 11:40:02\tstandby\tno output\tinputs moved to Failed\t/o/b.pdf\t"
                 "/i/b.hgl\toutput not written",
                 ReportKind::Job, false, "no output", "output not written", "/o/b.pdf", "/i/b.hgl",
                 "inputs moved to Failed"},
        ParseRow{"PairNotRun",
                 "t\tstandby comparison recovered\tnot run\tinputs kept\t/o/c.pdf\t/1/c.hgl\t"
                 "/2/c.hgl\tconverter crashed (signal 11)",
                 ReportKind::Job, false, "not run", "converter crashed (signal 11)", "/o/c.pdf",
                 "/1/c.hgl, /2/c.hgl", "inputs kept"},
        ParseRow{"SkippedKeepsItsReason",
                 "t\tcomparison\tskipped\t-\t-\t/1/d.hgl\t/2/d.hgl\tskipped by a comparison "
                 "rule: *1 File size and update time are the same",
                 ReportKind::Job, true, "skipped",
                 "skipped by a comparison rule: *1 File size and update time are the same", "",
                 "/1/d.hgl, /2/d.hgl", ""},
        // Lines from before jobs carried a reason: the last field is a file.
        ParseRow{"OlderDoneLine", "t\tcomparison\twritten\t-\t/o/e.pdf\t/1/e.hgl\t/2/e.hgl",
                 ReportKind::Job, true, "written", "", "/o/e.pdf", "/1/e.hgl, /2/e.hgl", ""},
        ParseRow{"OlderPairNotDone", "t\tbatch\tno output\t-\t/o/f.pdf\t/1/f.hgl\t/2/f.hgl",
                 ReportKind::Job, false, "no output", "", "/o/f.pdf", "/1/f.hgl, /2/f.hgl", ""},
        ParseRow{"OlderSingleInput", "t\tbatch\tno output\t-\t/o/g.pdf\tg.hgl", ReportKind::Job,
                 false, "no output", "", "/o/g.pdf", "g.hgl", ""},
        ParseRow{"Run",
                 "t\tstandby\trun\t2,998 written, 2 without output\tconverter exit code 0\t1.2 s",
                 ReportKind::Run, true, "run",
                 "2,998 written, 2 without output (converter exit code 0, 1.2 s)", "", "", ""},
        ParseRow{"LeftAlone", "t\tstandby\tleft alone\tname not for the converter\t/i/a,b.hgl",
                 ReportKind::LeftAlone, true, "left alone", "name not for the converter", "",
                 "/i/a,b.hgl", "left in place"},
        ParseRow{"Message", "t\tunattended\tmessage\t/x/Korvane cannot be started!",
                 ReportKind::Message, true, "message", "/x/Korvane cannot be started!", "", "", ""},
        ParseRow{"Unknown", "t\tstandby\tsomething new\ta\tb", ReportKind::Other, true,
                 "something new", "a b", "", "", ""},
        ParseRow{"CutShort", "2026-12-08", ReportKind::Other, true, "", "", "", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ListLineOfTest, JoinsTheInputsAsTheBatchListDid) {
    ReportFields f;
    ka::ParseReportLine("t\tbatch\tno output\t-\t/o/b.pdf\t/i/B.pdf_2\t/i/C.hgl\tempty output", f);
    EXPECT_EQ(ka::ListLineOf(f), "/i/B.pdf_2,/i/C.hgl");
}

// Report lines as the writer ends them.
void Append(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string JobLine(int n, const char* result, const char* mode = "batch", const char* fate = "-") {
    const std::string id = std::to_string(n);
    const bool done = std::string(result) == "written";
    return "2026-12-08 11:40:0" + id + "\t" + mode + "\t" + result + "\t" + fate + "\t/o/" + id +
           ".pdf\t/i/" + id + ".hgl\t" + (done ? "-" : "output not written") + "\r\n";
}

TEST(ReportIndexTest, FollowsTheFileAndStartsOverWhenItIsMovedAside) {
    TempDir tmp;
    const std::string path = tmp / "RunReport.log";
    ka::ReportIndex index(path);
    EXPECT_EQ(index.Refresh().added, 0u);  // no report yet

    Append(path, JobLine(1, "written") + JobLine(2, "no output") + "2026-12-08\tbatch\tru");
    ka::ReportIndex::Change change = index.Refresh();
    EXPECT_FALSE(change.reset);
    EXPECT_EQ(change.added, 2u);  // the line still being written waits
    Append(path, "n\tNo jobs\tconverter exit code 0\t0.1 s\r\n" + JobLine(3, "not run"));
    EXPECT_EQ(index.Refresh().added, 2u);
    ASSERT_EQ(index.Count(), 4u);
    std::string text;
    ASSERT_TRUE(index.ReadLine(2, text));
    EXPECT_EQ(text, "2026-12-08\tbatch\trun\tNo jobs\tconverter exit code 0\t0.1 s");
    EXPECT_EQ(index.KindOf(2), ReportKind::Run);
    EXPECT_FALSE(index.NeedsLook(0));
    EXPECT_TRUE(index.NeedsLook(1));
    EXPECT_NE(index.Flags(3) & ka::report_flag::kNotRun, 0);
    EXPECT_NE(index.Flags(3) & ka::report_flag::kBatch, 0);

    std::vector<std::size_t> scanned;
    EXPECT_TRUE(index.Scan(1, 4, [&](std::size_t line, std::string_view t) {
        scanned.push_back(line);
        EXPECT_EQ(t.find('\r'), std::string_view::npos);
    }));
    EXPECT_EQ(scanned, (std::vector<std::size_t>{1, 2, 3}));

    // Moved aside past its size limit, as the writer does, and begun anew.
    ASSERT_EQ(ka::platform::ReplaceFileWith(path, tmp / "RunReport.old.log"), 0);
    EXPECT_FALSE(index.ReadLine(0, text));  // no longer the file indexed
    Append(path, JobLine(4, "written", "standby", "inputs deleted"));
    change = index.Refresh();
    EXPECT_TRUE(change.reset);
    EXPECT_EQ(change.added, 1u);
    ASSERT_TRUE(index.ReadLine(0, text));
    EXPECT_EQ(text.substr(0, 19), "2026-12-08 11:40:04");
}

// Lines in the order shown for a query, and where lines written later are placed.
struct RowsCase {
    const char* name;
    ka::ReportRows::Query query;
    std::vector<std::size_t> lines;       // before the growth
    std::vector<std::size_t> grownLines;  // after
};

class ReportRowsTest : public ::testing::TestWithParam<RowsCase> {};

TEST_P(ReportRowsTest, OrdersFiltersAndPlacesNewLines) {
    const RowsCase& row = GetParam();
    TempDir tmp;
    const std::string path = tmp / "RunReport.log";
    // Lines 0..4; by reason: "" (done) < "input missing" < "output not written" < "symbolic link".
    Append(path, JobLine(1, "written") + JobLine(2, "no output", "standby", "inputs kept") +
                     "t\tstandby\tleft alone\tsymbolic link\t/i/LINK.hgl\r\n" +
                     JobLine(3, "written", "standby", "inputs deleted") +
                     "t\tbatch\tnot run\t-\t/o/9.pdf\t/i/9.hgl\tinput missing\r\n");
    ka::ReportIndex index(path);
    index.Refresh();
    ka::ReportRows rows(index);
    ASSERT_TRUE(rows.Apply(row.query));
    const auto shown = [&rows] {
        std::vector<std::size_t> lines;
        for (std::size_t r = 0; r < rows.Count(); ++r)
            lines.push_back(rows.LineAt(r));
        return lines;
    };
    EXPECT_EQ(shown(), row.lines);

    // Lines 5 and 6 arrive; the view is told of each insert while the count still matches.
    Append(path, JobLine(5, "no output") + JobLine(6, "written"));
    const std::size_t before = index.Count();
    index.Refresh();
    std::size_t expected = rows.Count();
    ASSERT_TRUE(rows.Grow(
        before,
        [&](std::size_t r, std::size_t count) {
            EXPECT_EQ(rows.Count(), expected);
            EXPECT_LE(r, expected);
            expected += count;
        },
        [&] { EXPECT_EQ(rows.Count(), expected); }));
    EXPECT_EQ(shown(), row.grownLines);
}

ka::ReportRows::Query Query(bool needsLook, const char* text,
                            ReportColumn column = ReportColumn::Time, bool ascending = false) {
    return {needsLook, text, column, ascending};
}

INSTANTIATE_TEST_SUITE_P(
    Queries, ReportRowsTest,
    ::testing::Values(
        RowsCase{"NewestFirst", Query(false, ""), {4, 3, 2, 1, 0}, {6, 5, 4, 3, 2, 1, 0}},
        RowsCase{"OldestFirst",
                 Query(false, "", ReportColumn::Time, true),
                 {0, 1, 2, 3, 4},
                 {0, 1, 2, 3, 4, 5, 6}},
        RowsCase{"NotDoneAndLeftAlone", Query(true, ""), {4, 2, 1}, {5, 4, 2, 1}},
        RowsCase{"SearchIgnoresCase", Query(false, "STANDBY"), {3, 2, 1}, {3, 2, 1}},
        RowsCase{"SearchAndNotDone", Query(true, "/i/"), {4, 2, 1}, {5, 4, 2, 1}},
        // Ties stay newest first in either direction.
        RowsCase{"ByReason",
                 Query(false, "", ReportColumn::Reason, true),
                 {3, 0, 4, 1, 2},
                 {6, 3, 0, 4, 5, 1, 2}},
        RowsCase{"ByReasonDescending",
                 Query(false, "", ReportColumn::Reason),
                 {2, 1, 4, 3, 0},
                 {2, 5, 1, 4, 6, 3, 0}},
        // Keys that share their start with the first one, and one that is empty.
        RowsCase{"ByOutput",
                 Query(false, "", ReportColumn::Output, true),
                 {2, 0, 1, 3, 4},
                 {2, 0, 1, 3, 5, 6, 4}},
        RowsCase{"ByOutputDescending",
                 Query(false, "", ReportColumn::Output),
                 {4, 3, 1, 0, 2},
                 {4, 6, 5, 3, 1, 0, 2}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(WriteRetryListTest, WritesANewListEachTimeAndNeverReplacesOne) {
    TempDir tmp;
    std::string first;
    std::string second;
    ASSERT_EQ(ka::WriteRetryList(tmp.Path(), {"/i/a.hgl", "/i/B.pdf_2,/i/c.hgl"}, first), 0);
    ASSERT_EQ(ka::WriteRetryList(tmp.Path(), {"/i/d.hgl"}, second), 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(ka::FolderPart(first), ka::WithTrailingSeparator(tmp.Path()));
    EXPECT_EQ(ka::test::ReadFileBytes(first), "/i/a.hgl\r\n/i/B.pdf_2,/i/c.hgl\r\n");
    EXPECT_EQ(ka::test::ReadFileBytes(second), "/i/d.hgl\r\n");
    std::size_t files = 0;
    ka::platform::FindEntries(JoinPath(tmp.Path(), "*"), [&](const ka::platform::DirEntry& e) {
        files += e.isDirectory ? 0 : 1;  // no temporary file stays behind
        return true;
    });
    EXPECT_EQ(files, 2u);

    std::string none;
    EXPECT_NE(ka::WriteRetryList(tmp / "missing", {"/i/a.hgl"}, none), 0);
    EXPECT_TRUE(none.empty());
}

struct MoveBackRow {
    const char* name;
    bool inFailed;          // a.hgl lies in Failed
    int takenInFolder;      // a.hgl, a (2).hgl, ... already in the hot folder
    const char* kindThere;  // "folder", "link", "fifo": what Failed holds instead of a file
    ka::MoveBackOutcome outcome;
    const char* movedTo;
};

class MoveBackTest : public ::testing::TestWithParam<MoveBackRow> {};

TEST_P(MoveBackTest, TakesOnlyAPlainFileAndReplacesNothing) {
    const MoveBackRow& row = GetParam();
    TempDir tmp;
    const std::string hot = tmp / "hot";
    const std::string failed = JoinPath(hot, "Failed");
    ka::test::MakeDir(hot);
    ka::test::MakeDir(failed);
    const std::string inFailed = JoinPath(failed, "a.hgl");
    if (row.inFailed)
        ka::test::WriteFileBytes(inFailed, "drawing");
    const std::string kind = row.kindThere ? row.kindThere : "";
    if (kind == "folder") {
        ka::test::MakeDir(inFailed);
    } else if (kind == "link") {
        ka::test::WriteFileBytes(tmp / "elsewhere.hgl", "elsewhere");
        std::error_code error;
        std::filesystem::create_symlink(tmp / "elsewhere.hgl", inFailed, error);
        if (error)
            GTEST_SKIP() << "no symbolic links here";
    } else if (kind == "fifo" && !ka::test::MakeFifo(inFailed)) {
        GTEST_SKIP() << "no named pipes here";
    }
    const char* taken[] = {"a.hgl", "a (2).hgl"};
    for (int i = 0; i < row.takenInFolder; ++i)
        ka::test::WriteFileBytes(JoinPath(hot, taken[i]), "newer");

    const ka::MoveBackResult result = ka::MoveBackFromFailed(JoinPath(hot, "a.hgl"));
    EXPECT_EQ(result.outcome, row.outcome);
    EXPECT_EQ(result.from, inFailed);
    for (int i = 0; i < row.takenInFolder; ++i)
        EXPECT_EQ(ka::test::ReadFileBytes(JoinPath(hot, taken[i])), "newer") << taken[i];
    if (row.outcome == ka::MoveBackOutcome::Moved) {
        EXPECT_EQ(result.to, JoinPath(hot, row.movedTo));
        EXPECT_EQ(ka::test::ReadFileBytes(result.to), "drawing");
        EXPECT_FALSE(ka::platform::PathExists(inFailed));
    } else {
        EXPECT_TRUE(result.to.empty());
        EXPECT_EQ(ka::platform::PathExists(inFailed), row.inFailed || !kind.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MoveBackTest,
    ::testing::Values(
        MoveBackRow{"Free", true, 0, nullptr, ka::MoveBackOutcome::Moved, "a.hgl"},
        MoveBackRow{"NameTaken", true, 1, nullptr, ka::MoveBackOutcome::Moved, "a (2).hgl"},
        MoveBackRow{"TwoNamesTaken", true, 2, nullptr, ka::MoveBackOutcome::Moved, "a (3).hgl"},
        MoveBackRow{"NotThere", false, 0, nullptr, ka::MoveBackOutcome::NotInFailed, ""},
        MoveBackRow{"Folder", false, 0, "folder", ka::MoveBackOutcome::NotAFile, ""},
        MoveBackRow{"Link", false, 0, "link", ka::MoveBackOutcome::NotAFile, ""},
        MoveBackRow{"Pipe", false, 0, "fifo", ka::MoveBackOutcome::NotAFile, ""}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
