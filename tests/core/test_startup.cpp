// Data folder preparation and loading of the parameter file at start-up.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "app/Startup.h"
#include "platform/platform.h"
#include "settings/RunSettings.h"
#include "settings/WindowPlacement.h"

namespace ka {
namespace {

TEST(Startup, FolderPaths) {
    const std::tuple<std::string, std::string, PathRules> initRows[] = {
        {"C:\\Prog\\KorvaneAuto.exe", "C:\\Prog\\Init", PathRules::Windows()},
        {"/opt/ka/KorvaneAuto", "/opt/ka/Init", PathRules::Posix()}};
    for (const auto& [exe, init, rules] : initRows) {
        EXPECT_EQ(InitFolderPath(exe, rules), init) << exe;
    }
    const std::tuple<std::string, std::string, PathRules> dataRows[] = {
        {"C:\\Users\\u\\AppData\\Local", "C:\\Users\\u\\AppData\\Local\\Tavrolint\\KorvaneAuto",
         PathRules::Windows()},
        {"", "\\Tavrolint\\KorvaneAuto", PathRules::Windows()},
        {"", "/Tavrolint/KorvaneAuto", PathRules::Posix()},
        {"/home/u/.local/share/", "/home/u/.local/share/Tavrolint/KorvaneAuto",
         PathRules::Posix()}};
    for (const auto& [appData, dataDir, rules] : dataRows) {
        EXPECT_EQ(DataFolderPath(appData, rules), dataDir) << appData;
    }
}

class DataFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        test::MakeDir(init);
        test::MakeDir(JoinPath(init, "sub"));
        test::WriteFileBytes(JoinPath(init, "KorvaneAuto.par"), "shipped");
        test::WriteFileBytes(JoinPath(JoinPath(init, "sub"), "f.txt"), "sub file");
    }

    test::TempDir root;
    std::string init = root / "Init";
    std::string appData = root / "Local";
    std::string vendor = JoinPath(appData, "Tavrolint");
    std::string dataDir = JoinPath(vendor, "KorvaneAuto");
    Settings settings;
};

TEST_F(DataFolder, NewFolderIsCreatedLevelByLevelAndSeededFromInit) {
    test::MakeDir(appData);
    EXPECT_TRUE(PrepareDataFolder(settings, appData, init));
    EXPECT_EQ(settings.sDataDir, dataDir);
    EXPECT_EQ(settings.sParFile, JoinPath(dataDir, "KorvaneAuto.par"));
    EXPECT_EQ(settings.sComLineFile, JoinPath(dataDir, "Korvaneline.txt"));
    EXPECT_EQ(test::ReadFileBytes(settings.sParFile), "shipped");
    EXPECT_EQ(test::ReadFileBytes(JoinPath(JoinPath(dataDir, "sub"), "f.txt")), "sub file");
}

// A new account has no ~/.local/share yet.
TEST_F(DataFolder, MissingApplicationDataFolderIsCreatedPrivately) {
    const std::string home = root / "home";
    appData = JoinPath(JoinPath(home, ".local"), "share");
    EXPECT_TRUE(PrepareDataFolder(settings, appData, init));
    EXPECT_EQ(test::ReadFileBytes(settings.sParFile), "shipped");
    if (PathRules::Native().style == PathStyle::Posix) {
        for (const std::string& dir : {JoinPath(home, ".local"), appData}) {
            const auto perms = std::filesystem::status(dir).permissions();
            EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms::owner_all)
                << dir;
        }
    }
}

TEST_F(DataFolder, VendorFolderWithoutProgramFolderCountsAsNew) {
    test::MakeDir(vendor);
    EXPECT_TRUE(PrepareDataFolder(settings, appData, init));
    EXPECT_EQ(test::ReadFileBytes(settings.sParFile), "shipped");
}

TEST_F(DataFolder, ExistingFolderIsLeftAlone) {
    test::MakeDir(dataDir);
    test::WriteFileBytes(JoinPath(dataDir, "KorvaneAuto.par"), "user's");
    EXPECT_FALSE(PrepareDataFolder(settings, appData, init));
    EXPECT_EQ(test::ReadFileBytes(settings.sParFile), "user's");
    EXPECT_FALSE(platform::PathExists(JoinPath(dataDir, "sub")));
}

TEST_F(DataFolder, UncreatableFolderIsNotReportedAndLoadFailsLater) {
    // The parent of the application-data folder is a file: nothing can be created below it.
    test::WriteFileBytes(appData, "a file");
    EXPECT_TRUE(PrepareDataFolder(settings, appData, init));
    EXPECT_EQ(settings.sDataDir, dataDir);
    test::RecordingMessageSink sink;
    EXPECT_EQ(LoadParameterFile(settings, sink, init), 1);
    EXPECT_EQ(settings.iIoResult, 1);
    EXPECT_TRUE(sink.messages.empty());
}

// Another version's file, or one cut short, gives way to the shipped one but is kept, and said.
TEST_F(DataFolder, UnreadableFileIsKeptAsBadAndTheShippedOneUsed) {
    const std::string shipped = test::ParFileBytes({{"iCompFileSizeOver", "55"}});
    const std::string whole = test::ParFileBytes({{"sOutDir", "/mine/"}});
    const std::string damaged[] = {"Version 9.0\r\n", "Version 10.11\r\n",
                                   whole.substr(0, whole.size() / 2) + "\x1A" + "rest"};
    test::WriteFileBytes(JoinPath(init, "KorvaneAuto.par"), shipped);
    test::MakeDir(dataDir);
    for (const std::string& old : damaged) {
        test::WriteFileBytes(JoinPath(dataDir, "KorvaneAuto.par"), old);
        PrepareDataFolder(settings, appData, init);
        test::RecordingMessageSink sink;
        EXPECT_EQ(LoadParameterFile(settings, sink, init), 0);
        EXPECT_EQ(settings.iCompFileSizeOver, 55);
        EXPECT_EQ(test::ReadFileBytes(settings.sParFile), shipped);
        EXPECT_EQ(test::ReadFileBytes(settings.sParFile + ".bad"), old);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_NE(sink.messages[0].find("kept as KorvaneAuto.par.bad"), std::string::npos);
    }
}

TEST(RunSettingsFile, DefaultsClampingAndForeignLinesKept) {
    test::TempDir dir;
    const std::string ini = RunSettingsPath(dir.Path());
    EXPECT_EQ(LoadRunSettings(dir.Path()).successExitCodes, std::vector<int>{0});
    // Nothing to write while every value is its default.
    EXPECT_EQ(SaveRunSettings(dir.Path(), RunSettings()), 0);
    EXPECT_FALSE(platform::PathExists(ini));

    test::WriteFileBytes(
        ini, test::CrLfLines({"; by hand", "[Run]", "successexitcodes = 0; 3;x", "Converters=900",
                              "ConverterIdleMinutes=0.5", "ReplaceOutputs=yes", "Other=kept", "",
                              "[Window]", "Geometry=1,2"}));
    RunSettings run = LoadRunSettings(dir.Path());
    EXPECT_EQ(run.successExitCodes, (std::vector<int>{0, 3}));
    EXPECT_TRUE(run.IsSuccessExitCode(3));
    EXPECT_FALSE(run.IsSuccessExitCode(1));
    EXPECT_EQ(run.converters, 64);
    EXPECT_DOUBLE_EQ(run.converterIdleMinutes, 0.5);
    EXPECT_FALSE(run.replaceOutputs);  // no number: the default stays

    run.sharedHotFolder = true;
    ASSERT_EQ(SaveRunSettings(dir.Path(), run), 0);
    EXPECT_EQ(test::ReadFileBytes(ini),
              test::CrLfLines({"; by hand", "[Run]", "SuccessExitCodes=0;3", "Converters=64",
                               "ConverterIdleMinutes=0.5", "ReplaceOutputs=0", "Other=kept",
                               "SharedHotFolder=1", "", "[Window]", "Geometry=1,2"}));
    EXPECT_TRUE(LoadRunSettings(dir.Path()).sharedHotFolder);
}

TEST(WindowPlacementFile, SharesTheFileWithTheRunSettingsAndKeepsItsLines) {
    test::TempDir dir;
    const std::string ini = RunSettingsPath(dir.Path());
    WindowPlacement placement;
    EXPECT_FALSE(LoadWindowPlacement(dir.Path(), placement));
    test::WriteFileBytes(ini, test::CrLfLines({"[Run]", "Converters=2", "[Window]", "Left=7",
                                               "Top=8", "Width=0", "Height=9", "Mine=kept"}));
    EXPECT_FALSE(LoadWindowPlacement(dir.Path(), placement));  // no size: nothing to restore

    const WindowPlacement saved{{-1200, 30, 900, 500}, true};
    ASSERT_EQ(SaveWindowPlacement(dir.Path(), saved), 0);
    EXPECT_EQ(test::ReadFileBytes(ini),
              test::CrLfLines({"[Run]", "Converters=2", "[Window]", "Left=-1200", "Top=30",
                               "Width=900", "Height=500", "Mine=kept", "Maximized=1"}));
    ASSERT_TRUE(LoadWindowPlacement(dir.Path(), placement));
    EXPECT_EQ(placement, saved);
    EXPECT_EQ(LoadRunSettings(dir.Path()).converters, 2);
}

struct FitRow {
    const char* what;
    ScreenRect frame;
    ScreenRect expected;
};

TEST(WindowPlacementFit, BringsTheWindowBackIntoTheAvailableArea) {
    // The area of a 1366 x 768 screen with a panel of 32 pixels at the top; minimum 600 x 400.
    const ScreenRect area{0, 32, 1366, 736};
    const FitRow rows[] = {
        {"fits: unchanged", {100, 100, 1010, 597}, {100, 100, 1010, 597}},
        {"title bar above the screen", {-73, -45, 1010, 597}, {0, 32, 1010, 597}},
        {"past the right and bottom edges", {900, 600, 800, 500}, {566, 268, 800, 500}},
        {"larger than the screen", {-73, -45, 1515, 896}, {0, 32, 1366, 736}},
        {"on a screen that is gone", {3000, 100, 1010, 597}, {356, 100, 1010, 597}},
        {"smaller than the minimum", {10, 40, 200, 100}, {10, 40, 600, 400}},
    };
    for (const FitRow& row : rows) {
        EXPECT_EQ(FitIntoArea(row.frame, area, 600, 400), row.expected) << row.what;
    }
    // A minimum larger than the area wins, at the area's top-left corner.
    EXPECT_EQ(FitIntoArea({50, 60, 700, 700}, {0, 0, 640, 480}, 800, 500),
              (ScreenRect{0, 0, 800, 500}));
}

TEST_F(DataFolder, ShippedFileOfAnotherVersionFails) {
    test::WriteFileBytes(JoinPath(init, "KorvaneAuto.par"), "Version 9.0\r\n");
    test::MakeDir(appData);
    ASSERT_TRUE(PrepareDataFolder(settings, appData, init));
    settings.iCompFileSizeOver = 77;
    test::RecordingMessageSink sink;
    EXPECT_EQ(LoadParameterFile(settings, sink, init), 2);
    EXPECT_EQ(settings.iIoResult, 2);
    EXPECT_EQ(settings.iCompFileSizeOver, 77);
}

}  // namespace
}  // namespace ka
