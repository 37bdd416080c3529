#include "gui/settings/SetAutoPar.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "gui/batch/OutFileListDlg.h"
#include "gui/common/Help.h"
#include "gui/common/Orrin1Ui.h"
#include "gui/settings/SetInputFile.h"
#include "gui/settings/SpinEdit.h"
#include "gui/shell/FolderOpen.h"
#include "platform/platform.h"
#include "settings/SetupCheck.h"
#include "settings/UserMessages.h"
#include "shell/Paths.h"

namespace ka::ui {

namespace {

const char* const kFileDoesNotExist = " file does not exist!";
const char* const kFilePattern = "*.hgl";

std::string BoxLabel(const char* caption, const char* example) {
    return std::string(caption) + " (Ex. " + example + "):";
}

// Where OpenDialog1 starts before any handler has set it.
std::string DefaultPickerFolder(const PathRules& rules) {
    std::string folder = "\\Program Files\\Brevast\\Data";
    std::replace(folder.begin(), folder.end(), '\\', rules.Separator());
    return folder;
}

// Programs carry ".exe" on Windows only; elsewhere the picker opens on every file, or the
// converter beside the program would be hidden until the user changed the file type.
QString ProgramFilter(const PathRules& rules) {
    const QString exe = QStringLiteral("Program file(*.exe)|*.exe");
    if (rules.style != PathStyle::Windows) {
        return QStringLiteral("All files(*)|*|") + exe;
    }
    return exe;
}

// The chosen folder with exactly one separator at its end.
std::string WithFinalSeparator(const std::string& folder, const PathRules& rules) {
    return EndsWithSeparator(folder, rules) ? folder : folder + rules.Separator();
}

QLabel* AddLabel(const std::string& text, QWidget* parent, int x, int y, int wrapWidth = 0) {
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->move(x, y);
    if (wrapWidth > 0) {
        label->setWordWrap(true);
        label->resize(wrapWidth, label->heightForWidth(wrapWidth));
    } else {
        label->adjustSize();
    }
    return label;
}

QLineEdit* AddEdit(const char* name, QWidget* parent, const QRect& bounds) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(bounds);
    return edit;
}

QPushButton* AddButton(const char* text, const char* name, QWidget* parent, const QRect& bounds) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(bounds);
    // No default button: Enter in an edit box presses nothing.
    button->setAutoDefault(false);
    return button;
}

QCheckBox* AddCheckBox(const char* text, const char* name, QWidget* parent, int x, int y) {
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->move(x, y);
    box->adjustSize();
    return box;
}

QGroupBox* AddGroup(const char* title, const char* name, QWidget* parent, const QRect& bounds) {
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(bounds);
    return group;
}

}  // namespace

TSetAutoParForm::TSetAutoParForm(Settings& settings, MessageSink& sink, QWidget* parent)
    : QDialog(parent), settings_(settings), sink_(sink) {
    SetupDialogFrame(this, "SetAutoParForm", QStringLiteral("Set"), QSize(786, 840), "Courier New",
                     true, 12, false);

    const PathRules rules = PathRules::Native();
    openDialog1_.SetFilter(QStringLiteral("TEXT file(*.txt)|*.txt|All(*.*)|*.*"));
    openDialog1_.SetInitialDir(ToQt(DefaultPickerFolder(rules)));

    BuildControls();

    connect(Button1, &QPushButton::clicked, this, &TSetAutoParForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TSetAutoParForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TSetAutoParForm::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TSetAutoParForm::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TSetAutoParForm::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TSetAutoParForm::Button6Click);
    connect(ButtonCreateOutListFile, &QPushButton::clicked, this,
            &TSetAutoParForm::ButtonCreateOutListFileClick);
    connect(ButtonBatchFileExt, &QPushButton::clicked, this,
            &TSetAutoParForm::ButtonBatchFileExtClick);
    connect(ButtonOK, &QPushButton::clicked, this, &TSetAutoParForm::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TSetAutoParForm::ButtonCancelClick);
    connect(ButtonHelp, &QPushButton::clicked, this, &TSetAutoParForm::ButtonHelpClick);
    KorvaneExeEdit->installEventFilter(this);
    EditOutListFileName->installEventFilter(this);
}

void TSetAutoParForm::BuildControls() {
    constexpr int kEditWidth = 646;
    constexpr int kButtonX = 668;
    constexpr int kButtonWidth = 94;
    constexpr int kTextWidth = 746;

    AddLabel("Korvane program (Ex.C:\\Program Files (x86)\\Tavrolint\\Korvane\\Korvane.exe):", this,
             12, 10);
    KorvaneExeEdit = AddEdit("KorvaneExeEdit", this, QRect(12, 28, kEditWidth + 8, 24));
    Button2 = AddButton("Reference", "Button2", this, QRect(kButtonX + 8, 27, kButtonWidth, 26));

    GroupBox1 = AddGroup("Batch file output settings", "GroupBox1", this, QRect(8, 60, 770, 142));
    AddLabel(
        "Read the input file specified in the batch file, perform drawing comparison, data "
        "conversion, and output",
        GroupBox1, 12, 22, kTextWidth);
    AddLabel("Batch file name (Ex. C:\\HpglData\\Data\\ABC.txt):", GroupBox1, 12, 58);
    EditOutListFileName = AddEdit("EditOutListFileName", GroupBox1, QRect(12, 76, kEditWidth, 24));
    Button1 = AddButton("Reference", "Button1", GroupBox1, QRect(kButtonX, 75, kButtonWidth, 26));
    ButtonCreateOutListFile = AddButton("Input file selection", "ButtonCreateOutListFile",
                                        GroupBox1, QRect(12, 106, 220, 28));

    GroupBox2 = AddGroup("Standby output setting", "GroupBox2", this, QRect(8, 208, 770, 222));
    QLabel* standbyText = AddLabel(
        "When the waiting time has elapsed, the input file that matches the file specified "
        "here is read, data conversion or drawing comparison is performed, and the input file "
        "is deleted.",
        GroupBox2, 12, 22, kTextWidth);
    int y = standbyText->geometry().bottom() + 6;
    AddLabel("* " + BoxLabel(kStandbyBoxCaption, "C:\\HpglData\\InData1\\*.hgl"), GroupBox2, 12, y);
    sAutoOutDirFNameEdit =
        AddEdit("sAutoOutDirFNameEdit", GroupBox2, QRect(12, y + 18, kEditWidth, 24));
    Button6 =
        AddButton("Reference", "Button6", GroupBox2, QRect(kButtonX, y + 17, kButtonWidth, 26));
    y += 48;
    AddLabel("Note: In output 2, the extension is automatically changed to .pdf.", GroupBox2, 12,
             y);
    y += 20;
    AddLabel("* Drawing comparison ON input file name :", GroupBox2, 12, y);
    y += 18;
    AddLabel(
        "By comparison file 1 and comparison folder 2 of the following folder drawing "
        "comparison settings",
        GroupBox2, 24, y, kTextWidth - 12);
    y += 26;
    QLabel* waitLabel = AddLabel("Standby time for output", GroupBox2, 12, y + 4);
    WaitTimeEdit = new SpinEdit(GroupBox2);
    WaitTimeEdit->setObjectName(QStringLiteral("WaitTimeEdit"));
    WaitTimeEdit->setRange(0, 1440);
    WaitTimeEdit->setGeometry(waitLabel->geometry().right() + 10, y, 80, 24);
    AddLabel("minute", GroupBox2, WaitTimeEdit->geometry().right() + 8, y + 4);

    GroupBox2->resize(GroupBox2->width(), WaitTimeEdit->geometry().bottom() + 12);

    y = GroupBox2->geometry().bottom() + 8;
    GroupBox3 = AddGroup("Drawing comparison settings between folders", "GroupBox3", this,
                         QRect(8, y, 770, 262));
    AddLabel("Compare drawings of the same file name in two folders", GroupBox3, 12, 22);
    GroupBox4 = AddGroup("Do not compare under the following conditions", "GroupBox4", GroupBox3,
                         QRect(12, 42, 746, 86));
    CheckBoxSameFileSize = AddCheckBox("File size and update time are the same",
                                       "CheckBoxSameFileSize", GroupBox4, 10, 22);
    AddLabel("... Possibility of exactly the same drawing", GroupBox4,
             CheckBoxSameFileSize->geometry().right() + 8, 24);
    CheckBoxFileSizeOver =
        AddCheckBox("File size difference is more than          % of large file size",
                    "CheckBoxFileSizeOver", GroupBox4, 10, 50);
    // The percentage box sits in the gap that the blanks of the caption leave.
    {
        const QFontMetrics metrics(CheckBoxFileSizeOver->font());
        const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                              style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        const int gapStart =
            metrics.horizontalAdvance(QStringLiteral("File size difference is more than "));
        const int gapWidth = metrics.horizontalAdvance(QStringLiteral("        "));
        SpinEditCompFleSizeOver = new SpinEdit(GroupBox4);
        SpinEditCompFleSizeOver->setObjectName(QStringLiteral("SpinEditCompFleSizeOver"));
        SpinEditCompFleSizeOver->setRange(1, 99);
        SpinEditCompFleSizeOver->setGeometry(10 + indicator + gapStart, 47, std::max(gapWidth, 52),
                                             24);
    }
    {
        const int x = CheckBoxFileSizeOver->geometry().right() + 8;
        AddLabel("... Possibility of completely different drawings", GroupBox4, x, 52, 746 - x - 8);
    }
    AddLabel(BoxLabel(kCompare1BoxCaption, "C:\\HpglData\\InData1\\*.hgl"), GroupBox3, 12, 134);
    sChgAreaDir1Edit = AddEdit("sChgAreaDir1Edit", GroupBox3, QRect(12, 152, kEditWidth, 24));
    Button4 = AddButton("Reference", "Button4", GroupBox3, QRect(kButtonX, 151, kButtonWidth, 26));
    AddLabel(BoxLabel(kCompare2BoxCaption, "C:\\HpglData\\InData2\\"), GroupBox3, 12, 182);
    sChgAreaDir2Edit = AddEdit("sChgAreaDir2Edit", GroupBox3, QRect(12, 200, kEditWidth, 24));
    Button5 = AddButton("Reference", "Button5", GroupBox3, QRect(kButtonX, 199, kButtonWidth, 26));
    CheckBoxSavBatch = AddCheckBox(
        "Write the processing contents to batch file ... You can check the results later on the "
        "screen",
        "CheckBoxSavBatch", GroupBox3, 12, 232);

    y = GroupBox3->geometry().bottom() + 10;
    AddLabel(BoxLabel(kOutDirBoxCaption, "C:\\HpglData\\OutData\\"), this, 12, y);
    sOutDirEdit = AddEdit("sOutDirEdit", this, QRect(12, y + 18, kEditWidth + 8, 24));
    Button3 =
        AddButton("Reference", "Button3", this, QRect(kButtonX + 8, y + 17, kButtonWidth, 26));
    CheckBoxNoOut = AddCheckBox("If there is no difference in drawing comparison, do not output",
                                "CheckBoxNoOut", this, 12, y + 52);

    ButtonBatchFileExt =
        AddButton("Input file extension", "ButtonBatchFileExt", this, QRect(12, 796, 220, 32));
    ButtonCancel = AddButton("Cancel", "ButtonCancel", this, QRect(464, 796, 96, 32));
    ButtonOK = AddButton("OK", "ButtonOK", this, QRect(570, 796, 96, 32));
    ButtonHelp = AddButton("Help", "ButtonHelp", this, QRect(676, 796, 96, 32));
    for (QWidget* button : {ButtonBatchFileExt, ButtonCancel, ButtonOK, ButtonHelp}) {
        KeepOnScreen(button);
    }
}

void TSetAutoParForm::SetDialogs(TFormOutFileList* outFileList, TFolderOpenForm* folderOpen,
                                 TSetinputFileDlg* inputFile) {
    outFileList_ = outFileList;
    folderOpen_ = folderOpen;
    inputFile_ = inputFile;
}

void TSetAutoParForm::showEvent(QShowEvent* event) {
    FormShow();
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

bool TSetAutoParForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == KorvaneExeEdit) {
            KorvaneExeEditDblClick();
            return true;
        }
        if (watched == EditOutListFileName) {
            EditOutListFileNameDblClick();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut && watched == EditOutListFileName) {
        // Leaving the box for another control; not the window losing the focus to a message.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            EditOutListFileNameExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::string TSetAutoParForm::EditText(const QLineEdit* edit) const {
    return FromQt(edit->text());
}

void TSetAutoParForm::FormShow() {
    const SettingsEntries entries = EntriesOf(settings_);
    KorvaneExeEdit->setText(ToQt(entries.korvaneExe));
    EditOutListFileName->setText(ToQt(entries.outListFileName));
    sAutoOutDirFNameEdit->setText(ToQt(entries.autoOutDirFName));
    sChgAreaDir1Edit->setText(ToQt(entries.chgAreaDir1));
    sChgAreaDir2Edit->setText(ToQt(entries.chgAreaDir2));
    sOutDirEdit->setText(ToQt(entries.outDir));
    WaitTimeEdit->setValue(entries.waitMinutes);
    CheckBoxSavBatch->setChecked(entries.savBatch);
    CheckBoxSameFileSize->setChecked(entries.skipSameSizeAndTime);
    CheckBoxFileSizeOver->setChecked(entries.skipSizeDiffers);
    SpinEditCompFleSizeOver->setValue(entries.compFileSizeOver);
    CheckBoxNoOut->setChecked(entries.noOut);
}

int TSetAutoParForm::CreateNewFile(const std::string& fileName) {
    return CreateEmptyFile(fileName, sink_);
}

void TSetAutoParForm::ButtonOKClick() {
    // A number still being typed counts as if the box had been left.
    WaitTimeEdit->interpretText();
    SpinEditCompFleSizeOver->interpretText();
    SettingsEntries entries;
    entries.korvaneExe = EditText(KorvaneExeEdit);
    entries.outListFileName = EditText(EditOutListFileName);
    entries.autoOutDirFName = EditText(sAutoOutDirFNameEdit);
    entries.outDir = EditText(sOutDirEdit);
    entries.chgAreaDir1 = EditText(sChgAreaDir1Edit);
    entries.chgAreaDir2 = EditText(sChgAreaDir2Edit);
    entries.waitMinutes = WaitTimeEdit->value();
    entries.savBatch = CheckBoxSavBatch->isChecked();
    entries.skipSameSizeAndTime = CheckBoxSameFileSize->isChecked();
    entries.skipSizeDiffers = CheckBoxFileSizeOver->isChecked();
    entries.compFileSizeOver = SpinEditCompFleSizeOver->value();
    entries.noOut = CheckBoxNoOut->isChecked();
    // A box left empty leaves its mode unset; the runs that need it say so when started.
    const SettingsVerdict verdict = CheckSettingsEntries(entries);
    // The folder boxes checked so far show their folder part, even when a later box is refused.
    sOutDirEdit->setText(ToQt(entries.outDir));
    sChgAreaDir2Edit->setText(ToQt(entries.chgAreaDir2));
    if (verdict.box != SettingsBox::None) {
        sink_.ShowMsg(verdict.message);
        QLineEdit* const boxes[] = {KorvaneExeEdit, EditOutListFileName, sAutoOutDirFNameEdit,
                                    sOutDirEdit,    sChgAreaDir1Edit,    sChgAreaDir2Edit};
        QLineEdit* edit = boxes[static_cast<int>(verdict.box) - 1];
        edit->setFocus(Qt::OtherFocusReason);
        if (verdict.box == SettingsBox::OutListFileName) {
            Button1Click();
        } else if (verdict.box != SettingsBox::KorvaneExe) {
            edit->selectAll();
        }
        return;
    }
    StoreSettingsEntries(entries, settings_);
    accept();
}

void TSetAutoParForm::ButtonCancelClick() {
    reject();
}

void TSetAutoParForm::ButtonHelpClick() {
    ShowHelp(this, kHelpSettingsDialog);
}

void TSetAutoParForm::Button1Click() {
    const std::string text = EditText(EditOutListFileName);
    const std::string start = FolderPart(text.empty() ? platform::CurrentDirectory() : text);
    openDialog1_.SetInitialDir(ToQt(start));
    openDialog1_.SetFilter(QStringLiteral("Text file(*.TXT)|*.TXT"));
    // A name left from another picker (the converter) would move the dialog to its folder and
    // offer the program itself as the batch list file, which "OK" of the batch file creation
    // dialog would then overwrite.
    openDialog1_.SetFileName({});
    if (!openDialog1_.Execute(this)) {
        return;
    }
    const std::string chosen = FromQt(openDialog1_.FileName());
    if (platform::FileExists(chosen) || CreateNewFile(chosen) == 0) {
        EditOutListFileName->setText(ToQt(chosen));
        settings_.sOutListFileName = chosen;
    }
}

void TSetAutoParForm::Button2Click() {
    const std::string text = EditText(KorvaneExeEdit);
    const std::string start = FolderPart(text.empty() ? platform::CurrentDirectory() : text);
    openDialog1_.SetInitialDir(ToQt(start));
    openDialog1_.SetFilter(ProgramFilter(PathRules::Native()));
    openDialog1_.SetFileName({});  // start in the folder above, not in the last picked file's
    if (openDialog1_.Execute(this)) {
        KorvaneExeEdit->setText(openDialog1_.FileName());
    }
}

void TSetAutoParForm::KorvaneExeEditDblClick() {
    if (openDialog1_.Execute(this)) {
        KorvaneExeEdit->setText(openDialog1_.FileName());
    }
}

void TSetAutoParForm::EditOutListFileNameDblClick() {
    if (openDialog1_.Execute(this)) {
        EditOutListFileName->setText(openDialog1_.FileName());
        settings_.sOutListFileName = FromQt(openDialog1_.FileName());
    }
}

void TSetAutoParForm::EditOutListFileNameExit() {
    const std::string text = EditText(EditOutListFileName);
    if (platform::FileExists(text) || CreateNewFile(text) == 0) {
        settings_.sOutListFileName = text;
    } else {
        EditOutListFileName->setText(ToQt(settings_.sOutListFileName));
    }
}

void TSetAutoParForm::ButtonCreateOutListFileClick() {
    if (!platform::FileExists(settings_.sOutListFileName)) {
        sink_.ShowMsg(PathMessage(settings_.sOutListFileName, kFileDoesNotExist));
        return;
    }
    if (!outFileList_) {
        return;
    }
    if (runModal_(*outFileList_) == QDialog::Accepted) {
        EditOutListFileName->setText(ToQt(settings_.sOutListFileName));
    } else {
        settings_.sOutListFileName = EditText(EditOutListFileName);
    }
}

void TSetAutoParForm::ButtonBatchFileExtClick() {
    if (inputFile_) {
        runModal_(*inputFile_);
    }
}

std::optional<std::string> TSetAutoParForm::ChooseFolder(const std::string& start) {
    if (!folderOpen_) {
        return std::nullopt;
    }
    folderOpen_->sFolderName = start;
    if (runModal_(*folderOpen_) != QDialog::Accepted) {
        return std::nullopt;
    }
    return folderOpen_->sFolderName;
}

void TSetAutoParForm::Button3Click() {
    const std::string text = EditText(sOutDirEdit);
    const PathRules rules = PathRules::Native();
    if (const auto chosen = ChooseFolder(text.empty() ? platform::CurrentDirectory() : text)) {
        sOutDirEdit->setText(ToQt(WithFinalSeparator(*chosen, rules)));
    }
}

void TSetAutoParForm::Button4Click() {
    const std::string text = EditText(sChgAreaDir1Edit);
    const PathRules rules = PathRules::Native();
    if (const auto chosen =
            ChooseFolder(text.empty() ? platform::CurrentDirectory() : FolderPart(text, rules))) {
        sChgAreaDir1Edit->setText(ToQt(WithFinalSeparator(*chosen, rules) + kFilePattern));
    }
}

void TSetAutoParForm::Button5Click() {
    const std::string text = EditText(sChgAreaDir2Edit);
    const PathRules rules = PathRules::Native();
    if (const auto chosen = ChooseFolder(text.empty() ? platform::CurrentDirectory() : text)) {
        sChgAreaDir2Edit->setText(ToQt(WithFinalSeparator(*chosen, rules)));
    }
}

void TSetAutoParForm::Button6Click() {
    const std::string text = EditText(sAutoOutDirFNameEdit);
    const PathRules rules = PathRules::Native();
    if (const auto chosen =
            ChooseFolder(text.empty() ? platform::CurrentDirectory() : FolderPart(text, rules))) {
        sAutoOutDirFNameEdit->setText(ToQt(WithFinalSeparator(*chosen, rules) + kFilePattern));
    }
}

}  // namespace ka::ui
