// Program entry: one settings store, one set of flags and one message sink for the whole run;
// the windows are created once, in a fixed order, and live until the program ends.
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "gui/app/OrrinM.h"
#include "gui/batch/OutFileListDlg.h"
#include "gui/common/Orrin1Ui.h"
#include "gui/settings/SetAutoPar.h"
#include "gui/settings/SetInputFile.h"
#include "gui/shell/FolderOpen.h"
#include "gui/shell/Orrin3.h"
#include "platform/platform.h"
#include "settings/Orrin1.h"

namespace {

// The session's end (logoff, shutdown) reaches a windowed program as a window message: it stops
// the run, and the end waits a few seconds for the run to finish in order.
class SessionEndFilter : public QAbstractNativeEventFilter {
  public:
    explicit SessionEndFilter(TOrrinMForm& form) : form_(form) {}
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        if (!ka::platform::IsSessionEndMessage(message))
            return false;
        form_.StopSignalReceived("the session's end");
        QElapsedTimer waited;
        waited.start();
        while (form_.RunActive() && waited.elapsed() < kSessionEndWaitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return false;
    }

  private:
    static constexpr int kSessionEndWaitMs = 4000;
    TOrrinMForm& form_;
};

}  // namespace

int main(int argc, char** argv) {
    // Every argument is the program's own, kept as the bytes the system passed (its code page).
    // The toolkit sees the program name only, so "-style" or "-reverse" is never taken as its
    // option: a list file may have such a name.
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    int toolkitArgc = argc > 0 ? 1 : 0;
    QApplication app(toolkitArgc, argv);
    // The application title. No separate display name: some platforms would append it to every
    // window caption.
    QApplication::setApplicationName(QStringLiteral("KorvaneAuto"));

    ka::Settings settings;
    ka::ProgramFlags flags;
    // A run started by another program shows no box: its messages go to standard error and the
    // run report, and it ends with an exit code.
    ka::ui::WarningMessageSink boxes;
    ka::RunMessageSink sink(boxes, settings);
    const bool unattended = ka::IsUnattendedStart(args);
    sink.SetUnattended(unattended);

    TOrrinMForm mainForm(settings, flags, sink);
    // The dialogs, and the file-system models in them, are built the first time they are asked
    // for: a run from the command line shows none of them. Declared after the main window, they
    // go before it.
    std::unique_ptr<TOrrin3Form> aboutForm;
    mainForm.SetAboutWindowFactory([&aboutForm] {
        aboutForm = std::make_unique<TOrrin3Form>();
        return aboutForm.get();
    });
    // The settings dialog opens the other three; the main window's "Set" opens it.
    std::unique_ptr<ka::ui::TFormOutFileList> outFileListForm;
    std::unique_ptr<ka::ui::TFolderOpenForm> folderOpenForm;
    std::unique_ptr<ka::ui::TSetinputFileDlg> setInputFileDlg;
    std::unique_ptr<ka::ui::TSetAutoParForm> setAutoParForm;
    mainForm.SetSettingsDialogFactory([&] {
        outFileListForm = std::make_unique<ka::ui::TFormOutFileList>(settings, sink, &mainForm);
        setAutoParForm = std::make_unique<ka::ui::TSetAutoParForm>(settings, sink, &mainForm);
        folderOpenForm = std::make_unique<ka::ui::TFolderOpenForm>(settings, sink, &mainForm);
        setInputFileDlg = std::make_unique<ka::ui::TSetinputFileDlg>(settings, sink, &mainForm);
        setAutoParForm->SetDialogs(outFileListForm.get(), folderOpenForm.get(),
                                   setInputFileDlg.get());
        return setAutoParForm.get();
    });

    // A stop signal, a closed console or the session's end stops the run the way "End" and
    // "Stop now" do; the program then ends in order.
    ka::platform::InstallStopSignalHandlers();
    const auto onStopSignal = [&mainForm] {
        ka::platform::DrainStopSignalWake();
        if (const int signal = ka::platform::PendingStopSignal())
            mainForm.StopSignalReceived(ka::platform::DescribeStopSignal(signal));
    };
    std::unique_ptr<QSocketNotifier> stopNotifier;
    QTimer stopPoll;
    if (ka::platform::StopSignalFd() >= 0) {
        stopNotifier =
            std::make_unique<QSocketNotifier>(ka::platform::StopSignalFd(), QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, onStopSignal);
    } else {
        QObject::connect(&stopPoll, &QTimer::timeout, onStopSignal);
        stopPoll.start(200);
    }
    SessionEndFilter sessionEnd(mainForm);
    app.installNativeEventFilter(&sessionEnd);

    mainForm.SetCommandLineArguments(std::move(args));
    mainForm.show();
    const int result = app.exec();
    mainForm.FormDestroy();
    if (!unattended && !mainForm.EndedBySignal()) {
        ka::platform::StopSignalHandled();
        return result;
    }
    const int code = std::max(result, mainForm.RunModes().ExitCode());
    std::printf("%s\n", ka::UnattendedSummaryLine(mainForm.RunModes().LastSummary(), code).c_str());
    std::fflush(stdout);
    ka::platform::StopSignalHandled();
    return code;
}
