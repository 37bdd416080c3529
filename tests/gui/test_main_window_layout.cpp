// The main window as a user handles it: resized, reopened where it was left, and driven from
// the keyboard (mnemonics, Tab order, Enter on a focused button).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Startup.h"
#include "gui/app/OrrinM.h"
#include "gui/common/Help.h"
#include "gui/common/Orrin1Ui.h"
#include "settings/RunSettings.h"
#include "settings/WindowPlacement.h"
#include "shell/UnitShell.h"
#include "test_keys.h"

namespace {

using ka::test::KeyToFocus;

class MainWindowUseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        ka::ui::SetHelpRequestHook(
            [this](int topic, const QString&, bool) { help.push_back(topic); });
    }
    void TearDown() override { ka::ui::SetHelpRequestHook(nullptr); }

    // A window past its start-up, shown and active as a user meets it.
    TOrrinMForm& Open() {
        form = std::make_unique<TOrrinMForm>(settings, flags, sink);
        flags.bStarted = true;
        form->show();
        QApplication::setActiveWindow(form.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return *form;
    }
    template <typename T = QWidget>
    T* Find(const char* name) const {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    std::string DataDir() const { return ka::DataFolderPath(appData.Path()); }
    // The control of the window that holds the focus: the named ancestor of the focus widget.
    std::string FocusedControl() const {
        for (QWidget* w = QApplication::focusWidget(); w && w != form.get();
             w = w->parentWidget()) {
            const QString name = w->objectName();
            if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
                return name.section(QLatin1Char('_'), 0, 0).toStdString();
        }
        return "nothing";
    }

    ka::test::TempDir appData;
    ka::test::ScopedEnv dataHome{ka::test::DataHomeVariable(), appData.Path()};
    ka::Settings settings;
    ka::ProgramFlags flags;
    ka::test::RecordingMessageSink sink;
    std::vector<int> help;
    std::unique_ptr<TOrrinMForm> form;
};

TEST_F(MainWindowUseTest, ResizedTheRunListTakesTheRoomAndEveryControlStaysWhole) {
    Open();
    const QSize minimum = form->minimumSize();
    // Small enough for 1366 x 768 at scale 1.5 and 1920 x 1080 at 2 (910 x 512 and 960 x 540
    // pixels of layout, title bar included).
    EXPECT_LE(minimum.width(), 900);
    EXPECT_LE(minimum.height(), 480);
    // Windows settles a window's size in more than one step.
    form->resize(200, 100);
    QTRY_COMPARE(form->size(), minimum);

    const char* const controls[] = {
        "PageControl1",  "Bevel1",           "ButtonAppMinimize", "ListBox1",
        "ProgressRun",   "ButtonSetAutoPar", "ButtonAutoOutput",  "ButtonBatchOutput",
        "ButtonChgArea", "ButtonResults",    "ButtonHelp",        "ButtonVersion",
        "ButtonOK"};
    QSize listAtMinimum;
    QSize formAtMinimum;  // Windows may give it a little more than asked for
    for (const QSize size : {minimum, QSize(1010, 597), QSize(1800, 1000)}) {
        form->resize(size);
        QApplication::processEvents();
        if (size == minimum) {
            listAtMinimum = Find("ListBox1")->size();
            formAtMinimum = form->size();
        }
        const std::string at = std::to_string(size.width()) + "x" + std::to_string(size.height());
        std::vector<QRect> placed;
        for (const char* name : controls) {
            QWidget* control = Find(name);
            const QRect bounds(control->mapTo(form.get(), QPoint(0, 0)), control->size());
            EXPECT_TRUE(control->isVisible()) << name << " " << at;
            EXPECT_TRUE(form->rect().contains(bounds)) << name << " " << at;
            // Never squeezed below what its caption needs.
            if (auto* button = qobject_cast<QPushButton*>(control)) {
                const int text = button->fontMetrics().horizontalAdvance(
                    button->text().remove(QLatin1Char('&')));
                EXPECT_GT(button->width(), text) << name << " " << at;
            }
            for (const QRect& other : placed)
                EXPECT_FALSE(bounds.intersects(other)) << name << " " << at;
            placed.push_back(bounds);
        }
        // Windows keeps a window within its screen: the size it got, not the size asked for.
        EXPECT_EQ(Find("ListBox1")->size() - listAtMinimum, form->size() - formAtMinimum) << at;
    }
}

struct PlacementRow {
    const char* what;
    ka::WindowPlacement stored;
    bool kept;  // shown exactly as stored
};

TEST_F(MainWindowUseTest, ReopensWhereItWasLeftAndWithinASmallerScreen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // A place that fits the screen at the window's least width (wider under Windows' fonts).
    Open();
    const int width = std::max(700, form->minimumWidth());
    form.reset();
    const int x = area.x() + std::max(0, std::min(20, area.width() - width));
    const PlacementRow rows[] = {
        {"where it was", {{x, area.y() + 30, width, 500}, false}, true},
        {"larger than the screen, title bar above it",
         {{area.x() - 73, area.y() - 45, area.width() + 715, area.height() + 296}, false},
         false},
        {"on a screen no longer there",
         {{area.right() + 2000, area.y() + 10, 700, 500}, false},
         false},
    };
    for (const PlacementRow& row : rows) {
        ka::test::MakeDir(appData / "Tavrolint");
        ka::test::MakeDir(DataDir());
        ASSERT_EQ(ka::SaveWindowPlacement(DataDir(), row.stored), 0);
        Open();
        const ka::ScreenRect& r = row.stored.rect;
        if (row.kept) {
            EXPECT_EQ(form->geometry(), QRect(r.x, r.y, r.width, r.height)) << row.what;
        } else {
            EXPECT_TRUE(area.contains(form->frameGeometry())) << row.what;
            EXPECT_GE(form->width(), form->minimumWidth()) << row.what;
        }
        form.reset();
    }
}

TEST_F(MainWindowUseTest, EndRemembersThePlaceButAnUnattendedRunDoesNot) {
    ka::test::TempDir init;
    ka::test::WriteFileBytes(init / "KorvaneAuto.par", ka::test::ParFileBytes());
    for (const bool unattended : {true, false}) {
        form = std::make_unique<TOrrinMForm>(settings, flags, sink);
        form->SetInitFolder(init.Path());
        if (unattended)
            form->SetCommandLineArguments(
                {"/h", ka::JoinPath(appData / "none", "*.hgl"), appData.Path()});
        form->show();
        QTRY_VERIFY(form->ParameterFileLoaded());
        QApplication::processEvents();
        QRect placed;
        if (form->isVisible()) {
            form->setGeometry(40, 50, std::max(720, form->minimumWidth()), 510);
            placed = form->geometry();
            QTest::mouseClick(Find<QPushButton>("ButtonOK"), Qt::LeftButton);
        }
        form->FormDestroy();
        ka::WindowPlacement kept;
        EXPECT_EQ(ka::LoadWindowPlacement(DataDir(), kept), !unattended);
        if (!unattended) {
            EXPECT_EQ(placed.topLeft(), QPoint(40, 50));
            EXPECT_EQ(kept, (ka::WindowPlacement{
                                {placed.x(), placed.y(), placed.width(), placed.height()}, false}));
        }
        form.reset();
        flags = {};
    }
}

TEST_F(MainWindowUseTest, TabFollowsTheColumnsFromTheFocusOnSet) {
    Open();
    Find<QCheckBox>("CheckBoxChgArea")->setChecked(true);  // "Compare folders" takes the focus too
    EXPECT_EQ(FocusedControl(), "ButtonSetAutoPar");
    Find("PageControl1")->setFocus(Qt::TabFocusReason);
    std::vector<std::string> visited;
    for (int i = 0; i < 13; ++i) {
        visited.push_back(FocusedControl());
        KeyToFocus(form.get(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited,
              (std::vector<std::string>{
                  "PageControl1", "CheckBoxChgArea", "RadioGroupOutTyp", "ButtonAppMinimize",
                  "ListBox1", "ButtonSetAutoPar", "ButtonAutoOutput", "ButtonBatchOutput",
                  "ButtonChgArea", "ButtonResults", "ButtonHelp", "ButtonVersion", "ButtonOK"}));
    EXPECT_EQ(FocusedControl(), "PageControl1");  // round again
}

struct KeyRow {
    Qt::Key key;
    const char* button;
};

TEST_F(MainWindowUseTest, MnemonicsAndEnterPressTheirButtons) {
    Open();
    Find<QCheckBox>("CheckBoxChgArea")->setChecked(true);
    const KeyRow rows[] = {{Qt::Key_S, "ButtonSetAutoPar"},  {Qt::Key_T, "ButtonAutoOutput"},
                           {Qt::Key_B, "ButtonBatchOutput"}, {Qt::Key_F, "ButtonChgArea"},
                           {Qt::Key_H, "ButtonHelp"},        {Qt::Key_A, "ButtonVersion"}};
    for (const KeyRow& row : rows) {
        auto* button = Find<QPushButton>(row.button);
        QSignalSpy clicks(button, &QPushButton::clicked);
        KeyToFocus(form.get(), row.key, Qt::AltModifier);
        // A mnemonic shows the button pressed for a moment before it clicks.
        EXPECT_TRUE(clicks.wait(1000)) << row.button << " by Alt";
        button->setFocus(Qt::TabFocusReason);
        KeyToFocus(button, Qt::Key_Return);
        EXPECT_EQ(clicks.count(), 2) << row.button << " by Enter";
    }
    EXPECT_EQ(help.size(), 2u);
    EXPECT_EQ(sink.messages.size(), 6u);  // the three runs say what they lack, twice each

    KeyToFocus(form.get(), Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(!Find<QCheckBox>("CheckBoxChgArea")->isChecked());
    KeyToFocus(form.get(), Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 1);
    KeyToFocus(form.get(), Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(flags.bEndRequested);
    EXPECT_FALSE(form->isVisible());
}

}  // namespace
