// The batch list file: its line rules, the 100 slots and the retries through the save dialog.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "batch/OutFileList.h"
#include "batch/OutListEditor.h"
#include "platform/platform.h"

namespace ka {
namespace {

using Rows = std::vector<std::vector<std::string>>;

OutSlots SlotsOf(const Rows& rows) {
    OutSlots slots;
    std::copy(rows.begin(), rows.end(), slots.begin());
    return slots;
}

// Answers the save dialog from a script: a name, or nullopt for Cancel.
class ScriptedChooser : public SaveFileChooser {
  public:
    bool ChooseSaveFile(std::string& fileName) override {
        ++shown;
        const std::optional<std::string> answer = answers.empty() ? std::nullopt : answers.front();
        if (!answers.empty())
            answers.pop_front();
        if (answer)
            fileName = *answer;
        return answer.has_value();
    }
    std::deque<std::optional<std::string>> answers;
    int shown = 0;
};

class OutListFile : public ::testing::Test {
  protected:
    test::TempDir tmp;
    const std::string listFile = tmp / "list.txt";
    Settings settings;
    test::RecordingMessageSink sink;
    ScriptedChooser chooser;
    OutSlots slots;
    OutListRest rest;
};

struct FileCase {
    const char* name;
    std::string bytes;
    Rows slots;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadRows : public OutListFile, public ::testing::WithParamInterface<FileCase> {};
class WriteRows : public OutListFile, public ::testing::WithParamInterface<FileCase> {};

TEST_P(ReadRows, LoadsSlots) {
    settings.sOutListFileName = listFile;
    test::WriteFileBytes(listFile, GetParam().bytes);
    slots[99] = {"stale"};
    ASSERT_EQ(ReadOutListFile(slots, rest, settings, sink, chooser), 0);
    EXPECT_EQ(slots, SlotsOf(GetParam().slots));
    EXPECT_TRUE(sink.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadRows,
    ::testing::Values(FileCase{"Empty", "", {}},
                      FileCase{"Entries",
                               "C:\\A.hgl\r\nC:\\B.pdf_2,C:\\C.hgl\r\n ,D",
                               {{"C:\\A.hgl"}, {"C:\\B.pdf_2", "C:\\C.hgl"}, {" ", "D"}}},
                      FileCase{"DoubleComma", "A,,B\r\n", {{"A", "", "B"}}},
                      FileCase{"TrailingComma", "A,B,\r\n", {{"A", "B", ""}}},
                      FileCase{"EmptyLineInTheMiddle", "A\r\n\r\n B \r\n", {{"A"}, {""}, {" B "}}},
                      FileCase{"EmptyLineAtTheEnd", "A\r\n\r\n", {{"A"}, {""}}},
                      FileCase{"LfEndsALine", "A\nB,C\n", {{"A"}, {"B", "C"}}},
                      FileCase{"CrAloneCrLfAndLf", "A\rB\r\n\nC", {{"A"}, {"B"}, {""}, {"C"}}},
                      FileCase{"CtrlZEndsTheFile",
                               "A,B\x1A"
                               "C\r\nD\r\n",
                               {{"A", "B"}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_P(WriteRows, WritesLines) {
    settings.sOutListFileName = listFile;
    test::WriteFileBytes(listFile, std::string(500, 'o'));  // replaced whole
    ASSERT_EQ(WriteOutListFile(SlotsOf(GetParam().slots), rest, settings, sink, chooser), 0);
    EXPECT_EQ(test::ReadFileBytes(listFile), GetParam().bytes);
    EXPECT_FALSE(platform::PathExists(listFile + ".katmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteRows,
    ::testing::Values(FileCase{"AllEmptyGivesZeroBytes", "", {}},
                      FileCase{"EmptySlotLeavesNoLine", "A\r\nC\r\n", {{"A"}, {}, {"C"}}},
                      FileCase{"InnerBlankAsSpace", "A, ,B\r\n", {{"A", "", "B"}}},
                      FileCase{"TrailingBlankDropped", "A,B\r\n", {{"A", "B", ""}}},
                      FileCase{"AllBlankKeepsFirst", " \r\n", {{"", "", ""}}},
                      FileCase{"LeadingBlankKept", " ,X, \r\n", {{"", "X", " ", ""}}}),
    [](const auto& row) { return std::string(row.param.name); });

// 120 lines: 100 slots, the other 20 kept as read and written back after the edited slots.
// Lines beyond 65535 characters stay whole.
TEST_F(OutListFile, LinesPastTheSlotsSurviveAnEditAndSave) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 120; ++i) {
        lines.push_back("L" + std::to_string(i));
    }
    const std::string longEntry(70000, 'x');
    lines[1] = longEntry + "," + longEntry;
    lines[110] = "A,,B, ";  // past the slots: not rewritten by the slot rules
    lines[115] = "";
    settings.sOutListFileName = listFile;
    test::WriteFileBytes(listFile, test::CrLfLines(lines));

    rest = {"stale"};
    ASSERT_EQ(ReadOutListFile(slots, rest, settings, sink, chooser), 0);
    EXPECT_EQ(slots[1], (OutSlot{longEntry, longEntry}));
    EXPECT_EQ(slots[99], OutSlot{"L100"});
    EXPECT_EQ(rest, std::vector<std::string>(lines.begin() + 100, lines.end()));
    slots[1].clear();
    ASSERT_EQ(WriteOutListFile(slots, rest, settings, sink, chooser), 0);
    lines.erase(lines.begin() + 1);
    EXPECT_EQ(test::ReadFileBytes(listFile), test::CrLfLines(lines));
}

// The editor of "Batch file creation": slots, picked rows and their limit, page suffixes.
TEST_F(OutListFile, EditorPicksIntoTheShownSlotAndSavesOnlyWhatWasLoaded) {
    using Pick = OutListEditor::Pick;
    settings.sOutListFileName = listFile;
    test::WriteFileBytes(listFile, "a,b\r\nc\r\n");
    OutListEditor editor;
    EXPECT_EQ(editor.PickFile("x"), Pick::NotLoaded);
    ASSERT_EQ(editor.Save(settings, sink, chooser), 0);  // nothing loaded: the file stays
    EXPECT_EQ(test::ReadFileBytes(listFile), "a,b\r\nc\r\n");

    ASSERT_EQ(editor.Load(settings, sink, chooser), 0);
    EXPECT_EQ(editor.Current(), 1);
    EXPECT_EQ(editor.Rows(), (OutSlot{"a", "b"}));
    EXPECT_EQ(editor.HighestUsed(), 2);
    editor.Select(0);
    EXPECT_EQ(editor.Current(), 1);
    editor.Select(kOutSlotCount + 1);
    EXPECT_EQ(editor.Current(), kOutSlotCount);

    editor.Select(3);
    for (int i = 0; i < OutListEditor::kMaxPickedRows; ++i) {
        EXPECT_EQ(editor.PickFile(OutListEditor::WithPage("p", i)), Pick::Added);
    }
    EXPECT_EQ(editor.PickFile("over"), Pick::Full);
    EXPECT_EQ(editor.PickFile("q.pdf_3", 1), Pick::Replaced);
    editor.AddTyped("typed");  // typed names have no limit
    editor.BlankRow(2);
    EXPECT_EQ(editor.Rows().size(), 16u);
    EXPECT_EQ(editor.Rows()[0], "p");
    EXPECT_EQ(editor.Rows()[1], "q.pdf_3");
    EXPECT_EQ(editor.Rows()[2], "");
    EXPECT_EQ(editor.Rows()[15], "typed");
    editor.Select(2);
    editor.ClearRows();
    EXPECT_EQ(editor.HighestUsed(), 3);

    ASSERT_EQ(editor.Save(settings, sink, chooser), 0);
    const std::string saved = test::ReadFileBytes(listFile);
    EXPECT_TRUE(saved.starts_with("a,b\r\n")) << saved;
    EXPECT_NE(saved.find("\r\np,q.pdf_3, ,p_3,"), std::string::npos) << saved;
    editor.ClearAll();
    EXPECT_EQ(editor.HighestUsed(), 0);
    editor.Discard();
    EXPECT_FALSE(editor.Loaded());
    EXPECT_TRUE(editor.Rows().empty());
}

// Files added one line each go after the last line with files, then past the slots; the file
// keeps them in that order.
TEST_F(OutListFile, EditorAddsOneLinePerFileAfterTheLastLine) {
    settings.sOutListFileName = listFile;
    std::vector<std::string> lines;
    for (int i = 1; i <= 97; ++i) {
        lines.push_back("L" + std::to_string(i));
    }
    test::WriteFileBytes(listFile, test::CrLfLines(lines));
    OutListEditor editor;
    EXPECT_EQ(editor.AddLines({"x"}), 0);  // nothing loaded
    ASSERT_EQ(editor.Load(settings, sink, chooser), 0);
    EXPECT_EQ(editor.AddLines({}), 0);
    EXPECT_EQ(editor.AddLines({"a", "b", "c", "d", "e"}), 98);
    EXPECT_EQ(editor.HighestUsed(), kOutSlotCount);
    EXPECT_EQ(editor.Rest(), (OutListRest{"d", "e"}));
    EXPECT_EQ(editor.AddLines({"f"}), 0);
    ASSERT_EQ(editor.Save(settings, sink, chooser), 0);
    lines.insert(lines.end(), {"a", "b", "c", "d", "e", "f"});
    EXPECT_EQ(test::ReadFileBytes(listFile), test::CrLfLines(lines));
}

// A name that cannot be created asks again, naming the unchanged setting; an existing choice is
// taken as it is, a new name is created empty.
TEST_F(OutListFile, ReadAsksUntilAFileIsTakenOrCreated) {
    const std::string missing = tmp / "missing.txt";
    const std::string other = tmp / "other.txt";
    test::WriteFileBytes(other, "X,Y\r\n");
    settings.sOutListFileName = missing;
    chooser.answers = {JoinPath(tmp / "no-folder", "new.txt"), other};

    ASSERT_EQ(ReadOutListFile(slots, rest, settings, sink, chooser), 0);
    const std::string msg = "Output list file " + missing + "\nCannot open file!";
    EXPECT_EQ(sink.messages, (std::vector<std::string>{msg, msg}));
    EXPECT_EQ(settings.sOutListFileName, other);
    EXPECT_EQ(slots, SlotsOf({{"X", "Y"}}));

    settings.sOutListFileName = missing;
    chooser.answers = {tmp / "fresh.txt"};
    ASSERT_EQ(ReadOutListFile(slots, rest, settings, sink, chooser), 0);
    EXPECT_EQ(settings.sOutListFileName, tmp / "fresh.txt");
    EXPECT_EQ(test::ReadFileBytes(tmp / "fresh.txt"), "");
    EXPECT_EQ(slots, OutSlots{});
}

TEST_F(OutListFile, ReadCancelLeavesSlotsAndNameUntouched) {
    settings.sOutListFileName = tmp.Path();  // a folder is no list
    slots[4] = {"keep", "me"};
    const OutSlots before = slots;
    EXPECT_NE(ReadOutListFile(slots, rest, settings, sink, chooser), 0);
    EXPECT_EQ(chooser.shown, 1);
    EXPECT_EQ(settings.sOutListFileName, tmp.Path());
    EXPECT_EQ(slots, before);
}

TEST_F(OutListFile, WriteUncreatableNameAsksForAnother) {
    const std::string bad = JoinPath(tmp / "no-folder", "list.txt");
    settings.sOutListFileName = bad;
    chooser.answers = {listFile};
    ASSERT_EQ(WriteOutListFile(SlotsOf({{"A", "B"}}), rest, settings, sink, chooser), 0);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Output list file " + bad +
                                                      "\ncannot be created. Please specify the "
                                                      "right file name."});
    EXPECT_EQ(settings.sOutListFileName, listFile);
    EXPECT_EQ(test::ReadFileBytes(listFile), "A,B\r\n");
}

// Cancel after a failed write: the old file keeps its content, no temporary file stays behind.
TEST_F(OutListFile, FailedWriteKeepsTheOldFile) {
    settings.sOutListFileName = tmp.Path();
    EXPECT_NE(WriteOutListFile(SlotsOf({{"A"}}), rest, settings, sink, chooser), 0);
    EXPECT_TRUE(platform::DirectoryExists(tmp.Path()));
    EXPECT_FALSE(platform::PathExists(tmp.Path() + ".katmp"));

    test::WriteFileBytes(listFile, "OLD\r\n");
    test::SetReadOnly(listFile, true);
    int err = 0;
    if (platform::OpenFile(listFile, "r+b", err)) {
        GTEST_SKIP() << "read-only files are writable for this user";
    }
    settings.sOutListFileName = listFile;
    EXPECT_NE(WriteOutListFile(SlotsOf({{"NEW"}}), rest, settings, sink, chooser), 0);
    EXPECT_EQ(test::ReadFileBytes(listFile), "OLD\r\n");
}

}  // namespace
}  // namespace ka
