// "Batch file creation": the user browses folders, picks input files and builds, for each output
// order number 1 to 100, the list of files the converter opens together. "OK" writes the batch
// list file named by sOutListFileName; "Cancel" leaves it as it was.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "batch/OutFileList.h"
#include "batch/OutListEditor.h"
#include "gui/shell/FileDialogs.h"
#include "settings/Orrin1.h"
#include "settings/UserMessages.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeView;

namespace ka::ui {

class SpinEdit;
class TComboView;
class TContextMenuEx;
class TFileView;
class TFolderView;
class OutLinesModel;

class TFormOutFileList : public QDialog {
    Q_OBJECT
  public:
    TFormOutFileList(Settings& settings, MessageSink& sink, QWidget* parent = nullptr);

    void FormShow();
    // The loading that follows the first paint of each showing.
    void FormPaint();
    void SpinEdit1Change();
    void DisplayMaxOutNo();
    void ListBox1Click();
    void ListBox1DblClick();
    void ListBox1KeyDown(int key);
    void FileView1DblClick();
    void ButtonFileSelectClick();
    // "One line per file": each selected file an output of its own, after the last line.
    void ButtonFileSelectLinesClick();
    void SelectFilenameKeyPress(int key);
    void FilterComboBox1Change();
    void ComboBox1Change();
    void BitBtn1Click();
    void FolderView1Change(const QString& path);
    void Button1ClearClick();
    void ButtonAllClearClick();
    void ButtonOutListOKClick();
    void ButtonCancelClick();
    void ButtonHelpClick();

    // Gives the kinds of file a new filter ("Description|masks|..."); when the text differs from
    // the one shown, the first kind is selected and the file list follows it.
    void SetFileKinds(const std::string& filter);

    // The save dialog through which the batch list file asks for another name.
    FileDialog& SaveDialog1() { return saveDialog1_; }
    TContextMenuEx& ContextMenu() { return *ContextMenuEx1; }

    const OutSlots& Slots() const { return editor_.Slots(); }
    std::uint16_t OutNo() const { return static_cast<std::uint16_t>(editor_.Current()); }
    bool FirstPaintPending() const { return bFirstPaint; }
    bool RowPicked() const { return bRowPicked; }

    // The message for a file whose extension is in no list.
    static std::string NonRegisteredMessage(const std::string& fileName);

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  public slots:
    // Cancel, Esc and the title bar's close box: the slots are dropped, the file is untouched.
    void reject() override;

  private:
    enum class TakeResult { Added, Replaced, Unregistered, Full, Folder, Ignored };
    // Files "==>" could not take, told in one message once it is done.
    struct Refusals {
        RefusedItems full;
        RefusedItems unregistered;
    };
    // Steps shared by a double-click and "==>": resolve, classify and put the file in the rows.
    // A refusal is told at once, or collected when refusals is given.
    TakeResult TakeFile(const std::string& path, Refusals* refusals = nullptr);
    // Shows the rows of the current slot, one of them selected, and the lines with it selected.
    void ShowRows(int selectedRow = -1);
    void ShowOutLines();
    // The files selected in the file list, as paths in the tree's folder, in list order.
    std::vector<std::string> SelectedFiles() const;
    // Files into the output shown, as "==>" takes them; refusals told in one message.
    void TakeFiles(const std::vector<std::string>& paths);
    // Files as lines of their own; unregistered ones told in one message.
    void TakeLines(const std::vector<std::string>& paths);
    void TellRefusals(const Refusals& refusals);
    QString MoreLinesText() const;
    int SelectedRow() const;
    void SetRowsBlank();
    void RenavigateDocuments();

    Settings& settings_;
    MessageSink& sink_;

    OutListEditor editor_;
    bool bFirstPaint = false;
    bool bRowPicked = false;
    std::string sRenavigateDir;
    bool fillingRows_ = false;   // rows changed by the dialog, not picked by the user
    bool syncingLines_ = false;  // the overview follows the output shown, not the reverse
    std::string fileKinds_;      // the filter the kinds of file were built from

    FileDialog saveDialog1_{FileDialog::Mode::Save};

    QLabel* Label1 = nullptr;
    TComboView* ComboView1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label7 = nullptr;
    TFolderView* FolderView1 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* ButtonFileSelect = nullptr;
    QPushButton* ButtonFileSelectLines = nullptr;
    TFileView* FileView1 = nullptr;
    QLabel* LabelOutLines = nullptr;
    QTreeView* OutLines = nullptr;
    OutLinesModel* outLinesModel_ = nullptr;
    QLabel* Label4 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QLabel* LabelMoreLines = nullptr;
    QLabel* Label8 = nullptr;
    SpinEdit* SpinEditPageNo = nullptr;
    QPushButton* Button1Clear = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Label2 = nullptr;
    SpinEdit* SpinEdit1 = nullptr;
    QLabel* LabelMaxOutNo = nullptr;
    QPushButton* ButtonAllClear = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* FilterComboBox1 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* SelectFilename = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonOutListOK = nullptr;
    TContextMenuEx* ContextMenuEx1 = nullptr;
};

}  // namespace ka::ui
