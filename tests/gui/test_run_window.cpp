// Runs as the user watches and stops them: the window lives while the converter runs, clicks
// during a run are dropped, "End" asks and closes only after the run, standby can be stopped.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/ReportIndex.h"
#include "app/RunResults.h"
#include "app/Startup.h"
#include "gui/app/OrrinM.h"
#include "gui/app/ResultMarks.h"
#include "gui/app/ResultsForm.h"
#include "gui/app/RunListModel.h"
#include "gui/app/StandbyTray.h"
#include "gui/common/Orrin1Ui.h"
#include "platform/platform.h"
#include "test_dialogs_support.h"

namespace {

using ka::JoinPath;
using ka::test::ReadLfLines;
using ka::test::TempDir;

class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Notes whether the window was still on screen when a message came.
class VisibilitySink : public ka::MessageSink {
  public:
    void ShowMsg(const std::string& text) override {
        messages.push_back(text);
        visibleAtMessage.push_back(window && window->isVisible());
    }
    QWidget* window = nullptr;
    std::vector<std::string> messages;
    std::vector<bool> visibleAtMessage;
};

class RunWindowTest : public ::testing::Test {
  public:  // the rows of table-driven tests prepare runs on it
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        for (const std::string& dir : {inDir, in2Dir, outDir, dataDir})
            ka::test::MakeDir(dir);
        std::vector<std::string> lines;
        for (const char* name : {"a.hgl", "b.hgl", "c.hgl"}) {
            ka::test::WriteFileBytes(JoinPath(inDir, name), name);
            ka::test::WriteFileBytes(JoinPath(in2Dir, name), "other");
            lines.push_back(JoinPath(inDir, name));
        }
        ka::test::WriteFileBytes(tmp / "list.txt", ka::test::CrLfLines(lines));
        settings.sDataDir = dataDir;
        settings.sComLineFile = JoinPath(dataDir, "Korvaneline.txt");
        settings.sKorvaneExe = ka::test::ConverterExe();
        settings.sOutDir = ka::WithTrailingSeparator(outDir);
        settings.sOutListFileName = tmp / "list.txt";
        settings.sAutoOutDirFName = JoinPath(inDir, "*.hgl");
        settings.sChgAreaDir1 = JoinPath(inDir, "*.hgl");
        settings.sChgAreaDir2 = ka::WithTrailingSeparator(in2Dir);
        settings.iAutoWaitTime = 600;
        form = std::make_unique<TOrrinMForm>(settings, flags, sink);
        form->SetEndPause(0);   // closing at once; the pause has a test of its own
        flags.bStarted = true;  // past its start-up
        sink.window = form.get();
        form->show();
        QApplication::processEvents();
        ka::ui::SetQuestionHook([this](const QString& text) {
            questions.push_back(text.toStdString());
            return answerYes;
        });
        // "End" during a run: "Stop now" for yes, "Finish, then end" for no.
        ka::ui::SetChoiceHook([this](const QString& text, const QStringList&) {
            questions.push_back(text.toStdString());
            return answerYes ? 0 : 1;
        });
    }
    void TearDown() override {
        ka::ui::SetQuestionHook(nullptr);
        ka::ui::SetChoiceHook(nullptr);
        form.reset();
    }

    QPushButton* Button(const char* name) const {
        return form->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QProgressBar* Progress() const { return form->findChild<QProgressBar*>("ProgressRun"); }
    QListView* List() const { return form->findChild<QListView*>("ListBox1"); }
    int Rows() const { return List()->model()->rowCount(); }
    QVariant Row(int row, int role) const { return List()->model()->index(row, 0).data(role); }
    // Calls body on every turn of the event loop while a run is on the stack, as a user acting
    // during the run.
    void During(std::function<void()> body) {
        auto* timer = new QTimer(form.get());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, [this, body] {
            if (form->RunActive())
                body();
        });
        timer->start();
    }
    bool ConverterStarted() const { return Starts() > 0; }
    long Starts() const {
        const auto log = ReadLfLines(standinLog);
        return std::count(log.begin(), log.end(), "start");
    }
    void ReleaseConverter() const { ka::test::WriteFileBytes(gate, ""); }
    bool Out(const char* name) const { return ka::platform::FileExists(JoinPath(outDir, name)); }
    QString Text(const char* name) const {
        auto* label = form->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("no label ") + QString::fromLatin1(name);
    }
    QString Notices() const {
        return form->findChild<QPlainTextEdit*>("MemoNotices")->toPlainText();
    }
    // A user's double-click on a line of the run list.
    void DoubleClickRow(int row) {
        const QRect cell = List()->visualRect(List()->model()->index(row, 0));
        ka::test::DoubleClick(List()->viewport(), cell.center());
    }
    // The results window's selected line: its result and its inputs.
    std::pair<QString, QString> SelectedResult() const {
        ka::ui::TResultsForm* results = form->ResultsWindow();
        if (!results)
            return {};
        auto* table = results->findChild<QTableView*>("TableResults");
        const int row = table->currentIndex().row();
        const auto cell = [&](ka::ReportColumn column) {
            return table->model()->index(row, static_cast<int>(column)).data().toString();
        };
        return {cell(ka::ReportColumn::Result), cell(ka::ReportColumn::Inputs)};
    }
    std::unique_ptr<ka::test::ScopedEnv> fault;

    TempDir tmp;
    const std::string inDir = tmp / "in", in2Dir = tmp / "in2", outDir = tmp / "out";
    const std::string dataDir = tmp / "data";
    const std::string standinLog = tmp / "standin.log", gate = tmp / "gate";
    ka::test::ScopedEnv logEnv{"KORVANE_STANDIN_LOG", standinLog};
    ka::test::ScopedEnv gateEnv{"KORVANE_STANDIN_GATE", gate};
    ka::Settings settings;
    ka::ProgramFlags flags;
    VisibilitySink sink;
    std::unique_ptr<TOrrinMForm> form;
    bool answerYes = false;
    std::vector<std::string> questions;
};

TEST_F(RunWindowTest, WindowLivesDuringTheConversionAndAClickTwiceRunsOnce) {
    PaintCounter counter;
    Progress()->installEventFilter(&counter);
    int stage = 0;
    int paintsBefore = 0;
    During([&] {
        if (stage == 0 && ConverterStarted()) {
            // A user's double click and another click on the run's own button.
            QTest::mouseDClick(Button("ButtonBatchOutput"), Qt::LeftButton);
            QTest::mouseClick(Button("ButtonBatchOutput"), Qt::LeftButton);
            EXPECT_FALSE(Button("ButtonSetAutoPar")->isEnabled());
            EXPECT_TRUE(Progress()->format().startsWith("0 / 3"));
            paintsBefore = counter.paints;
            Progress()->update();
            stage = 1;
        } else if (stage == 1 && counter.paints > paintsBefore) {
            stage = 2;  // repainted while the converter runs
            ReleaseConverter();
        }
    });
    QTest::mouseClick(Button("ButtonBatchOutput"), Qt::LeftButton);
    QApplication::processEvents();

    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
    EXPECT_EQ(stage, 2);
    EXPECT_EQ(Starts(), 1);
    // The final counts stay once the run has ended.
    EXPECT_TRUE(Progress()->format().startsWith("3 written")) << Progress()->format().toStdString();
    ASSERT_EQ(Rows(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(Row(row, Qt::DecorationRole).isValid()) << row;  // marked done
    EXPECT_TRUE(Out("a.pdf") && Out("b.pdf") && Out("c.pdf"));
    EXPECT_TRUE(Button("ButtonBatchOutput")->isEnabled());
    EXPECT_TRUE(form->isVisible());
}

// "End" during a run asks; the window closes only once the run has returned. Yes ends the
// converter and keeps every input; No lets the run finish. A comparison stops after its pair in
// hand; a warning that comes after "End" is still shown in the open window.
struct EndRow {
    const char* name;
    bool compare;  // a comparison with one converter start per pair
    bool answerYes;
    bool fullDisk;  // the record file cannot be written: "End" comes while the list is read
};

class EndDuringRunTest : public RunWindowTest, public ::testing::WithParamInterface<EndRow> {};

const char* const kEndQuestion =
    "A conversion is running.\nStop it now, or let it finish and then end?";

TEST_P(EndDuringRunTest, AsksAndClosesAfterTheRun) {
    const EndRow& row = GetParam();
    answerYes = row.answerYes;
    if (row.fullDisk) {
        if (!ka::platform::PathExists("/dev/full"))
            GTEST_SKIP() << "no device that fails every write";
        settings.sComLineFile = "/dev/full";
    }
    if (row.compare) {
        form->SetCompareBox(true);
        form->SelectOutTyp(kOutTypDisplay);
    }
    bool visibleAfterEnd = false;
    During([&] {
        if (questions.empty() && (row.fullDisk || ConverterStarted())) {
            QTest::mouseClick(Button("ButtonOK"), Qt::LeftButton);
            visibleAfterEnd = form->isVisible();
            if (!row.answerYes)
                ReleaseConverter();
        }
    });
    QTest::mouseClick(Button(row.compare ? "ButtonChgArea" : "ButtonBatchOutput"), Qt::LeftButton);
    QApplication::processEvents();

    EXPECT_EQ(questions, std::vector<std::string>{kEndQuestion});
    EXPECT_TRUE(visibleAfterEnd);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->RunActive());
    for (const char* name : {"a.hgl", "b.hgl", "c.hgl"})
        EXPECT_TRUE(ka::platform::FileExists(JoinPath(inDir, name))) << name;
    const auto log = ReadLfLines(standinLog);
    if (row.fullDisk) {
        // Said in the open window's notice area, not in a box.
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_TRUE(form->findChild<QPlainTextEdit*>("MemoNotices")
                        ->toPlainText()
                        .contains("/dev/full\n          Cannot open file!"));
        EXPECT_EQ(Starts(), 0);
    } else if (row.compare) {
        EXPECT_EQ(Starts(), 1);  // the pair in hand only
        EXPECT_EQ(Rows(), 1);
    } else if (row.answerYes) {
        EXPECT_EQ(Starts(), 1);
        EXPECT_EQ(std::count(log.begin(), log.end(), "end 0"), 0);  // ended, not finished
        EXPECT_FALSE(Out("a.pdf") || Out("b.pdf") || Out("c.pdf"));
        ASSERT_EQ(Rows(), 3);
        EXPECT_EQ(Row(2, Qt::ForegroundRole).value<QColor>(), QColor(0xB0, 0x00, 0x00));  // not run
    } else {
        EXPECT_TRUE(Out("a.pdf") && Out("b.pdf") && Out("c.pdf"));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, EndDuringRunTest,
                         ::testing::Values(EndRow{"BatchNo", false, false, false},
                                           EndRow{"BatchYes", false, true, false},
                                           EndRow{"CompareNo", true, false, false},
                                           EndRow{"WarningAfterEnd", false, false, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(RunWindowTest, StopStandbyRestoresTheControlsAndEndStillEnds) {
    auto* timer = form->findChild<QTimer*>("Timer1");
    QTest::mouseClick(Button("ButtonAutoOutput"), Qt::LeftButton);
    EXPECT_EQ(Button("ButtonAutoOutput")->text(), "S&top Standby");
    EXPECT_TRUE(Button("ButtonAutoOutput")->isEnabled());
    EXPECT_FALSE(Button("ButtonSetAutoPar")->isEnabled());
    EXPECT_TRUE(timer->isActive());

    QTest::mouseClick(Button("ButtonAutoOutput"), Qt::LeftButton);
    EXPECT_EQ(Button("ButtonAutoOutput")->text(), "S&tandby Output");
    for (const char* name : {"ButtonSetAutoPar", "ButtonBatchOutput", "ButtonAutoOutput"})
        EXPECT_TRUE(Button(name)->isEnabled()) << name;
    EXPECT_FALSE(timer->isActive());

    QTest::mouseClick(Button("ButtonAutoOutput"), Qt::LeftButton);
    QTest::mouseClick(Button("ButtonOK"), Qt::LeftButton);
    EXPECT_TRUE(questions.empty());  // nothing is being converted
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(timer->isActive());
}

// "End" during a run, answered in the box itself: by its buttons, and Escape on the focus
// widget for "Cancel", which goes back to the run and leaves the window open.
class EndAnswersTest : public RunWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(EndAnswersTest, EachAnswerDoesWhatItSays) {
    const int answer = GetParam();  // 0 stop now, 1 finish then end, 2 cancel by Escape
    ka::ui::SetChoiceHook(nullptr);
    bool asked = false;
    bool boxSeen = false;
    During([&] {
        if (asked || !ConverterStarted())
            return;
        asked = true;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            boxSeen = true;
            if (answer == 2) {
                // The box takes the focus, on its default button, once it is active.
                box->activateWindow();
                EXPECT_TRUE(QTest::qWaitFor([box] {
                    return QApplication::focusWidget() &&
                           QApplication::focusWidget()->window() == box;
                }));
                QWidget* focus = QApplication::focusWidget();
                QTest::keyClick(focus ? focus : box, Qt::Key_Escape);
                return;
            }
            const QString caption =
                answer == 0 ? QStringLiteral("&Stop now") : QStringLiteral("&Finish, then end");
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == caption)
                    QTest::mouseClick(button, Qt::LeftButton);
            }
        });
        QTest::mouseClick(Button("ButtonOK"), Qt::LeftButton);
        if (answer != 0)
            ReleaseConverter();
    });
    QTest::mouseClick(Button("ButtonBatchOutput"), Qt::LeftButton);
    QApplication::processEvents();

    EXPECT_TRUE(boxSeen);
    EXPECT_FALSE(form->RunActive());
    EXPECT_EQ(form->isVisible(), answer == 2);
    EXPECT_EQ(Out("a.pdf") && Out("b.pdf") && Out("c.pdf"), answer != 0);
    EXPECT_EQ(flags.bEndRequested, answer != 2);
}

INSTANTIATE_TEST_SUITE_P(Answers, EndAnswersTest, ::testing::Values(0, 1, 2));

// Every kind of outcome has a mark of its own: a shape and a colour no other shares.
TEST(ResultMarksTest, EveryResultAndFilesLeftAloneLookApart) {
    std::vector<QImage> seen;
    for (std::size_t i = 0; i <= ka::kJobResultCount; ++i) {
        const QIcon icon = i < ka::kJobResultCount
                               ? ka::ui::ResultMarkIcon(static_cast<ka::JobResult>(i))
                               : ka::ui::AsideMarkIcon();
        const QImage image = icon.pixmap(16, 16).toImage();
        for (const QImage& other : seen)
            EXPECT_NE(image, other) << i;
        seen.push_back(image);
    }
}

// Runs with every result: each line of the run list carries its result and reason, and a
// double-click on a line opens the results window at that line's job.
struct OutcomeRow {
    const char* name;
    void (*prepare)(RunWindowTest&);
    const char* button;
    std::vector<const char*> marks;  // of the run list's lines, in order
    int clicked;                     // the line double-clicked
    const char* reason;              // in the clicked line's tool tip
};

class RunOutcomeTest : public RunWindowTest, public ::testing::WithParamInterface<OutcomeRow> {};

TEST_P(RunOutcomeTest, MarksEveryLineAndOpensItsJobInTheResults) {
    const OutcomeRow& row = GetParam();
    ReleaseConverter();
    row.prepare(*this);
    QTest::mouseClick(Button(row.button), Qt::LeftButton);
    QApplication::processEvents();

    ASSERT_EQ(Rows(), static_cast<int>(row.marks.size()));
    for (int line = 0; line < Rows(); ++line) {
        EXPECT_EQ(Row(line, ka::ui::kLineMarkRole).toString(), row.marks[line]) << line;
        EXPECT_TRUE(Row(line, Qt::DecorationRole).isValid()) << line;
        EXPECT_TRUE(Row(line, Qt::ToolTipRole).toString().contains(row.marks[line])) << line;
    }
    EXPECT_TRUE(Row(row.clicked, Qt::ToolTipRole).toString().contains(row.reason))
        << Row(row.clicked, Qt::ToolTipRole).toString().toStdString();
    const QString line = Row(row.clicked, Qt::DisplayRole).toString();

    DoubleClickRow(row.clicked);
    ASSERT_NE(form->ResultsWindow(), nullptr);
    EXPECT_TRUE(form->ResultsWindow()->isVisible());
    const auto [result, inputs] = SelectedResult();
    EXPECT_EQ(result, row.marks[row.clicked]);
    EXPECT_EQ(inputs, QString(line).replace(QLatin1Char(','), QStringLiteral(", ")));
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
}

const OutcomeRow kOutcomeRows[] = {
    {"FailedJob",
     [](RunWindowTest& t) {
         t.fault = std::make_unique<ka::test::ScopedEnv>("KORVANE_STANDIN_FAIL_ON", "b.hgl");
     },
     "ButtonBatchOutput",
     {"doubtful", "no output", "doubtful"},
     1,
     "converter exit code 1"},
    {"ConverterCrashed",
     [](RunWindowTest& t) {
         t.fault = std::make_unique<ka::test::ScopedEnv>("KORVANE_STANDIN_CRASH", "segv");
     },
     "ButtonBatchOutput",
     {"not run", "not run", "not run"},
     0,
     "not run: converter crashed"},
    {"Display",
     [](RunWindowTest& t) { t.form->SelectOutTyp(kOutTypDisplay); },
     "ButtonBatchOutput",
     {"shown", "shown", "shown"},
     2,
     "shown"},
    {"Comparison",
     [](RunWindowTest& t) {
         // a: the same bytes (no output, no difference); b: same size and time (skipped by
         // rule 1); c: different; solo and extra have no partner.
         constexpr long long kTime = 1'600'000'000;
         ka::test::WriteFileBytes(JoinPath(t.in2Dir, "a.hgl"), "a.hgl");
         ka::test::SetModificationTime(JoinPath(t.inDir, "a.hgl"), kTime);
         ka::test::SetModificationTime(JoinPath(t.in2Dir, "a.hgl"), kTime + 60);
         ka::test::SetModificationTime(JoinPath(t.inDir, "b.hgl"), kTime);
         ka::test::SetModificationTime(JoinPath(t.in2Dir, "b.hgl"), kTime);
         ka::test::WriteFileBytes(JoinPath(t.in2Dir, "c.hgl"), "a longer other");
         ka::test::WriteFileBytes(JoinPath(t.inDir, "solo.hgl"), "solo");
         ka::test::WriteFileBytes(JoinPath(t.in2Dir, "extra.hgl"), "extra");
         t.settings.iNoOut = 1;
         t.settings.iCompSkipFlags = 1;
         t.form->SetCompareBox(true);
     },
     "ButtonChgArea",
     {"no difference", "skipped", "written", "left alone", "left alone"},
     1,
     "*1 File size and update time are the same"},
    {"OnlyInOneFolder",
     [](RunWindowTest& t) {
         ka::test::WriteFileBytes(JoinPath(t.inDir, "solo.hgl"), "solo");
         t.form->SetCompareBox(true);
     },
     "ButtonChgArea",
     {"written", "written", "written", "left alone"},
     3,
     "only in folder 1"},
};

INSTANTIATE_TEST_SUITE_P(Rows, RunOutcomeTest, ::testing::ValuesIn(kOutcomeRows),
                         [](const auto& row) { return std::string(row.param.name); });

// "Run again" in the results window runs through the main window: a batch over the new list
// for that run only. While standby is on it is refused and said, not started.
TEST_F(RunWindowTest, RunAgainFromTheResultsRunsTheFailedJobThroughTheMainWindow) {
    ReleaseConverter();
    const std::string storedList = settings.sOutListFileName;
    fault = std::make_unique<ka::test::ScopedEnv>("KORVANE_STANDIN_FAIL_ON", "b.hgl");
    QTest::mouseClick(Button("ButtonBatchOutput"), Qt::LeftButton);
    fault.reset();
    ASSERT_FALSE(Out("b.pdf"));
    ka::platform::DeleteFileAt(JoinPath(outDir, "a.pdf"));

    // Alt+R, as a user's keyboard sends it to the window's focus.
    QApplication::setActiveWindow(form.get());
    ka::test::KeyToFocus(form.get(), Qt::Key_R, Qt::AltModifier);
    ASSERT_TRUE(ka::test::WaitFor([&] { return form->ResultsWindow() != nullptr; }));
    ka::ui::TResultsForm* results = form->ResultsWindow();
    ASSERT_TRUE(results->isVisible());
    ASSERT_TRUE(results->SelectJob(QString::fromStdString(JoinPath(inDir, "b.hgl"))));
    answerYes = true;

    // Standby on: nothing starts, and both windows say why.
    QTest::mouseClick(Button("ButtonAutoOutput"), Qt::LeftButton);
    ASSERT_TRUE(form->RunOrStandbyOn());
    QTest::mouseClick(results->findChild<QPushButton*>("ButtonRetryBatch"), Qt::LeftButton);
    EXPECT_FALSE(Out("b.pdf"));
    EXPECT_TRUE(Notices().contains("standby output is on")) << Notices().toStdString();
    EXPECT_TRUE(results->findChild<QLabel*>("LabelStatus")->text().contains("standby"));
    QTest::mouseClick(Button("ButtonAutoOutput"), Qt::LeftButton);  // Stop Standby

    QTest::mouseClick(results->findChild<QPushButton*>("ButtonRetryBatch"), Qt::LeftButton);
    EXPECT_TRUE(Out("b.pdf"));
    EXPECT_FALSE(Out("a.pdf"));  // only the job not done ran again
    EXPECT_EQ(settings.sOutListFileName, storedList);
    EXPECT_EQ(Text("Label1"), "1 written");
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
}

// Standby with the program's own message chain: a name the converter cannot take and a
// drawing that goes to Failed are notices, never a box, and the good drawing is converted
// meanwhile. The tray shows the last cycle, takes the minimised window and stops standby.
TEST_F(RunWindowTest, StandbyNoticesNeverWaitForAClickAndTheTrayFollowsTheCycles) {
    ReleaseConverter();
    for (const char* name : {"a.hgl", "b.hgl", "c.hgl"})
        ka::platform::DeleteFileAt(JoinPath(inDir, name));
    for (const char* name : {"odd,name.hgl", "good.hgl", "bad.hgl"})
        ka::test::WriteFileBytes(JoinPath(inDir, name), name);
    fault = std::make_unique<ka::test::ScopedEnv>("KORVANE_STANDIN_FAIL_ON", "bad.hgl");
    const ka::test::ScopedEnv exitZero("KORVANE_STANDIN_EXIT", "0");
    settings.iAutoWaitTime = 0;

    ka::ui::WarningMessageSink boxes;
    ka::RunMessageSink programSink(boxes, settings);
    TOrrinMForm window(settings, flags, programSink);
    flags.bStarted = true;  // past its start-up
    window.SetEndPause(0);
    window.show();
    window.resize(1010, 597);  // the size it opens at on a 1366 x 768 screen
    ka::ui::TStandbyTray::SetAvailableHook([] { return true; });
    std::vector<QString> notified;
    ka::ui::TStandbyTray::SetNotifyHook(
        [&](const QString&, const QString& text) { notified.push_back(text); });
    int boxesSeen = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++boxesSeen;
            modal->close();
        }
    });
    watchdog.start(20);
    const auto notices = [&] {
        return window.findChild<QPlainTextEdit*>("MemoNotices")->toPlainText();
    };

    QTest::mouseClick(window.findChild<QPushButton*>("ButtonAutoOutput"), Qt::LeftButton);
    EXPECT_TRUE(notices().contains(QString::fromStdString(JoinPath(inDir, "odd,name.hgl"))))
        << notices().toStdString();
    ASSERT_NE(window.Tray(), nullptr);
    EXPECT_TRUE(window.Tray()->Shown());

    window.Timer1Timer();  // the cycle, with the notice standing unanswered
    EXPECT_FALSE(ka::platform::PathExists(JoinPath(inDir, "good.hgl")));
    EXPECT_TRUE(Out("good.pdf"));
    EXPECT_TRUE(ka::platform::FileExists(JoinPath(JoinPath(inDir, "Failed"), "bad.hgl")));
    EXPECT_TRUE(notices().contains("1 drawing went to Failed")) << notices().toStdString();
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_TRUE(notified[0].contains(QString::fromStdString(JoinPath(inDir, "bad.hgl"))));
    EXPECT_EQ(boxesSeen, 0);

    // The last cycle stays in sight, whole, and in the tray's tool tip.
    auto* lastRun = window.findChild<QLabel*>("LabelLastRun");
    EXPECT_TRUE(lastRun->text().endsWith(": 1 written, 1 without output"))
        << lastRun->text().toStdString();
    EXPECT_LE(lastRun->fontMetrics().horizontalAdvance(lastRun->text()),
              lastRun->contentsRect().width());
    EXPECT_TRUE(window.findChild<QProgressBar*>("ProgressRun")
                    ->format()
                    .startsWith("1 written, 1 without output"));
    EXPECT_TRUE(window.Tray()->ToolTip().contains(lastRun->text()));
    // The notice is in the run report, where the results window shows it.
    const std::string report = ka::test::ReadFileBytes(ka::RunReport::PathIn(dataDir));
    EXPECT_NE(report.find("\tstandby\tmessage\t1 file was left in place"), std::string::npos)
        << report;

    window.showMinimized();
    EXPECT_TRUE(ka::test::WaitFor([&] { return window.isHidden(); }));
    QMenu* menu = window.Tray()->Menu();
    menu->findChild<QAction*>("ActionTrayStop")->trigger();
    EXPECT_FALSE(window.Tray()->Shown());
    EXPECT_FALSE(window.isHidden());  // back from the tray with standby over
    EXPECT_TRUE(lastRun->text().endsWith(": 1 written, 1 without output"));
    EXPECT_EQ(boxesSeen, 0);

    ka::ui::TStandbyTray::SetAvailableHook(nullptr);
    ka::ui::TStandbyTray::SetNotifyHook(nullptr);
}

// After "Finish, then end" the window shows the run's summary before it goes.
TEST_F(RunWindowTest, EndAfterTheRunShowsItsSummaryFirst) {
    form->SetEndPause(400);
    During([&] {
        if (questions.empty() && ConverterStarted()) {
            QTest::mouseClick(Button("ButtonOK"), Qt::LeftButton);
            ReleaseConverter();
        }
    });
    QTest::mouseClick(Button("ButtonBatchOutput"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Text("Label1"), "3 written - KorvaneAuto ends.");
    EXPECT_TRUE(ka::test::WaitFor([&] { return !form->isVisible(); }));
}

}  // namespace
