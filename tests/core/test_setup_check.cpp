// The folder boxes of "Set", what a run from the window's buttons needs, and the message texts
// built for the user.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/platform.h"
#include "settings/SetupCheck.h"
#include "settings/UserMessages.h"

namespace ka {
namespace {

TEST(SetupCheck, FolderBoxAcceptsEmptyOrAnExistingFolderAndNamesTheBoxOtherwise) {
    test::TempDir tmp;
    test::MakeDir(tmp / "out");
    const PathRules rules = PathRules::Native();
    // "/" in the rows stands for this system's separator.
    const auto n = [&rules](std::string path) {
        std::replace(path.begin(), path.end(), '/', rules.Separator());
        return path;
    };
    const std::string t = tmp.Path();
    struct Case {
        std::string text;
        bool ok;
        std::string folder;
        std::string message;
    };
    const std::string missing = "Box:\n" + n(t + "/gone") + "\nfolder does not exist!";
    const std::vector<Case> cases = {
        {"", true, "", ""},
        {"  ", true, "", ""},
        {n(t + "/out/"), true, n(t + "/out/"), ""},
        {n(t + "/out"), true, n(t + "/"), ""},  // no final separator: the folder above
        {n(t + "/out/*.hgl"), true, n(t + "/out/"), ""},
        {n("/x.hgl"), true, n("/"), ""},
        {n(t + "/gone/x"), false, n(t + "/gone/"), missing},
        {n(t + "/gone/*.hgl"), false, n(t + "/gone/"), missing},
        {"*.hgl", false, "", "Box:\n*.hgl\nnames no folder!"},
    };
    for (const Case& c : cases) {
        const FolderBoxCheck check = CheckFolderBox("Box", c.text, rules);
        EXPECT_EQ(check.ok, c.ok) << c.text;
        EXPECT_EQ(check.folder, c.folder) << c.text;
        EXPECT_EQ(check.message, c.message) << c.text;
        EXPECT_EQ(check.missing, c.message == missing ? n(t + "/gone") : "") << c.text;
    }
}

TEST(SetupCheck, MissingFolderIsCreatedWithTheFoldersAboveIt) {
    test::TempDir tmp;
    test::WriteFileBytes(tmp / "file", "x");
    const std::string deep = JoinPath(JoinPath(tmp / "a", "b"), "c");
    EXPECT_TRUE(CreateFolderTree(deep));
    EXPECT_TRUE(platform::DirectoryExists(deep));
    EXPECT_TRUE(CreateFolderTree(deep));  // already there
    EXPECT_FALSE(CreateFolderTree(JoinPath(tmp / "file", "sub")));
    EXPECT_FALSE(CreateFolderTree(""));
}

// "Set" refuses the first box in the dialog's order and names it; accepted, the output folder and
// comparison folder 2 become their folder part.
TEST(SetupCheck, SettingsEntriesAreCheckedInBoxOrder) {
    test::TempDir tmp;
    test::WriteFileBytes(tmp / "list.txt", "");
    const std::string gone = JoinPath(tmp / "gone", "x");
    SettingsEntries good;
    good.korvaneExe = test::ConverterExe();
    good.outListFileName = tmp / "list.txt";
    good.outDir = JoinPath(tmp.Path(), "out.pdf");
    good.chgAreaDir2 = JoinPath(tmp.Path(), "b");
    const struct {
        std::string SettingsEntries::*field;
        std::string text;
        SettingsBox box;
    } rows[] = {
        {&SettingsEntries::korvaneExe, tmp / "none.exe", SettingsBox::KorvaneExe},
        {&SettingsEntries::outListFileName, tmp / "none.txt", SettingsBox::OutListFileName},
        {&SettingsEntries::autoOutDirFName, gone, SettingsBox::StandbyInput},
        {&SettingsEntries::outDir, gone, SettingsBox::OutDir},
        {&SettingsEntries::chgAreaDir1, gone, SettingsBox::Compare1},
        {&SettingsEntries::chgAreaDir2, gone, SettingsBox::Compare2},
    };
    for (const auto& row : rows) {
        SettingsEntries entries = good;
        entries.*row.field = row.text;
        const SettingsVerdict verdict = CheckSettingsEntries(entries);
        EXPECT_EQ(verdict.box, row.box) << row.text;
        const std::string named = row.text == gone ? tmp / "gone" : row.text;
        EXPECT_NE(verdict.message.find(named), std::string::npos) << verdict.message;
    }
    SettingsEntries entries = good;
    EXPECT_EQ(CheckSettingsEntries(entries).box, SettingsBox::None);
    EXPECT_EQ(entries.outDir, WithTrailingSeparator(tmp.Path()));
    EXPECT_EQ(entries.chgAreaDir2, WithTrailingSeparator(tmp.Path()));
}

TEST(SetupCheck, SettingsEntriesStoreInTheStoresUnitsAndTheBatchListIsNeverEmptied) {
    Settings settings;
    SettingsEntries entries;
    entries.skipSizeDiffers = true;
    entries.noOut = true;
    StoreSettingsEntries(entries, settings);
    EXPECT_EQ(settings.iAutoWaitTime, 2);  // 0 minutes
    EXPECT_EQ(settings.iCompSkipFlags, 2);
    EXPECT_EQ(settings.iNoOut, 1);
    entries.waitMinutes = 7;
    entries.skipSameSizeAndTime = true;
    StoreSettingsEntries(entries, settings);
    EXPECT_EQ(settings.iAutoWaitTime, 420);
    EXPECT_EQ(settings.iCompSkipFlags, 3);
    const SettingsEntries shown = EntriesOf(settings);
    EXPECT_EQ(shown.waitMinutes, 7);
    EXPECT_TRUE(shown.skipSameSizeAndTime && shown.skipSizeDiffers && shown.noOut);

    test::TempDir tmp;
    test::RecordingMessageSink sink;
    test::WriteFileBytes(tmp / "list.txt", "kept\r\n");
    EXPECT_EQ(CreateEmptyFile(tmp / "list.txt", sink), 0);
    EXPECT_EQ(test::ReadFileBytes(tmp / "list.txt"), "kept\r\n");
    EXPECT_EQ(CreateEmptyFile(tmp / "new.txt", sink), 0);
    EXPECT_EQ(test::ReadFileBytes(tmp / "new.txt"), "");
    EXPECT_NE(CreateEmptyFile(JoinPath(tmp / "gone", "new.txt"), sink), 0);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].find("cannot be created"), std::string::npos);
}

TEST(SetupCheck, RunsFromTheButtonsNeedWhatTheyUse) {
    struct Case {
        const char* name;
        RunKind kind;
        bool output1Shown;
        bool compareOn;
        int outTyp;
        const char* outDir;
        const char* standby;
        const char* compare1;
        const char* compare2;
        const char* missing;  // start of the message; "" when the run may start
    };
    const std::vector<Case> cases = {
        {"BatchNoOutDir", RunKind::Batch, true, false, 0, "", "", "", "", "No output folder"},
        {"BatchBlankOutDir", RunKind::Batch, true, false, 0, " ", "", "", "", "No output folder"},
        {"BatchOutDir", RunKind::Batch, true, false, 0, "/o/", "", "", "", ""},
        {"BatchDisplayWritesNothing", RunKind::Batch, true, false, 22, "", "", "", "", ""},
        {"BatchNoOutputComparison", RunKind::Batch, true, true, 22, "", "", "", "", ""},
        {"BatchPage2Writes", RunKind::Batch, false, false, 22, "", "", "", "", "No output folder"},
        {"StandbyNoInput", RunKind::Standby, true, false, 0, "/o/", "", "", "", "No input folder"},
        {"StandbyNoWildcard", RunKind::Standby, true, false, 0, "/o/", "/in/", "", "",
         "No input folder"},
        {"StandbyNoFolder", RunKind::Standby, true, false, 0, "/o/", "*.hgl", "", "",
         "No input folder"},
        {"StandbyReady", RunKind::Standby, true, false, 0, "/o/", "/in/*.hgl", "", "", ""},
        {"StandbyNoOutDir", RunKind::Standby, true, false, 0, "", "/in/*.hgl", "", "",
         "No output folder"},
        {"StandbyComparingWatchesFile1", RunKind::Standby, true, true, 0, "/o/", "/in/*.hgl", "",
         "/c2/", "No comparison file 1"},
        {"StandbyComparingNeedsFolder2", RunKind::Standby, true, true, 0, "/o/", "", "/c1/*.hgl",
         "", "The comparison folders"},
        {"StandbyPage2IgnoresCompare", RunKind::Standby, false, true, 0, "/o/", "/in/*.hgl", "", "",
         ""},
        {"CompareNoFolders", RunKind::Compare, true, true, 0, "/o/", "", "", "",
         "The comparison folders"},
        {"CompareReady", RunKind::Compare, true, true, 0, "/o/", "", "/c1/*.hgl", "/c2/", ""},
    };
    for (const Case& c : cases) {
        Settings settings;
        settings.iOutTyp = static_cast<std::uint8_t>(c.outTyp);
        settings.sOutDir = c.outDir;
        settings.sAutoOutDirFName = c.standby;
        settings.sChgAreaDir1 = c.compare1;
        settings.sChgAreaDir2 = c.compare2;
        const std::string message =
            MissingRunSetup(c.kind, settings, c.output1Shown, c.compareOn, PathRules::Posix());
        EXPECT_EQ(message.substr(0, std::string(c.missing).size()), c.missing) << c.name;
        EXPECT_EQ(message.empty(), std::string(c.missing).empty()) << c.name;
    }
}

TEST(UserMessages, PathsStandApartAndManyRefusalsMakeOneMessage) {
    EXPECT_EQ(PathMessage("/a/list.txt", "cannot be created."), "/a/list.txt\ncannot be created.");
    EXPECT_EQ(PathMessage("C:\\x.exe", " file does not exist!"), "C:\\x.exe\nfile does not exist!");

    RefusedItems refused;
    EXPECT_EQ(refused.Message("file was not taken", "files were not taken", "full"), "");
    for (int i = 1; i <= 20000; ++i) {
        refused.Add("f" + std::to_string(i));
    }
    EXPECT_EQ(refused.Count(), 20000u);
    EXPECT_EQ(refused.Message("file was not taken", "files were not taken", "full."),
              "20000 files were not taken: full.\nf1\nf2\nf3\nf4\nf5\n... and 19995 more");
    RefusedItems few;
    few.Add("a");
    EXPECT_EQ(few.Message("line was skipped", "lines were skipped", "why"),
              "1 line was skipped: why\na");
    few.Add("b");
    EXPECT_EQ(few.Message("line was skipped", "lines were skipped", "why"),
              "2 lines were skipped: why\na\nb");

    HeldMessages held;
    held.ShowMsg("one");
    held.ShowMsg("two");
    test::RecordingMessageSink sink;
    EXPECT_TRUE(sink.messages.empty());
    held.Flush(sink);
    held.Flush(sink);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"one", "two"}));
}

}  // namespace
}  // namespace ka
