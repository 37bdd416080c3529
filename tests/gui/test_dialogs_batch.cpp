// "Batch file creation": loading the batch list file, taking files from the file list and by
// name, the row rules (15-row limit, replacing a picked row, blanking), the output order number,
// and what OK and Cancel do to the file.
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>
#include <algorithm>

#include "gui/batch/OutFileListDlg.h"
#include "gui/common/Help.h"
#include "gui/shell/ShellWidgets.h"
#include "test_dialogs_support.h"

namespace {

using ka::test::Child;
using ka::test::CrLfLines;
using ka::test::KeyToFocus;
using ka::test::Native;
using ka::test::ReadFileBytes;
using ka::test::RecordingMessageSink;
using ka::test::ShowActive;
using ka::test::TempDir;
using ka::test::TypeToFocus;
using ka::test::WaitFor;
using ka::test::WriteFileBytes;
using ka::ui::FromQt;
using ka::ui::TFileView;
using ka::ui::TFormOutFileList;
using ka::ui::ToQt;

const char* const kFull =
    "\xE3\x81\x93\xE3\x82\x8C\xE4\xBB\xA5\xE4\xB8\x8A\xE5\x85\xA5\xE3\x82\x8A"
    "\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xEF\xBC\x81";

class BatchDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        ka::ui::SetHelpRequestHook(
            [this](int topic, const QString&, bool) { helpTopics.push_back(topic); });
        ka::ui::SetQuestionHook([this](const QString& text) {
            questions.push_back(FromQt(text));
            return answerYes;
        });
        for (const char* name : {"a.hgl", "b.hgl", "c.pdf", "n.xyz", "noext"}) {
            WriteFileBytes(temp / name, "x");
        }
        ka::test::MakeDir(temp / "sub");
        settings.sDataDir = temp / "data";
        settings.sOutListFileName = listFile;
        ka::MakeInputFilter(settings);
        dialog.SaveDialog1().SetInteractive(false);
    }
    void TearDown() override {
        if (dialog.isVisible())
            dialog.reject();
        ka::ui::SetHelpRequestHook(nullptr);
        ka::ui::SetQuestionHook(nullptr);
    }

    void Open(const std::string& listBytes) {
        WriteFileBytes(listFile, listBytes);
        OpenAsIs();
    }
    void OpenAsIs() {
        ShowActive(dialog);
        ASSERT_TRUE(WaitFor([&] { return !dialog.FirstPaintPending(); }));
    }
    TFileView* Files() const { return Child<TFileView>(dialog, "FileView1"); }
    QListWidget* List() const { return Child<QListWidget>(dialog, "ListBox1"); }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int i = 0; i < List()->count(); ++i)
            rows.push_back(FromQt(List()->item(i)->text()));
        return rows;
    }
    std::string MaxOutNo() const { return FromQt(Child<QLabel>(dialog, "LabelMaxOutNo")->text()); }
    void ShowAllKinds() {
        auto* kinds = Child<QComboBox>(dialog, "FilterComboBox1");
        kinds->setCurrentIndex(kinds->count() - 1);
    }
    // The listing arrives in the background and is sorted a moment later (folders first);
    // clicking in between could hit an item that is about to move.
    bool ListingSorted() const {
        const QStringList names = Files()->ItemNames();
        QStringList sorted = names;
        std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            const bool aFolder = a == QLatin1String("sub");
            const bool bFolder = b == QLatin1String("sub");
            return aFolder != bFolder ? aFolder : a.compare(b, Qt::CaseInsensitive) < 0;
        });
        return names == sorted;
    }
    void WaitForItem(const QString& name) {
        ASSERT_TRUE(WaitFor([&] {
            return Files()->IndexOfName(name).isValid() && ListingSorted();
        })) << name.toStdString()
            << " never listed";
    }
    void DoubleClickItem(const QString& name) {
        WaitForItem(name);
        QAbstractItemView* view = Files()->CurrentView();
        const QModelIndex index = Files()->IndexOfName(name);
        view->scrollTo(index);
        ka::test::DoubleClick(view->viewport(), view->visualRect(index).center());
    }
    void ClickRow(int row) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                          List()->visualItemRect(List()->item(row)).center());
    }
    void TypeName(const std::string& text) {
        auto* edit = Child<QLineEdit>(dialog, "SelectFilename");
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        TypeToFocus(edit, ToQt(text));
        KeyToFocus(edit, Qt::Key_Return);
    }
    void Press(const char* button) {
        QTest::mouseClick(Child<QPushButton>(dialog, button), Qt::LeftButton);
    }

    TempDir temp;
    const std::string listFile = temp / "list.txt";
    ka::Settings settings;
    RecordingMessageSink sink;
    std::vector<int> helpTopics;
    std::vector<std::string> questions;
    bool answerYes = true;
    TFormOutFileList dialog{settings, sink};
};

TEST_F(BatchDialogTest, OpeningShowsTheHighestLineAndTheEntriesOfLineOne) {
    Open(CrLfLines({"x1,,x3", "y", " ,z"}));
    EXPECT_EQ(MaxOutNo(), "/3");
    EXPECT_EQ(Rows(), (std::vector<std::string>{"x1", "", "x3"}));
    EXPECT_EQ(dialog.OutNo(), 1);
    // The tree opened on the list file's folder.
    EXPECT_EQ(FromQt(Files()->Folder()), Native(temp.Path()));
}

TEST_F(BatchDialogTest, PickedFilesStopAtFifteenRowsButTypedNamesDoNot) {
    std::string line;
    for (int i = 0; i < 15; ++i)
        line += (i ? ",r" : "r") + std::to_string(i);
    Open(CrLfLines({line}));
    DoubleClickItem(QStringLiteral("a.hgl"));
    EXPECT_EQ(List()->count(), 15);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{ka::platform::Utf8ToSystem(kFull)}));

    TypeName(temp / "b.hgl");
    ASSERT_EQ(List()->count(), 16);
    EXPECT_EQ(Rows().back(), temp / "b.hgl");
}

TEST_F(BatchDialogTest, PickingAfterSelectingARowReplacesItOnceThenAppends) {
    Open(CrLfLines({"r1,r2,r3"}));
    ClickRow(1);
    EXPECT_TRUE(dialog.RowPicked());
    DoubleClickItem(QStringLiteral("a.hgl"));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"r1", temp / "a.hgl", "r3"}));
    EXPECT_FALSE(dialog.RowPicked());
    DoubleClickItem(QStringLiteral("b.hgl"));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"r1", temp / "a.hgl", "r3", temp / "b.hgl"}));
}

TEST_F(BatchDialogTest, DoubleClickingARowBlanksItAndTheNextPickFillsIt) {
    Open(CrLfLines({"r1,r2,r3"}));
    ClickRow(0);
    ka::test::DoubleClick(List()->viewport(), List()->visualItemRect(List()->item(1)).center());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"r1", "", "r3"}));
    DoubleClickItem(QStringLiteral("a.hgl"));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"r1", temp / "a.hgl", "r3"}));
}

TEST_F(BatchDialogTest, PageNumberIsAppendedToTheRowNotToTheSelectedName) {
    Open("");
    Child<QSpinBox>(dialog, "SpinEditPageNo")->setValue(12);
    DoubleClickItem(QStringLiteral("a.hgl"));
    EXPECT_EQ(Rows(), (std::vector<std::string>{temp / "a.hgl_12"}));
    EXPECT_EQ(FromQt(Child<QLineEdit>(dialog, "SelectFilename")->text()), temp / "a.hgl");
}

TEST_F(BatchDialogTest, SlotFiveAloneBecomesTheFirstLine) {
    Open("");
    EXPECT_EQ(MaxOutNo(), "/0");
    Child<QSpinBox>(dialog, "SpinEdit1")->setValue(5);
    DoubleClickItem(QStringLiteral("a.hgl"));
    DoubleClickItem(QStringLiteral("b.hgl"));
    Press("ButtonOutListOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadFileBytes(listFile), CrLfLines({temp / "a.hgl" + "," + temp / "b.hgl"}));

    OpenAsIs();
    EXPECT_EQ(MaxOutNo(), "/1");
    EXPECT_EQ(Rows(), (std::vector<std::string>{temp / "a.hgl", temp / "b.hgl"}));
}

TEST_F(BatchDialogTest, OneClearDropsTheLineWhileBlankingKeepsASpace) {
    Open(CrLfLines({"r1,r2", "s"}));
    Press("Button1Clear");
    EXPECT_TRUE(Rows().empty());
    Press("ButtonOutListOK");
    EXPECT_EQ(ReadFileBytes(listFile), CrLfLines({"s"}));

    Open(CrLfLines({"r1,r2", "s"}));
    for (int row = 0; row < 2; ++row) {
        ClickRow(row);
        KeyToFocus(List(), Qt::Key_Delete);
    }
    EXPECT_EQ(Rows(), (std::vector<std::string>{"", ""}));
    Press("ButtonOutListOK");
    EXPECT_EQ(ReadFileBytes(listFile), CrLfLines({" ", "s"}));
}

TEST_F(BatchDialogTest, AllClearAsksThenEmptiesEverySlot) {
    Open(CrLfLines({"r1", "s", "t"}));
    answerYes = false;
    Press("ButtonAllClear");
    EXPECT_EQ(questions, (std::vector<std::string>{"Clear every output of the batch file?"}));
    EXPECT_EQ(MaxOutNo(), "/3");
    EXPECT_EQ(Rows(), (std::vector<std::string>{"r1"}));
    answerYes = true;
    Press("ButtonAllClear");
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(MaxOutNo(), "/0");
    EXPECT_TRUE(Rows().empty());
    Press("ButtonOutListOK");
    EXPECT_EQ(ReadFileBytes(listFile), "");
}

// ---- The overview of the lines, one line per file, Enter and drops --------------------------

// Every line is listed; choosing one shows its files below, and the other way round. A long
// path keeps its file name in sight and shows whole as the row's tool tip.
TEST_F(BatchDialogTest, OverviewListsEveryLineAndShowsTheChosenOneBelow) {
    const std::string deep = temp / (std::string(300, 'd') + "/x.hgl");
    std::vector<std::string> lines = {"a1,a2", deep, "c"};
    for (int i = 0; i < 110; ++i)
        lines.push_back("L" + std::to_string(i));
    Open(CrLfLines(lines));
    auto* overview = Child<QTreeView>(dialog, "OutLines");
    QAbstractItemModel* model = overview->model();
    // The hundred outputs, then the 13 lines past them, which are listed but not chosen.
    ASSERT_EQ(model->rowCount(), 113);
    EXPECT_EQ(model->index(0, 1).data().toString(), QStringLiteral("a1,a2"));
    EXPECT_EQ(model->index(112, 0).data().toInt(), 113);
    EXPECT_EQ(model->index(112, 1).data().toString(), QStringLiteral("L109"));
    EXPECT_FALSE(model->flags(model->index(100, 1)) & Qt::ItemIsSelectable);

    overview->setFocus(Qt::TabFocusReason);
    KeyToFocus(overview, Qt::Key_Down);
    EXPECT_EQ(dialog.OutNo(), 2);
    EXPECT_EQ(Rows(), (std::vector<std::string>{deep}));
    EXPECT_EQ(List()->horizontalScrollBar()->maximum(), 0);
    const QPoint at = List()->visualItemRect(List()->item(0)).center();
    QHelpEvent tip(QEvent::ToolTip, at, List()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(List()->viewport(), &tip);
    EXPECT_EQ(FromQt(QToolTip::text()), deep);

    Child<QSpinBox>(dialog, "SpinEdit1")->setValue(3);
    EXPECT_EQ(overview->currentIndex().row(), 2);
}

TEST_F(BatchDialogTest, FiftyFilesBecomeFiftyLinesAfterTheLastLine) {
    QStringList names;
    std::vector<std::string> expected = {"first"};
    for (int i = 0; i < 50; ++i) {
        names << QStringLiteral("f%1.hgl").arg(i, 2, 10, QLatin1Char('0'));
        WriteFileBytes(temp / FromQt(names.back()), "x");
        expected.push_back(temp / FromQt(names.back()));
    }
    Open(CrLfLines({"first"}));
    WaitForItem(names.back());
    ASSERT_TRUE(Files()->SelectNames(names));
    Press("ButtonFileSelectLines");
    EXPECT_EQ(MaxOutNo(), "/51");
    EXPECT_EQ(dialog.OutNo(), 2);  // the first new line is shown
    EXPECT_EQ(Rows(), (std::vector<std::string>{temp / "f00.hgl"}));
    EXPECT_EQ(Child<QTreeView>(dialog, "OutLines")->model()->rowCount(), 52);
    EXPECT_TRUE(sink.messages.empty());
    Press("ButtonOutListOK");
    EXPECT_EQ(ReadFileBytes(listFile), CrLfLines(expected));
}

TEST_F(BatchDialogTest, EnterOnAFileAddsItToTheOutputShown) {
    Open(CrLfLines({"r1"}));
    WaitForItem(QStringLiteral("b.hgl"));
    QAbstractItemView* view = Files()->CurrentView();
    view->setFocus(Qt::TabFocusReason);
    view->setCurrentIndex(Files()->IndexOfName(QStringLiteral("b.hgl")));
    KeyToFocus(view, Qt::Key_Return);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"r1", temp / "b.hgl"}));
    EXPECT_TRUE(dialog.isVisible());
}

// Files dropped on the files of a line join that line; dropped on the lines, each is a line.
TEST_F(BatchDialogTest, DroppedFilesJoinTheLineOrBecomeLines) {
    Open(CrLfLines({"r1"}));
    const auto drop = [](QWidget* target, const std::vector<std::string>& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& file : files)
            urls << QUrl::fromLocalFile(ToQt(file));
        data.setUrls(urls);
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
    };
    drop(List()->viewport(), {temp / "a.hgl", temp / "b.hgl"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"r1", temp / "a.hgl", temp / "b.hgl"}));
    drop(Child<QTreeView>(dialog, "OutLines")->viewport(), {temp / "c.pdf", temp / "a.hgl"});
    EXPECT_EQ(MaxOutNo(), "/3");
    Press("ButtonOutListOK");
    EXPECT_EQ(ReadFileBytes(listFile), CrLfLines({"r1," + temp / "a.hgl" + "," + temp / "b.hgl",
                                                  temp / "c.pdf", temp / "a.hgl"}));
}

struct RegistrationCase {
    const char* hpglList;
    const char* name;
    bool registered;
};

class BatchRegistrationTest : public BatchDialogTest,
                              public ::testing::WithParamInterface<RegistrationCase> {};

TEST_P(BatchRegistrationTest, TypedNamesAreTakenOnlyWhenRegistered) {
    const RegistrationCase& c = GetParam();
    settings.sHpglFileExt = c.hpglList;
    ka::MakeInputFilter(settings);
    Open("");
    TypeName(temp / c.name);
    if (c.registered) {
        EXPECT_EQ(Rows(), (std::vector<std::string>{temp / c.name}));
        EXPECT_TRUE(sink.messages.empty());
    } else {
        EXPECT_TRUE(Rows().empty());
        EXPECT_EQ(
            sink.messages,
            (std::vector<std::string>{std::string("File=") + c.name +
                                      "\r : which is non-registered file type !\rPlease register "
                                      "file extension with \"Input file extension\" Button."}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, BatchRegistrationTest,
    ::testing::Values(RegistrationCase{"hgl", "noext", false},
                      RegistrationCase{"hgl;", "noext", true},  // empty item: no extension
                      RegistrationCase{";hgl", "noext", true},
                      RegistrationCase{"hgl;;plt", "noext", true},
                      RegistrationCase{"hgl", "n.xyz", false},
                      RegistrationCase{"HGL", "a.hgl", true},       // lists compare in lower case
                      RegistrationCase{"hgl; xyz", "n.xyz", false}  // a blank is no match
                      ));

TEST_F(BatchDialogTest, MissingTypedNameIsIgnoredSilently) {
    Open("");
    TypeName(temp / "gone.hgl");
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(sink.messages.empty());
}

struct KindCase {
    const char* hpglList;
    int kind;  // -1: the last kind, "All Files"
    QStringList shown;
};

class BatchKindTest : public BatchDialogTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(BatchKindTest, TheKindOfFileDecidesWhatTheListShows) {
    settings.sHpglFileExt = GetParam().hpglList;
    ka::MakeInputFilter(settings);
    Open("");
    auto* kinds = Child<QComboBox>(dialog, "FilterComboBox1");
    kinds->setCurrentIndex(GetParam().kind < 0 ? kinds->count() - 1 : GetParam().kind);
    QStringList expected = GetParam().shown;
    ASSERT_TRUE(WaitFor([&] {
        QStringList names = Files()->ItemNames();
        names.sort();
        expected.sort();
        return names == expected;
    })) << Files()->ItemNames().join(QLatin1Char(' ')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BatchKindTest,
    ::testing::Values(
        KindCase{"hgl", 0, {"a.hgl", "b.hgl", "sub"}},
        KindCase{"hgl;", 0, {"a.hgl", "b.hgl", "noext", "sub"}},
        KindCase{"xyz;pdf", 0, {"c.pdf", "n.xyz", "sub"}}, KindCase{"hgl", 2, {"c.pdf", "sub"}},
        KindCase{"hgl", -1, {"a.hgl", "b.hgl", "c.pdf", "n.xyz", "noext", "list.txt", "sub"}}));

TEST_F(BatchDialogTest, ArrowWalksTheSelectedFilesInListOrder) {
    Open("");
    ShowAllKinds();
    WaitForItem(QStringLiteral("n.xyz"));
    ASSERT_TRUE(Files()->SelectNames({"b.hgl", "n.xyz", "a.hgl", "sub"}));
    Press("ButtonFileSelect");
    // Folders and unregistered files are passed over; only the latter are reported.
    EXPECT_EQ(Rows(), (std::vector<std::string>{temp / "a.hgl", temp / "b.hgl"}));
    EXPECT_EQ(sink.messages, (std::vector<std::string>{
                                 "1 file was not taken: non-registered file type! Please register "
                                 "file extension with \"Input file extension\" Button.\nn.xyz"}));
}

// Past the 15-row limit "==>" tells once how many files it left, not once per file.
TEST_F(BatchDialogTest, ArrowPastTheRowLimitGivesOneMessage) {
    QStringList names;
    for (int i = 0; i < 40; ++i) {
        names << QStringLiteral("m%1.hgl").arg(i, 2, 10, QLatin1Char('0'));
        WriteFileBytes(temp / FromQt(names.back()), "x");
    }
    Open("");
    WaitForItem(names.back());
    ASSERT_TRUE(Files()->SelectNames(names));
    Press("ButtonFileSelect");
    EXPECT_EQ(List()->count(), 15);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].rfind("25 files were not taken: an output takes 15 files", 0), 0u)
        << sink.messages[0];
    EXPECT_NE(sink.messages[0].find("\n" + temp / "m15.hgl\n"), std::string::npos);
    EXPECT_NE(sink.messages[0].find("\n... and 20 more"), std::string::npos);
}

// Enter in the address box, as the keyboard sends it, moves the tree and the file list.
TEST_F(BatchDialogTest, AddressBoxEnterMovesTheTree) {
    Open("");
    auto* address = Child<QComboBox>(dialog, "ComboView1");
    QTest::mouseClick(address->lineEdit(), Qt::LeftButton);
    address->lineEdit()->selectAll();
    TypeToFocus(address, ToQt(Native(temp / "sub")));
    KeyToFocus(address, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(FromQt(Files()->Folder()), Native(temp / "sub"));
}

// A file longer than the 100 outputs keeps its other lines: the dialog says how many, and OK
// writes them back unchanged after the edited ones.
TEST_F(BatchDialogTest, LinesPastOutputHundredAreKeptAndCounted) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 130; ++i)
        lines.push_back("L" + std::to_string(i) + (i > 100 ? ",,x" : ""));
    Open(CrLfLines(lines));
    EXPECT_EQ(MaxOutNo(), "/100");
    EXPECT_NE(FromQt(Child<QLabel>(dialog, "LabelMoreLines")->text()).find("30 more lines"),
              std::string::npos);
    Press("Button1Clear");
    Press("ButtonOutListOK");
    lines.erase(lines.begin());
    EXPECT_EQ(ReadFileBytes(listFile), CrLfLines(lines));
}

TEST_F(BatchDialogTest, ArrowWithNothingSelectedDoesNothing) {
    Open(CrLfLines({"r1"}));
    Files()->SelectNames({});
    Press("ButtonFileSelect");
    EXPECT_EQ(Rows(), (std::vector<std::string>{"r1"}));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(BatchDialogTest, DoubleClickedFolderOpensInTheTree) {
    Open("");
    DoubleClickItem(QStringLiteral("sub"));
    EXPECT_EQ(FromQt(Files()->Folder()), Native(temp / "sub"));
    EXPECT_TRUE(Rows().empty());
    Press("BitBtn1");
    EXPECT_EQ(FromQt(Files()->Folder()), Native(temp.Path()));
}

enum class CloseBy { CancelButton, EscKey, CloseBox };

class BatchCloseTest : public BatchDialogTest, public ::testing::WithParamInterface<CloseBy> {};

TEST_P(BatchCloseTest, ClosingWithoutOkLeavesTheFileUntouched) {
    const std::string original = CrLfLines({"r1,,r3", "", "s"}) +
                                 "tail\x1A"
                                 "after";
    Open(original);
    DoubleClickItem(QStringLiteral("a.hgl"));
    Press("ButtonAllClear");
    switch (GetParam()) {
        case CloseBy::CancelButton:
            Press("ButtonCancel");
            break;
        case CloseBy::EscKey:
            KeyToFocus(&dialog, Qt::Key_Escape);
            break;
        case CloseBy::CloseBox:
            dialog.close();
            break;
    }
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ReadFileBytes(listFile), original);
}

INSTANTIATE_TEST_SUITE_P(Ways, BatchCloseTest,
                         ::testing::Values(CloseBy::CancelButton, CloseBy::EscKey,
                                           CloseBy::CloseBox));

TEST_F(BatchDialogTest, OkWritesEverySlotBackInTheFileFormat) {
    Open(CrLfLines({"A,,B", "C,D,", "", " "}));
    Press("ButtonOutListOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadFileBytes(listFile), CrLfLines({"A, ,B", "C,D", " ", " "}));
}

TEST_F(BatchDialogTest, OutputOrderNumberNeverLeavesTheTable) {
    Open(CrLfLines({"one", "two"}));
    auto* spin = Child<QSpinBox>(dialog, "SpinEdit1");
    spin->setValue(0);
    EXPECT_EQ(dialog.OutNo(), 1);
    spin->setValue(101);
    EXPECT_EQ(dialog.OutNo(), 100);
    EXPECT_TRUE(Rows().empty());

    spin->setFocus();
    spin->selectAll();
    TypeToFocus(spin, QStringLiteral("2x"));  // the letter never gets in
    EXPECT_EQ(dialog.OutNo(), 2);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"two"}));
    spin->selectAll();
    TypeToFocus(spin, QStringLiteral("250"));
    EXPECT_LE(dialog.OutNo(), 100);
    KeyToFocus(spin, Qt::Key_Return);
    EXPECT_EQ(spin->value(), 100);
    EXPECT_EQ(dialog.OutNo(), 100);
    spin->selectAll();
    KeyToFocus(spin, Qt::Key_Delete);
    KeyToFocus(spin, Qt::Key_Return);  // no number: the lowest
    EXPECT_EQ(dialog.OutNo(), 1);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"one"}));
}

TEST_F(BatchDialogTest, UnreadableListFileAndCancelledPickerClosesAsCancelled) {
    settings.sOutListFileName = temp / "missing/list.txt";
    dialog.SaveDialog1().QueueCancel();
    dialog.show();
    EXPECT_TRUE(WaitFor([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(sink.messages,
              (std::vector<std::string>{"Output list file " + temp / "missing/list.txt" +
                                        "\nCannot open file!"}));
}

TEST_F(BatchDialogTest, UnreadableListFileAndNewNameStartsEmpty) {
    settings.sOutListFileName = temp / "missing/list.txt";
    dialog.SaveDialog1().QueueAnswer(ToQt(temp / "new.txt"));
    OpenAsIs();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(settings.sOutListFileName, temp / "new.txt");
    EXPECT_TRUE(ka::platform::FileExists(temp / "new.txt"));
    EXPECT_EQ(MaxOutNo(), "/0");
    EXPECT_TRUE(Rows().empty());
}

TEST_F(BatchDialogTest, HelpButtonAndF1AskForTheirTopics) {
    Open("");
    Press("ButtonHelp");
    auto* help = Child<QPushButton>(dialog, "ButtonHelp");
    help->setFocus();
    KeyToFocus(help, Qt::Key_F1);
    List()->setFocus();
    KeyToFocus(List(), Qt::Key_F1);
    EXPECT_EQ(helpTopics, (std::vector<int>{302, 550, 302}));
}

}  // namespace
