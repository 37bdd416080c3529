// What every mode shares around its run: the window's choices taken at the start, one clock,
// the exit code, the output folder check and the comparison log beside the data folder.
#include <algorithm>
#include <chrono>
#include <string>

#include "app/RunModes.h"
#include "platform/platform.h"
#include "settings/DataFiles.h"
#include "settings/OutputTypes.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {
constexpr std::size_t kDataDirSuffixLength = 4;  // "KorvaneAuto" less "Auto" names "Korvane"
}  // namespace

void RunModes::NoteExitCode(int code) {
    exitCode_ = std::max(exitCode_, code);
}

void RunModes::BeginRun(const RunChoices& choices) {
    choices_ = choices;
    lineInputs_ = LineInputsOf(choices_, rules_);
    stopRequested_ = false;
    StartClock();
}

void RunModes::StartClock() {
    progress_ = RunProgress();
    clockStart_ = std::chrono::steady_clock::now();
}

void RunModes::ShowProgressNow(const char* step) {
    if (step) {
        progress_.step = step;
    }
    progress_.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - clockStart_)
                              .count();
    host_.ShowProgress(progress_);
}

std::string RunModes::DataFilePath(const char* name) const {
    if (!settings_.sDataDir.empty()) {
        return JoinPath(settings_.sDataDir, name, rules_);
    }
    return FolderPart(settings_.sComLineFile, rules_) + name;
}

bool RunModes::LockStandby() {
    if (standbyLock_.Held()) {
        return true;
    }
    int error = 0;
    if (standbyLock_.TryLock(DataFilePath(kStandbyLockFileName), error) || error != 0) {
        return true;
    }
    sink_.ShowMsg("Standby output is already running on " + settings_.sDataDir +
                  " in another KorvaneAuto!");
    NoteExitCode(2);
    return false;
}

RunContext RunModes::Context() {
    RunContext context{flags_,    sink_,       host_,
                       rules_,    settings_,   stopRequested_,
                       progress_, clockStart_, &reportFailureSaid_};
    if (shared_) {
        context.keepAlive = [this] {
            if (shared_) {
                shared_->Beat();
            }
        };
    }
    return context;
}

void RunModes::TakeOutcome(const ConversionRun& run) {
    lastCounts_ = run.Counts();
    lastSummary_ = run.Summary();
    NoteExitCode(run.ExitCode());
}

bool RunModes::JobsWriteOutputs() const {
    JobSpec spec;
    std::string arguments;
    GetJob("x", spec, arguments);
    return !spec.output.empty();
}

bool RunModes::OutputFolderUsable() {
    if (!JobsWriteOutputs()) {
        return true;
    }
    const std::string& folder = settings_.sOutDir;
    std::string problem;
    if (folder.empty()) {
        problem =
            "No output folder is set: the outputs would go to the program's current "
            "folder.\nSet the output folder with \"Set\".";
    } else if (!platform::DirectoryExists(folder)) {
        problem = PathMessage(folder, "The output folder does not exist!");
    } else {
        // A folder the program cannot write into would turn every job into "no output".
        const std::string probe = JoinPath(folder, "korvaneauto-write-test.tmp", rules_);
        int error = 0;
        if (!platform::OpenFile(probe, "wb", error)) {
            problem = PathMessage(folder, "The output folder cannot be written!");
        } else {
            platform::DeleteFileAt(probe);
        }
    }
    if (problem.empty()) {
        return true;
    }
    sink_.ShowMsg(problem);
    NoteExitCode(2);
    return false;
}

bool RunModes::FinishInterruptedRun(const Settings& settings) {
    RunChoices choices;
    choices.settings = settings;
    BeginRun(choices);
    if (settings_.sDataDir.empty()) {
        return false;
    }
    platform::FileLock lock;
    int error = 0;
    if (!lock.TryLock(DataFilePath(kRunLockFileName), error)) {
        return false;  // a live copy owns the journal
    }
    std::string summary;
    if (!ConversionRun::RecoverInterrupted(DataFilePath(kJournalFileName), Context(), &summary)) {
        return false;
    }
    host_.SetStatusText("An interrupted run was finished: " + summary);
    return true;
}

std::string RunModes::LogFilePath() const {
    // A data folder this short was never set up by the start-up; deleting "\\Compar2.log" at a
    // drive's root (or in the current folder) would touch a file that is not ours.
    if (settings_.sDataDir.size() <= kDataDirSuffixLength) {
        return {};
    }
    std::string path =
        settings_.sDataDir.substr(0, settings_.sDataDir.size() - kDataDirSuffixLength);
    path += rules_.Separator();
    path += kCompareLogFileName;
    return path;
}

void RunModes::LogFileClear() {
    const std::string path = LogFilePath();
    if (!path.empty()) {
        platform::DeleteFileAt(path);  // missing or locked: nothing to report
    }
}

}  // namespace ka
