// The About window and its link labels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "gui/shell/Orrin3.h"
#include "gui/shell/URLLink.h"
#include "test_keys.h"

namespace {

void MoveMouse(QWidget* widget, const QPoint& global) {
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(global), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void Enter(QWidget* widget) {
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(widget, &enter);
}

void Leave(QWidget* widget) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
}

class AboutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        for (auto* link : {Link("URLLink1"), Link("URLLink2")}) {
            link->SetUrlOpener([this](const std::string& target) {
                opened.push_back(target);
                return true;
            });
        }
        about.show();
        QApplication::setActiveWindow(&about);
    }
    TURLLink* Link(const char* name) { return about.findChild<TURLLink*>(name); }

    TOrrin3Form about;
    std::vector<std::string> opened;
};

TEST_F(AboutTest, OkEnterAndEscCloseIt) {
    EXPECT_FALSE(about.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint |
                                        Qt::WindowSystemMenuHint));
    EXPECT_EQ(QApplication::focusWidget(), about.findChild<QPushButton*>("ButtonOK"));
    ka::test::KeyToFocus(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    about.show();
    QApplication::setActiveWindow(&about);
    QTest::mouseClick(about.findChild<QPushButton*>("ButtonOK"), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
    about.show();
    QApplication::setActiveWindow(&about);
    ka::test::KeyToFocus(&about, Qt::Key_Return);
    EXPECT_FALSE(about.isVisible());
}

struct ClickRow {
    const char* link;
    Qt::MouseButton button;
    const char* expected;  // empty: nothing opened
};

class AboutClickTest : public AboutTest, public ::testing::WithParamInterface<ClickRow> {};

TEST_P(AboutClickTest, OnlyTheLeftButtonOpensTheTarget) {
    const ClickRow& row = GetParam();
    QTest::mouseClick(Link(row.link), row.button, Qt::NoModifier, QPoint(3, 3));
    const std::vector<std::string> expected =
        row.expected[0] ? std::vector<std::string>{row.expected} : std::vector<std::string>{};
    EXPECT_EQ(opened, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Links, AboutClickTest,
    ::testing::Values(ClickRow{"URLLink2", Qt::LeftButton, "mailto:support@tavrolint.example"},
                      ClickRow{"URLLink1", Qt::LeftButton, "https://www.tavrolint.example/"},
                      ClickRow{"URLLink2", Qt::RightButton, ""},
                      ClickRow{"URLLink1", Qt::RightButton, ""}));

TEST_F(AboutTest, AboutLinksNeverShowAHint) {
    for (auto* link : {Link("URLLink1"), Link("URLLink2")}) {
        Enter(link);
        MoveMouse(link, link->mapToGlobal(QPoint(4, 4)));
        EXPECT_FALSE(link->IsHintShown());
        EXPECT_FALSE(link->HintWindow()->isVisible());
        Leave(link);
    }
}

// ---- TURLLink on its own ------------------------------------------------------------------

TEST(URLLinkTest, MailPrefixIsAlwaysAdded) {
    TURLLink link;
    link.SetURLType(tpMAIL);
    // A mail link that already has the prefix is opened with it twice.
    link.SetLink("mailto:a@b.example");
    std::string opened;
    link.SetUrlOpener([&opened](const std::string& target) { return !(opened = target).empty(); });
    link.show();
    QTest::mouseClick(&link, Qt::LeftButton);
    EXPECT_EQ(opened, "mailto:mailto:a@b.example");
}

TEST(URLLinkTest, HoverSwapsTheColourShowsOneHintAtTheOffsetsAndLeavesWithTheMouse) {
    TURLLink link;
    link.SetLink("https://www.tavrolint.example/");
    link.SetHintOffsetX(20);
    link.SetHintOffsetY(7);
    QFont font;
    font.setPixelSize(17);
    link.SetHintFormFont(font);
    link.show();
    EXPECT_EQ(link.FontColor(), QColor(Qt::blue));

    Enter(&link);
    EXPECT_EQ(link.FontColor(), QColor(Qt::red));
    MoveMouse(&link, QPoint(300, 200));
    ASSERT_TRUE(link.IsHintShown());
    QWidget* hint = link.HintWindow();
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(hint->pos(), QPoint(320, 207));
    const QFontMetrics metrics(font);
    EXPECT_EQ(hint->size(),
              QSize(metrics.horizontalAdvance(link.Link()) + 6, metrics.height() + 3));
    MoveMouse(&link, QPoint(400, 400));  // later moves leave it where it is
    EXPECT_EQ(hint->pos(), QPoint(320, 207));

    Leave(&link);
    EXPECT_EQ(link.FontColor(), QColor(Qt::blue));
    EXPECT_FALSE(hint->isVisible());
}

}  // namespace
