#include "gui/shell/ShellWidgets.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "gui/common/Orrin1Ui.h"
#include "platform/platform.h"

namespace ka::ui {

namespace {

// Absolute "/"-separated form of a folder text; empty when it names no existing folder.
QString ExistingFolder(const QString& path) {
    if (path.isEmpty()) {
        return {};
    }
    QString clean = QDir::fromNativeSeparators(path);
    // "C:" alone means a drive's current folder to the system; the tree shows the drive.
    if (clean.size() == 2 && clean[1] == QLatin1Char(':') && clean[0].isLetter()) {
        clean += QLatin1Char('/');
    }
    const QFileInfo info(clean);
    if (!info.isDir()) {
        return {};
    }
    return QDir::cleanPath(info.absoluteFilePath());
}

// Icons and type names from the kind of entry alone. The default provider looks up every
// file's content type, on the window's thread, which stalls it for seconds on a big folder.
class PlainIconProvider : public QAbstractFileIconProvider {
  public:
    PlainIconProvider()
        : folder_(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
          file_(QApplication::style()->standardIcon(QStyle::SP_FileIcon)),
          drive_(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon)),
          computer_(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon)) {}

    QIcon icon(IconType type) const override {
        switch (type) {
            case Computer:
                return computer_;
            case Drive:
                return drive_;
            case Folder:
                return folder_;
            default:
                return file_;
        }
    }
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) {
            return drive_;
        }
        return info.isDir() ? folder_ : file_;
    }
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) {
            return QStringLiteral("Folder");
        }
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("File")
                                : suffix.toUpper() + QStringLiteral(" File");
    }

  private:
    QIcon folder_;
    QIcon file_;
    QIcon drive_;
    QIcon computer_;
};

void SetUpModel(QFileSystemModel& model, QDir::Filters filters) {
    model.setReadOnly(true);
    // Custom folder icons mean reading every folder's settings file; not worth it here.
    model.setOption(QFileSystemModel::DontUseCustomDirectoryIcons, true);
    auto* provider = new PlainIconProvider;
    model.setIconProvider(provider);
    // The model does not own its provider.
    QObject::connect(&model, &QObject::destroyed, [provider] { delete provider; });
    model.setFilter(filters);
}

}  // namespace

// ---- TFolderView ----------------------------------------------------------------------------

TFolderView::TFolderView(QWidget* parent)
    : QTreeView(parent), model_(new QFileSystemModel(this)), scrollTimer_(new QTimer(this)) {
    SetUpModel(*model_, QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    model_->setRootPath(QString());
    setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) {
        hideColumn(column);
    }
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    // Rows arrive and get sorted in bursts; scroll once after each burst.
    scrollTimer_->setSingleShot(true);
    scrollTimer_->setInterval(20);
    connect(scrollTimer_, &QTimer::timeout, this, [this] {
        if (keepSelectionInView_ && currentIndex().isValid()) {
            scrollTo(currentIndex());
        }
    });
    const auto keepInView = [this] {
        if (keepSelectionInView_) {
            scrollTimer_->start();
        }
    };
    connect(model_, &QFileSystemModel::directoryLoaded, this, keepInView);
    connect(model_, &QAbstractItemModel::rowsInserted, this, keepInView);
    connect(model_, &QAbstractItemModel::layoutChanged, this, keepInView);
}

bool TFolderView::SelectPath(const QString& path) {
    const QString folder = ExistingFolder(path);
    if (folder.isEmpty()) {
        return false;
    }
    const QModelIndex index = model_->index(folder);
    if (!index.isValid()) {
        return false;
    }
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) {
        expand(up);
    }
    if (index != currentIndex()) {
        setCurrentIndex(index);
    }
    scrollTo(index);
    keepSelectionInView_ = true;
    return true;
}

QString TFolderView::SelectedPath() const {
    const QModelIndex index = currentIndex();
    if (!index.isValid()) {
        return {};
    }
    return QDir::toNativeSeparators(model_->filePath(index));
}

void TFolderView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    const QString path = SelectedPath();
    if (path != lastReported_) {
        lastReported_ = path;
        emit changed(path);
    }
}

void TFolderView::mousePressEvent(QMouseEvent* event) {
    keepSelectionInView_ = false;
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) {
            setCurrentIndex(index);
        }
    }
    QTreeView::mousePressEvent(event);
}

void TFolderView::wheelEvent(QWheelEvent* event) {
    keepSelectionInView_ = false;
    QTreeView::wheelEvent(event);
}

void TFolderView::keyPressEvent(QKeyEvent* event) {
    keepSelectionInView_ = false;
    QTreeView::keyPressEvent(event);
}

void TFolderView::contextMenuEvent(QContextMenuEvent* event) {
    if (!menu_) {
        return;
    }
    const QString path = SelectedPath();
    if (!path.isEmpty()) {
        menu_->Popup(event->globalPos(), path, this);
    }
}

bool SelectParentFolder(TFolderView& tree) {
    const std::string folder = FromQt(tree.SelectedPath());
    const std::string remembered = platform::CurrentDirectory();
    if (folder.empty() || !platform::ChangeDirectory(folder)) {
        return false;
    }
    const bool moved = platform::ChangeDirectory("..");
    const std::string parent = platform::CurrentDirectory();
    platform::ChangeDirectory(remembered);
    if (moved) {
        tree.SelectPath(ToQt(parent));
    }
    return true;
}

// ---- FileMaskProxy --------------------------------------------------------------------------

void FileMaskProxy::SetMasks(const QStringList& masks) {
    masks_ = masks;
    extensions_.clear();
    allFiles_ = false;
    for (const QString& mask : masks) {
        QString ext = mask.toLower();
        if (ext == QLatin1String(".*")) {
            allFiles_ = true;
            continue;
        }
        if (ext.startsWith(QLatin1Char('.'))) {
            ext.remove(0, 1);
        }
        extensions_ << ext;
    }
    invalidateFilter();
}

bool FileMaskProxy::NamePasses(const QString& fileName) const {
    if (allFiles_) {
        return true;
    }
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : fileName.mid(dot + 1).toLower();
    return extensions_.contains(ext);
}

bool FileMaskProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
    const QModelIndex index = model->index(sourceRow, 0, sourceParent);
    return model->isDir(index) || NamePasses(model->fileName(index));
}

// ---- TFileView ------------------------------------------------------------------------------

TFileView::TFileView(QWidget* parent)
    : QWidget(parent),
      model_(new QFileSystemModel(this)),
      proxy_(new FileMaskProxy(this)),
      stack_(new QStackedWidget(this)),
      report_(new QTreeView),
      list_(new QListView) {
    SetUpModel(*model_, QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot);
    model_->sort(0, Qt::AscendingOrder);
    proxy_->setSourceModel(model_);

    report_->setModel(proxy_);
    report_->setRootIsDecorated(false);
    report_->setItemsExpandable(false);
    report_->setUniformRowHeights(true);
    report_->setAllColumnsShowFocus(true);
    report_->header()->resizeSection(0, 200);

    list_->setModel(proxy_);
    list_->setSelectionModel(report_->selectionModel());
    // Lays out big folders in slices, so the window keeps answering.
    list_->setLayoutMode(QListView::Batched);
    list_->setBatchSize(1000);
    list_->setResizeMode(QListView::Adjust);
    list_->setTextElideMode(Qt::ElideRight);

    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(list_)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QAbstractItemView::doubleClicked, this, &TFileView::OnDoubleClicked);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& pos) { OnContextMenu(view, pos); });
        stack_->addWidget(view);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);

    connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
        if (!folder_.isEmpty() &&
            QDir::cleanPath(path) == QDir::cleanPath(QDir::fromNativeSeparators(folder_))) {
            emit folderLoaded(folder_);
        }
    });
    SetViewStyle(ViewStyle::List);
}

void TFileView::SetFolderView(TFolderView* tree) {
    if (tree_) {
        disconnect(tree_, nullptr, this, nullptr);
    }
    tree_ = tree;
    if (tree_) {
        connect(tree_, &TFolderView::changed, this, &TFileView::SetFolder);
        if (!tree_->SelectedPath().isEmpty()) {
            SetFolder(tree_->SelectedPath());
        }
    }
}

void TFileView::SetFolder(const QString& path) {
    folder_ = path;
    UpdateRoot();
}

void TFileView::UpdateRoot() {
    if (folder_.isEmpty()) {
        return;
    }
    const QModelIndex sourceRoot = model_->setRootPath(QDir::fromNativeSeparators(folder_));
    const QModelIndex root = proxy_->mapFromSource(sourceRoot);
    report_->setRootIndex(root);
    list_->setRootIndex(root);
}

void TFileView::SetMasks(const QStringList& masks) {
    proxy_->SetMasks(masks);
}

QStringList TFileView::Masks() const {
    return proxy_->Masks();
}

void TFileView::Refill() {
    proxy_->invalidate();
    UpdateRoot();
}

void TFileView::SetViewStyle(ViewStyle style) {
    style_ = style;
    if (style == ViewStyle::Report) {
        stack_->setCurrentWidget(report_);
        return;
    }
    // Icons sit in a fixed grid, so every item can share one size; the list styles size each
    // item to its name.
    list_->setUniformItemSizes(style == ViewStyle::LargeIcon);
    if (style == ViewStyle::LargeIcon) {
        list_->setViewMode(QListView::IconMode);
        list_->setIconSize(QSize(32, 32));
        list_->setGridSize(QSize(96, 72));
        list_->setWordWrap(true);
        list_->setFlow(QListView::LeftToRight);
    } else {
        list_->setViewMode(QListView::ListMode);
        list_->setIconSize(QSize(16, 16));
        list_->setWordWrap(false);
        if (style == ViewStyle::SmallIcon) {
            list_->setGridSize(QSize(160, 20));
            list_->setFlow(QListView::LeftToRight);
        } else {
            list_->setGridSize(QSize());
            list_->setFlow(QListView::TopToBottom);
        }
    }
    list_->setMovement(QListView::Static);
    list_->setWrapping(true);
    list_->setResizeMode(QListView::Adjust);
    stack_->setCurrentWidget(list_);
}

QAbstractItemView* TFileView::CurrentView() const {
    return style_ == ViewStyle::Report ? static_cast<QAbstractItemView*>(report_)
                                       : static_cast<QAbstractItemView*>(list_);
}

std::vector<TFileView::Item> TFileView::SelectedItems() const {
    QModelIndexList indexes;
    for (const QModelIndex& index : report_->selectionModel()->selectedIndexes()) {
        if (index.column() == 0 && index.parent() == report_->rootIndex()) {
            indexes << index;
        }
    }
    std::sort(indexes.begin(), indexes.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<Item> items;
    items.reserve(static_cast<std::size_t>(indexes.size()));
    for (const QModelIndex& index : indexes) {
        const QModelIndex source = proxy_->mapToSource(index);
        items.push_back({index.data(Qt::DisplayRole).toString(),
                         QDir::toNativeSeparators(model_->filePath(source)),
                         model_->isDir(source)});
    }
    return items;
}

QString TFileView::SelectedPath() const {
    const std::vector<Item> items = SelectedItems();
    return items.empty() ? QString() : items.front().path;
}

int TFileView::ItemCount() const {
    return proxy_->rowCount(report_->rootIndex());
}

QStringList TFileView::ItemNames() const {
    QStringList names;
    const QModelIndex root = report_->rootIndex();
    for (int row = 0; row < proxy_->rowCount(root); ++row) {
        names << proxy_->index(row, 0, root).data(Qt::DisplayRole).toString();
    }
    return names;
}

QModelIndex TFileView::IndexOfName(const QString& name) const {
    const QModelIndex root = report_->rootIndex();
    for (int row = 0; row < proxy_->rowCount(root); ++row) {
        const QModelIndex index = proxy_->index(row, 0, root);
        if (index.data(Qt::DisplayRole).toString() == name) {
            return index;
        }
    }
    return {};
}

bool TFileView::SelectNames(const QStringList& names) {
    QItemSelectionModel* selection = report_->selectionModel();
    selection->clearSelection();
    bool all = true;
    bool first = true;
    for (const QString& name : names) {
        const QModelIndex index = IndexOfName(name);
        if (!index.isValid()) {
            all = false;
            continue;
        }
        const auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
        if (first) {
            selection->setCurrentIndex(index, flags);
            first = false;
        } else {
            selection->select(index, flags);
        }
    }
    return all;
}

void TFileView::OnDoubleClicked(const QModelIndex& index) {
    const QModelIndex source = proxy_->mapToSource(index);
    const bool isFolder = source.isValid() && model_->isDir(source);
    const QString path = QDir::toNativeSeparators(model_->filePath(source));
    emit doubleClicked();
    if (isFolder && tree_) {
        tree_->SelectPath(path);
    }
}

void TFileView::OnContextMenu(QAbstractItemView* view, const QPoint& pos) {
    if (!menu_) {
        return;
    }
    const QModelIndex index = view->indexAt(pos);
    const QString path =
        index.isValid() ? QDir::toNativeSeparators(model_->filePath(proxy_->mapToSource(index)))
                        : folder_;
    if (!path.isEmpty()) {
        menu_->Popup(view->viewport()->mapToGlobal(pos), path, this);
    }
}

// ---- TComboView -----------------------------------------------------------------------------

TComboView::TComboView(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(20);
    connect(this, &QComboBox::activated, this, [this](int index) { GoTo(itemText(index)); });
    // The box holds the focus and hands keys to its edit field directly, past any filter there;
    // the filter only sees keys sent to the field itself.
    lineEdit()->installEventFilter(this);
}

void TComboView::SetFolderView(TFolderView* tree) {
    if (tree_) {
        disconnect(tree_, nullptr, this, nullptr);
    }
    tree_ = tree;
    if (tree_) {
        connect(tree_, &TFolderView::changed, this, &TComboView::ShowFolder);
        ShowFolder(tree_->SelectedPath());
    }
}

bool TComboView::GoTo(const QString& path) {
    if (!tree_) {
        return false;
    }
    if (tree_->SelectPath(path)) {
        return true;
    }
    ShowFolder(tree_->SelectedPath());
    return false;
}

bool TComboView::TakeEnter(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        return false;
    }
    // With the list open, Enter picks the highlighted folder, which "activated" follows.
    if (view() && view()->isVisible()) {
        return false;
    }
    GoTo(lineEdit()->text());
    event->accept();
    return true;
}

void TComboView::keyPressEvent(QKeyEvent* event) {
    if (!TakeEnter(event)) {
        QComboBox::keyPressEvent(event);
    }
}

bool TComboView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::KeyPress &&
        TakeEnter(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QComboBox::eventFilter(watched, event);
}

void TComboView::ShowFolder(const QString& path) {
    // The folder and the folders above it, top first, as the drop-down list.
    QStringList chain;
    QString folder = QDir::fromNativeSeparators(path);
    while (!folder.isEmpty()) {
        chain.prepend(QDir::toNativeSeparators(folder));
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder || QDir::cleanPath(up) == QDir::cleanPath(folder)) {
            break;
        }
        folder = up;
    }
    const QSignalBlocker blocker(this);
    clear();
    addItems(chain);
    setCurrentIndex(count() - 1);
    setEditText(path);
}

// ---- TContextMenuEx -------------------------------------------------------------------------

TContextMenuEx::TContextMenuEx(QObject* parent)
    : QObject(parent), opener_([](const std::string& url) { return platform::OpenUrl(url); }) {}

TContextMenuEx::~TContextMenuEx() {
    delete menu_.data();
}

QMenu* TContextMenuEx::Menu() const {
    return menu_.data();
}

void TContextMenuEx::Popup(const QPoint& globalPos, const QString& path, QWidget* owner) {
    // The previous menu may still be finishing its own event; let it go once that is done.
    if (menu_) {
        menu_->deleteLater();
    }
    path_ = path;
    menu_ = new QMenu(owner);
    menu_->setObjectName(QStringLiteral("ContextMenuEx1"));
    menu_->addAction(tr("Open"), this, [this] { OpenItem(path_); });
    menu_->addAction(tr("Copy path"), this, [this] { CopyPath(path_); });
    menu_->addAction(tr("Show in file manager"), this, [this] { ShowInFileManager(path_); });
    menu_->popup(globalPos);
}

namespace {
std::string FileUrl(const QString& path) {
    const QByteArray url = QUrl::fromLocalFile(QDir::fromNativeSeparators(path)).toEncoded();
    return std::string(url.constData(), static_cast<std::size_t>(url.size()));
}
}  // namespace

bool TContextMenuEx::OpenItem(const QString& path) {
    return !path.isEmpty() && opener_ && opener_(FileUrl(path));
}

void TContextMenuEx::CopyPath(const QString& path) {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->setText(QDir::toNativeSeparators(path));
    }
}

bool TContextMenuEx::ShowInFileManager(const QString& path) {
    if (path.isEmpty() || !opener_) {
        return false;
    }
    const QString folder = QFileInfo(QDir::fromNativeSeparators(path)).absolutePath();
    return opener_(FileUrl(folder));
}

}  // namespace ka::ui
