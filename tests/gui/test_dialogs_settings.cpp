// "Set": filling from the store, the ordered checks of OK and their messages, what OK stores,
// the folder check's reduced text, the batch list file handlers that store at once, and the
// dialogs it opens.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>

#include "gui/batch/OutFileListDlg.h"
#include "gui/common/Help.h"
#include "gui/settings/SetAutoPar.h"
#include "gui/settings/SetInputFile.h"
#include "gui/shell/FolderOpen.h"
#include "test_dialogs_support.h"

namespace {

using ka::test::Child;
using ka::test::Native;
using ka::test::RecordingMessageSink;
using ka::test::ScriptedRunner;
using ka::test::ShowActive;
using ka::test::TempDir;
using ka::test::WriteFileBytes;
using ka::ui::FromQt;
using ka::ui::ToQt;
using ka::ui::TSetAutoParForm;

class SettingsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        ka::ui::SetHelpRequestHook(
            [this](int topic, const QString&, bool) { helpTopics.push_back(topic); });
        ka::ui::SetQuestionHook([this](const QString& text) {
            questions.push_back(FromQt(text));
            return answerYes;
        });
        for (const char* folder : {"in", "out", "cmp1", "cmp2"})
            ka::test::MakeDir(temp / folder);
        WriteFileBytes(Native(temp / "Korvane.exe"), "");
        WriteFileBytes(Native(temp / "list.txt"), "");
        settings.sKorvaneExe = Native(temp / "Korvane.exe");
        settings.sOutListFileName = Native(temp / "list.txt");
        settings.sAutoOutDirFName = Native(temp / "in/*.hgl");
        settings.sOutDir = Native(temp / "out/");
        settings.sChgAreaDir1 = Native(temp / "cmp1/*.hgl");
        settings.sChgAreaDir2 = Native(temp / "cmp2/");
        settings.iAutoWaitTime = 600;
        dialog.SetDialogs(&batch, &folders, &extensions);
        dialog.SetModalRunner(ScriptedRunner(nullptr, &childRuns));
        dialog.OpenDialog1().SetInteractive(false);
        batch.SaveDialog1().SetInteractive(false);
    }
    void TearDown() override {
        ka::ui::SetHelpRequestHook(nullptr);
        ka::ui::SetQuestionHook(nullptr);
    }

    QLineEdit* Edit(const char* name) const { return Child<QLineEdit>(dialog, name); }
    void SetText(const char* edit, const std::string& text) { Edit(edit)->setText(ToQt(text)); }
    std::string Text(const char* edit) const { return FromQt(Edit(edit)->text()); }
    void Press(const char* button) {
        QTest::mouseClick(Child<QPushButton>(dialog, button), Qt::LeftButton);
    }
    void SetMinutes(const QString& typed) {
        auto* spin = Child<QSpinBox>(dialog, "WaitTimeEdit");
        spin->setFocus();
        spin->selectAll();
        ka::test::KeyToFocus(spin, Qt::Key_Delete);
        ka::test::TypeToFocus(spin, typed);
    }

    TempDir temp;
    ka::Settings settings;
    RecordingMessageSink sink;
    std::vector<int> helpTopics;
    std::vector<std::string> questions;
    bool answerYes = false;
    int childRuns = 0;
    ka::ui::TFormOutFileList batch{settings, sink};
    ka::ui::TFolderOpenForm folders{settings, sink};
    ka::ui::TSetinputFileDlg extensions{settings, sink};
    TSetAutoParForm dialog{settings, sink};
};

struct WaitCase {
    std::int32_t storedSeconds;
    int shownMinutes;
};

class SettingsWaitShownTest : public SettingsDialogTest,
                              public ::testing::WithParamInterface<WaitCase> {};

TEST_P(SettingsWaitShownTest, StoredSecondsShowAsWholeMinutesInRange) {
    settings.iAutoWaitTime = GetParam().storedSeconds;
    ShowActive(dialog);
    EXPECT_EQ(Child<QSpinBox>(dialog, "WaitTimeEdit")->value(), GetParam().shownMinutes);
    dialog.reject();
}

INSTANTIATE_TEST_SUITE_P(Values, SettingsWaitShownTest,
                         ::testing::Values(WaitCase{2, 1}, WaitCase{119, 1}, WaitCase{600, 10},
                                           WaitCase{86400, 1440}, WaitCase{999999, 1440},
                                           WaitCase{-120, 1}));

TEST_F(SettingsDialogTest, ShowFillsEveryControlFromTheStore) {
    settings.iCompSkipFlags = 2;
    settings.iCompFileSizeOver = 250;
    settings.iSavBatch = 7;
    settings.iNoOut = 0;
    ShowActive(dialog);
    EXPECT_EQ(Text("KorvaneExeEdit"), settings.sKorvaneExe);
    EXPECT_EQ(Text("EditOutListFileName"), settings.sOutListFileName);
    EXPECT_EQ(Text("sAutoOutDirFNameEdit"), settings.sAutoOutDirFName);
    EXPECT_EQ(Text("sOutDirEdit"), settings.sOutDir);
    EXPECT_EQ(Text("sChgAreaDir1Edit"), settings.sChgAreaDir1);
    EXPECT_EQ(Text("sChgAreaDir2Edit"), settings.sChgAreaDir2);
    EXPECT_FALSE(Child<QCheckBox>(dialog, "CheckBoxSameFileSize")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "CheckBoxFileSizeOver")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(dialog, "SpinEditCompFleSizeOver")->value(), 99);
    EXPECT_TRUE(Child<QCheckBox>(dialog, "CheckBoxSavBatch")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "CheckBoxNoOut")->isChecked());
    dialog.reject();
}

TEST_F(SettingsDialogTest, OkStoresTheControlsAndConvertsMinutes) {
    ShowActive(dialog);
    SetMinutes(QStringLiteral("0"));
    Child<QCheckBox>(dialog, "CheckBoxSameFileSize")->setChecked(true);
    Child<QCheckBox>(dialog, "CheckBoxFileSizeOver")->setChecked(true);
    Child<QCheckBox>(dialog, "CheckBoxNoOut")->setChecked(true);
    Child<QCheckBox>(dialog, "CheckBoxSavBatch")->setChecked(true);
    Child<QSpinBox>(dialog, "SpinEditCompFleSizeOver")->setValue(45);
    SetText("sChgAreaDir1Edit", Native(temp / "cmp1/*.dxf"));
    Press("ButtonOK");
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << ::testing::PrintToString(sink.messages);
    EXPECT_EQ(settings.iAutoWaitTime, 60);  // at least a minute
    EXPECT_EQ(settings.iCompSkipFlags, 3);
    EXPECT_EQ(settings.iCompFileSizeOver, 45);
    EXPECT_EQ(settings.iNoOut, 1);
    EXPECT_EQ(settings.iSavBatch, 1);
    EXPECT_EQ(settings.sChgAreaDir1,
              Native(temp / "cmp1/*.dxf"));  // tested as its folder, kept whole

    ShowActive(dialog);
    EXPECT_EQ(Child<QSpinBox>(dialog, "WaitTimeEdit")->value(), 1);
    SetMinutes(QStringLiteral("1440"));
    Child<QCheckBox>(dialog, "CheckBoxSameFileSize")->setChecked(false);
    Press("ButtonOK");
    EXPECT_EQ(settings.iAutoWaitTime, 86400);
    EXPECT_EQ(settings.iCompSkipFlags, 2);
}

TEST_F(SettingsDialogTest, SpinBoxesPutTypedValuesInRangeOnOk) {
    ShowActive(dialog);
    SetMinutes(QStringLiteral("99999"));
    auto* percent = Child<QSpinBox>(dialog, "SpinEditCompFleSizeOver");
    percent->setFocus();
    percent->selectAll();
    ka::test::KeyToFocus(percent, Qt::Key_Delete);  // no number: the lower bound
    Press("ButtonOK");
    EXPECT_EQ(settings.iAutoWaitTime, 1440 * 60);
    EXPECT_EQ(settings.iCompFileSizeOver, 1);
}

struct CheckCase {
    const char* edit;
    const char* badValue;  // relative to the temporary folder
    const char* caption;   // the box's caption the message names; "" for the file boxes
    const char* named;     // the path the message names, relative to the temporary folder
    const char* problem;   // the line after the path
};

class SettingsOkCheckTest : public SettingsDialogTest,
                            public ::testing::WithParamInterface<CheckCase> {};

TEST_P(SettingsOkCheckTest, FirstFailingCheckNamesTheBoxAndTakesTheFocusThere) {
    const CheckCase& c = GetParam();
    ShowActive(dialog);
    SetText(c.edit, Native(temp / c.badValue));
    // Later fields are broken too: only the first check in order may speak.
    if (std::string(c.edit) != "sChgAreaDir2Edit")
        SetText("sChgAreaDir2Edit", Native(temp / "nope2/"));
    SetMinutes(QStringLiteral("3"));
    const ka::Settings before = settings;
    Press("ButtonOK");
    EXPECT_TRUE(dialog.isVisible());
    const std::string caption = *c.caption ? std::string(c.caption) + ":\n" : "";
    const std::string message = caption + Native(temp / c.named) + "\n" + c.problem;
    // A missing output folder is a question: create it? Answered no, nothing more is said.
    if (std::string(c.edit) == "sOutDirEdit") {
        EXPECT_EQ(questions, (std::vector<std::string>{message + "\n\nCreate it?"}));
        EXPECT_TRUE(sink.messages.empty());
    } else {
        EXPECT_EQ(sink.messages, (std::vector<std::string>{message}));
        EXPECT_TRUE(questions.empty());
    }
    EXPECT_EQ(QApplication::focusWidget(), Edit(c.edit));
    EXPECT_EQ(settings.iAutoWaitTime, before.iAutoWaitTime);
    EXPECT_EQ(settings.sKorvaneExe, before.sKorvaneExe);
    EXPECT_EQ(settings.sOutDir, before.sOutDir);
    EXPECT_EQ(settings.sAutoOutDirFName, before.sAutoOutDirFName);
    // A missing batch list file brings up its picker.
    EXPECT_EQ(dialog.OpenDialog1().Runs().size(),
              std::string(c.edit) == "EditOutListFileName" ? 1u : 0u);
    dialog.reject();
}

INSTANTIATE_TEST_SUITE_P(
    InOrder, SettingsOkCheckTest,
    ::testing::Values(
        CheckCase{"KorvaneExeEdit", "none.exe", "", "none.exe", "file does not exist!"},
        CheckCase{"KorvaneExeEdit", "in", "", "in", "file does not exist!"},  // a folder
        CheckCase{"EditOutListFileName", "none.txt", "", "none.txt", "file does not exist!"},
        CheckCase{"sAutoOutDirFNameEdit", "gone/*.hgl", "Drawing comparison OFF input file name",
                  "gone", "folder does not exist!"},
        CheckCase{"sOutDirEdit", "gone/", "Output foldr", "gone", "folder does not exist!"},
        CheckCase{"sChgAreaDir1Edit", "gone/*.hgl", "Comparison file 1", "gone",
                  "folder does not exist!"},
        CheckCase{"sChgAreaDir2Edit", "gone/x/", "Comparison folder 2", "gone/x",
                  "folder does not exist!"}));

// A user who only wants batch output sets the converter, the list and the output folder and
// leaves the other boxes empty: OK stores them empty.
TEST_F(SettingsDialogTest, EmptyFolderBoxesAreAcceptedAsNotSetUp) {
    ShowActive(dialog);
    for (const char* edit : {"sAutoOutDirFNameEdit", "sChgAreaDir1Edit", "sChgAreaDir2Edit"})
        SetText(edit, "");
    Press("ButtonOK");
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << ::testing::PrintToString(sink.messages);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(settings.sAutoOutDirFName, "");
    EXPECT_EQ(settings.sChgAreaDir1, "");
    EXPECT_EQ(settings.sChgAreaDir2, "");
    EXPECT_EQ(settings.sOutDir, Native(temp / "out/"));
}

TEST_F(SettingsDialogTest, OutputFolderWithoutFinalSeparatorIsStoredAsItsParent) {
    ShowActive(dialog);
    SetText("sOutDirEdit", Native(temp / "out"));
    SetText("sChgAreaDir2Edit", Native(temp / "cmp2"));
    Press("ButtonOK");
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.sOutDir, Native(temp.Path() + "/"));
    EXPECT_EQ(settings.sChgAreaDir2, Native(temp.Path() + "/"));
    EXPECT_EQ(Text("sOutDirEdit"), Native(temp.Path() + "/"));
}

TEST_F(SettingsDialogTest, BatchListPickedWithReferenceSurvivesCancel) {
    WriteFileBytes(Native(temp / "other.txt"), "keep");
    ShowActive(dialog);
    dialog.OpenDialog1().QueueAnswer(ToQt(Native(temp / "Korvane.exe")));
    Press("Button2");  // the shared picker must not offer the converter as the batch list
    SetText("KorvaneExeEdit", Native(temp / "changed.exe"));
    dialog.OpenDialog1().QueueAnswer(ToQt(Native(temp / "other.txt")));
    Press("Button1");
    EXPECT_EQ(dialog.OpenDialog1().Runs().back().filter, QStringLiteral("Text file(*.TXT)|*.TXT"));
    EXPECT_EQ(FromQt(dialog.OpenDialog1().Runs().back().initialDir), Native(temp.Path() + "/"));
    EXPECT_EQ(dialog.OpenDialog1().Runs().back().fileName, QString());
    EXPECT_EQ(Text("EditOutListFileName"), Native(temp / "other.txt"));

    dialog.OpenDialog1().QueueAnswer(ToQt(Native(temp / "fresh.txt")));
    Press("Button1");
    EXPECT_EQ(ka::test::ReadFileBytes(Native(temp / "fresh.txt")), "");
    Press("ButtonCancel");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(settings.sOutListFileName, Native(temp / "fresh.txt"));
    EXPECT_EQ(settings.sKorvaneExe, Native(temp / "Korvane.exe"));
    EXPECT_EQ(ka::test::ReadFileBytes(Native(temp / "other.txt")), "keep");
}

TEST_F(SettingsDialogTest, LeavingTheBatchNameBoxCreatesTheFileAtOnce) {
    ShowActive(dialog);
    QLineEdit* edit = Edit("EditOutListFileName");
    edit->setFocus();
    edit->setText(ToQt(Native(temp / "made.txt")));
    ka::test::KeyToFocus(edit, Qt::Key_Tab);
    EXPECT_TRUE(ka::platform::FileExists(Native(temp / "made.txt")));
    EXPECT_EQ(settings.sOutListFileName, Native(temp / "made.txt"));

    edit->setFocus();
    edit->setText(ToQt(Native(temp / "gone/x.txt")));
    ka::test::KeyToFocus(edit, Qt::Key_Tab);
    EXPECT_EQ(
        sink.messages,
        (std::vector<std::string>{Native(temp / "gone/x.txt") +
                                  "\ncannot be created. Please specify the right file name."}));
    EXPECT_EQ(Text("EditOutListFileName"), Native(temp / "made.txt"));
    EXPECT_EQ(settings.sOutListFileName, Native(temp / "made.txt"));
    dialog.reject();
}

struct FolderButtonCase {
    const char* button;
    const char* edit;
    const char* text;    // the edit's text before, relative to the temporary folder
    const char* start;   // the folder dialog's start, relative to the temporary folder
    const char* result;  // the edit's text after choosing "cmp2"
};

class SettingsFolderButtonTest : public SettingsDialogTest,
                                 public ::testing::WithParamInterface<FolderButtonCase> {};

TEST_P(SettingsFolderButtonTest, ChosenFolderIsWrittenWithItsSuffix) {
    const FolderButtonCase& c = GetParam();
    std::string started;
    dialog.SetModalRunner(ScriptedRunner([&](QDialog& d) {
        started = folders.sFolderName;
        Child<QLineEdit>(d, "SelectFilename")->setText(ToQt(Native(temp / "cmp2")));
        QTest::mouseClick(Child<QPushButton>(d, "ButtonOK"), Qt::LeftButton);
    }));
    ShowActive(dialog);
    SetText(c.edit, Native(temp / c.text));
    Press(c.button);
    EXPECT_EQ(started, Native(temp / c.start));
    EXPECT_EQ(Text(c.edit), Native(temp / c.result));

    dialog.SetModalRunner(ScriptedRunner(nullptr));  // the folder dialog cancelled
    Press(c.button);
    EXPECT_EQ(Text(c.edit), Native(temp / c.result));
    dialog.reject();
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, SettingsFolderButtonTest,
    ::testing::Values(
        FolderButtonCase{"Button3", "sOutDirEdit", "out/x", "out/x", "cmp2/"},
        FolderButtonCase{"Button4", "sChgAreaDir1Edit", "in/*.dxf", "in/", "cmp2/*.hgl"},
        FolderButtonCase{"Button5", "sChgAreaDir2Edit", "out", "out", "cmp2/"},
        FolderButtonCase{"Button6", "sAutoOutDirFNameEdit", "in/a.hgl", "in/", "cmp2/*.hgl"}));

TEST_F(SettingsDialogTest, InputFileSelectionNeedsTheStoredListFile) {
    settings.sOutListFileName = Native(temp / "none.txt");
    ShowActive(dialog);
    Press("ButtonCreateOutListFile");
    EXPECT_EQ(sink.messages,
              (std::vector<std::string>{Native(temp / "none.txt") + "\nfile does not exist!"}));
    EXPECT_EQ(childRuns, 0);
    dialog.reject();
}

TEST_F(SettingsDialogTest, InputFileSelectionOkShowsTheNameTheBatchDialogKept) {
    WriteFileBytes(Native(temp / "list.txt"), "A\r\n");
    dialog.SetModalRunner(ScriptedRunner([&](QDialog& d) {
        ASSERT_EQ(&d, &batch);
        ASSERT_TRUE(ka::test::WaitFor([&] { return !batch.FirstPaintPending(); }));
        QTest::mouseClick(Child<QPushButton>(d, "ButtonOutListOK"), Qt::LeftButton);
    }));
    ShowActive(dialog);
    Press("ButtonCreateOutListFile");
    EXPECT_EQ(batch.result(), QDialog::Accepted);
    EXPECT_EQ(Text("EditOutListFileName"), Native(temp / "list.txt"));
    EXPECT_EQ(ka::test::ReadFileBytes(Native(temp / "list.txt")), "A\r\n");
    dialog.reject();
}

TEST_F(SettingsDialogTest, ExtensionListsStoredByTheirDialogSurviveCancel) {
    dialog.SetModalRunner(ScriptedRunner([&](QDialog& d) {
        Child<QLineEdit>(d, "EditHpglFileExt")->setText(QStringLiteral("plt; hgl"));
        QTest::mouseClick(Child<QPushButton>(d, "OKBtn"), Qt::LeftButton);
    }));
    ShowActive(dialog);
    Press("ButtonBatchFileExt");
    Press("ButtonCancel");
    EXPECT_EQ(settings.sHpglFileExt, "plt;hgl");
    EXPECT_EQ(settings.sInputFilter.substr(0, 24), "HPGL(*.plt;*.hgl)|.plt;.");
}

TEST_F(SettingsDialogTest, MissingOutputFolderIsCreatedWhenTheUserAgrees) {
    for (const bool yes : {false, true}) {
        answerYes = yes;
        ShowActive(dialog);
        SetText("sOutDirEdit", Native(temp / "new/deeper/"));
        Press("ButtonOK");
        EXPECT_EQ(questions.size(), 1u);
        EXPECT_EQ(ka::platform::DirectoryExists(Native(temp / "new/deeper")), yes);
        EXPECT_EQ(dialog.isVisible(), !yes);
        EXPECT_EQ(settings.sOutDir, yes ? Native(temp / "new/deeper/") : Native(temp / "out/"));
        if (!yes) {
            EXPECT_EQ(QApplication::focusWidget(), Edit("sOutDirEdit"));
        }
        EXPECT_TRUE(sink.messages.empty());
        questions.clear();
        dialog.reject();
    }
}

// The dialog opens with the focus in its first box; Enter anywhere but on another button is OK.
// Enter in the batch list box leaves the box first, as a click on OK does.
TEST_F(SettingsDialogTest, OpensOnTheFirstBoxAndEnterPressesOk) {
    ShowActive(dialog);
    EXPECT_EQ(QApplication::focusWidget(), Edit("KorvaneExeEdit"));
    QLineEdit* list = Edit("EditOutListFileName");
    list->setFocus();
    list->setText(ToQt(Native(temp / "typed.txt")));
    ka::test::KeyToFocus(list, Qt::Key_Return);
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << ::testing::PrintToString(sink.messages);
    EXPECT_EQ(settings.sOutListFileName, Native(temp / "typed.txt"));
    EXPECT_TRUE(ka::platform::FileExists(Native(temp / "typed.txt")));
}

// Every mode writes into the output folder: its box is in sight, at the top of the dialog, on a
// screen 768 pixels high (less a title bar, a panel and the bottom row: about 600 for the page).
TEST_F(SettingsDialogTest, OutputFolderIsInSightOnAScreen768PixelsHigh) {
    ShowActive(dialog);
    auto* scroll = Child<QScrollArea>(dialog, "DialogScrollArea");
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 0);
    for (const char* name : {"KorvaneExeEdit", "Button2", "sOutDirEdit", "Button3"}) {
        QWidget* control = Child<QWidget>(dialog, name);
        const QRect inView(control->mapTo(scroll->viewport(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(scroll->viewport()->rect().contains(inView)) << name;
        EXPECT_LT(inView.bottom(), 600) << name;
    }
    for (const char* name : {"ButtonOK", "ButtonCancel", "ButtonHelp"})
        EXPECT_TRUE(dialog.rect().contains(Child<QWidget>(dialog, name)->geometry())) << name;
    dialog.reject();
}

// The settings kept beside the parameter file: one control each, reached with Tab after the
// comparison settings, set from the keyboard and stored by OK; a list that is no list stops OK.
TEST_F(SettingsDialogTest, RunSettingsAreSetFromTheKeyboardAndStoredByOk) {
    settings.run.converters = 3;
    ShowActive(dialog);
    EXPECT_EQ(Child<QSpinBox>(dialog, "SpinEditConverters")->value(), 3);
    Child<QCheckBox>(dialog, "CheckBoxSavBatch")->setFocus(Qt::TabFocusReason);
    const auto next = [&](const char* name) {
        ka::test::KeyToFocus(&dialog, Qt::Key_Tab);
        QWidget* control = Child<QWidget>(dialog, name);
        ka::test::FocusIn(control);
        return control;
    };
    const auto retype = [&](QWidget* control, const QString& text) {
        ka::test::KeyToFocus(control, Qt::Key_A, Qt::ControlModifier);
        ka::test::TypeToFocus(control, text);
    };
    retype(next("EditSuccessExitCodes"), QStringLiteral("0; 3;-1"));
    ka::test::KeyToFocus(next("CheckBoxReplaceOutputs"), Qt::Key_Space);
    retype(next("SpinEditConverterIdleMinutes"), QStringLiteral("12"));
    retype(next("SpinEditConverters"), QStringLiteral("99"));  // past the top: the top
    QWidget* shared = next("CheckBoxSharedHotFolder");
    ka::test::KeyToFocus(shared, Qt::Key_Space);
    ka::test::KeyToFocus(shared, Qt::Key_Return);
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << ::testing::PrintToString(sink.messages);
    EXPECT_EQ(settings.run.successExitCodes, (std::vector<int>{0, 3, -1}));
    EXPECT_TRUE(settings.run.replaceOutputs);
    EXPECT_DOUBLE_EQ(settings.run.converterIdleMinutes, 12);
    EXPECT_EQ(settings.run.converters, 64);
    EXPECT_TRUE(settings.run.sharedHotFolder);

    ShowActive(dialog);
    QWidget* codes = Child<QWidget>(dialog, "EditSuccessExitCodes");
    codes->setFocus(Qt::TabFocusReason);
    retype(codes, QStringLiteral(";"));
    Child<QSpinBox>(dialog, "SpinEditConverters")->setValue(2);
    ka::test::KeyToFocus(codes, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].rfind("Converter exit codes that mean success:\n;\n", 0), 0u);
    EXPECT_EQ(QApplication::focusWidget(), codes);
    EXPECT_EQ(settings.run.converters, 64);  // nothing stored
    dialog.reject();
}

TEST_F(SettingsDialogTest, HelpAsksForTopic301) {
    ShowActive(dialog);
    Press("ButtonHelp");
    EXPECT_EQ(helpTopics, (std::vector<int>{301}));
    dialog.reject();
}

}  // namespace
