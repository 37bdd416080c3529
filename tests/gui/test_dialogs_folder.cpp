// "Selection of folder": where it starts, what "Open" returns, what Cancel keeps, "To upper",
// and the shell widgets it embeds (address box, context menu).
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "gui/shell/FolderOpen.h"
#include "gui/shell/ShellWidgets.h"
#include "test_dialogs_support.h"

namespace {

using ka::test::Child;
using ka::test::KeyToFocus;
using ka::test::Native;
using ka::test::RecordingMessageSink;
using ka::test::ScopedCurrentDir;
using ka::test::ShowActive;
using ka::test::TempDir;
using ka::test::TypeToFocus;
using ka::ui::FromQt;
using ka::ui::TFolderOpenForm;
using ka::ui::TFolderView;
using ka::ui::ToQt;

// A local path as a file URL: forward slashes, and a Windows drive after a third slash.
std::string FileUrl(const std::string& path) {
    const std::string slashed = FromQt(QDir::fromNativeSeparators(ToQt(path)));
    return (slashed.rfind('/', 0) == 0 ? "file://" : "file:///") + slashed;
}

class FolderDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ka::test::MakeDir(temp / "a");
        ka::test::MakeDir(temp / "a/b");
    }
    std::string Shown() const { return FromQt(Child<QLineEdit>(dialog, "SelectFilename")->text()); }
    std::string TreePath() const {
        return FromQt(Child<TFolderView>(dialog, "FolderView1")->SelectedPath());
    }

    TempDir temp;
    ka::Settings settings;
    RecordingMessageSink sink;
    TFolderOpenForm dialog{settings, sink};
};

TEST_F(FolderDialogTest, EmptyStartShowsTheCurrentDirectory) {
    ScopedCurrentDir cwd(temp / "a");
    dialog.sFolderName.clear();
    ShowActive(dialog);
    EXPECT_EQ(TreePath(), Native(temp / "a"));
    EXPECT_EQ(Shown(), Native(temp / "a"));
    dialog.reject();
}

TEST_F(FolderDialogTest, StartFolderIsSelectedAndOpenReturnsIt) {
    dialog.sFolderName = temp / "a/b";
    ShowActive(dialog);
    EXPECT_EQ(Shown(), Native(temp / "a/b"));
    QTest::mouseClick(Child<QPushButton>(dialog, "ButtonOK"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.sFolderName, Native(temp / "a/b"));
}

// The program's data folder lives under a hidden folder on POSIX (~/.local/share).
TEST_F(FolderDialogTest, HiddenStartFolderIsSelectedToo) {
    ka::test::MakeDir(temp / ".hidden/data");
    dialog.sFolderName = temp / ".hidden/data";
    ShowActive(dialog);
    EXPECT_EQ(Shown(), Native(temp / ".hidden/data"));
    dialog.reject();
}

TEST_F(FolderDialogTest, MissingStartFolderKeepsTheLastSelection) {
    dialog.sFolderName = temp / "a";
    ShowActive(dialog);
    dialog.reject();
    dialog.sFolderName = temp / "missing";
    ShowActive(dialog);
    EXPECT_EQ(TreePath(), Native(temp / "a"));
    EXPECT_EQ(Shown(), Native(temp / "a"));
    dialog.reject();
    EXPECT_EQ(dialog.sFolderName, temp / "missing");
}

TEST_F(FolderDialogTest, TypedTextAndEnterReturnTheTextUnchecked) {
    dialog.sFolderName = temp.Path();
    ShowActive(dialog);
    QLineEdit* edit = Child<QLineEdit>(dialog, "SelectFilename");
    edit->setFocus();
    edit->clear();
    TypeToFocus(edit, QStringLiteral("no such folder  "));
    KeyToFocus(edit, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.sFolderName, "no such folder  ");
}

TEST_F(FolderDialogTest, CancelEscAndCloseKeepTheCallersFolder) {
    for (int way = 0; way < 3; ++way) {
        dialog.sFolderName = temp / "a";
        ShowActive(dialog);
        Child<QLineEdit>(dialog, "SelectFilename")->setText(QStringLiteral("typed"));
        if (way == 0)
            QTest::mouseClick(Child<QPushButton>(dialog, "ButtonCancel"), Qt::LeftButton);
        if (way == 1)
            KeyToFocus(&dialog, Qt::Key_Escape);
        if (way == 2)
            dialog.close();
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << way;
        EXPECT_EQ(dialog.sFolderName, temp / "a") << way;
    }
}

TEST_F(FolderDialogTest, ToUpperMovesUpAndRestoresTheCurrentDirectory) {
    const std::string cwd = ka::platform::CurrentDirectory();
    dialog.sFolderName = temp / "a/b";
    ShowActive(dialog);
    QPushButton* up = Child<QPushButton>(dialog, "BitBtn1");
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(Shown(), Native(temp / "a"));
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(Shown(), Native(temp.Path()));
    EXPECT_EQ(ka::platform::CurrentDirectory(), cwd);
    dialog.reject();
}

TEST_F(FolderDialogTest, ToUpperAtTheRootStaysThere) {
#ifdef _WIN32
    const std::string root = Native(temp.Path()).substr(0, 3);  // the drive's root, "C:\\"
#else
    const std::string root = "/";
#endif
    dialog.sFolderName = root;
    ShowActive(dialog);
    QTest::mouseClick(Child<QPushButton>(dialog, "BitBtn1"), Qt::LeftButton);
    EXPECT_EQ(Shown(), root);
    dialog.reject();
}

TEST_F(FolderDialogTest, AddressBoxMovesTheTreeOrShowsItsFolderAgain) {
    dialog.sFolderName = temp.Path();
    ShowActive(dialog);
    QComboBox* address = Child<QComboBox>(dialog, "ComboView1");
    EXPECT_EQ(FromQt(address->currentText()), Native(temp.Path()));

    // Clicked into, the box holds the focus and gets the keys; its edit field only through it.
    QTest::mouseClick(address->lineEdit(), Qt::LeftButton);
    address->lineEdit()->selectAll();
    TypeToFocus(address, ToQt(Native(temp / "a/b")));
    KeyToFocus(address, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible()) << "Enter in the address box must not press Open";
    EXPECT_EQ(Shown(), Native(temp / "a/b"));
    EXPECT_EQ(TreePath(), Native(temp / "a/b"));

    address->lineEdit()->selectAll();
    TypeToFocus(address, ToQt(temp / "nothing"));
    KeyToFocus(address, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Shown(), Native(temp / "a/b"));
    EXPECT_EQ(FromQt(address->currentText()), Native(temp / "a/b"));
    dialog.reject();
}

TEST_F(FolderDialogTest, RightClickSelectsAndTheMenuActsOnThatFolder) {
    dialog.sFolderName = temp / "a";
    ShowActive(dialog);
    TFolderView* tree = Child<TFolderView>(dialog, "FolderView1");
    const QModelIndex a = tree->currentIndex();
    tree->expand(a);
    // The tree lists "a" in the background; wait until "b" is there to be clicked.
    QModelIndex b;
    ASSERT_TRUE(ka::test::WaitFor([&] {
        b = tree->model()->index(0, 0, a);
        if (!b.isValid())
            return false;
        tree->scrollTo(b);
        return tree->viewport()->rect().contains(tree->visualRect(b).center()) &&
               b.data().toString() == QLatin1String("b");
    }));
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualRect(b).center());
    EXPECT_EQ(Shown(), Native(temp / "a/b"));

    std::vector<std::string> opened;
    ka::ui::TContextMenuEx& menu = dialog.ContextMenu();
    menu.SetUrlOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, tree->visualRect(b).center(),
                            tree->viewport()->mapToGlobal(tree->visualRect(b).center()));
    QApplication::sendEvent(tree->viewport(), &event);
    ASSERT_NE(menu.Menu(), nullptr);
    const QList<QAction*> actions = menu.Menu()->actions();
    ASSERT_EQ(actions.size(), 3);
    actions[0]->trigger();
    actions[1]->trigger();
    actions[2]->trigger();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], FileUrl(temp / "a/b"));
    EXPECT_EQ(opened[1], FileUrl(temp / "a"));
    EXPECT_EQ(FromQt(QGuiApplication::clipboard()->text()), Native(temp / "a/b"));
    menu.Menu()->close();
    dialog.reject();
}

}  // namespace
