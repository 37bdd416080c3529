// Starting the converter (the real stand-in) and the comparison log's place.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/RunModes.h"
#include "platform/platform.h"

namespace ka {
namespace {

class ConverterExec : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.sDataDir = tmp / "KorvaneAuto";
        test::MakeDir(settings.sDataDir);
        settings.sComLineFile = JoinPath(tmp / "Data Dir", "Korvaneline.txt");
        test::MakeDir(tmp / "Data Dir");
        // Blanks in both quoted paths.
        test::MakeDir(tmp / "Conv Dir");
        settings.sKorvaneExe = JoinPath(tmp / "Conv Dir", NamePart(test::ConverterExe()));
        std::filesystem::copy_file(test::ConverterExe(), settings.sKorvaneExe);
        Begin();
    }
    void Begin() {
        RunChoices choices;
        choices.settings = settings;
        modes.BeginRun(choices);
    }

    test::TempDir tmp;
    const std::string log = tmp / "standin.log";
    test::ScopedEnv logEnv{"KORVANE_STANDIN_LOG", log};
    Settings settings;
    ProgramFlags flags;
    test::RecordingMessageSink sink;
    test::RecordingRunHost host;
    RunModes modes{flags, sink, host};
};

// Both ways of starting the converter, with blanks in the converter's and the record file's
// paths: over the record file with "/z", and once per job for display.
TEST_F(ConverterExec, StartsQuoteThePathsTheyHandOver) {
    const std::string in = tmp / "my drawing.hgl";
    test::WriteFileBytes(in, "drawing");
    settings.sOutDir = WithTrailingSeparator(tmp / "Out Dir");
    test::MakeDir(tmp / "Out Dir");
    settings.sOutListFileName = tmp / "list.txt";
    test::WriteFileBytes(settings.sOutListFileName, test::CrLfLines({in}));
    const std::string out = settings.sOutDir + "my drawing.pdf";
    const std::string job = "/p \"" + in + "\" \"/o" + out + "\"";
    RunChoices choices;
    choices.settings = settings;
    modes.ButtonBatchOutputClick(choices);
    EXPECT_EQ(test::ReadLfLines(log),
              (std::vector<std::string>{"start", "argv 1 /z", "argv 2 " + settings.sComLineFile,
                                        "line " + job, "output " + out, "end 0"}));

    std::filesystem::remove(log);
    choices.settings.iOutTyp = 22;
    modes.ButtonBatchOutputClick(choices);
    EXPECT_EQ(test::ReadLfLines(log), (std::vector<std::string>{"start", "argv 1 " + in, "end 0"}));
    EXPECT_EQ(modes.ExitCode(), 0);
}

TEST_F(ConverterExec, LogFileClearDeletesTheSiblingLogAndIgnoresAMissingOne) {
    test::MakeDir(tmp / "Korvane");
    const std::string compareLog = JoinPath(tmp / "Korvane", "Compar2.log");
    test::WriteFileBytes(compareLog, "old\r\n");
    ASSERT_EQ(modes.LogFilePath(), compareLog);
    modes.LogFileClear();
    EXPECT_FALSE(platform::FileExists(compareLog));
    modes.LogFileClear();
    EXPECT_TRUE(sink.messages.empty());
}

TEST(LogFilePath, SiblingFolderOrNoneForAShortDataFolder) {
    struct Row {
        PathRules rules;
        const char* dataDir;
        const char* expected;
    };
    for (const Row& row :
         {Row{PathRules::Windows(), R"(C:\Local\Tavrolint\KorvaneAuto)",
              R"(C:\Local\Tavrolint\Korvane\Compar2.log)"},
          Row{PathRules::Posix(), "/home/u/Tavrolint/KorvaneAuto",
              "/home/u/Tavrolint/Korvane/Compar2.log"},
          Row{PathRules::Posix(), "abcde", "a/Compar2.log"}, Row{PathRules::Windows(), "Auto", ""},
          Row{PathRules::Windows(), "", ""}}) {
        RunChoices choices;
        choices.settings.sDataDir = row.dataDir;
        ProgramFlags flags;
        test::RecordingMessageSink sink;
        test::RecordingRunHost host;
        RunModes modes(flags, sink, host, row.rules);
        modes.BeginRun(choices);
        EXPECT_EQ(modes.LogFilePath(), row.expected) << row.dataDir;
    }
}

}  // namespace
}  // namespace ka
