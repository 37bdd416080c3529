// Starting the converter and waiting for it; the comparison log beside the data folder.
#include <string>

#include "app/RunModes.h"
#include "platform/platform.h"
#include "settings/OutputTypes.h"

namespace ka {

namespace {
// The window is given its events this often while the converter runs, and this many jobs are
// checked for their output each time: at most 200 a second, however long the run.
constexpr int kWaitSliceMs = 50;
constexpr int kChecksPerSlice = 10;
constexpr int kTerminateGraceMs = 3000;
constexpr std::size_t kDataDirSuffixLength = 4;  // "KorvaneAuto" less "Auto" names "Korvane"
}  // namespace

bool RunModes::ExecKorvane(const std::string& commandLine, OutputWatch* watch) {
    const platform::ProcessResult result = RunKorvane(commandLine, watch);
    return result.started && result.end != platform::ProcessEnd::Stopped;
}

platform::ProcessResult RunModes::RunKorvane(const std::string& commandLine, OutputWatch* watch) {
    // Every output type but display hands the whole run over through the record file, so the
    // given text is not used then.
    const std::string line =
        settings_.iOutTyp != kOutTypDisplay
            ? ConverterStartCommand(settings_.sKorvaneExe, settings_.sComLineFile)
            : commandLine;
    if (line.empty()) {
        return {};
    }
    if (stopRequested_) {
        platform::ProcessResult stopped;
        stopped.end = platform::ProcessEnd::Stopped;
        return stopped;
    }
    platform::Process converter;
    if (!converter.Start(line)) {
        return converter.Result();
    }
    while (!converter.Wait(kWaitSliceMs)) {
        if (watch) {
            watch->Check(kChecksPerSlice, host_, progress_);
        }
        ShowProgressNow();
        host_.PumpMessages();
        if (stopRequested_) {
            converter.Terminate(kTerminateGraceMs);
        }
    }
    // The jobs' marks and the final count come with their results (FinishRun).
    return converter.Result();
}

void RunModes::ShowProgressNow(const char* step) {
    if (step) {
        progress_.step = step;
    }
    progress_.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - runClock_)
                              .count();
    host_.ShowProgress(progress_);
}

void RunModes::BeginRun(const RunChoices& choices) {
    choices_ = choices;
    lineInputs_ = LineInputsOf(choices_, rules_);
    stopRequested_ = false;
    StartClock();
}

void RunModes::StartClock() {
    progress_ = RunProgress();
    runClock_ = std::chrono::steady_clock::now();
    runStartStamp_ = platform::NowForFileTimes();
}

std::string RunModes::LogFilePath() const {
    // A data folder this short was never set up by the start-up; deleting "\Compar2.log" at a
    // drive's root (or in the current folder) would touch a file that is not ours.
    if (settings_.sDataDir.size() <= kDataDirSuffixLength) {
        return {};
    }
    std::string path =
        settings_.sDataDir.substr(0, settings_.sDataDir.size() - kDataDirSuffixLength);
    path += rules_.Separator();
    path += "Compar2.log";
    return path;
}

void RunModes::LogFileClear() {
    const std::string path = LogFilePath();
    if (!path.empty()) {
        platform::DeleteFileAt(path);  // missing or locked: nothing to report
    }
}

}  // namespace ka
