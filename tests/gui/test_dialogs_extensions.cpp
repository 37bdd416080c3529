// "Input file extension setting": what OK stores in each list, the rebuilt filter, and that
// Cancel, Esc and the close box store nothing.
#include <QLineEdit>
#include <QPushButton>

#include "gui/settings/SetInputFile.h"
#include "test_dialogs_support.h"

namespace {

using ka::Settings;
using ka::test::Child;
using ka::test::RecordingMessageSink;
using ka::test::ShowActive;
using ka::ui::TSetinputFileDlg;

struct EditCase {
    const char* editName;
    std::string Settings::*field;
};

const EditCase kEdits[] = {
    {"EditHpglFileExt", &Settings::sHpglFileExt}, {"EditImageFileExt", &Settings::sImageFileExt},
    {"EditPdfFileExt", &Settings::sPdfFileExt},   {"EditEmfFileExt", &Settings::sEmfFileExt},
    {"EditDxfFileExt", &Settings::sDxfFileExt},   {"EditDwgFileExt", &Settings::sDwgFileExt},
    {"EditIgesFileExt", &Settings::sIgesFileExt}, {"EditGerberFileExt", &Settings::sGerberFileExt},
};

struct TextCase {
    const char* typed;
    const char* stored;
};

const TextCase kTexts[] = {
    {"hgl; prn ;hpg", "hgl;prn;hpg"},  // blanks around separators go
    {"   ", ""},                       // only blanks: an empty list
    {"HGL", "HGL"},                    // case kept
    {".hgl", ".hgl"},                  // dot kept
    {"h g l", "hgl"},                  // blanks inside go too
    {"hgl;;\thpg;", "hgl;;\thpg;"},    // tabs, empty and trailing items kept
};

class ExtensionEditTest : public ::testing::TestWithParam<std::tuple<EditCase, TextCase>> {};

// Every edit box stores into its own list, and only there.
TEST_P(ExtensionEditTest, OkStoresTextWithoutBlanksIntoItsListOnly) {
    const auto& [edit, text] = GetParam();
    Settings settings;
    const Settings before = settings;
    RecordingMessageSink sink;
    TSetinputFileDlg dialog(settings, sink);
    ShowActive(dialog);

    QLineEdit* box = Child<QLineEdit>(dialog, edit.editName);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), before.*edit.field);
    box->setText(QString::fromLatin1(text.typed));
    QTest::mouseClick(Child<QPushButton>(dialog, "OKBtn"), Qt::LeftButton);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    for (const EditCase& other : kEdits) {
        const std::string expected =
            other.field == edit.field ? std::string(text.stored) : before.*other.field;
        EXPECT_EQ(settings.*other.field, expected) << other.editName;
    }
    EXPECT_EQ(settings.sSxfFileExt, "p21;sfc");
    EXPECT_TRUE(sink.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(AllEdits, ExtensionEditTest,
                         ::testing::Combine(::testing::ValuesIn(kEdits),
                                            ::testing::ValuesIn(kTexts)));

TEST(ExtensionDialog, OkRebuildsTheInputFilterAtOnce) {
    Settings settings;
    ka::MakeInputFilter(settings);
    RecordingMessageSink sink;
    TSetinputFileDlg dialog(settings, sink);
    ShowActive(dialog);
    Child<QLineEdit>(dialog, "EditHpglFileExt")->setText(QStringLiteral("hgl; plt"));
    Child<QLineEdit>(dialog, "EditPdfFileExt")->setText(QString());
    // Enter presses OK, the default button.
    Child<QLineEdit>(dialog, "EditPdfFileExt")->setFocus();
    ka::test::KeyToFocus(Child<QLineEdit>(dialog, "EditPdfFileExt"), Qt::Key_Return);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.sInputFilter,
              "HPGL(*.hgl;*.plt)|.hgl;.plt|Image(*.tif)|.tif|PDF(*.)|.|EMF(*.emf)|.emf|"
              "DXF(*.dxf)|.dxf|DWG(*.dwg)|.dwg|IGES(*.igs)|.igs|GERBER(*.gbr)|.gbr|"
              "SXF(*.p21;*.sfc)|.p21;.sfc|COMMENT(*.cmt)|.cmt|All Files(*.*)|.*");
}

enum class CloseBy { CancelButton, EscKey, CloseBox };

class ExtensionCloseTest : public ::testing::TestWithParam<CloseBy> {};

TEST_P(ExtensionCloseTest, ClosingWithoutOkStoresNothing) {
    Settings settings;
    settings.sHpglFileExt = "hgl;plt";
    ka::MakeInputFilter(settings);
    const std::string filter = settings.sInputFilter;
    RecordingMessageSink sink;
    TSetinputFileDlg dialog(settings, sink);
    ShowActive(dialog);
    for (const EditCase& edit : kEdits) {
        Child<QLineEdit>(dialog, edit.editName)->setText(QStringLiteral("x y"));
    }
    switch (GetParam()) {
        case CloseBy::CancelButton:
            QTest::mouseClick(Child<QPushButton>(dialog, "CancelBtn"), Qt::LeftButton);
            break;
        case CloseBy::EscKey:
            ka::test::KeyToFocus(&dialog, Qt::Key_Escape);
            break;
        case CloseBy::CloseBox:
            dialog.close();
            break;
    }
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings.sHpglFileExt, "hgl;plt");
    EXPECT_EQ(settings.sImageFileExt, "tif");
    EXPECT_EQ(settings.sInputFilter, filter);

    // The next showing starts again from the store, not from what was typed.
    ShowActive(dialog);
    EXPECT_EQ(Child<QLineEdit>(dialog, "EditHpglFileExt")->text(), QStringLiteral("hgl;plt"));
    dialog.reject();
}

INSTANTIATE_TEST_SUITE_P(Ways, ExtensionCloseTest,
                         ::testing::Values(CloseBy::CancelButton, CloseBy::EscKey,
                                           CloseBy::CloseBox));

}  // namespace
