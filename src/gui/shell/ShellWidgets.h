// The shell browsing widgets that the batch file creation dialog and the folder selection
// dialog embed: a folder tree, a file list, an address box and a small context menu. They sit
// on Qt's file-system model, which lists folders in a background thread and only as they are
// shown, so folders of many thousands of files stay responsive.
#pragma once

#include <QComboBox>
#include <QObject>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>
#include <QTreeView>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QAbstractItemView;
class QFileSystemModel;
class QListView;
class QMenu;
class QStackedWidget;
class QTimer;

namespace ka::ui {

class TContextMenuEx;
class TFileView;

// Tree of the file system's folders.
class TFolderView : public QTreeView {
    Q_OBJECT
  public:
    explicit TFolderView(QWidget* parent = nullptr);

    // Selects the folder (native or "/" separators). False, with the selection kept, when the
    // text names no existing folder.
    bool SelectPath(const QString& path);
    // Native path of the selected folder; empty before anything was selected.
    QString SelectedPath() const;

    void SetContextMenu(TContextMenuEx* menu) { menu_ = menu; }
    QFileSystemModel* FileSystemModel() const { return model_; }

  signals:
    // The selected folder changed (by the user or by SelectPath).
    void changed(const QString& path);

  protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    QFileSystemModel* model_;
    TContextMenuEx* menu_ = nullptr;
    QString lastReported_;
    // The folders above a selected one arrive in the background and push it out of sight; it
    // is scrolled back into view as they come, until the user moves the tree.
    bool keepSelectionInView_ = false;
    QTimer* scrollTimer_;
};

// "Up" of both dialogs: the tree's folder is made the process's current directory, the tree
// moves to "..", and the previous current directory is restored. A root stays where it is.
// False when the tree's folder cannot be made current.
bool SelectParentFolder(TFolderView& tree);

// Shows the files of one folder whose extension is in a list of masks, with the subfolders.
class FileMaskProxy : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    // ".hgl" entries; ".*" shows every file; "" or "." stands for files without extension.
    void SetMasks(const QStringList& masks);
    const QStringList& Masks() const { return masks_; }
    // True when a file of this name passes the masks (folders always do).
    bool NamePasses(const QString& fileName) const;

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    QStringList masks_;
    QStringList extensions_;  // lower case, with the dot; "" for no extension
    bool allFiles_ = false;
};

// The files and subfolders of a folder, in one of four view styles.
class TFileView : public QWidget {
    Q_OBJECT
  public:
    enum class ViewStyle { Report, List, SmallIcon, LargeIcon };

    explicit TFileView(QWidget* parent = nullptr);

    // The tree drives the list; a double-clicked folder opens in the tree.
    void SetFolderView(TFolderView* tree);
    void SetContextMenu(TContextMenuEx* menu) { menu_ = menu; }

    void SetFolder(const QString& path);
    QString Folder() const { return folder_; }

    void SetMasks(const QStringList& masks);
    QStringList Masks() const;
    // Applies the masks again to what the folder holds.
    void Refill();

    void SetViewStyle(ViewStyle style);
    ViewStyle CurrentViewStyle() const { return style_; }

    // Full native path of the selected item (the first one in list order); empty for none.
    QString SelectedPath() const;

    struct Item {
        QString displayName;
        QString path;
        bool isFolder = false;
    };
    // The selected items in list order.
    std::vector<Item> SelectedItems() const;

    // What the list shows now, in list order (for the dialogs' own checks and for tests).
    int ItemCount() const;
    QStringList ItemNames() const;
    // Selects the items of these names (others are deselected); false when one is missing.
    bool SelectNames(const QStringList& names);

    QAbstractItemView* CurrentView() const;
    QModelIndex IndexOfName(const QString& name) const;

  signals:
    // An item was double-clicked. Connected handlers run first; a double-clicked folder then
    // opens in the tree.
    void doubleClicked();
    // The folder's listing arrived (the model fills in a background thread).
    void folderLoaded(const QString& path);

  private:
    void OnDoubleClicked(const QModelIndex& index);
    void OnContextMenu(QAbstractItemView* view, const QPoint& pos);
    void UpdateRoot();

    QFileSystemModel* model_;
    FileMaskProxy* proxy_;
    QStackedWidget* stack_;
    QTreeView* report_;
    QListView* list_;
    ViewStyle style_ = ViewStyle::List;
    QString folder_;
    QPointer<TFolderView> tree_;
    TContextMenuEx* menu_ = nullptr;
};

// Address box: shows the tree's folder; typing or choosing another path moves the tree.
class TComboView : public QComboBox {
    Q_OBJECT
  public:
    explicit TComboView(QWidget* parent = nullptr);

    void SetFolderView(TFolderView* tree);
    // Moves the tree to the text; false (and the tree's folder shown again) when it names no
    // folder.
    bool GoTo(const QString& path);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Enter moves the tree and is taken: in a dialog it would press the default button.
    bool TakeEnter(QKeyEvent* event);
    void ShowFolder(const QString& path);

    QPointer<TFolderView> tree_;
};

// Context menu of the tree and the file list: open the item with the desktop's opener, copy its
// path, or show its folder in the file manager.
class TContextMenuEx : public QObject {
    Q_OBJECT
  public:
    explicit TContextMenuEx(QObject* parent = nullptr);
    ~TContextMenuEx() override;

    // Pops the menu up for the item without waiting for the choice.
    void Popup(const QPoint& globalPos, const QString& path, QWidget* owner);
    QMenu* Menu() const;
    const QString& ItemPath() const { return path_; }

    bool OpenItem(const QString& path);
    void CopyPath(const QString& path);
    bool ShowInFileManager(const QString& path);

    // The desktop's URL opener by default; tests record instead.
    using UrlOpener = std::function<bool(const std::string& url)>;
    void SetUrlOpener(UrlOpener opener) { opener_ = std::move(opener); }

  private:
    QPointer<QMenu> menu_;
    QString path_;
    UrlOpener opener_;
};

}  // namespace ka::ui
