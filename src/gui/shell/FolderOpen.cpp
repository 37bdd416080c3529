#include "gui/shell/FolderOpen.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "gui/common/Orrin1Ui.h"
#include "gui/shell/FileDialogs.h"
#include "gui/shell/ShellWidgets.h"
#include "platform/platform.h"

namespace ka::ui {

// Built like the other dialogs; the folder choice itself needs neither the store nor messages.
TFolderOpenForm::TFolderOpenForm(Settings& /*settings*/, MessageSink& /*sink*/, QWidget* parent)
    : QDialog(parent) {
    SetupDialogFrame(this, "FolderOpenForm", QStringLiteral("Selection of folder"), QSize(498, 464),
                     "Arial", false, 12, true);

    Label1 = new QLabel(QStringLiteral("Address:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 10);

    ComboView1 = new TComboView(this);
    ComboView1->setObjectName(QStringLiteral("ComboView1"));
    ComboView1->setGeometry(60, 6, 344, 22);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogToParent),
                              QStringLiteral("To upper"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(410, 5, 83, 23);
    BitBtn1->setAutoDefault(false);

    Panel1 = new QLabel(QStringLiteral(" Folder"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(3, 31, 489, 17);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    ContextMenuEx1 = new TContextMenuEx(this);
    ContextMenuEx1->setObjectName(QStringLiteral("ContextMenuEx1"));

    FolderView1 = new TFolderView(this);
    FolderView1->setObjectName(QStringLiteral("FolderView1"));
    FolderView1->setGeometry(4, 48, 487, 335);
    FolderView1->SetContextMenu(ContextMenuEx1);
    ComboView1->SetFolderView(FolderView1);

    Label4 = new QLabel(QStringLiteral("Select folder name:"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->move(3, 391);

    SelectFilename = new QLineEdit(this);
    SelectFilename->setObjectName(QStringLiteral("SelectFilename"));
    SelectFilename->setGeometry(4, 408, 490, 23);
    Label4->setBuddy(SelectFilename);

    ButtonOK = new QPushButton(QStringLiteral("Open"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setGeometry(309, 436, 75, 25);
    ButtonOK->setDefault(true);

    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setGeometry(389, 436, 75, 25);
    ButtonCancel->setAutoDefault(false);

    KeepOnScreen(ButtonOK);
    KeepOnScreen(ButtonCancel);

    for (QLabel* label : {Label1, Label4}) {
        label->adjustSize();
    }

    connect(FolderView1, &TFolderView::changed, this, &TFolderOpenForm::FolderView1Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TFolderOpenForm::BitBtn1Click);
    connect(ButtonOK, &QPushButton::clicked, this, &TFolderOpenForm::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFolderOpenForm::ButtonCancelClick);

    // Before the first showing the tree stands on the folder the program started in.
    FolderView1->SelectPath(ToQt(platform::CurrentDirectory()));
}

void TFolderOpenForm::showEvent(QShowEvent* event) {
    FormShow();
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

void TFolderOpenForm::FormShow() {
    const std::string start = sFolderName.empty() ? platform::CurrentDirectory() : sFolderName;
    FolderView1->SelectPath(ToQt(start));
    SelectFilename->setText(FolderView1->SelectedPath());
}

void TFolderOpenForm::FolderView1Change(const QString& path) {
    SelectFilename->setText(path);
}

void TFolderOpenForm::BitBtn1Click() {
    SelectParentFolder(*FolderView1);
}

void TFolderOpenForm::ButtonOKClick() {
    sFolderName = FromQt(SelectFilename->text());
    accept();
}

void TFolderOpenForm::ButtonCancelClick() {
    reject();
}

}  // namespace ka::ui
