// The main window: two pages of output types, the "Compare" box, the run buttons, the status line,
// the run list and the run's progress. It runs the one-time start-up, shows what the runs report
// (RunHost) and writes the parameter file at the end of the program.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/RunHost.h"
#include "app/RunModes.h"
#include "app/Startup.h"
#include "settings/Orrin1.h"
#include "settings/OutputTypes.h"
#include "settings/SetupCheck.h"
#include "settings/WindowPlacement.h"

class QButtonGroup;
class QCheckBox;
class QDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QListView;
class QModelIndex;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStyledItemDelegate;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace ka::ui {
class RunListModel;
class TResultsForm;
class TStandbyTray;
}  // namespace ka::ui

using ka::kOutTyp2Count;
using ka::kOutTypCmt;
using ka::kOutTypCount;
using ka::kOutTypDisplay;
using ka::kOutTypPdf;

class TOrrinMForm : public QWidget, public ka::RunHost, public ka::StartupControls {
    Q_OBJECT

  public:
    TOrrinMForm(ka::Settings& settings, ka::ProgramFlags& flags, ka::MessageSink& sink,
                QWidget* parent = nullptr);
    ~TOrrinMForm() override;

    // The arguments after the program name, as 8-bit strings in the system code page.
    void SetCommandLineArguments(std::vector<std::string> args);
    // The folder that seeds the data folder; by default "Init" beside the executable.
    void SetInitFolder(std::string folder);
    // Dialogs shown modally by "Set" and "About Version": given, or built by the entry the first
    // time they are asked for.
    void SetSettingsDialog(QDialog* dialog);
    void SetAboutWindow(QDialog* dialog);
    void SetSettingsDialogFactory(std::function<QDialog*()> make);
    void SetAboutWindowFactory(std::function<QDialog*()> make);
    // How long an attended window stays, showing the run's summary, when "End" came during the
    // run; by default two seconds.
    void SetEndPause(int milliseconds) { endPauseMs_ = milliseconds; }

    // Window life.
    void FormCreate();
    // The one-time start-up; every later call does nothing.
    void FormPaint();
    // Writes the parameter file when the start-up read it; runs once, later calls do nothing.
    void FormDestroy();
    bool ParameterFileLoaded() const { return parFileLoaded_; }
    bool StartupScheduled() const { return startupScheduled_; }

    // Handlers of the window's controls.
    void RadioGroupOutTypClick();
    void RadioGroupOutTyp2Click();
    void CheckBoxChgAreaClick();
    void PageControl1Change();
    void ButtonSetAutoParClick();
    void ButtonHelpClickClick();
    void ButtonVersionClick();
    void ButtonAppMinimizeClick();
    void ButtonOKClick();
    void ButtonBatchOutputClick();
    void ButtonAutoOutputClick();
    void ButtonChgAreaClick();
    void ButtonResultsClick();
    void ButtonNoticesClearClick();
    void ListBox1DblClick(const QModelIndex& index);
    void Timer1Timer();
    // A batch over the list file with the window's current choices, for this run only: the
    // results window's "Run again". While another run or standby is on it is refused and said.
    void RetryBatch(const QString& listFile);

    ka::RunModes& RunModes() { return runModes_; }
    // A run (or a standby cycle) is on the stack.
    bool RunActive() const { return runActive_; }
    // A run is on the stack or standby output is on: messages become notices, not boxes.
    bool RunOrStandbyOn() const;
    // The results window, once it has been opened.
    ka::ui::TResultsForm* ResultsWindow() const { return resultsForm_; }
    ka::ui::TStandbyTray* Tray() const { return tray_; }

    // The window's choices as a run takes them when it starts.
    ka::RunChoices CurrentChoices() const;
    bool IsOutput1Shown() const;
    int SelectedOutTyp2() const;
    int ListCount() const;
    std::string ListItem(int index) const;
    void CloseMainWindow();
    void MinimizeApp();
    // A stop signal (a service manager stopping the program, a closed terminal, a logoff): the
    // run ends as "End" and "Stop now" end it, then the program, with exit code 1 at least.
    void StopSignalReceived(const std::string& what);
    bool EndedBySignal() const { return endedBySignal_; }

    // RunHost.
    void SetStatusText(const std::string& text) override;
    void ListClear() override;
    void ListAdd(const std::string& line) override;
    void ListDeleteFirst(int count) override;
    void ListSetTopIndex(int index) override;
    void SetListBoxExtent() override;
    void MarkLine(long long line, ka::JobResult result, std::string_view reason) override;
    void MarkLineAside(long long line, std::string_view reason) override;
    void MovedToFailed(const std::vector<std::string>& inputs, std::string_view reason) override;
    void ShowRunSummary(const std::string& summary) override;
    void ShowProgress(const ka::RunProgress& progress) override;
    void Set_Button_Enable(bool enable) override;
    void SetBusyCursor(int flag) override;
    void StandbyChanged(ka::StandbyPhase phase) override;
    void PumpMessages() override;

    // StartupControls: setting a control runs its handler as a click does.
    void SetCompareBox(bool on) override;
    void SelectOutTyp(int index) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void BuildControls();
    void SetTabOrder();
    // The remembered place and size (or the design size, centred), fitted into the screen.
    void RestorePlacement();
    // Moves the window, shrinking it where it must, so that its real frame lies on the screen.
    void KeepFrameOnScreen(int attempt);
    // Where the window is now, as it is remembered: its size when not maximised.
    ka::WindowPlacement Placement() const;
    void ConnectHandlers();
    void ShowStoredSelections();
    void SelectOutTyp2(int index);
    // A run from a button: true when the settings hold what it needs, else the user is told.
    bool RunIsSetUp(ka::RunKind kind);
    void StartBatch();
    void StartStandby();
    void StartCompare();
    // Shows the run list's changes since the last flush in ListBox1 in one step.
    void FlushRunList();
    void ScheduleRunListFlush();
    // Runs a handler so that nothing it throws crosses the event loop: the message goes through
    // the sink and the window is left usable.
    template <typename Body>
    void Guarded(Body&& body);
    // Runs a run mode: one run at a time, the progress shown, and once the run has returned the
    // controls restored and the window closed when "End" (or, with closeWhenDone, the closing
    // switch) asked for it. Nothing closes the window while a run is on the stack.
    template <typename Body>
    void RunGuarded(bool closeWhenDone, Body&& body);
    // "End" or the close box while a run is on the stack.
    void AskStopDuringRun();
    // A message of the program: a notice while a run or standby is on, else the sink's box.
    void RouteMessage(const std::string& text);
    // Adds a notice to the notice area, with the time, and shows the area.
    void AddNotice(const QString& text);
    void ShowResults(const QString& listLine);
    // The progress bar and the last run's line as a run ends, and the state they start from.
    void BeginShownRun();
    void ShowFinalCounts();
    void ShowWindowFromTray();
    void HideInTray();
    void UpdateTray();

    class RoutedSink : public ka::MessageSink {
      public:
        explicit RoutedSink(TOrrinMForm& form) : form_(form) {}
        void ShowMsg(const std::string& text) override { form_.RouteMessage(text); }

      private:
        TOrrinMForm& form_;
    };

    ka::Settings& settings_;
    ka::ProgramFlags& flags_;
    ka::MessageSink& sink_;
    // What the runs and the results window say goes through here: routed by RouteMessage.
    RoutedSink routedSink_{*this};
    ka::RunModes runModes_;

    std::vector<std::string> args_;
    std::string initFolder_;
    QDialog* settingsDialog_ = nullptr;
    QDialog* aboutWindow_ = nullptr;
    std::function<QDialog*()> makeSettingsDialog_;
    std::function<QDialog*()> makeAboutWindow_;

    bool startupScheduled_ = false;
    bool runActive_ = false;
    bool stopAsked_ = false;
    bool endedBySignal_ = false;
    bool parFileLoaded_ = false;
    bool destroyed_ = false;
    bool placementShown_ = false;
    int endPauseMs_ = 2000;
    // The report's mode of the run on the stack, for the notices it leaves in the report.
    const char* runMode_ = "batch";
    // The summary of the run on the stack, once it has ended; and, after a run, its final counts
    // kept in the progress bar until the next run shows progress.
    std::string runSummary_;
    bool summaryThisRun_ = false;
    bool holdProgress_ = false;
    QString finalCounts_;
    long long lastElapsedMs_ = 0;
    // Drawings standby moved to Failed in the run on the stack: said once, when it has ended.
    std::vector<std::string> failedFirst_;
    long long failedCount_ = 0;
    ka::ui::TResultsForm* resultsForm_ = nullptr;
    ka::ui::TStandbyTray* tray_ = nullptr;
    bool hiddenInTray_ = false;
    std::optional<ka::WindowPlacement> closedPlacement_;
    // The run list's lines, shown through a model and flushed to the view in batches (at most
    // every kRunListFlushMs), with the scroll position asked for meanwhile.
    ka::ui::RunListModel* listModel_ = nullptr;
    int pendingTopIndex_ = -1;
    QTimer* listFlushTimer_ = nullptr;
    QElapsedTimer lastPump_;
    class RunListDelegate;
    RunListDelegate* listDelegate_ = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QCheckBox* CheckBoxChgArea = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* RadioGroupOutTyp = nullptr;
    QButtonGroup* outTypButtons_ = nullptr;
    QLabel* Label3 = nullptr;
    QGroupBox* RadioGroupOutTyp2 = nullptr;
    QButtonGroup* outTyp2Buttons_ = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* LabelLastRun = nullptr;
    QPushButton* ButtonAppMinimize = nullptr;
    QListView* ListBox1 = nullptr;
    QProgressBar* ProgressRun = nullptr;
    QFrame* PanelNotices = nullptr;
    QLabel* LabelNotices = nullptr;
    QPlainTextEdit* MemoNotices = nullptr;
    QPushButton* ButtonNoticesClear = nullptr;
    int noticeCount_ = 0;
    QPushButton* ButtonSetAutoPar = nullptr;
    QPushButton* ButtonAutoOutput = nullptr;
    QPushButton* ButtonBatchOutput = nullptr;
    QPushButton* ButtonChgArea = nullptr;
    QPushButton* ButtonResults = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonVersion = nullptr;
    QPushButton* ButtonOK = nullptr;
    // The right column; a button inserted after "Compare folders" takes the gap above "Help".
    QVBoxLayout* buttonColumn_ = nullptr;
    QTimer* Timer1 = nullptr;
};
