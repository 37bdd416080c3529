// Data folder preparation and loading of the parameter file at start-up.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "app/Startup.h"
#include "platform/platform.h"

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

TEST_F(DataFolder, OtherVersionIsReplacedByTheShippedFile) {
    const std::string shipped = test::ParFileBytes({{"iCompFileSizeOver", "55"}});
    test::WriteFileBytes(JoinPath(init, "KorvaneAuto.par"), shipped);
    test::MakeDir(dataDir);
    test::WriteFileBytes(JoinPath(dataDir, "KorvaneAuto.par"), "Version 9.0\r\n");
    PrepareDataFolder(settings, appData, init);
    test::RecordingMessageSink sink;
    EXPECT_EQ(LoadParameterFile(settings, sink, init), 0);
    EXPECT_EQ(settings.iIoResult, 0);
    EXPECT_EQ(settings.iCompFileSizeOver, 55);
    EXPECT_EQ(test::ReadFileBytes(settings.sParFile), shipped);
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
