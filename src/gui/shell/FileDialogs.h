// The file pickers of the dialogs and the way the dialogs run each other modally, both
// replaceable so that tests drive every window without a nested event loop that never ends.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QDialog;
class QWidget;

namespace ka::ui {

// "Description|pattern|Description|pattern" (patterns ";"-separated) as Qt name filters
// ("Description (*.a *.b)"). "*.*" means every name, as it does on Windows. The dialog hides
// the added pattern part, so the user reads the descriptions as written.
QStringList ToQtNameFilters(const QString& filter);

// A standard open or save dialog kept as a component of its window: the filter, the initial
// folder and the last chosen name stay from one run to the next.
class FileDialog {
  public:
    enum class Mode { Open, Save };

    explicit FileDialog(Mode mode) : mode_(mode) {}

    void SetFilter(const QString& filter) { filter_ = filter; }
    const QString& Filter() const { return filter_; }
    void SetInitialDir(const QString& folder) { initialDir_ = folder; }
    const QString& InitialDir() const { return initialDir_; }
    void SetFileName(const QString& name) { fileName_ = name; }
    const QString& FileName() const { return fileName_; }

    // Runs the dialog. True, with FileName() set, when the user chose a name; a name that does
    // not exist yet may be chosen in both modes.
    bool Execute(QWidget* parent);

    // Test hooks. A queued answer is taken by the next run instead of showing the dialog; with
    // interaction off, a run without a queued answer counts as cancelled.
    void QueueAnswer(const QString& fileName) { answers_.emplace_back(fileName); }
    void QueueCancel() { answers_.emplace_back(std::nullopt); }
    void SetInteractive(bool interactive) { interactive_ = interactive; }
    struct Run {
        QString filter;
        QString initialDir;
        QString fileName;  // the name the dialog offered at its start
    };
    // What each run was started with, oldest first.
    const std::vector<Run>& Runs() const { return runs_; }

  private:
    Mode mode_;
    QString filter_;
    QString initialDir_;
    QString fileName_;
    std::deque<std::optional<QString>> answers_;
    bool interactive_ = true;
    std::vector<Run> runs_;
};

// Shows a dialog modally and returns its result (QDialog::Accepted or Rejected). Windows that
// open other dialogs hold one of these; tests put in one that shows the dialog, acts on it and
// returns without entering a nested event loop.
using ModalRunner = std::function<int(QDialog&)>;
int ExecModal(QDialog& dialog);

// Centres a top-level window on the screen it is shown on.
void CentreOnScreen(QWidget& window);

}  // namespace ka::ui
