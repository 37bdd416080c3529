#include "gui/shell/Orrin3.h"

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "gui/shell/URLLink.h"
#include "settings/Orrin1.h"

namespace {

QFont MakeFont(const QStringList& families, int pixels, bool bold = false) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

const QStringList kSerif = {QStringLiteral("Century"), QStringLiteral("Century Schoolbook"),
                            QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")};
const QStringList kSans = {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                           QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")};
const QStringList kLinkFont = {QStringLiteral("Calibri"), QStringLiteral("Carlito"),
                               QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")};

}  // namespace

TOrrin3Form::TOrrin3Form(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Orrin3Form"));
    setWindowTitle(QStringLiteral("AboutVersion"));
    setFont(MakeFont(kSans, 13));
    setFixedSize(344, 180);
    setModal(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(8, 8, 328, 124);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(10, 10, 37, 39);
    ProgramIcon->setScaledContents(true);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    ProgramIcon->setPixmap(icon.pixmap(37, 39));

    Product = new QLabel(QStringLiteral("KorvaneAuto"), Panel1);
    Product->setObjectName(QStringLiteral("Product"));
    Product->setFont(MakeFont(kSerif, 19, true));
    Product->setGeometry(60, 6, 260, 26);

    Version = new QLabel(QStringLiteral("Version 0.00"), Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setFont(MakeFont(kSerif, 16, true));
    Version->setGeometry(60, 32, 260, 22);

    Notice = new QLabel(QString::fromLatin1(kMakerNoticeText), Panel1);
    Notice->setObjectName(QStringLiteral("Notice"));
    Notice->setFont(MakeFont(kSerif, 15));
    Notice->setGeometry(10, 56, 310, 20);

    URLLink2 = new TURLLink(Panel1);
    URLLink2->setObjectName(QStringLiteral("URLLink2"));
    URLLink2->SetURLType(tpMAIL);
    URLLink2->SetEnableShowHint(false);
    URLLink2->SetLink(QString::fromLatin1(kMakerMail));
    URLLink2->setText(QStringLiteral("mailto:") + QString::fromLatin1(kMakerMail));
    URLLink2->setFont(MakeFont(kLinkFont, 16));
    URLLink2->setGeometry(10, 78, 310, 20);

    URLLink1 = new TURLLink(Panel1);
    URLLink1->setObjectName(QStringLiteral("URLLink1"));
    URLLink1->SetURLType(tpURL);
    URLLink1->SetEnableShowHint(false);
    URLLink1->SetLink(QString::fromLatin1(kMakerWeb));
    URLLink1->setText(QString::fromLatin1(kMakerWeb));
    URLLink1->setFont(MakeFont(kLinkFont, 15));
    URLLink1->setGeometry(10, 100, 310, 20);

    ButtonOK = new QPushButton(QStringLiteral("&OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    ButtonOK->setAutoDefault(true);
    ButtonOK->setGeometry(132, 140, 80, 32);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });

    FormCreate();
}

void TOrrin3Form::FormCreate() {
    Version->setText(QString::fromLatin1(ka::kVersionText));
}

void TOrrin3Form::ButtonOKClick() {
    done(QDialog::Accepted);
}

void TOrrin3Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Opens with the focus on "OK", so Enter and Space close it as Esc does.
    ButtonOK->setFocus(Qt::OtherFocusReason);
}
