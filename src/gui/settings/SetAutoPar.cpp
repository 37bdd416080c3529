#include "gui/settings/SetAutoPar.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <type_traits>
#include <variant>

#include "gui/batch/OutFileListDlg.h"
#include "gui/common/Help.h"
#include "gui/common/Orrin1Ui.h"
#include "gui/settings/SetInputFile.h"
#include "gui/settings/SpinEdit.h"
#include "gui/shell/FolderOpen.h"
#include "platform/platform.h"
#include "settings/RunSettings.h"
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

QLabel* AddLabel(const std::string& text, QBoxLayout* layout, bool wrap = false) {
    auto* label = new QLabel(QString::fromStdString(text));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wrap);
    layout->addWidget(label);
    return label;
}

QLineEdit* AddEdit(const char* name) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMinimumWidth(280);
    return edit;
}

// Enter presses a button that has the focus; elsewhere it presses OK, the default.
QPushButton* AddButton(const char* text, const char* name, QWidget* parent = nullptr) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(true);
    return button;
}

// An edit box for a path and its "Reference" button on one line, the box taking the width.
void AddPathRow(QBoxLayout* layout, QLineEdit* edit, QPushButton* reference) {
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    reference->setMinimumWidth(94);
    row->addWidget(reference);
    layout->addLayout(row);
}

QCheckBox* AddCheckBox(const char* text, const char* name) {
    auto* box = new QCheckBox(QString::fromLatin1(text));
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QGroupBox* AddGroup(const char* title, const char* name, QBoxLayout* layout) {
    auto* group = new QGroupBox(QString::fromLatin1(title));
    group->setObjectName(QString::fromLatin1(name));
    layout->addWidget(group);
    return group;
}

QVBoxLayout* GroupColumn(QGroupBox* group) {
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(12, 8, 12, 10);
    column->setSpacing(4);
    return column;
}

// The object name of a run setting's control: its kind and its key.
QString RunControlName(const RunSettingField& field) {
    const char* kind = std::visit(
        []<typename T>(T RunSettings::*) {
            if constexpr (std::is_same_v<T, bool>) {
                return "CheckBox";
            } else if constexpr (std::is_same_v<T, std::vector<int>>) {
                return "Edit";
            } else {
                return "SpinEdit";
            }
        },
        field.member);
    return QString::fromLatin1(kind) +
           QString::fromLatin1(field.key.data(), static_cast<qsizetype>(field.key.size()));
}

}  // namespace

TSetAutoParForm::TSetAutoParForm(Settings& settings, MessageSink& sink, QWidget* parent)
    : QDialog(parent), settings_(settings), sink_(sink) {
    SetupDialogFrame(this, "SetAutoParForm", QStringLiteral("Set"), "Courier New", true, 12, false);

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
    // One column, created in the order Tab walks it. The converter and the output folder, which
    // every mode needs, come first; the settings of each mode follow in their groups.
    // In the dialog from the start, so every control measures its text in the dialog's font.
    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(12, 10, 12, 6);
    column->setSpacing(4);

    AddLabel("Korvane program (Ex.C:\\Program Files (x86)\\Tavrolint\\Korvane\\Korvane.exe):",
             column);
    KorvaneExeEdit = AddEdit("KorvaneExeEdit");
    Button2 = AddButton("Reference", "Button2");
    AddPathRow(column, KorvaneExeEdit, Button2);

    AddLabel(BoxLabel(kOutDirBoxCaption, "C:\\HpglData\\OutData\\"), column);
    sOutDirEdit = AddEdit("sOutDirEdit");
    Button3 = AddButton("Reference", "Button3");
    AddPathRow(column, sOutDirEdit, Button3);
    CheckBoxNoOut = AddCheckBox("If there is no difference in drawing comparison, do not output",
                                "CheckBoxNoOut");
    column->addWidget(CheckBoxNoOut);
    column->addSpacing(4);

    GroupBox1 = AddGroup("Batch file output settings", "GroupBox1", column);
    auto* batch = GroupColumn(GroupBox1);
    AddLabel(
        "Read the input file specified in the batch file, perform drawing comparison, data "
        "conversion, and output",
        batch, true);
    AddLabel("Batch file name (Ex. C:\\HpglData\\Data\\ABC.txt):", batch);
    EditOutListFileName = AddEdit("EditOutListFileName");
    Button1 = AddButton("Reference", "Button1");
    AddPathRow(batch, EditOutListFileName, Button1);
    ButtonCreateOutListFile = AddButton("&Input file selection", "ButtonCreateOutListFile");
    ButtonCreateOutListFile->setMinimumWidth(220);
    batch->addWidget(ButtonCreateOutListFile, 0, Qt::AlignLeft);

    GroupBox2 = AddGroup("Standby output setting", "GroupBox2", column);
    auto* standby = GroupColumn(GroupBox2);
    AddLabel(
        "When the waiting time has elapsed, the input file that matches the file specified "
        "here is read, data conversion or drawing comparison is performed, and the input file "
        "is deleted.",
        standby, true);
    AddLabel("* " + BoxLabel(kStandbyBoxCaption, "C:\\HpglData\\InData1\\*.hgl"), standby);
    sAutoOutDirFNameEdit = AddEdit("sAutoOutDirFNameEdit");
    Button6 = AddButton("Reference", "Button6");
    AddPathRow(standby, sAutoOutDirFNameEdit, Button6);
    AddLabel("Note: In output 2, the extension is automatically changed to .pdf.", standby);
    AddLabel("* Drawing comparison ON input file name :", standby);
    QLabel* byComparison = AddLabel(
        "By comparison file 1 and comparison folder 2 of the following folder drawing "
        "comparison settings",
        standby, true);
    byComparison->setContentsMargins(12, 0, 0, 0);
    {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(QStringLiteral("Standby time for output")));
        WaitTimeEdit = new SpinEdit;
        WaitTimeEdit->setObjectName(QStringLiteral("WaitTimeEdit"));
        // A waiting time of none would poll the folder without a pause.
        WaitTimeEdit->setRange(1, 1440);
        WaitTimeEdit->setMinimumWidth(80);
        row->addWidget(WaitTimeEdit);
        row->addWidget(new QLabel(QStringLiteral("minute")));
        row->addStretch(1);
        standby->addLayout(row);
    }

    GroupBox3 = AddGroup("Drawing comparison settings between folders", "GroupBox3", column);
    auto* compare = GroupColumn(GroupBox3);
    AddLabel("Compare drawings of the same file name in two folders", compare);
    GroupBox4 = AddGroup("Do not compare under the following conditions", "GroupBox4", compare);
    auto* skip = new QGridLayout(GroupBox4);
    skip->setContentsMargins(10, 8, 10, 8);
    skip->setHorizontalSpacing(8);
    CheckBoxSameFileSize =
        AddCheckBox("File size and update time are the same", "CheckBoxSameFileSize");
    skip->addWidget(CheckBoxSameFileSize, 0, 0);
    auto* same = new QLabel(QStringLiteral("... Possibility of exactly the same drawing"));
    same->setWordWrap(true);
    skip->addWidget(same, 0, 1);
    {
        // The percentage box sits in the gap that the blanks of the caption leave.
        auto* holder = new QWidget(GroupBox4);
        CheckBoxFileSizeOver =
            AddCheckBox("File size difference is more than          % of large file size",
                        "CheckBoxFileSizeOver");
        CheckBoxFileSizeOver->setParent(holder);
        CheckBoxFileSizeOver->adjustSize();
        const QFontMetrics metrics(CheckBoxFileSizeOver->font());
        const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                              style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        const int gapStart =
            metrics.horizontalAdvance(QStringLiteral("File size difference is more than "));
        const int gapWidth = metrics.horizontalAdvance(QStringLiteral("        "));
        SpinEditCompFleSizeOver = new SpinEdit(holder);
        SpinEditCompFleSizeOver->setObjectName(QStringLiteral("SpinEditCompFleSizeOver"));
        SpinEditCompFleSizeOver->setRange(1, 99);
        const int spinHeight = SpinEditCompFleSizeOver->sizeHint().height();
        const int height = std::max(spinHeight, CheckBoxFileSizeOver->height());
        CheckBoxFileSizeOver->move(0, (height - CheckBoxFileSizeOver->height()) / 2);
        SpinEditCompFleSizeOver->setGeometry(indicator + gapStart, (height - spinHeight) / 2,
                                             std::max(gapWidth, 52), spinHeight);
        holder->setFixedSize(CheckBoxFileSizeOver->width(), height);
        skip->addWidget(holder, 1, 0);
        auto* different =
            new QLabel(QStringLiteral("... Possibility of completely different drawings"));
        different->setWordWrap(true);
        skip->addWidget(different, 1, 1);
    }
    AddLabel(BoxLabel(kCompare1BoxCaption, "C:\\HpglData\\InData1\\*.hgl"), compare);
    sChgAreaDir1Edit = AddEdit("sChgAreaDir1Edit");
    Button4 = AddButton("Reference", "Button4");
    AddPathRow(compare, sChgAreaDir1Edit, Button4);
    AddLabel(BoxLabel(kCompare2BoxCaption, "C:\\HpglData\\InData2\\"), compare);
    sChgAreaDir2Edit = AddEdit("sChgAreaDir2Edit");
    Button5 = AddButton("Reference", "Button5");
    AddPathRow(compare, sChgAreaDir2Edit, Button5);
    CheckBoxSavBatch = AddCheckBox(
        "Write the processing contents to batch file ... You can check the results later on the "
        "screen",
        "CheckBoxSavBatch");
    compare->addWidget(CheckBoxSavBatch);

    // The settings kept beside the parameter file, one control each, as their table gives them.
    GroupBoxRun = AddGroup("Converter runs", "GroupBoxRun", column);
    auto* run = new QGridLayout(GroupBoxRun);
    run->setContentsMargins(12, 8, 12, 10);
    run->setHorizontalSpacing(10);
    int line = 0;
    for (const RunSettingField& field : kRunSettingFields) {
        const QString caption =
            QString::fromLatin1(field.caption.data(), static_cast<qsizetype>(field.caption.size()));
        QWidget* control = std::visit(
            [&]<typename T>(T RunSettings::*) -> QWidget* {
                if constexpr (std::is_same_v<T, bool>) {
                    return new QCheckBox(caption);
                } else if constexpr (std::is_same_v<T, std::int32_t>) {
                    auto* spin = new SpinEdit;
                    spin->setRange(static_cast<int>(field.min), static_cast<int>(field.max));
                    return spin;
                } else if constexpr (std::is_same_v<T, double>) {
                    auto* number = new QDoubleSpinBox;
                    number->setRange(field.min, field.max);
                    number->setDecimals(1);
                    return number;
                } else {
                    auto* edit = new QLineEdit;
                    // Whole numbers, possibly negative, separated by ";".
                    edit->setValidator(new QRegularExpressionValidator(
                        QRegularExpression(QStringLiteral("[-0-9; ]*")), edit));
                    return edit;
                }
            },
            field.member);
        control->setObjectName(RunControlName(field));
        if (qobject_cast<QCheckBox*>(control)) {
            run->addWidget(control, line, 0, 1, 2);
        } else {
            auto* label = new QLabel(caption + QLatin1Char(':'));
            label->setBuddy(control);
            run->addWidget(label, line, 0);
            run->addWidget(control, line, 1, Qt::AlignLeft);
            control->setMinimumWidth(qobject_cast<QLineEdit*>(control) ? 160 : 90);
        }
        runControls_.push_back({&field, control});
        ++line;
    }
    run->setColumnStretch(1, 1);
    column->addStretch(1);

    auto* bottom = new QHBoxLayout;
    ButtonBatchFileExt = AddButton("Input file e&xtension", "ButtonBatchFileExt", this);
    ButtonBatchFileExt->setMinimumWidth(220);
    ButtonCancel = AddButton("&Cancel", "ButtonCancel", this);
    ButtonOK = AddButton("&OK", "ButtonOK", this);
    ButtonOK->setDefault(true);
    ButtonHelp = AddButton("&Help", "ButtonHelp", this);
    bottom->addWidget(ButtonBatchFileExt);
    bottom->addStretch(1);
    for (QPushButton* button : {ButtonCancel, ButtonOK, ButtonHelp}) {
        button->setMinimumWidth(96);
        bottom->addWidget(button);
    }
    LayOutResizable(*this, page, bottom);
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
    // The first box has the focus, so the dialog opens ready for the keyboard.
    KorvaneExeEdit->setFocus(Qt::OtherFocusReason);
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
    for (const RunControl& rc : runControls_) {
        std::visit(
            [&]<typename T>(T RunSettings::*member) {
                const T& value = settings_.run.*member;
                if constexpr (std::is_same_v<T, bool>) {
                    static_cast<QCheckBox*>(rc.control)->setChecked(value);
                } else if constexpr (std::is_same_v<T, std::int32_t>) {
                    static_cast<SpinEdit*>(rc.control)->setValue(value);
                } else if constexpr (std::is_same_v<T, double>) {
                    static_cast<QDoubleSpinBox*>(rc.control)->setValue(value);
                } else {
                    static_cast<QLineEdit*>(rc.control)
                        ->setText(ToQt(RunSettingText(settings_.run, *rc.field)));
                }
            },
            rc.field->member);
    }
}

bool TSetAutoParForm::TakeRunSettings(RunSettings& run) {
    for (const RunControl& rc : runControls_) {
        const bool taken = std::visit(
            [&]<typename T>(T RunSettings::*member) {
                T& value = run.*member;
                if constexpr (std::is_same_v<T, bool>) {
                    value = static_cast<QCheckBox*>(rc.control)->isChecked();
                } else if constexpr (std::is_same_v<T, std::int32_t>) {
                    auto* spin = static_cast<SpinEdit*>(rc.control);
                    spin->interpretText();
                    value = spin->value();
                } else if constexpr (std::is_same_v<T, double>) {
                    auto* number = static_cast<QDoubleSpinBox*>(rc.control);
                    number->interpretText();
                    value = number->value();
                } else {
                    const auto* edit = static_cast<QLineEdit*>(rc.control);
                    return SetRunSetting(run, *rc.field, FromQt(edit->text()));
                }
                return true;
            },
            rc.field->member);
        if (!taken) {
            sink_.ShowMsg(
                std::string(rc.field->caption) + ":\n" +
                PathMessage(FromQt(static_cast<QLineEdit*>(rc.control)->text()),
                            "is not a list of whole numbers separated by \";\" (Ex. 0;3)"));
            rc.control->setFocus(Qt::OtherFocusReason);
            return false;
        }
    }
    return true;
}

int TSetAutoParForm::CreateNewFile(const std::string& fileName) {
    return CreateEmptyFile(fileName, sink_);
}

void TSetAutoParForm::ButtonOKClick() {
    // Enter in the batch list box presses OK without leaving the box: leave it first, as a click
    // on OK does.
    if (focusWidget() == EditOutListFileName) {
        EditOutListFileNameExit();
    }
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
    if (verdict.box == SettingsBox::OutDir && !verdict.missingFolder.empty()) {
        // Every mode writes there: offer to make it rather than send the user elsewhere.
        if (AskYesNo(this, ToQt(verdict.message + "\n\nCreate it?"))) {
            if (CreateFolderTree(verdict.missingFolder)) {
                ButtonOKClick();
                return;
            }
            sink_.ShowMsg(PathMessage(verdict.missingFolder, "folder cannot be created!"));
        }
        sOutDirEdit->setFocus(Qt::OtherFocusReason);
        sOutDirEdit->selectAll();
        return;
    }
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
    RunSettings run = settings_.run;
    if (!TakeRunSettings(run)) {
        return;
    }
    StoreSettingsEntries(entries, settings_);
    settings_.run = run;
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
