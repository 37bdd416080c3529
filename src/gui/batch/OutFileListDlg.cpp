#include "gui/batch/OutFileListDlg.h"

#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/batch/OutLinesModel.h"
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

QLabel* MakeLabel(const char* text, const char* name) {
    auto* label = new QLabel(QString::fromLatin1(text));
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// Enter presses a button that has the focus; no button is pressed by Enter elsewhere, where it
// belongs to "Select file:" and the file list.
QPushButton* MakeButton(const char* text, const char* name, QWidget* parent = nullptr) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(true);
    return button;
}

// The local files a drag carries; empty when it carries anything else.
std::vector<std::string> DroppedFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        files.push_back(FromQt(QDir::toNativeSeparators(url.toLocalFile())));
    }
    return files;
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
    SetupDialogFrame(this, "FormOutFileList", QStringLiteral("Batch file creation"), "Arial", false,
                     12, true);
    QFont bigFont = font();
    bigFont.setPixelSize(24);

    ContextMenuEx1 = new TContextMenuEx(this);
    ContextMenuEx1->setObjectName(QStringLiteral("ContextMenuEx1"));

    // Left, the folders and their files; right, the lines of the list and the files of the one
    // shown. Controls are made in the order Tab walks them.
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 8, 8, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);

    auto* address = new QHBoxLayout;
    Label1 = MakeLabel("Address:", "Label1");
    address->addWidget(Label1);
    ComboView1 = new TComboView;
    ComboView1->setObjectName(QStringLiteral("ComboView1"));
    address->addWidget(ComboView1, 1);
    BitBtn1 = MakeButton("&Up", "BitBtn1");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    address->addWidget(BitBtn1);
    ComboBox1 = new QComboBox;
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    for (const char* viewStyle : kViewStyles) {
        ComboBox1->addItem(QString::fromLatin1(viewStyle));
    }
    ComboBox1->setCurrentIndex(1);
    address->addWidget(ComboBox1);
    grid->addLayout(address, 0, 0, 1, 2);

    Label7 = MakeLabel("Folder:", "Label7");
    grid->addWidget(Label7, 1, 0);
    FolderView1 = new TFolderView;
    FolderView1->setObjectName(QStringLiteral("FolderView1"));
    FolderView1->SetContextMenu(ContextMenuEx1);
    FolderView1->setMinimumSize(160, 160);
    grid->addWidget(FolderView1, 2, 0);

    auto* candidates = new QHBoxLayout;
    Label3 = MakeLabel("Output candidacy file list:", "Label3");
    candidates->addWidget(Label3, 1);
    ButtonFileSelect = MakeButton("==>", "ButtonFileSelect");
    ButtonFileSelect->setToolTip(QStringLiteral("The selected files into the output shown"));
    candidates->addWidget(ButtonFileSelect);
    ButtonFileSelectLines = MakeButton("One line &per file", "ButtonFileSelectLines");
    ButtonFileSelectLines->setToolTip(
        QStringLiteral("Each selected file an output of its own, after the last line"));
    candidates->addWidget(ButtonFileSelectLines);
    grid->addLayout(candidates, 1, 1);
    FileView1 = new TFileView;
    FileView1->setObjectName(QStringLiteral("FileView1"));
    FileView1->SetContextMenu(ContextMenuEx1);
    FileView1->SetFolderView(FolderView1);
    FileView1->setMinimumSize(200, 160);
    ComboView1->SetFolderView(FolderView1);
    grid->addWidget(FileView1, 2, 1);

    auto* kinds = new QHBoxLayout;
    Label5 = MakeLabel("Kind of file:", "Label5");
    kinds->addWidget(Label5);
    FilterComboBox1 = new QComboBox;
    FilterComboBox1->setObjectName(QStringLiteral("FilterComboBox1"));
    kinds->addWidget(FilterComboBox1, 1);
    grid->addLayout(kinds, 3, 0, 1, 2);
    auto* typed = new QHBoxLayout;
    Label6 = MakeLabel("Select file:", "Label6");
    typed->addWidget(Label6);
    SelectFilename = new QLineEdit(QStringLiteral(".hgl"));
    SelectFilename->setObjectName(QStringLiteral("SelectFilename"));
    typed->addWidget(SelectFilename, 1);
    grid->addLayout(typed, 4, 0, 1, 2);
    // The label of "Kind of file:" and of "Select file:" line up.
    Label6->setMinimumWidth(std::max(Label5->sizeHint().width(), Label6->sizeHint().width()));
    Label5->setMinimumWidth(Label6->minimumWidth());

    // Right: every line of the list, and below it the files of the line selected.
    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    LabelOutLines = MakeLabel("Lines of the batch file:", "LabelOutLines");
    right->addWidget(LabelOutLines);
    OutLines = new QTreeView;
    OutLines->setObjectName(QStringLiteral("OutLines"));
    OutLines->setRootIsDecorated(false);
    OutLines->setUniformRowHeights(true);
    OutLines->setSelectionMode(QAbstractItemView::SingleSelection);
    OutLines->setAllColumnsShowFocus(true);
    ElideRowsInTheMiddle(OutLines);
    outLinesModel_ = new OutLinesModel(editor_, OutLines);
    OutLines->setModel(outLinesModel_);
    OutLines->header()->setStretchLastSection(true);
    OutLines->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    OutLines->viewport()->setAcceptDrops(true);
    OutLines->viewport()->installEventFilter(this);
    OutLines->setMinimumHeight(90);
    right->addWidget(OutLines, 3);

    Label4 = MakeLabel("File structure to open simultaneously with one output:", "Label4");
    right->addWidget(Label4);
    ListBox1 = new QListWidget;
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ElideRowsInTheMiddle(ListBox1);
    // Placeholder rows until the first paint shows slot 1.
    for (int i = 1; i <= 20; ++i) {
        ListBox1->addItem(QString::number(i % 10));
    }
    ListBox1->installEventFilter(this);
    ListBox1->viewport()->setAcceptDrops(true);
    ListBox1->viewport()->installEventFilter(this);
    ListBox1->setMinimumHeight(90);
    right->addWidget(ListBox1, 2);
    // Below the rows: how many lines of the file lie past the slots, kept as they are.
    LabelMoreLines = new QLabel;
    LabelMoreLines->setObjectName(QStringLiteral("LabelMoreLines"));
    right->addWidget(LabelMoreLines);

    auto* pageRow = new QHBoxLayout;
    Label8 = MakeLabel("Page Number:", "Label8");
    pageRow->addWidget(Label8);
    SpinEditPageNo = new SpinEdit;
    SpinEditPageNo->setObjectName(QStringLiteral("SpinEditPageNo"));
    SpinEditPageNo->setRange(0, 9999);
    SpinEditPageNo->setValue(0);
    SpinEditPageNo->setMinimumWidth(69);
    pageRow->addWidget(SpinEditPageNo);
    pageRow->addStretch(1);
    Button1Clear = MakeButton("1 c&lear", "Button1Clear");
    Button1Clear->setMinimumSize(94, 30);
    pageRow->addWidget(Button1Clear);
    right->addLayout(pageRow);

    Panel1 = new QFrame;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    auto* panel = new QHBoxLayout(Panel1);
    panel->setContentsMargins(10, 6, 8, 6);
    Label2 = new QLabel(QStringLiteral("Output order number:"));
    Label2->setObjectName(QStringLiteral("Label2"));
    panel->addWidget(Label2);
    SpinEdit1 = new SpinEdit;
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setFont(bigFont);
    SpinEdit1->setRange(1, 100);
    SpinEdit1->setValue(1);
    SpinEdit1->setMinimumWidth(69);
    panel->addWidget(SpinEdit1);
    LabelMaxOutNo = new QLabel(QStringLiteral("/100"));
    LabelMaxOutNo->setObjectName(QStringLiteral("LabelMaxOutNo"));
    LabelMaxOutNo->setFont(bigFont);
    // Wide enough for "/100" without resizing on every change.
    LabelMaxOutNo->setMinimumWidth(QFontMetrics(bigFont).horizontalAdvance(QStringLiteral("/100")));
    panel->addWidget(LabelMaxOutNo);
    panel->addStretch(1);
    ButtonAllClear = MakeButton("&All clear", "ButtonAllClear");
    ButtonAllClear->setMinimumSize(93, 31);
    panel->addWidget(ButtonAllClear);
    right->addWidget(Panel1);
    grid->addLayout(right, 1, 2, 4, 1);

    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 4);
    grid->setRowStretch(2, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    ButtonHelp = MakeButton("&Help", "ButtonHelp", this);
    ButtonCancel = MakeButton("&Cancel", "ButtonCancel", this);
    ButtonOutListOK = MakeButton("&OK", "ButtonOutListOK", this);
    for (QPushButton* button : {ButtonHelp, ButtonCancel, ButtonOutListOK}) {
        button->setMinimumSize(100, 31);
        bottom->addWidget(button);
    }
    LayOutResizable(*this, page, bottom, QSize(1180, 640));

    // Enter on a file of the list takes it, as "==>" does; in either of the list's views.
    for (QAbstractItemView* view : FileView1->findChildren<QAbstractItemView*>()) {
        view->installEventFilter(this);
    }
    SelectFilename->installEventFilter(this);

    SetFileKinds(kDesignFileKinds);

    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TFormOutFileList::SpinEdit1Change);
    connect(
        OutLines->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current) {
            if (!syncingLines_ && current.isValid() && current.row() < outLinesModel_->SlotRows()) {
                SpinEdit1->setValue(current.row() + 1);
            }
        });
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
    connect(ButtonFileSelectLines, &QPushButton::clicked, this,
            &TFormOutFileList::ButtonFileSelectLinesClick);
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
    LabelMoreLines->setText(MoreLinesText());
}

QString TFormOutFileList::MoreLinesText() const {
    return editor_.MoreLines() == 0
               ? QString()
               : QStringLiteral("+ %1 more lines past output 100, kept as they are")
                     .arg(editor_.MoreLines());
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
    ShowOutLines();
}

void TFormOutFileList::ShowOutLines() {
    // The line shown below is the one selected in the overview.
    const QSignalBlocker blocker(OutLines->selectionModel());
    syncingLines_ = true;
    outLinesModel_->Refresh();
    if (editor_.Current() >= 1) {
        const QModelIndex shown = outLinesModel_->index(editor_.Current() - 1, 0);
        OutLines->selectionModel()->setCurrentIndex(
            shown, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        OutLines->scrollTo(shown);
    }
    OutLines->viewport()->update();
    syncingLines_ = false;
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
    const bool toLines = watched == OutLines->viewport();
    const bool toRows = watched == ListBox1->viewport();
    switch (event->type()) {
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
            if (watched == ListBox1) {
                ListBox1KeyDown(key);
            } else if (watched == SelectFilename && enter) {
                SelectFilenameKeyPress(13);
                return true;
            } else if (enter && FileView1->isAncestorOf(static_cast<QWidget*>(watched))) {
                ButtonFileSelectClick();
                return true;
            }
            break;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (toLines || toRows) {
                auto* drag = static_cast<QDragMoveEvent*>(event);
                if (editor_.Loaded() && !DroppedFiles(drag->mimeData()).empty()) {
                    drag->acceptProposedAction();
                } else {
                    drag->ignore();
                }
                return true;
            }
            break;
        case QEvent::Drop:
            if (toLines || toRows) {
                auto* drop = static_cast<QDropEvent*>(event);
                const std::vector<std::string> files = DroppedFiles(drop->mimeData());
                if (files.empty() || !editor_.Loaded()) {
                    drop->ignore();
                    return true;
                }
                drop->acceptProposedAction();
                // Onto the lines, each file a line; onto the files of one line, into that line.
                if (toLines) {
                    TakeLines(files);
                } else {
                    TakeFiles(files);
                }
                return true;
            }
            break;
        default:
            break;
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

std::vector<std::string> TFormOutFileList::SelectedFiles() const {
    const std::string folder = FromQt(FolderView1->SelectedPath());
    std::vector<std::string> paths;
    for (const TFileView::Item& item : FileView1->SelectedItems()) {
        paths.push_back(JoinPath(folder, FromQt(item.displayName)));
    }
    return paths;
}

void TFormOutFileList::ButtonFileSelectClick() {
    // Taken before the walk: selecting a folder in the tree refills the list.
    TakeFiles(SelectedFiles());
}

void TFormOutFileList::TakeFiles(const std::vector<std::string>& paths) {
    // One message for the whole selection: thousands of files past the row limit would
    // otherwise each bring up a box of their own.
    Refusals refusals;
    for (const std::string& path : paths) {
        if (!platform::FileExists(path)) {
            continue;
        }
        const TakeResult result = TakeFile(path, &refusals);
        if (result == TakeResult::Folder || result == TakeResult::Replaced) {
            break;
        }
    }
    TellRefusals(refusals);
}

void TFormOutFileList::TellRefusals(const Refusals& refusals) {
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

void TFormOutFileList::ButtonFileSelectLinesClick() {
    TakeLines(SelectedFiles());
}

void TFormOutFileList::TakeLines(const std::vector<std::string>& paths) {
    if (!editor_.Loaded()) {
        return;
    }
    Refusals refusals;
    std::vector<std::string> entries;
    for (const std::string& path : paths) {
        if (!platform::FileExists(path)) {
            continue;
        }
        // Folders are passed over here: each file of the selection is a line, nothing else.
        const std::string resolved = ResolveLinkFile(path);
        if (resolved.empty() || !platform::FileExists(resolved) ||
            platform::DirectoryExists(resolved)) {
            continue;
        }
        if (GetInputFileKind(resolved, settings_) == 0) {
            refusals.unregistered.Add(NamePart(resolved));
            continue;
        }
        entries.push_back(OutListEditor::WithPage(resolved, SpinEditPageNo->value()));
    }
    const int first = editor_.AddLines(entries);
    if (first > 0) {
        // The first new line is shown below, so its files can be added to at once.
        SpinEdit1->setValue(first);
    }
    ShowRows(SelectedRow());
    DisplayMaxOutNo();
    LabelMoreLines->setText(MoreLinesText());
    TellRefusals(refusals);
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
    // Every line at once is too much to lose to a slip of the mouse.
    if (editor_.HighestUsed() > 0 &&
        !AskYesNo(this, QStringLiteral("Clear every output of the batch file?"))) {
        return;
    }
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
