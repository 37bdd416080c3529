// The results view: the run report as a table of what happened to every drawing, newest first,
// following the report while it grows. From it the user opens outputs and folders, runs batch
// jobs that were not done again and takes drawings back out of Failed. Not modal: it stays
// open beside the main window during runs.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/Orrin1.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTableView;
class QTimer;

namespace ka {
struct ReportFields;
}

namespace ka::ui {

class ResultsModel;

class TResultsForm : public QDialog {
    Q_OBJECT

  public:
    // The report is the one in the data folder of `settings`, read whenever the view is shown.
    TResultsForm(const ka::Settings& settings, ka::MessageSink& sink, QWidget* parent = nullptr);
    ~TResultsForm() override;

    // Selects the newest job of the report that ran the run list's line (its inputs joined by
    // ","), or that left its file alone, showing every line first when the filter or the
    // search hides it. False when the report's recent lines hold no such line.
    bool SelectJob(const QString& listLine);
    // Says something in the window's status line.
    void Say(const QString& text);

    // Handlers of the window's controls and actions.
    void Timer1Timer();  // looks at the report again; every second while shown
    void CheckBoxNotDoneClick();
    void EditSearchChange();
    void TableResultsDblClick(const QModelIndex& index);
    void ButtonRetryBatchClick();
    void ButtonMoveBackClick();
    void ButtonHelpClick();
    void ActionOpenOutputFolderClick();
    void ActionOpenInputFolderClick();
    void ActionOpenFailedFolderClick();
    void ActionCopyOutputClick();
    void ActionCopyInputsClick();

  signals:
    // The selected batch jobs not done, asked for again: their batch list lines (inputs joined
    // by ","), oldest first, each once, already written to `listFile`, a new list file in the
    // data folder. The receiver runs a batch over that file; it may do so at once.
    void RetryBatch(const QString& listFile, const QStringList& lines);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void BuildControls();
    void ConnectHandlers();
    // The selected rows' lines of the report, oldest first, that have all of `flags`.
    std::vector<std::size_t> SelectedLines(std::uint8_t flags) const;
    bool CurrentFields(std::string& text, ka::ReportFields& fields) const;
    void UpdateActions();
    void ShowDetails();
    void ShowCount();
    int RowOfLine(std::size_t line) const;
    void OpenLocal(const std::string& path, const char* what);
    void KeepViewOnRowsInserted(int first, int last);

    const ka::Settings& settings_;
    ka::MessageSink& sink_;
    ResultsModel* model_ = nullptr;

    QCheckBox* CheckBoxNotDone = nullptr;
    QLineEdit* EditSearch = nullptr;
    QLabel* LabelCount = nullptr;
    QTableView* TableResults = nullptr;
    QLabel* LabelDetails = nullptr;
    QLabel* LabelStatus = nullptr;
    QPushButton* ButtonRetryBatch = nullptr;
    QPushButton* ButtonMoveBack = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonClose = nullptr;
    QAction* ActionOpenOutput = nullptr;
    QAction* ActionOpenOutputFolder = nullptr;
    QAction* ActionOpenInputFolder = nullptr;
    QAction* ActionOpenFailedFolder = nullptr;
    QAction* ActionCopyOutput = nullptr;
    QAction* ActionCopyInputs = nullptr;
    QAction* ActionRetryBatch = nullptr;
    QAction* ActionMoveBack = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* searchDelay_ = nullptr;
};

}  // namespace ka::ui
