// "Selection of folder": the user picks a folder in the tree or types one; "Open" hands the text
// of "Select folder name:" back in sFolderName, unchanged and unchecked.
#pragma once

#include <QDialog>
#include <string>

#include "settings/Orrin1.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ka::ui {

class TComboView;
class TContextMenuEx;
class TFolderView;

class TFolderOpenForm : public QDialog {
    Q_OBJECT
  public:
    TFolderOpenForm(Settings& settings, MessageSink& sink, QWidget* parent = nullptr);

    // In: the folder to start in (empty: the current directory). Out, after "Open": the
    // chosen text. Left as it was after "Cancel".
    std::string sFolderName;

    void FormShow();
    void FolderView1Change(const QString& path);
    void BitBtn1Click();
    void ButtonOKClick();
    void ButtonCancelClick();

    TContextMenuEx& ContextMenu() { return *ContextMenuEx1; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* Label1 = nullptr;
    TComboView* ComboView1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QLabel* Panel1 = nullptr;
    TFolderView* FolderView1 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* SelectFilename = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    TContextMenuEx* ContextMenuEx1 = nullptr;
};

}  // namespace ka::ui
