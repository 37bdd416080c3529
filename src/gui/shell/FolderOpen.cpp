#include "gui/shell/FolderOpen.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "gui/common/Orrin1Ui.h"
#include "gui/shell/FileDialogs.h"
#include "gui/shell/ShellWidgets.h"
#include "platform/platform.h"

namespace ka::ui {

// Built like the other dialogs; the folder choice itself needs neither the store nor messages.
TFolderOpenForm::TFolderOpenForm(Settings& /*settings*/, MessageSink& /*sink*/, QWidget* parent)
    : QDialog(parent) {
    SetupDialogFrame(this, "FolderOpenForm", QStringLiteral("Selection of folder"), "Arial", false,
                     12, true);

    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(4, 6, 4, 2);
    column->setSpacing(3);

    auto* address = new QHBoxLayout;
    Label1 = new QLabel(QStringLiteral("Address:"));
    Label1->setObjectName(QStringLiteral("Label1"));
    address->addWidget(Label1);
    ComboView1 = new TComboView;
    ComboView1->setObjectName(QStringLiteral("ComboView1"));
    address->addWidget(ComboView1, 1);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogToParent),
                              QStringLiteral("To &upper"));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    address->addWidget(BitBtn1);
    column->addLayout(address);

    Panel1 = new QLabel(QStringLiteral(" Folder"));
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    column->addWidget(Panel1);

    ContextMenuEx1 = new TContextMenuEx(this);
    ContextMenuEx1->setObjectName(QStringLiteral("ContextMenuEx1"));

    FolderView1 = new TFolderView;
    FolderView1->setObjectName(QStringLiteral("FolderView1"));
    FolderView1->SetContextMenu(ContextMenuEx1);
    FolderView1->setMinimumSize(240, 160);
    ComboView1->SetFolderView(FolderView1);
    column->addWidget(FolderView1, 1);

    Label4 = new QLabel(QStringLiteral("Select folder name:"));
    Label4->setObjectName(QStringLiteral("Label4"));
    column->addWidget(Label4);

    SelectFilename = new QLineEdit;
    SelectFilename->setObjectName(QStringLiteral("SelectFilename"));
    Label4->setBuddy(SelectFilename);
    column->addWidget(SelectFilename);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    ButtonOK = new QPushButton(QStringLiteral("&Open"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    // Enter on Cancel cancels; anywhere else it opens.
    ButtonCancel->setAutoDefault(true);
    for (QPushButton* button : {ButtonOK, ButtonCancel}) {
        button->setMinimumWidth(75);
        bottom->addWidget(button);
    }
    LayOutResizable(*this, page, bottom, QSize(498, 464));

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
