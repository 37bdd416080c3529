// Pieces the dialogs share: filter texts for the file pickers, the spin boxes' range rule and
// the file list's view styles.
#include <QListView>
#include <QTreeView>

#include "gui/settings/SpinEdit.h"
#include "gui/shell/FileDialogs.h"
#include "gui/shell/ShellWidgets.h"
#include "test_dialogs_support.h"

namespace {

using ka::ui::SpinEdit;
using ka::ui::TFileView;

struct FilterCase {
    const char* filter;
    QStringList qt;
};

class NameFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(NameFilterTest, ProgramFiltersBecomeQtNameFilters) {
    EXPECT_EQ(ka::ui::ToQtNameFilters(QString::fromLatin1(GetParam().filter)), GetParam().qt);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, NameFilterTest,
    ::testing::Values(
        FilterCase{"Text file(*.TXT)|*.TXT", {"Text file(*.TXT) (*.TXT)"}},
        FilterCase{"TEXT file(*.txt)|*.txt|All(*.*)|*.*",
                   {"TEXT file(*.txt) (*.txt)", "All(*.*) (*)"}},  // "*.*" is every name
        FilterCase{"SXF(*.p21;*.sfc)|*.p21;*.sfc", {"SXF(*.p21;*.sfc) (*.p21 *.sfc)"}},
        FilterCase{"Odd", {"Odd (*)"}},  // a description without its pattern
        FilterCase{"", {}}));

struct ClampCase {
    const char* text;
    int value;
};

class SpinClampTest : public ::testing::TestWithParam<ClampCase> {};

TEST_P(SpinClampTest, LeavingTheBoxPutsTheTextInRange) {
    EXPECT_EQ(SpinEdit::ClampedValue(QString::fromLatin1(GetParam().text), 1, 99),
              GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, SpinClampTest,
                         ::testing::Values(ClampCase{"50", 50}, ClampCase{"0", 1},
                                           ClampCase{"100", 99}, ClampCase{"-7", 1},
                                           ClampCase{"", 1}, ClampCase{"-", 1},
                                           ClampCase{" 12 ", 12},
                                           ClampCase{"99999999999999999999999", 99},
                                           ClampCase{"-99999999999999999999999", 1}));

TEST(FileViewStyles, EachStyleShowsItsView) {
    ka::test::TempDir temp;
    ka::test::WriteFileBytes(temp / "a.hgl", "x");
    TFileView view;
    view.SetMasks({QStringLiteral(".*")});
    view.SetFolder(ka::ui::ToQt(temp.Path()));
    ka::test::ShowActive(view);
    ASSERT_TRUE(ka::test::WaitFor([&] { return view.ItemCount() == 1; }));

    view.SetViewStyle(TFileView::ViewStyle::Report);
    EXPECT_NE(qobject_cast<QTreeView*>(view.CurrentView()), nullptr);
    EXPECT_TRUE(view.CurrentView()->isVisible());
    for (auto style : {TFileView::ViewStyle::List, TFileView::ViewStyle::SmallIcon,
                       TFileView::ViewStyle::LargeIcon}) {
        view.SetViewStyle(style);
        auto* list = qobject_cast<QListView*>(view.CurrentView());
        ASSERT_NE(list, nullptr);
        EXPECT_TRUE(list->isVisible());
        EXPECT_EQ(list->viewMode(), style == TFileView::ViewStyle::LargeIcon ? QListView::IconMode
                                                                             : QListView::ListMode);
        EXPECT_EQ(list->flow(), style == TFileView::ViewStyle::List ? QListView::TopToBottom
                                                                    : QListView::LeftToRight);
    }
    // The selection is shared: what was selected in one style stays selected in the next.
    ASSERT_TRUE(view.SelectNames({QStringLiteral("a.hgl")}));
    view.SetViewStyle(TFileView::ViewStyle::Report);
    EXPECT_EQ(ka::ui::FromQt(view.SelectedPath()), temp / "a.hgl");
}

}  // namespace
