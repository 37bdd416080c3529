#include "gui/settings/SetInputFile.h"

#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/common/Orrin1Ui.h"
#include "gui/shell/FileDialogs.h"

namespace ka::ui {

namespace {

struct ExtensionRowText {
    const char* label;
    const char* editName;
    std::string Settings::*field;
};

// In the order OK stores them.
constexpr ExtensionRowText kRows[] = {
    {"HPGL file(HPGL,HPGL/2,HP RTL)", "EditHpglFileExt", &Settings::sHpglFileExt},
    {"Image drawing file(TIFF,Bitmap,JPEG,GIF,FPX,PCX.PNG)", "EditImageFileExt",
     &Settings::sImageFileExt},
    {"PDF file", "EditPdfFileExt", &Settings::sPdfFileExt},
    {"EMF file", "EditEmfFileExt", &Settings::sEmfFileExt},
    {"DXF file", "EditDxfFileExt", &Settings::sDxfFileExt},
    {"DWG file", "EditDwgFileExt", &Settings::sDwgFileExt},
    {"IGES file", "EditIgesFileExt", &Settings::sIgesFileExt},
    {"GERBER file, DRILL file", "EditGerberFileExt", &Settings::sGerberFileExt},
};

constexpr const char* kNotes[] = {
    "Note: \".\" is not required.",
    "When specifying multiple extensions, separate the extensions with \";\".     Ex. "
    "hgl;prn;hpg",
    "If there is no extension character, there is no extension.   Ex. hgl;;hpg",
};

}  // namespace

// Nothing here is checked, so nothing is ever reported: the sink is not needed.
TSetinputFileDlg::TSetinputFileDlg(Settings& settings, MessageSink& /*sink*/, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    SetupDialogFrame(this, "SetinputFileDlg", QStringLiteral("Input file extension setting"),
                     "Courier New", true, 13, false);

    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(8, 8, 8, 2);
    auto* group = new QGroupBox(QStringLiteral("Input file extension setting"));
    group->setObjectName(QStringLiteral("GroupBox1"));
    column->addWidget(group);
    auto* rows = new QVBoxLayout(group);
    rows->setContentsMargins(16, 10, 16, 10);
    rows->setSpacing(2);

    int labelNo = 1;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        auto* label = new QLabel(QString::fromLatin1(kRows[i].label));
        label->setObjectName(QStringLiteral("Label%1").arg(labelNo++));
        rows->addWidget(label);
        auto* edit = new QLineEdit;
        edit->setObjectName(QString::fromLatin1(kRows[i].editName));
        rows->addWidget(edit);
        rows->addSpacing(6);
        label->setBuddy(edit);
        rows_[i] = {edit, kRows[i].field};
    }
    for (const char* text : kNotes) {
        auto* note = new QLabel(QString::fromLatin1(text));
        note->setObjectName(QStringLiteral("Label%1").arg(labelNo++));
        note->setTextFormat(Qt::PlainText);
        note->setWordWrap(true);
        rows->addWidget(note);
    }
    rows->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    OKBtn = new QPushButton(QStringLiteral("&OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(true);
    for (QPushButton* button : {OKBtn, CancelBtn}) {
        button->setMinimumSize(88, 30);
        bottom->addWidget(button);
    }
    LayOutResizable(*this, page, bottom, QSize(565, 646));

    connect(OKBtn, &QPushButton::clicked, this, &TSetinputFileDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TSetinputFileDlg::showEvent(QShowEvent* event) {
    FormShow();
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

void TSetinputFileDlg::FormShow() {
    for (const ExtensionRow& row : rows_) {
        row.edit->setText(ToQt(settings_.*row.field));
    }
}

void TSetinputFileDlg::OKBtnClick() {
    for (const ExtensionRow& row : rows_) {
        std::string list = FromQt(row.edit->text());
        list.erase(std::remove(list.begin(), list.end(), ' '), list.end());
        settings_.*row.field = list;
    }
    MakeInputFilter(settings_);
    accept();
}

}  // namespace ka::ui
