// Where every run-mode test starts: a temporary tree with the data folder and an output folder,
// the stand-in converter as the converter, logging what it is asked to standinLog, and the run
// modes reporting to recorders.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "TestSupport.h"
#include "app/RunModes.h"

namespace ka::test {

class RunFixture : public ::testing::Test {
  protected:
    RunFixture() {
        MakeDir(dataDir);
        MakeDir(outDir);
        settings.sDataDir = dataDir;
        settings.sComLineFile = JoinPath(dataDir, "Korvaneline.txt");
        settings.sKorvaneExe = ConverterExe();
        settings.sOutDir = WithTrailingSeparator(outDir);
    }

    // How many times the converter was started.
    long Starts() const {
        const auto lines = ReadLfLines(standinLog);
        return std::count(lines.begin(), lines.end(), "start");
    }

    TempDir tmp;
    const std::string dataDir = JoinPath(tmp / "Tavrolint", "KorvaneAuto");
    const std::string outDir = tmp / "out";
    const std::string standinLog = tmp / "standin.log";
    ScopedEnv logEnv{"KORVANE_STANDIN_LOG", standinLog};
    Settings settings;
    ProgramFlags flags;
    RecordingMessageSink sink;
    RecordingRunHost host;
    RunChoices window;  // the window's choices at the start of each run
    RunModes modes{flags, sink, host};
};

}  // namespace ka::test
