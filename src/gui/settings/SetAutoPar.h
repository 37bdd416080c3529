// "Set": the dialog in which the user edits the paths and switches of the settings store. It
// fills its controls from the store each time it is shown, checks the named files and folders
// on OK and only then stores the values. The batch list file name is the exception: its
// handlers store it at once.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "gui/shell/FileDialogs.h"
#include "settings/Orrin1.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ka::ui {

class SpinEdit;
class TFolderOpenForm;
class TFormOutFileList;
class TSetinputFileDlg;

class TSetAutoParForm : public QDialog {
    Q_OBJECT
  public:
    TSetAutoParForm(Settings& settings, MessageSink& sink, QWidget* parent = nullptr);

    // The dialogs this one opens; created after it at program start.
    void SetDialogs(TFormOutFileList* outFileList, TFolderOpenForm* folderOpen,
                    TSetinputFileDlg* inputFile);
    // How those dialogs are run; tests drive them without a nested event loop.
    void SetModalRunner(ModalRunner runner) { runModal_ = std::move(runner); }
    // The file picker shared by the four file handlers.
    FileDialog& OpenDialog1() { return openDialog1_; }

    void FormShow();
    void ButtonOKClick();
    void ButtonCancelClick();
    void ButtonHelpClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void KorvaneExeEditDblClick();
    void EditOutListFileNameDblClick();
    void EditOutListFileNameExit();
    void ButtonCreateOutListFileClick();
    void ButtonBatchFileExtClick();

    // Creates the file empty. 0, or the I/O error code after telling the user.
    int CreateNewFile(const std::string& fileName);

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Runs the folder selection dialog from a start folder; the chosen folder on "Open".
    std::optional<std::string> ChooseFolder(const std::string& start);
    std::string EditText(const QLineEdit* edit) const;
    void BuildControls();
    // The run settings' controls into run; false (the user told, the box focused) when a box
    // holds no value.
    bool TakeRunSettings(RunSettings& run);

    struct RunControl {
        const RunSettingField* field;
        QWidget* control;
    };

    Settings& settings_;
    MessageSink& sink_;
    TFormOutFileList* outFileList_ = nullptr;
    TFolderOpenForm* folderOpen_ = nullptr;
    TSetinputFileDlg* inputFile_ = nullptr;
    ModalRunner runModal_ = ExecModal;
    FileDialog openDialog1_{FileDialog::Mode::Open};

    QLineEdit* KorvaneExeEdit = nullptr;
    QPushButton* Button2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* EditOutListFileName = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* ButtonCreateOutListFile = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLineEdit* sAutoOutDirFNameEdit = nullptr;
    QPushButton* Button6 = nullptr;
    SpinEdit* WaitTimeEdit = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QCheckBox* CheckBoxSameFileSize = nullptr;
    QCheckBox* CheckBoxFileSizeOver = nullptr;
    SpinEdit* SpinEditCompFleSizeOver = nullptr;
    QLineEdit* sChgAreaDir1Edit = nullptr;
    QPushButton* Button4 = nullptr;
    QLineEdit* sChgAreaDir2Edit = nullptr;
    QPushButton* Button5 = nullptr;
    QCheckBox* CheckBoxSavBatch = nullptr;
    QLineEdit* sOutDirEdit = nullptr;
    QPushButton* Button3 = nullptr;
    QCheckBox* CheckBoxNoOut = nullptr;
    QPushButton* ButtonBatchFileExt = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QGroupBox* GroupBoxRun = nullptr;
    std::vector<RunControl> runControls_;  // in the order of kRunSettingFields
};

}  // namespace ka::ui
