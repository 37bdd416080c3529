// The dialogs on a screen smaller than they need: the bottom buttons stay in sight and the rest
// scrolls to whatever has the focus. On a screen big enough nothing scrolls.
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>

#include "gui/batch/OutFileListDlg.h"
#include "gui/settings/SetAutoPar.h"
#include "gui/settings/SetInputFile.h"
#include "gui/shell/FolderOpen.h"
#include "test_dialogs_support.h"

namespace {

using ka::test::Child;

// The focusable control lowest down in the dialog's design.
QWidget* LowestControl(QWidget& page) {
    QWidget* lowest = nullptr;
    int bottom = -1;
    for (QWidget* widget : page.findChildren<QWidget*>()) {
        if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(&page))
            continue;
        const int y = widget->mapTo(&page, QPoint(0, widget->height())).y();
        if (y > bottom) {
            bottom = y;
            lowest = widget;
        }
    }
    return lowest;
}

TEST(DialogsOnScreen, FitTheAvailableAreaWithTheirButtonsInSight) {
    QApplication::setQuitOnLastWindowClosed(false);
    ka::test::TempDir temp;
    ka::test::WriteFileBytes(temp / "list.txt", "");
    ka::Settings settings;
    settings.sOutListFileName = temp / "list.txt";
    ka::MakeInputFilter(settings);
    ka::test::RecordingMessageSink sink;
    ka::ui::TSetAutoParForm set(settings, sink);
    ka::ui::TFormOutFileList batch(settings, sink);
    ka::ui::TFolderOpenForm folder(settings, sink);
    ka::ui::TSetinputFileDlg extensions(settings, sink);
    struct Row {
        QDialog* dialog;
        std::vector<const char*> kept;
    };
    const std::vector<Row> rows = {
        {&set, {"ButtonOK", "ButtonCancel", "ButtonHelp", "ButtonBatchFileExt"}},
        {&batch, {"ButtonOutListOK", "ButtonCancel", "ButtonHelp"}},
        {&folder, {"ButtonOK", "ButtonCancel"}},
        {&extensions, {"OKBtn", "CancelBtn"}},
    };
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    int scrolling = 0;
    int whole = 0;
    for (const Row& row : rows) {
        const std::string name = row.dialog->objectName().toStdString();
        ka::test::ShowActive(*row.dialog);
        auto* scroll = row.dialog->findChild<QScrollArea*>(QStringLiteral("DialogScrollArea"));
        ASSERT_NE(scroll, nullptr) << name;
        EXPECT_TRUE(area.contains(row.dialog->frameGeometry())) << name;
        // Smaller than the screen: the user can make it smaller, never below what it needs.
        row.dialog->resize(100, 100);
        EXPECT_GT(row.dialog->width(), 100) << name;
        for (const char* button : row.kept) {
            auto* control = Child<QPushButton>(*row.dialog, button);
            EXPECT_EQ(control->parentWidget(), row.dialog) << name << " " << button;
            EXPECT_TRUE(row.dialog->rect().contains(control->geometry())) << name << " " << button;
        }
        QApplication::processEvents();
        if (scroll->widget()->height() <= scroll->viewport()->height()) {
            ++whole;
        } else {
            ++scrolling;
            // Tabbing to the lowest control brings it into sight.
            QWidget* lowest = LowestControl(*scroll->widget());
            ASSERT_NE(lowest, nullptr) << name;
            lowest->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            const QRect inView(lowest->mapTo(scroll->viewport(), QPoint(0, 0)), lowest->size());
            EXPECT_TRUE(scroll->viewport()->rect().intersects(inView)) << name;
        }
        row.dialog->reject();
    }
    // Qt's offscreen screen is smaller than some of the dialogs need and larger than others;
    // both cases must have been seen.
    EXPECT_GT(scrolling, 0) << area.width() << "x" << area.height();
    EXPECT_GT(whole, 0) << area.width() << "x" << area.height();
}

}  // namespace
