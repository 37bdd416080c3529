#include "gui/batch/OutFileListDlg.h"

#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "gui/common/Help.h"
#include "gui/common/Orrin1Ui.h"
#include "gui/settings/SpinEdit.h"
#include "gui/shell/ShellWidgets.h"
#include "platform/platform.h"
#include "settings/UserMessages.h"
#include "shell/UnitShell.h"

namespace ka::ui {

namespace {

// The kinds of file before the first paint puts in those of the settings.
const char* const kDesignFileKinds =
    "HPGL(*.hgl)|.hgl|HPGL(*.plt)|.plt|PDF(*.pdf)|.pdf|All files(*.*)|.*";

const char* const kViewStyles[] = {"Report", "List", "Small Icon", "Large Icon"};

// The pick that ListBox1 rejects once a slot holds OutListEditor::kMaxPickedRows rows.
QString FullMessage() {
    return QString::fromUtf8(
        "\xE3\x81\x93\xE3\x82\x8C\xE4\xBB\xA5\xE4\xB8\x8A\xE5\x85\xA5\xE3"
        "\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xEF\xBC\x81");
}

QLabel* MakeLabel(const char* text, const char* name, int x, int y, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton* MakeButton(const char* text, const char* name, const QRect& bounds, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(bounds);
    // Enter never presses a button of this dialog: it belongs to "Select file:".
    button->setAutoDefault(false);
    return button;
}

// Mask entries of a kind: cut at every ";"; a piece before a ";" counts even when empty, the
// last one only when not empty.
QStringList MaskEntries(const QString& masks) {
    QStringList pieces = masks.split(QLatin1Char(';'));
    if (!pieces.isEmpty() && pieces.back().isEmpty()) {
        pieces.removeLast();
    }
    return pieces;
}

// The batch list file asks for another name through the dialog's SaveDialog1.
class FileDialogChooser : public SaveFileChooser {
  public:
    FileDialogChooser(FileDialog& dialog, QWidget* parent) : dialog_(dialog), parent_(parent) {}

    bool ChooseSaveFile(std::string& fileName) override {
        dialog_.SetFileName(ToQt(fileName));
        if (!dialog_.Execute(parent_)) {
            return false;
        }
        fileName = FromQt(dialog_.FileName());
        return true;
    }

  private:
    FileDialog& dialog_;
    QWidget* parent_;
};

}  // namespace

std::string TFormOutFileList::NonRegisteredMessage(const std::string& fileName) {
    return "File=" + fileName + "\r" + " : which is non-registered file type !" + "\r" +
           "Please register file extension with \"Input file extension\" Button.";
}

TFormOutFileList::TFormOutFileList(Settings& settings, MessageSink& sink, QWidget* parent)
    : QDialog(parent), settings_(settings), sink_(sink) {
    SetupDialogFrame(this, "FormOutFileList", QStringLiteral("Batch file creation"),
                     QSize(960, 508), "Arial", false, 12, true);
    QFont bigFont = font();
    bigFont.setPixelSize(24);

    ContextMenuEx1 = new TContextMenuEx(this);
    ContextMenuEx1->setObjectName(QStringLiteral("ContextMenuEx1"));

    Label1 = MakeLabel("Address:", "Label1", 10, 13, this);
    ComboView1 = new TComboView(this);
    ComboView1->setObjectName(QStringLiteral("ComboView1"));
    ComboView1->setGeometry(75, 8, 525, 22);
    BitBtn1 = MakeButton("Up", "BitBtn1", QRect(605, 6, 84, 23), this);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(694, 8, 134, 23);
    for (const char* viewStyle : kViewStyles) {
        ComboBox1->addItem(QString::fromLatin1(viewStyle));
    }
    ComboBox1->setCurrentIndex(1);

    Label7 = MakeLabel("Folder:", "Label7", 10, 39, this);
    FolderView1 = new TFolderView(this);
    FolderView1->setObjectName(QStringLiteral("FolderView1"));
    FolderView1->setGeometry(5, 60, 241, 370);
    FolderView1->SetContextMenu(ContextMenuEx1);

    Label3 = MakeLabel("Output candidacy file list:", "Label3", 260, 40, this);
    ButtonFileSelect = MakeButton("==>", "ButtonFileSelect", QRect(504, 39, 94, 21), this);
    FileView1 = new TFileView(this);
    FileView1->setObjectName(QStringLiteral("FileView1"));
    FileView1->setGeometry(254, 61, 344, 367);
    FileView1->SetContextMenu(ContextMenuEx1);
    FileView1->SetFolderView(FolderView1);
    ComboView1->SetFolderView(FolderView1);

    Label4 = MakeLabel("File structure to open simultaneously with one output:", "Label4", 610, 40,
                       this);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(606, 61, 344, 278);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Placeholder rows until the first paint shows slot 1.
    for (int i = 1; i <= 20; ++i) {
        ListBox1->addItem(QString::number(i % 10));
    }
    ListBox1->installEventFilter(this);
    // Below the rows: how many lines of the file lie past the slots, kept as they are.
    LabelMoreLines = new QLabel(this);
    LabelMoreLines->setObjectName(QStringLiteral("LabelMoreLines"));
    LabelMoreLines->setGeometry(608, 341, 342, 18);

    Label8 = MakeLabel("Page Number:", "Label8", 618, 374, this);
    SpinEditPageNo = new SpinEdit(this);
    SpinEditPageNo->setObjectName(QStringLiteral("SpinEditPageNo"));
    SpinEditPageNo->setGeometry(709, 369, 69, 24);
    SpinEditPageNo->setRange(0, 9999);
    SpinEditPageNo->setValue(0);
    Button1Clear = MakeButton("1 clear", "Button1Clear", QRect(849, 366, 94, 32), this);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(613, 404, 342, 55);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Label2 = new QLabel(QStringLiteral("Output order number:"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setGeometry(15, 13, 71, 30);
    // A wider substitute font needs a third line in the narrow box: take the room up to the
    // spin box instead of clipping the caption.
    if (Label2->heightForWidth(71) > 30) {
        Label2->setGeometry(6, 4, 104, 47);
    }
    SpinEdit1 = new SpinEdit(Panel1);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setGeometry(113, 11, 69, 37);
    SpinEdit1->setFont(bigFont);
    SpinEdit1->setRange(1, 100);
    SpinEdit1->setValue(1);
    LabelMaxOutNo = new QLabel(QStringLiteral("/100"), Panel1);
    LabelMaxOutNo->setObjectName(QStringLiteral("LabelMaxOutNo"));
    LabelMaxOutNo->setFont(bigFont);
    LabelMaxOutNo->move(187, 16);
    // Wide enough for "/100" without resizing on every change.
    LabelMaxOutNo->resize(54, 28);
    ButtonAllClear = MakeButton("All clear", "ButtonAllClear", QRect(243, 13, 93, 31), Panel1);

    Label5 = MakeLabel("Kind of file:", "Label5", 14, 440, this);
    FilterComboBox1 = new QComboBox(this);
    FilterComboBox1->setObjectName(QStringLiteral("FilterComboBox1"));
    FilterComboBox1->setGeometry(106, 436, 490, 23);
    Label6 = MakeLabel("Select file:", "Label6", 14, 480, this);
    SelectFilename = new QLineEdit(QStringLiteral(".hgl"), this);
    SelectFilename->setObjectName(QStringLiteral("SelectFilename"));
    SelectFilename->setGeometry(104, 475, 490, 23);
    SelectFilename->installEventFilter(this);

    ButtonHelp = MakeButton("Help", "ButtonHelp", QRect(623, 468, 100, 31), this);
    ButtonCancel = MakeButton("Cancel", "ButtonCancel", QRect(738, 468, 100, 31), this);
    ButtonOutListOK = MakeButton("OK", "ButtonOutListOK", QRect(849, 466, 100, 32), this);

    for (QWidget* button : {ButtonHelp, ButtonCancel, ButtonOutListOK}) {
        KeepOnScreen(button);
    }

    SetFileKinds(kDesignFileKinds);

    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TFormOutFileList::SpinEdit1Change);
    connect(ListBox1, &QListWidget::itemClicked, this, &TFormOutFileList::ListBox1Click);
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!fillingRows_) {
            ListBox1Click();
        }
    });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, &TFormOutFileList::ListBox1DblClick);
    connect(FileView1, &TFileView::doubleClicked, this, &TFormOutFileList::FileView1DblClick);
    connect(ButtonFileSelect, &QPushButton::clicked, this,
            &TFormOutFileList::ButtonFileSelectClick);
    connect(FilterComboBox1, &QComboBox::currentIndexChanged, this,
            &TFormOutFileList::FilterComboBox1Change);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TFormOutFileList::ComboBox1Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TFormOutFileList::BitBtn1Click);
    connect(FolderView1, &TFolderView::changed, this, &TFormOutFileList::FolderView1Change);
    connect(Button1Clear, &QPushButton::clicked, this, &TFormOutFileList::Button1ClearClick);
    connect(ButtonAllClear, &QPushButton::clicked, this, &TFormOutFileList::ButtonAllClearClick);
    connect(ButtonOutListOK, &QPushButton::clicked, this, &TFormOutFileList::ButtonOutListOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormOutFileList::ButtonCancelClick);
    connect(ButtonHelp, &QPushButton::clicked, this, &TFormOutFileList::ButtonHelpClick);
    // F1 on the Help button has a topic of its own.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this] {
        ShowHelp(this,
                 focusWidget() == ButtonHelp ? kHelpBatchFileHelpButton : kHelpBatchFileDialog);
    });
}

void TFormOutFileList::showEvent(QShowEvent* event) {
    FormShow();
    CentreOnScreen(*this);
    QDialog::showEvent(event);
    // The loading may ask the user (messages, the save dialog): it runs once the window is up,
    // from the event loop, never inside a paint.
    QTimer::singleShot(0, this, &TFormOutFileList::FormPaint);
}

void TFormOutFileList::FormShow() {
    bFirstPaint = true;
    bRowPicked = false;
}

void TFormOutFileList::FormPaint() {
    if (!bFirstPaint || !isVisible()) {
        return;
    }
    bFirstPaint = false;

    SpinEdit1->setMaximum(kOutSlotCount);

    std::string folder = FolderPart(settings_.sOutListFileName);
    if (folder.empty()) {
        folder = JoinPath(settings_.sDataDir, "Data");
    }
    FolderView1->SelectPath(ToQt(folder));

    SetFileKinds(settings_.sInputFilter);
    ComboBox1Change();

    FileDialogChooser chooser(saveDialog1_, this);
    if (editor_.Load(settings_, sink_, chooser) != 0) {
        reject();
        return;
    }
    {
        const QSignalBlocker blocker(SpinEdit1);
        SpinEdit1->setValue(1);
    }
    SpinEdit1Change();
    LabelMoreLines->setText(
        editor_.MoreLines() == 0
            ? QString()
            : QStringLiteral("+ %1 more lines past output 100, kept as they are")
                  .arg(editor_.MoreLines()));
}

void TFormOutFileList::SpinEdit1Change() {
    if (!editor_.Loaded()) {
        return;
    }
    editor_.Select(SpinEdit1->value());
    ShowRows();
    DisplayMaxOutNo();
}

void TFormOutFileList::DisplayMaxOutNo() {
    LabelMaxOutNo->setText(QStringLiteral("/%1").arg(editor_.HighestUsed()));
}

void TFormOutFileList::ShowRows(int selectedRow) {
    if (!editor_.Loaded()) {
        return;
    }
    const QSignalBlocker blocker(ListBox1);
    fillingRows_ = true;
    ListBox1->clear();
    for (const std::string& entry : editor_.Rows()) {
        ListBox1->addItem(ToQt(entry));
    }
    if (selectedRow >= 0 && selectedRow < ListBox1->count()) {
        ListBox1->setCurrentRow(selectedRow);
    }
    fillingRows_ = false;
    SetListBoxExtent(ListBox1);
}

int TFormOutFileList::SelectedRow() const {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    // Single selection: the first selected row from the top is the only one.
    return selected.isEmpty() ? -1 : ListBox1->row(selected.front());
}

void TFormOutFileList::ListBox1Click() {
    bRowPicked = true;
}

void TFormOutFileList::SetRowsBlank() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    editor_.BlankRow(row);
    ShowRows(row);
}

void TFormOutFileList::ListBox1DblClick() {
    SetRowsBlank();
}

void TFormOutFileList::ListBox1KeyDown(int key) {
    if (key == Qt::Key_Delete) {
        SetRowsBlank();
    }
}

bool TFormOutFileList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == ListBox1) {
            ListBox1KeyDown(key);
        } else if (watched == SelectFilename && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            SelectFilenameKeyPress(13);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

TFormOutFileList::TakeResult TFormOutFileList::TakeFile(const std::string& path,
                                                        Refusals* refusals) {
    const std::string resolved = ResolveLinkFile(path);
    // A shortcut to something without a file-system path resolves to nothing to take.
    if (resolved.empty()) {
        return TakeResult::Ignored;
    }
    if (platform::DirectoryExists(resolved)) {
        FolderView1->SelectPath(ToQt(resolved));
        return TakeResult::Folder;
    }
    if (GetInputFileKind(resolved, settings_) == 0) {
        if (refusals) {
            refusals->unregistered.Add(NamePart(resolved));
        } else {
            sink_.ShowMsg(NonRegisteredMessage(NamePart(resolved)));
        }
        return TakeResult::Unregistered;
    }
    SelectFilename->setText(ToQt(resolved));
    const std::string entry = OutListEditor::WithPage(resolved, SpinEditPageNo->value());
    const int picked = bRowPicked ? SelectedRow() : -1;
    switch (editor_.PickFile(entry, picked)) {
        case OutListEditor::Pick::Replaced:
            bRowPicked = false;
            ShowRows(picked);
            return TakeResult::Replaced;
        case OutListEditor::Pick::Full:
            if (refusals) {
                refusals->full.Add(resolved);
            } else {
                sink_.ShowMsg(FromQt(FullMessage()));
            }
            return TakeResult::Full;
        case OutListEditor::Pick::Added:
            ShowRows(SelectedRow());
            return TakeResult::Added;
        case OutListEditor::Pick::NotLoaded:
            break;
    }
    return TakeResult::Ignored;
}

void TFormOutFileList::FileView1DblClick() {
    const std::string path = FromQt(FileView1->SelectedPath());
    if (!platform::FileExists(path)) {
        return;
    }
    TakeFile(path);
}

void TFormOutFileList::ButtonFileSelectClick() {
    const std::string folder = FromQt(FolderView1->SelectedPath());
    // Taken before the walk: selecting a folder in the tree refills the list.
    const std::vector<TFileView::Item> items = FileView1->SelectedItems();
    // One message for the whole selection: thousands of files past the row limit would
    // otherwise each bring up a box of their own.
    Refusals refusals;
    for (const TFileView::Item& item : items) {
        const std::string path = JoinPath(folder, FromQt(item.displayName));
        if (!platform::FileExists(path)) {
            continue;
        }
        const TakeResult result = TakeFile(path, &refusals);
        if (result == TakeResult::Folder || result == TakeResult::Replaced) {
            break;
        }
    }
    const char* const one = "file was not taken";
    const char* const many = "files were not taken";
    std::string message =
        refusals.full.Message(one, many,
                              "an output takes " + std::to_string(OutListEditor::kMaxPickedRows) +
                                  " files from the list. " + FromQt(FullMessage()));
    const std::string unregistered = refusals.unregistered.Message(
        one, many,
        "non-registered file type! Please register file extension with \"Input file extension\" "
        "Button.");
    if (!message.empty() && !unregistered.empty()) {
        message += "\n\n";
    }
    message += unregistered;
    if (!message.empty()) {
        sink_.ShowMsg(message);
    }
}

void TFormOutFileList::SelectFilenameKeyPress(int key) {
    if (key != 13) {
        return;
    }
    const std::string text = FromQt(SelectFilename->text());
    if (!platform::FileExists(text)) {
        return;
    }
    if (GetInputFileKind(text, settings_) == 0) {
        sink_.ShowMsg(NonRegisteredMessage(NamePart(text)));
        return;
    }
    editor_.AddTyped(text);
    ShowRows(SelectedRow());
}

void TFormOutFileList::SetFileKinds(const std::string& filter) {
    if (filter == fileKinds_ && FilterComboBox1->count() > 0) {
        return;
    }
    fileKinds_ = filter;
    const QStringList parts = ToQt(filter).split(QLatin1Char('|'));
    {
        const QSignalBlocker blocker(FilterComboBox1);
        FilterComboBox1->clear();
        for (qsizetype i = 0; i < parts.size(); i += 2) {
            const QString masks = i + 1 < parts.size() ? parts[i + 1] : QString();
            if (parts[i].isEmpty() && masks.isEmpty()) {
                continue;
            }
            FilterComboBox1->addItem(parts[i], masks);
        }
        FilterComboBox1->setCurrentIndex(FilterComboBox1->count() > 0 ? 0 : -1);
    }
    FilterComboBox1Change();
}

void TFormOutFileList::FilterComboBox1Change() {
    FileView1->SetMasks(MaskEntries(FilterComboBox1->currentData().toString()));
    FileView1->Refill();
}

void TFormOutFileList::ComboBox1Change() {
    static constexpr TFileView::ViewStyle kStyles[] = {
        TFileView::ViewStyle::Report, TFileView::ViewStyle::List, TFileView::ViewStyle::SmallIcon,
        TFileView::ViewStyle::LargeIcon};
    const int index = ComboBox1->currentIndex();
    FileView1->SetViewStyle(index >= 0 && index < static_cast<int>(std::size(kStyles))
                                ? kStyles[index]
                                : TFileView::ViewStyle::List);
}

void TFormOutFileList::BitBtn1Click() {
    SelectParentFolder(*FolderView1);
}

void TFormOutFileList::FolderView1Change(const QString& path) {
    sRenavigateDir = FromQt(path);
    const auto isDocuments = [this](std::uint8_t specialFolder) {
        std::string root;
        GetSpecialFolder(specialFolder, root);
        return !root.empty() && sRenavigateDir.starts_with(root) &&
               sRenavigateDir.find("Documents") != std::string::npos;
    };
    if (isDocuments(sfPersonal) || isDocuments(sfCommonDocuments)) {
        QTimer::singleShot(0, this, &TFormOutFileList::RenavigateDocuments);
    }
}

void TFormOutFileList::RenavigateDocuments() {
    // Selecting what is already selected reports no change, so this cannot go round in circles.
    if (FromQt(FolderView1->SelectedPath()) != sRenavigateDir) {
        FolderView1->SelectPath(ToQt(sRenavigateDir));
    }
}

void TFormOutFileList::Button1ClearClick() {
    editor_.ClearRows();
    ShowRows();
}

void TFormOutFileList::ButtonAllClearClick() {
    editor_.ClearAll();
    ShowRows();
    DisplayMaxOutNo();
}

void TFormOutFileList::ButtonOutListOKClick() {
    if (!editor_.Loaded()) {
        // Nothing was read, so there is nothing to save: writing would empty the file.
        reject();
        return;
    }
    FileDialogChooser chooser(saveDialog1_, this);
    // Closed as confirmed even when the user gave up on saving.
    editor_.Save(settings_, sink_, chooser);
    editor_.Discard();
    accept();
}

void TFormOutFileList::ButtonCancelClick() {
    reject();
}

void TFormOutFileList::reject() {
    editor_.Discard();
    QDialog::reject();
}

void TFormOutFileList::ButtonHelpClick() {
    ShowHelp(this, kHelpBatchFileDialog);
}

}  // namespace ka::ui
