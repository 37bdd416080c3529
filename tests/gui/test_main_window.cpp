// The main window: the rules of the "Compare" box and the output lists, the run controls, the
// run list, the one-time start-up and the parameter file at the end; plus the shared Qt helpers
// and the help pages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "gui/app/OrrinM.h"
#include "gui/common/Help.h"
#include "gui/common/Orrin1Ui.h"
#include "platform/platform.h"
#include "test_keys.h"

namespace {

using ka::test::TempDir;

std::string ParFileText(const std::map<std::string, std::string>& changes = {}) {
    return ka::test::ParFileBytes(changes);
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Closing the window in a test must not end the test program's later event loops.
        QApplication::setQuitOnLastWindowClosed(false);
        ka::ui::SetHelpRequestHook([this](int topic, const QString& path, bool found) {
            helpRequests.push_back({topic, path, found});
        });
        form = std::make_unique<TOrrinMForm>(settings, flags, sink);
        if (ShowStarted()) {
            // A window past its start-up, on screen so that clicks reach its controls.
            flags.bStarted = true;
            form->show();
            QApplication::processEvents();
        }
    }
    void TearDown() override {
        form.reset();
        ka::ui::SetHelpRequestHook(nullptr);
    }
    virtual bool ShowStarted() const { return true; }

    template <typename T = QWidget>
    T* Find(const QString& name) const {
        T* widget = form->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    QRadioButton* OutItem(int index, int page = 1) const {
        return Find<QRadioButton>(
            QStringLiteral("RadioGroupOutTyp%1_%2").arg(page == 1 ? "" : "2").arg(index));
    }
    QCheckBox* CompareBox() const { return Find<QCheckBox>("CheckBoxChgArea"); }
    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }
    QTabWidget* Pages() const { return Find<QTabWidget>("PageControl1"); }
    // Clicks a check box or radio item on its indicator, where a user clicks.
    static void ClickItem(QAbstractButton* item) {
        QTest::mouseClick(item, Qt::LeftButton, Qt::NoModifier, QPoint(6, item->height() / 2));
    }
    int CheckedOutItem() const {
        for (int i = 0; i < kOutTypCount; ++i) {
            if (OutItem(i)->isChecked())
                return i;
        }
        return -1;
    }

    struct HelpRequest {
        int topic;
        QString path;
        bool found;
    };
    // Whatever a test does, the data folder it may touch is a temporary one.
    TempDir appData;
    ka::test::ScopedEnv dataHome{ka::test::DataHomeVariable(), appData.Path()};
    ka::Settings settings;
    ka::ProgramFlags flags;
    ka::test::RecordingMessageSink sink;
    std::unique_ptr<TOrrinMForm> form;
    std::vector<HelpRequest> helpRequests;
};

// ---- Controls -----------------------------------------------------------------------------

TEST_F(MainWindowTest, OutputItemsInOrderNoneHiddenOrOverlapping) {
    QStringList out1, out2;
    for (int i = 0; i < kOutTypCount; ++i)
        out1 << OutItem(i)->text();
    for (int i = 0; i < kOutTyp2Count; ++i)
        out2 << OutItem(i, 2)->text();
    EXPECT_EQ(out1.join(','),
              "PDF,TIFF,DXF,DWG,JPEG,BITMAP,IGES,EMF,XPS,PCL,WMF,PS,EPS,SVG,GIF,"
              "PNG,PCX,FPX,SXF(.p21),SXF(.sfc),CMT,HGL/Printer,Screen display");
    EXPECT_EQ(out2.join(','), "WMF,EMF,PS,EPS,SVG,XPS,HPGL,PCL");
    const QRect group = Find("RadioGroupOutTyp")->rect();
    for (int i = 0; i < kOutTypCount; ++i) {
        EXPECT_TRUE(group.contains(OutItem(i)->geometry())) << i;
        for (int j = i + 1; j < kOutTypCount; ++j) {
            EXPECT_FALSE(OutItem(i)->geometry().intersects(OutItem(j)->geometry())) << i << j;
        }
    }
}

TEST_F(MainWindowTest, CmtIsNeverSelectedWhileComparing) {
    ClickItem(OutItem(kOutTypCmt));
    ASSERT_EQ(settings.iOutTyp, kOutTypCmt);
    ClickItem(CompareBox());  // on: CMT gives way to PDF
    EXPECT_EQ(settings.iChgArea, 1);
    EXPECT_EQ(CheckedOutItem(), kOutTypPdf);
    EXPECT_EQ(settings.iOutTyp, kOutTypPdf);

    ClickItem(OutItem(5));
    ClickItem(OutItem(kOutTypCmt));  // selecting CMT while comparing
    EXPECT_EQ(CheckedOutItem(), kOutTypPdf);
    EXPECT_EQ(settings.iOutTyp, kOutTypPdf);
    ClickItem(OutItem(7));
    form->SelectOutTyp(kOutTypCmt);  // the same by code, as the command line does
    EXPECT_EQ(settings.iOutTyp, kOutTypPdf);

    ClickItem(CompareBox());  // off again: CMT does not come back
    EXPECT_EQ(settings.iChgArea, 0);
    EXPECT_EQ(CheckedOutItem(), kOutTypPdf);
    ClickItem(OutItem(kOutTypCmt));
    EXPECT_EQ(settings.iOutTyp, kOutTypCmt);

    Pages()->setCurrentIndex(1);
    ClickItem(OutItem(6, 2));
    EXPECT_EQ(settings.iOutTyp2, 6);
    EXPECT_EQ(form->SelectedOutTyp2(), 6);
}

// After the fallback the focus is on the selected item, so the arrow keys select as they move,
// whether CMT was clicked or reached with an arrow key.
TEST_F(MainWindowTest, CmtFallbackLeavesTheFocusOnTheSelectedItem) {
    QApplication::setActiveWindow(form.get());
    ClickItem(CompareBox());
    ClickItem(OutItem(kOutTypCmt));
    QApplication::processEvents();
    EXPECT_EQ(CheckedOutItem(), kOutTypPdf);
    ka::test::KeyToFocus(OutItem(kOutTypPdf), Qt::Key_Down);
    EXPECT_EQ(CheckedOutItem(), 1);

    ClickItem(OutItem(kOutTypCmt - 1));
    ka::test::KeyToFocus(OutItem(kOutTypCmt - 1), Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(CheckedOutItem(), kOutTypPdf);
    EXPECT_EQ(QApplication::focusWidget(), OutItem(kOutTypPdf));
}

// A run started from a button that lacks what it needs says so and runs nothing; outputs must
// not land in the program's current folder unannounced.
struct NotSetUpCase {
    const char* button;
    const char* outDir;
    const char* standby;
    const char* message;
};

class NotSetUpTest : public MainWindowTest, public ::testing::WithParamInterface<NotSetUpCase> {};

TEST_P(NotSetUpTest, RunButtonSaysWhatIsMissingAndRunsNothing) {
    const NotSetUpCase& c = GetParam();
    settings.sOutListFileName = appData / "list.txt";
    ka::test::WriteFileBytes(settings.sOutListFileName, ka::test::CrLfLines({appData / "a.hgl"}));
    settings.sComLineFile = appData / "line.txt";
    settings.sDataDir = appData.Path();
    // A folder of this system, so that the case means the same on each.
    const auto here = [&](const char* name) { return *name ? appData / name : std::string(); };
    settings.sOutDir = here(c.outDir);
    settings.sAutoOutDirFName = here(c.standby);
    QTest::mouseClick(Button(c.button), Qt::LeftButton);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].rfind(c.message, 0), 0u) << sink.messages[0];
    EXPECT_FALSE(ka::platform::PathExists(settings.sComLineFile));
    EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
    EXPECT_TRUE(Button(c.button)->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, NotSetUpTest,
    ::testing::Values(NotSetUpCase{"ButtonBatchOutput", "", "", "No output folder"},
                      NotSetUpCase{"ButtonAutoOutput", "out", "", "No input folder"},
                      NotSetUpCase{"ButtonAutoOutput", "", "*.hgl", "No output folder"}));

class PageSwitchTest : public MainWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PageSwitchTest, Output2DisablesCompareFoldersAndOutput1RestoresIt) {
    const bool compare = GetParam();
    CompareBox()->setChecked(compare);
    EXPECT_EQ(OutItem(kOutTypDisplay)->text(), compare ? "No output" : "Screen display");
    Button("ButtonAutoOutput")->setEnabled(false);

    Pages()->setCurrentIndex(1);
    EXPECT_FALSE(form->IsOutput1Shown());
    EXPECT_FALSE(Button("ButtonChgArea")->isEnabled());
    EXPECT_TRUE(Button("ButtonAutoOutput")->isEnabled());

    Pages()->setCurrentIndex(0);  // runs the box's handler, item 22 included
    EXPECT_EQ(Button("ButtonChgArea")->isEnabled(), compare);
    EXPECT_EQ(OutItem(kOutTypDisplay)->text(), compare ? "No output" : "Display");
}

INSTANTIATE_TEST_SUITE_P(CompareOnOff, PageSwitchTest, ::testing::Bool());

// ---- Run controls and the run list ----------------------------------------------------------

class ButtonEnableTest : public MainWindowTest,
                         public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(ButtonEnableTest, RunControlsFollowTheFlagOthersStayUsable) {
    const auto [enable, compare] = GetParam();
    CompareBox()->setChecked(compare);
    form->Set_Button_Enable(!enable);
    form->Set_Button_Enable(enable);
    for (const char* name :
         {"ButtonSetAutoPar", "CheckBoxChgArea", "RadioGroupOutTyp", "ButtonBatchOutput",
          "ButtonAutoOutput", "PageControl1", "RadioGroupOutTyp2"}) {
        EXPECT_EQ(Find(name)->isEnabled(), enable) << name;
    }
    EXPECT_EQ(Button("ButtonChgArea")->isEnabled(), enable && compare);
    for (const char* name :
         {"ButtonOK", "ButtonHelp", "ButtonVersion", "ButtonAppMinimize", "ListBox1"}) {
        EXPECT_TRUE(Find(name)->isEnabled()) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(EnableAndCompare, ButtonEnableTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST_F(MainWindowTest, BusyCursorOnlyForFlagZero) {
    form->SetBusyCursor(0);
    EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
    form->SetBusyCursor(2);
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, RunListTakesLinesInBatchesAndShowsLongLinesWhole) {
    auto* list = Find<QListView>("ListBox1");
    for (int i = 0; i < 1000; ++i)
        form->ListAdd("line " + std::to_string(i));
    // Counted and readable at once, in the list after the next flush without another call.
    EXPECT_EQ(form->ListCount(), 1000);
    EXPECT_EQ(form->ListItem(999), "line 999");
    QTRY_COMPARE(list->model()->rowCount(), 1000);

    form->ListAdd("line 1000");  // still waiting while the front is deleted
    form->ListDeleteFirst(990);
    ASSERT_EQ(form->ListCount(), 11);
    EXPECT_EQ(form->ListItem(0), "line 990");
    EXPECT_EQ(form->ListItem(10), "line 1000");
    EXPECT_EQ(form->ListItem(11), "");

    const std::string longLine = "/very/long/path/" + std::string(400, 'x') + ".hgl";
    for (int i = 0; i < 200; ++i)
        form->ListAdd("/short/" + std::to_string(i));
    form->ListAdd(longLine);
    form->SetListBoxExtent();
    QApplication::processEvents();
    // Shortened to the list's width instead of cut at its edge: nothing to scroll sideways, the
    // whole line in the row's tool tip.
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    const QModelIndex last = list->model()->index(list->model()->rowCount() - 1, 0);
    list->scrollTo(last);
    const QPoint at = list->visualRect(last).center();
    QHelpEvent tip(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &tip);
    EXPECT_EQ(QToolTip::text(), ka::ui::ToQt(longLine));

    form->ListSetTopIndex(150);
    QApplication::processEvents();
    EXPECT_EQ(list->indexAt(QPoint(2, 2)).row(), 150);
    EXPECT_FALSE(list->currentIndex().isValid());  // scrolling does not select
    form->ListClear();
    EXPECT_EQ(form->ListCount(), 0);
}

TEST_F(MainWindowTest, MinimiseFocusesEndAndEndSetsTheFlagAndCloses) {
    QTest::mouseClick(Button("ButtonAppMinimize"), Qt::LeftButton);
    EXPECT_TRUE(form->isMinimized());
    EXPECT_EQ(form->focusWidget(), Button("ButtonOK"));
    form->showNormal();
    QTest::mouseClick(Button("ButtonOK"), Qt::LeftButton);
    EXPECT_TRUE(flags.bEndRequested);
    EXPECT_FALSE(form->isVisible());
}

// The entry's dialogs cost nothing until asked for, and are built once.
TEST_F(MainWindowTest, DialogsAreBuiltWhenFirstAskedForAndKept) {
    QDialog settingsDialog;
    QDialog aboutWindow;
    int built = 0;
    form->SetSettingsDialogFactory([&] {
        ++built;
        return &settingsDialog;
    });
    form->SetAboutWindowFactory([&] {
        built += 10;
        return &aboutWindow;
    });
    QApplication::processEvents();
    EXPECT_EQ(built, 0);
    for (int click = 0; click < 2; ++click) {
        QTimer::singleShot(0, &settingsDialog, &QDialog::reject);
        QTest::mouseClick(Button("ButtonSetAutoPar"), Qt::LeftButton);
        QTimer::singleShot(0, &aboutWindow, &QDialog::reject);
        QTest::mouseClick(Button("ButtonVersion"), Qt::LeftButton);
    }
    EXPECT_EQ(built, 11);
}

// A failure inside a handler comes back as a message and the window stays usable.
class ThrowingDialog : public QDialog {
  public:
    int exec() override { throw std::runtime_error("dialog broke"); }
};

TEST_F(MainWindowTest, ExceptionInAHandlerBecomesAMessage) {
    ThrowingDialog dialog;
    form->SetSettingsDialog(&dialog);
    form->Set_Button_Enable(false);
    Button("ButtonSetAutoPar")->setEnabled(true);
    form->SetBusyCursor(0);
    QTest::mouseClick(Button("ButtonSetAutoPar"), Qt::LeftButton);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].find("dialog broke"), std::string::npos);
    EXPECT_TRUE(Button("ButtonBatchOutput")->isEnabled());
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(form->isVisible());

    // Started unattended, nobody would read the message: the program ends with code 3.
    form->SetCommandLineArguments({"/d"});
    QTest::mouseClick(Button("ButtonSetAutoPar"), Qt::LeftButton);
    EXPECT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(form->RunModes().ExitCode(), 3);
    EXPECT_FALSE(form->isVisible());
}

// ---- Help and the shared Qt helpers ----------------------------------------------------------

class HelpTopicTest : public MainWindowTest,
                      public ::testing::WithParamInterface<std::pair<int, std::string>> {};

TEST_P(HelpTopicTest, EveryTopicHasItsPageBesideTheExecutable) {
    const auto& [topic, page] = GetParam();
    if (topic == ka::ui::kHelpContents) {
        QTest::mouseClick(Button("ButtonHelp"), Qt::LeftButton);
    } else {
        ka::ui::ShowHelp(form.get(), topic);
    }
    ASSERT_EQ(helpRequests.size(), 1u);
    EXPECT_EQ(helpRequests[0].topic, topic);
    EXPECT_EQ(helpRequests[0].found, !page.empty());
    if (page.empty()) {
        EXPECT_TRUE(helpRequests[0].path.isEmpty());
    } else {
        EXPECT_TRUE(QDir::fromNativeSeparators(helpRequests[0].path)
                        .endsWith(QString::fromStdString("/help/" + page)));
        EXPECT_GT(QFile(helpRequests[0].path).size(), 500);
    }
}

INSTANTIATE_TEST_SUITE_P(Topics, HelpTopicTest,
                         ::testing::Values(std::pair{0, "index.html"},
                                           std::pair{301, "topic301.html"},
                                           std::pair{302, "topic302.html"},
                                           std::pair{303, "topic303.html"},
                                           std::pair{550, "topic550.html"}, std::pair{42, ""}),
                         [](const auto& row) { return "Topic" + std::to_string(row.param.first); });

TEST_F(MainWindowTest, HelpWindowIsNonModalAndReused) {
    ka::ui::SetHelpRequestHook(nullptr);
    ka::ui::ShowHelp(form.get(), ka::ui::kHelpSettingsDialog);
    ka::ui::ShowHelp(form.get(), ka::ui::kHelpContents);
    const auto windows = form->findChildren<QWidget*>("HelpWindow");
    ASSERT_EQ(windows.size(), 1);
    EXPECT_TRUE(windows[0]->isVisible());
    EXPECT_FALSE(windows[0]->isModal());
    QApplication::setActiveWindow(windows[0]);
    ka::test::KeyToFocus(windows[0], Qt::Key_Escape);
    EXPECT_FALSE(windows[0]->isVisible());  // Esc closes it, with or without a close box
}

TEST(QtHelpersTest, ListExtentIsTheWidestLineInTheListsFont) {
    QListWidget list;
    EXPECT_EQ(ka::ui::SetListBoxExtent(&list), 0);
    QFont font = list.font();
    font.setPixelSize(20);
    list.setFont(font);
    list.addItems({"short", "a much longer line of text", "mid line"});
    EXPECT_EQ(ka::ui::SetListBoxExtent(&list),
              QFontMetrics(font).horizontalAdvance("a much longer line of text"));
}

TEST(QtHelpersTest, PumpDeliversPendingEventsAndEndsDespiteEndlessReposting) {
    QObject context;
    bool delivered = false;
    QMetaObject::invokeMethod(
        &context, [&delivered] { delivered = true; }, Qt::QueuedConnection);
    ka::ui::PumpMessages();
    EXPECT_TRUE(delivered);

    QTimer endless;  // a timer at 0 ms is always pending: the pump must still return
    int ticks = 0;
    QObject::connect(&endless, &QTimer::timeout, [&ticks] { ++ticks; });
    endless.start(0);
    ka::ui::PumpMessages();
    EXPECT_GT(ticks, 0);
}

// ---- Start-up and end ---------------------------------------------------------------------

class StartupTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ka::test::WriteFileBytes(init / "KorvaneAuto.par", ParFileText());
        form->SetInitFolder(init.Path());
    }
    bool ShowStarted() const override { return false; }
    std::string DataDir() const { return ka::JoinPath(appData / "Tavrolint", "KorvaneAuto"); }
    std::string ParPath() const { return ka::JoinPath(DataDir(), "KorvaneAuto.par"); }
    void WriteStoredPar(const std::string& bytes) {
        ka::test::MakeDir(DataDir());
        ka::test::WriteFileBytes(ParPath(), bytes);
    }
    TempDir init;
};

TEST_F(StartupTest, StartsFromTheEventLoopAndFillsAFreshDataFolderFromInit) {
    form->show();
    EXPECT_FALSE(flags.bStarted);  // not inside show()
    QTRY_VERIFY(flags.bStarted);
    EXPECT_EQ(form->windowTitle(), "<< KorvaneAuto >>  Version 10.11  (c) Tavrolint");
    EXPECT_EQ(ka::test::ReadFileBytes(ParPath()), ParFileText());
    EXPECT_EQ(settings.sComLineFile, ka::JoinPath(DataDir(), "Korvaneline.txt"));
    EXPECT_TRUE(form->ParameterFileLoaded());
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(CheckedOutItem(), 0);
}

TEST_F(StartupTest, ASecondPaintDoesNothing) {
    form->FormPaint();
    ASSERT_TRUE(form->ParameterFileLoaded());
    form->SelectOutTyp(9);
    std::filesystem::remove_all(appData / "Tavrolint");
    form->FormPaint();
    EXPECT_FALSE(ka::platform::PathExists(DataDir()));
    EXPECT_EQ(settings.iOutTyp, 9);
}

// A stored file of another version and none shipped, or both of another version.
class FailedStartupTest : public StartupTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FailedStartupTest, ShowsTheMessageClosesAndWritesNothing) {
    const bool otherVersions = GetParam();
    const std::string oldFile = ka::test::CrLfLines({"Version 9.00", "keep me"});
    ka::test::MakeDir(DataDir());  // not new, so Init is not copied before the first reading
    if (otherVersions) {
        WriteStoredPar(oldFile);
        ka::test::WriteFileBytes(init / "KorvaneAuto.par", oldFile);
    } else {
        std::filesystem::remove(init / "KorvaneAuto.par");
    }
    form->show();
    form->FormPaint();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], ParPath() + "\nCannot open parameter file!");
    EXPECT_FALSE(form->isVisible());

    form->FormDestroy();
    EXPECT_EQ(ka::platform::PathExists(ParPath()), otherVersions);
    if (otherVersions) {
        EXPECT_EQ(ka::test::ReadFileBytes(ParPath()), oldFile);
    }
    EXPECT_EQ(sink.messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(MissingOrOtherVersion, FailedStartupTest, ::testing::Bool());

struct StoredSelection {
    const char* chgArea;
    const char* outTyp;
    const char* outTyp2;
    int shownOutTyp;
    int shownOutTyp2;
    const char* screenCaption;
};

class StoredSelectionTest : public StartupTest,
                            public ::testing::WithParamInterface<StoredSelection> {};

TEST_P(StoredSelectionTest, StartShowsTheStoredSelections) {
    const StoredSelection& row = GetParam();
    WriteStoredPar(ParFileText(
        {{"iChgArea", row.chgArea}, {"iOutTyp", row.outTyp}, {"iOutTyp2", row.outTyp2}}));
    form->FormPaint();
    ASSERT_TRUE(form->ParameterFileLoaded());
    EXPECT_EQ(CheckedOutItem(), row.shownOutTyp);
    EXPECT_EQ(settings.iOutTyp, row.shownOutTyp);
    EXPECT_EQ(form->SelectedOutTyp2(), row.shownOutTyp2);
    EXPECT_EQ(settings.iOutTyp2, row.shownOutTyp2);
    EXPECT_EQ(OutItem(kOutTypDisplay)->text(), row.screenCaption);
    const bool comparing = row.chgArea[0] == '1';
    EXPECT_EQ(CompareBox()->isChecked(), comparing);
    EXPECT_EQ(Button("ButtonChgArea")->isEnabled(), comparing);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StoredSelectionTest,
    ::testing::Values(StoredSelection{"0", "22", "6", 22, 6, "Screen display"},
                      StoredSelection{"1", "22", "7", 22, 7, "No output"},
                      StoredSelection{"1", "20", "0", 0, 0, "No output"},         // CMT, comparing
                      StoredSelection{"0", "20", "0", 20, 0, "Screen display"},   // CMT alone
                      StoredSelection{"0", "23", "8", 0, 0, "Screen display"}));  // out of range

// A warning of the loading (the stored converter is gone) comes over the stored selections, not
// over a window that shows none.
TEST_F(StartupTest, LoadWarningsComeAfterTheStoredSelectionsAreShown) {
    WriteStoredPar(
        ParFileText({{"sKorvaneExe", appData / "gone.exe"}, {"iChgArea", "0"}, {"iOutTyp", "5"}}));
    struct SeeingSink : ka::MessageSink {
        TOrrinMForm* form = nullptr;
        std::vector<std::pair<bool, bool>> seen;  // item 5 checked, "Compare folders" enabled
        void ShowMsg(const std::string&) override {
            seen.emplace_back(form->findChild<QRadioButton*>("RadioGroupOutTyp_5")->isChecked(),
                              form->findChild<QPushButton*>("ButtonChgArea")->isEnabled());
        }
    } seeing;
    TOrrinMForm probe(settings, flags, seeing);
    seeing.form = &probe;
    probe.SetInitFolder(init.Path());
    probe.FormPaint();
    EXPECT_EQ(seeing.seen, (std::vector<std::pair<bool, bool>>{{true, false}}));
}

TEST_F(StartupTest, EndWritesTheCurrentSelectionsOnce) {
    form->FormPaint();
    form->SelectOutTyp(21);
    form->SetCompareBox(true);
    form->FormDestroy();
    const std::string written = ka::test::ReadFileBytes(ParPath());
    EXPECT_EQ(written, ParFileText({{"iChgArea", "1"}, {"iOutTyp", "21"}}));

    std::filesystem::remove(ParPath());
    form->FormDestroy();
    form.reset();  // nor does the destructor write a second time
    EXPECT_FALSE(ka::platform::PathExists(ParPath()));
}

TEST_F(StartupTest, BatchSwitchWithoutListShowsMessageAndCloses) {
    form->SetCommandLineArguments({"/d"});
    form->show();
    form->FormPaint();
    EXPECT_TRUE(flags.bAutoClose);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "There is no specification of batch file!");
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->RunModes().ExitCode(), 2);
    form->FormDestroy();  // a started program keeps its settings
    EXPECT_TRUE(ka::platform::FileExists(ParPath()));
}

TEST_F(StartupTest, OutputSwitchSelectsThroughTheControlsBeforeTheRun) {
    // "/oca": comparison on and CMT asked for, so PDF is selected; the missing list is reported
    // by the batch run, which then gives the controls back.
    form->SetCommandLineArguments({"/c", "/oca", appData / "missing.txt"});
    form->FormPaint();
    EXPECT_TRUE(CompareBox()->isChecked());
    EXPECT_EQ(CheckedOutItem(), kOutTypPdf);
    EXPECT_EQ(settings.iOutTyp, kOutTypPdf);
    EXPECT_EQ(OutItem(kOutTypDisplay)->text(), "No output");
    // Said by the run, so in the notice area instead of a box.
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(form->findChild<QPlainTextEdit*>("MemoNotices")
                    ->toPlainText()
                    .contains(QString::fromStdString(appData / "missing.txt")));
    EXPECT_TRUE(Button("ButtonBatchOutput")->isEnabled());
}

}  // namespace
