// Runs as the user watches and stops them: the window lives while the converter runs, clicks
// during a run are dropped, "End" asks and closes only after the run, standby can be stopped.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "gui/app/OrrinM.h"
#include "gui/common/Orrin1Ui.h"
#include "platform/platform.h"

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
  protected:
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

}  // namespace
