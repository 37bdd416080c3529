// The results view over the run report: what it shows and in which order, the filter, the
// search and the sorted columns, a report that grows while it is open, opening outputs and
// folders, and the two retries, one of them through a real batch run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColor>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/ReportIndex.h"
#include "app/RunResults.h"
#include "gui/app/OrrinM.h"
#include "gui/app/ResultsForm.h"
#include "gui/common/Help.h"
#include "gui/common/Orrin1Ui.h"
#include "platform/platform.h"
#include "test_dialogs_support.h"

namespace {

using ka::JoinPath;
using ka::test::Child;
using ka::test::TempDir;
using ka::test::WaitFor;

// Stands in for the desktop's opener: records what the view asks it to open.
class OpenedUrls : public QObject {
    Q_OBJECT

  public slots:
    void Open(const QUrl& url) { urls << url; }

  public:
    QList<QUrl> urls;
};

void Append(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

class ResultsViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        for (const std::string& dir : {dataDir, inDir, outDir})
            ka::test::MakeDir(dir);
        settings.sDataDir = dataDir;
        report = ka::RunReport::PathIn(dataDir);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "Open");
        ka::ui::SetQuestionHook([this](const QString& text) {
            questions.push_back(text.toStdString());
            return answerYes;
        });
    }
    void TearDown() override {
        view.reset();
        ka::ui::SetQuestionHook(nullptr);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    void Open() {
        view = std::make_unique<ka::ui::TResultsForm>(settings, sink);
        ka::test::ShowActive(*view);
    }
    QTableView* Table() const { return Child<QTableView>(*view, "TableResults"); }
    QPushButton* Button(const char* name) const { return Child<QPushButton>(*view, name); }
    QString Label(const char* name) const { return Child<QLabel>(*view, name)->text(); }
    int Rows() const { return Table()->model()->rowCount(); }
    QVariant Cell(int row, ka::ReportColumn column, int role = Qt::DisplayRole) const {
        return Table()->model()->index(row, static_cast<int>(column)).data(role);
    }
    QStringList Column(ka::ReportColumn column) const {
        QStringList texts;
        for (int row = 0; row < Rows(); ++row)
            texts << Cell(row, column).toString();
        return texts;
    }
    // A user's click on a row, in its first column.
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {}) {
        Table()->scrollTo(Table()->model()->index(row, 0));
        const QRect cell = Table()->visualRect(Table()->model()->index(row, 0));
        QTest::mouseClick(Table()->viewport(), Qt::LeftButton, modifiers, cell.center());
    }
    // A right click on the row, as the window system delivers it, and a click on the item
    // named `action` of the menu that opens.
    void ChooseFromMenu(int row, const char* action) {
        bool chosen = false;
        int looks = 0;
        std::function<void()> pick = [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) {
                if (++looks < 100)
                    QTimer::singleShot(50, pick);
                return;
            }
            for (QAction* item : menu->actions()) {
                if (item->objectName() == QLatin1String(action)) {
                    EXPECT_TRUE(item->isEnabled()) << action;
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(item).center());
                    chosen = true;
                }
            }
            if (!chosen)
                menu->close();
        };
        QTimer::singleShot(50, pick);
        const QRect cell = Table()->visualRect(Table()->model()->index(row, 0));
        const QPoint at = Table()->viewport()->mapTo(view.get(), cell.center());
        QTest::mousePress(view->windowHandle(), Qt::RightButton, {}, at);
        QTest::mouseRelease(view->windowHandle(), Qt::RightButton, {}, at);
        if (!chosen && !QApplication::activePopupWidget()) {
            // On Windows the menu comes with the system's own context menu message after the
            // release, to the widget under the mouse: delivered here as the platform does.
            QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, cell.center(),
                                        Table()->viewport()->mapToGlobal(cell.center()));
            QApplication::sendEvent(Table()->viewport(), &menuEvent);
        }
        EXPECT_TRUE(WaitFor([&] { return chosen; })) << action;
    }

    TempDir tmp;
    const std::string dataDir = tmp / "data", inDir = tmp / "in", outDir = tmp / "out";
    std::string report;
    ka::Settings settings;
    ka::test::RecordingMessageSink sink;
    OpenedUrls opened;
    bool answerYes = true;
    std::vector<std::string> questions;
    std::unique_ptr<ka::ui::TResultsForm> view;
};

// One line of every kind, oldest first as the report holds them.
const char* const kEveryResult =
    "2026-12-08 11:40:02\tbatch\twritten\t-\t/out/a.pdf\t/in/a.hgl\t-\r\n"
    "2026-12-08 11:40:02\tbatch\tno output\t-\t/out/b.pdf\t/in/b.hgl\tempty output\r\n"
    "2026-12-08 11:40:02\tbatch\tdoubtful\t-\t/out/c.pdf\t/in/c.hgl\tconverter exit code 3\r\n"
    "2026-12-08 11:40:02\tbatch\tnot run\t-\t/out/d.pdf\t/in/d.hgl\tconverter timed out\r\n"
    "2026-12-08 11:40:03\tbatch\trun\t1 written, 1 without output, 1 doubtful, 1 not run\t"
    "converter exit code 3\t1.2 s\r\n"
    "2026-12-08 11:41:00\tcomparison\tno difference\t-\t-\t/1/e.hgl\t/2/e.hgl\t-\r\n"
    "2026-12-08 11:41:00\tcomparison\tskipped\t-\t-\t/1/f.hgl\t/2/f.hgl\tskipped by a comparison "
    "rule: *1 File size and update time are the same\r\n"
    "2026-12-08 11:41:00\tcomparison\tshown\t-\t-\t/1/g.hgl\t/2/g.hgl\t-\r\n"
    "2026-12-08 11:42:00\tstandby\tleft alone\tsymbolic link\t/in/h.hgl\r\n"
    "2026-12-08 11:42:05\tunattended\tmessage\tKorvane program cannot be started!\r\n";

TEST_F(ResultsViewTest, ShowsEveryLineNewestFirstAndNarrowsToWhatWasNotDone) {
    Append(report, kEveryResult);
    Open();
    using C = ka::ReportColumn;
    EXPECT_EQ(Column(C::Result),
              (QStringList{"message", "left alone", "shown", "skipped", "no difference", "run",
                           "not run", "doubtful", "no output", "written"}));
    EXPECT_EQ(Cell(8, C::Reason).toString(), "empty output");
    EXPECT_EQ(Cell(8, C::Result, Qt::ToolTipRole).toString(), "no output: empty output");
    EXPECT_EQ(Cell(5, C::Reason).toString(),
              "1 written, 1 without output, 1 doubtful, 1 not run (converter exit code 3, 1.2 s)");
    EXPECT_EQ(Cell(3, C::Inputs).toString(), "/1/f.hgl, /2/f.hgl");
    EXPECT_EQ(Cell(1, C::Fate).toString(), "left in place");
    const QColor red(0xB0, 0x00, 0x00);
    for (int row : {1, 6, 7, 8})
        EXPECT_EQ(Cell(row, C::Result, Qt::ForegroundRole).value<QColor>(), red) << row;
    for (int row : {2, 3, 4, 9})
        EXPECT_FALSE(Cell(row, C::Result, Qt::ForegroundRole).isValid()) << row;
    EXPECT_EQ(Label("LabelCount"), "10 lines");
    EXPECT_TRUE(Label("LabelStatus").contains(QString::fromStdString(report)));

    // The window opens with the focus on the filter; Space ticks it.
    auto* notDone = Child<QCheckBox>(*view, "CheckBoxNotDone");
    ka::test::KeyToFocus(notDone, Qt::Key_Space);
    EXPECT_EQ(Column(C::Result), (QStringList{"left alone", "not run", "doubtful", "no output"}));
    EXPECT_EQ(Label("LabelCount"), "4 of 10 lines");

    // Search within them, then without the filter.
    ka::test::KeyToFocus(view.get(), Qt::Key_Tab);
    auto* search = Child<QLineEdit>(*view, "EditSearch");
    ka::test::TypeToFocus(search, "EXIT CODE");
    ka::test::KeyToFocus(search, Qt::Key_Return);
    EXPECT_EQ(Column(C::Result), QStringList{"doubtful"});
    QTest::mouseClick(notDone, Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] {
        return Column(C::Result) == QStringList({"run", "doubtful"});
    })) << Column(C::Result).join(", ").toStdString();

    // A click on a column's heading sorts by it; a second click turns the order round.
    ka::test::KeyToFocus(notDone, Qt::Key_Tab);
    ka::test::KeyToFocus(search, Qt::Key_A, Qt::ControlModifier);
    ka::test::KeyToFocus(search, Qt::Key_Delete);
    ka::test::KeyToFocus(search, Qt::Key_Return);
    QHeaderView* header = Table()->horizontalHeader();
    const int at = header->sectionViewportPosition(static_cast<int>(C::Result)) + 20;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(at, header->height() / 2));
    const QStringList sorted = Column(C::Result);
    EXPECT_EQ(sorted.first(), "doubtful");
    EXPECT_EQ(sorted.last(), "written");
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(at, header->height() / 2));
    EXPECT_EQ(Column(C::Result).first(), "written");
}

TEST_F(ResultsViewTest, FollowsTheReportAsItGrowsAndKeepsTheSelection) {
    Append(report, kEveryResult);
    // Made before the start-up has found the data folder, as the main window makes it.
    settings.sDataDir.clear();
    view = std::make_unique<ka::ui::TResultsForm>(settings, sink);
    settings.sDataDir = dataDir;
    ka::test::ShowActive(*view);
    ASSERT_EQ(Rows(), 10);
    ClickRow(8);  // "no output"
    Append(report,
           "2026-12-08 11:50:00\tstandby\twritten\tinputs deleted\t/out/x.pdf\t/in/x.hgl\t-\r\n"
           "2026-12-08 11:50:00\tstandby\tno output\tinputs moved to Failed\t/out/y.pdf\t"
           "/in/y.hgl\toutput not written\r\n2026-12-08 11:50:01\tstandby\trun");
    EXPECT_TRUE(WaitFor([&] { return Rows() == 12; }));
    EXPECT_EQ(Cell(0, ka::ReportColumn::Output).toString(), "/out/y.pdf");
    const QModelIndexList selected = Table()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(Cell(selected[0].row(), ka::ReportColumn::Reason).toString(), "empty output");
    EXPECT_TRUE(Label("LabelDetails").contains("/in/b.hgl")) << Label("LabelDetails").toStdString();

    // The report moved aside past its size limit: the view starts over with the new one.
    ASSERT_EQ(ka::platform::ReplaceFileWith(report, JoinPath(dataDir, "RunReport.old.log")), 0);
    Append(report, "2026-12-08 12:00:00\tbatch\twritten\t-\t/out/z.pdf\t/in/z.hgl\t-\r\n");
    EXPECT_TRUE(WaitFor([&] { return Rows() == 1; }));
    EXPECT_EQ(Cell(0, ka::ReportColumn::Output).toString(), "/out/z.pdf");
}

TEST_F(ResultsViewTest, OpensTheOutputAndItsFoldersAndCopiesPaths) {
    const std::string output = JoinPath(outDir, "a.pdf");
    const std::string input = JoinPath(inDir, "a.hgl");
    ka::test::WriteFileBytes(output, "pdf");
    ka::test::MakeDir(JoinPath(inDir, "Failed"));
    Append(report, "2026-12-08 11:40:02\tstandby\tno output\tinputs moved to Failed\t" + output +
                       "\t" + input + "\tconverter exit code 3\r\n");
    Open();
    ka::test::DoubleClick(Table()->viewport(),
                          Table()->visualRect(Table()->model()->index(0, 1)).center());
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QUrl::fromLocalFile(QString::fromStdString(output)));

    ChooseFromMenu(0, "ActionOpenFailedFolder");
    ChooseFromMenu(0, "ActionOpenInputFolder");
    ChooseFromMenu(0, "ActionCopyInputs");
    ASSERT_EQ(opened.urls.size(), 3);
    EXPECT_EQ(QDir(opened.urls[1].toLocalFile()),
              QDir(QString::fromStdString(JoinPath(inDir, "Failed"))));
    EXPECT_EQ(QDir(opened.urls[2].toLocalFile()), QDir(QString::fromStdString(inDir)));
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString(input));

    // An output that is gone is said so in the window, not opened.
    ka::platform::DeleteFileAt(output);
    ChooseFromMenu(0, "ActionOpenOutput");
    EXPECT_EQ(opened.urls.size(), 3);
    EXPECT_TRUE(Label("LabelStatus").contains("does not exist"));
    EXPECT_TRUE(sink.messages.empty());

    int topic = -1;
    ka::ui::SetHelpRequestHook(
        [&](int asked, const QString&, bool found) { topic = found ? asked : -1; });
    QTest::mouseClick(Button("ButtonHelp"), Qt::LeftButton);
    ka::ui::SetHelpRequestHook(nullptr);
    EXPECT_EQ(topic, ka::ui::kHelpResultsView);
}

TEST_F(ResultsViewTest, MovesDrawingsBackFromFailedAfterAskingOnce) {
    const std::string failed = JoinPath(inDir, "Failed");
    ka::test::MakeDir(failed);
    for (const char* name : {"x.hgl", "y.hgl"})
        ka::test::WriteFileBytes(JoinPath(failed, name), name);
    ka::test::WriteFileBytes(JoinPath(inDir, "x.hgl"), "a newer x");  // arrived meanwhile
    const auto line = [&](const char* name) {
        return "2026-12-08 11:40:02\tstandby\tno output\tinputs moved to Failed\t/out/" +
               std::string(name) + ".pdf\t" + JoinPath(inDir, std::string(name) + ".hgl") +
               "\toutput not written\r\n";
    };
    Append(report, line("x") + line("y") +
                       "2026-12-08 11:40:03\tstandby\trun\t2 without output\tconverter exit code "
                       "0\t0.4 s\r\n");
    Open();
    EXPECT_FALSE(Button("ButtonMoveBack")->isEnabled());
    ClickRow(1);
    ClickRow(2, Qt::ShiftModifier);
    ASSERT_TRUE(Button("ButtonMoveBack")->isEnabled());
    EXPECT_FALSE(Button("ButtonRetryBatch")->isEnabled());  // no batch job among them

    answerYes = false;
    QTest::mouseClick(Button("ButtonMoveBack"), Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].find("2 drawings") != std::string::npos) << questions[0];
    EXPECT_TRUE(ka::platform::FileExists(JoinPath(failed, "x.hgl")));

    answerYes = true;
    QTest::mouseClick(Button("ButtonMoveBack"), Qt::LeftButton);
    EXPECT_EQ(ka::test::ReadFileBytes(JoinPath(inDir, "x.hgl")), "a newer x");
    EXPECT_EQ(ka::test::ReadFileBytes(JoinPath(inDir, "x (2).hgl")), "x.hgl");
    EXPECT_EQ(ka::test::ReadFileBytes(JoinPath(inDir, "y.hgl")), "y.hgl");
    EXPECT_EQ(Label("LabelStatus"), "2 drawings moved back.");
    EXPECT_TRUE(sink.messages.empty());

    // Asked again, nothing is left in Failed: said once, naming the files.
    QTest::mouseClick(Button("ButtonMoveBack"), Qt::LeftButton);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].rfind("2 drawings were not moved back: no longer in Failed.", 0), 0u)
        << sink.messages[0];
    EXPECT_NE(sink.messages[0].find(JoinPath(failed, "y.hgl")), std::string::npos);
}

// A real batch run in the main window leaves a job without output; the view runs it again
// through a batch over just that job, and the stand-in converter then writes it.
TEST_F(ResultsViewTest, RunsAFailedBatchJobAgainAndItIsWrittenThen) {
    std::vector<std::string> lines;
    for (const char* name : {"a.hgl", "b.hgl"}) {
        ka::test::WriteFileBytes(JoinPath(inDir, name), name);
        lines.push_back(JoinPath(inDir, name));
    }
    ka::test::WriteFileBytes(tmp / "list.txt", ka::test::CrLfLines(lines));
    ka::Settings runSettings;
    runSettings.sDataDir = dataDir;
    runSettings.sComLineFile = JoinPath(dataDir, "Korvaneline.txt");
    runSettings.sKorvaneExe = ka::test::ConverterExe();
    runSettings.sOutDir = ka::WithTrailingSeparator(outDir);
    runSettings.sOutListFileName = tmp / "list.txt";
    ka::ProgramFlags flags;
    ka::test::RecordingMessageSink runSink;
    TOrrinMForm main(runSettings, flags, runSink);
    flags.bStarted = true;
    main.show();
    {
        ka::test::ScopedEnv writeOne("KORVANE_STANDIN_WRITE_ONLY", "1");
        QTest::mouseClick(Child<QPushButton>(main, "ButtonBatchOutput"), Qt::LeftButton);
    }
    ASSERT_FALSE(ka::platform::FileExists(JoinPath(outDir, "b.pdf")));

    Open();
    std::vector<QStringList> handed;
    QObject::connect(view.get(), &ka::ui::TResultsForm::RetryBatch,
                     [&](const QString& listFile, const QStringList& retried) {
                         handed.push_back(retried);
                         runSettings.sOutListFileName = ka::ui::FromQt(listFile);
                         QTest::mouseClick(Child<QPushButton>(main, "ButtonBatchOutput"),
                                           Qt::LeftButton);
                     });
    ASSERT_EQ(Cell(1, ka::ReportColumn::Result).toString(), "no output");
    ClickRow(1);
    QTest::mouseClick(Button("ButtonRetryBatch"), Qt::LeftButton);

    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].find("1 batch job ") != std::string::npos) << questions[0];
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], QStringList{QString::fromStdString(lines[1])});
    EXPECT_EQ(ka::test::ReadFileBytes(runSettings.sOutListFileName), lines[1] + "\r\n");
    EXPECT_EQ(ka::FolderPart(runSettings.sOutListFileName), ka::WithTrailingSeparator(dataDir));
    EXPECT_TRUE(ka::platform::FileExists(JoinPath(outDir, "b.pdf")));
    EXPECT_TRUE(runSink.messages.empty());
    // The new run's lines come in on top: its job written, then its run line.
    EXPECT_TRUE(WaitFor([&] { return Rows() == 5; }));
    EXPECT_EQ(Cell(0, ka::ReportColumn::Result).toString(), "run");
    EXPECT_EQ(Cell(1, ka::ReportColumn::Result).toString(), "written");
    EXPECT_EQ(Cell(1, ka::ReportColumn::Output).toString(),
              QString::fromStdString(JoinPath(outDir, "b.pdf")));
}

}  // namespace

#include "test_results_view.moc"
