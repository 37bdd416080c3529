// The frame every run shares: the data folder's lock, the converter check, the jobs kept until
// the converter has ended, then a result per job, the report, the summary and, for standby,
// what becomes of the inputs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/RunModes.h"
#include "platform/platform.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

const char* const kRunLockFile = "KorvaneAuto.lock";
const char* const kStandbyLockFile = "Standby.lock";
const char* const kJobSpoolFile = "Korvanejobs.txt";
const char* const kWaitingForLock = "Waiting for another KorvaneAuto on this data folder !";
constexpr auto kLockPoll = std::chrono::milliseconds(200);
// The record file of a large batch or comparison is written in big blocks.
constexpr std::size_t kRecordBufferSize = 256 * 1024;

const char* FateText(InputFate fate) {
    switch (fate) {
        case InputFate::Deleted:
            return "inputs deleted";
        case InputFate::MovedToFailed:
            return "inputs moved to Failed";
        case InputFate::Kept:
            break;
    }
    return "inputs kept";
}

}  // namespace

void RunModes::NoteExitCode(int code) {
    exitCode_ = std::max(exitCode_, code);
}

std::string RunModes::DataFilePath(const char* name) const {
    if (!settings_.sDataDir.empty()) {
        return JoinPath(settings_.sDataDir, name, rules_);
    }
    return FolderPart(settings_.sComLineFile, rules_) + name;
}

bool RunModes::LockDataFolder() {
    int error = 0;
    bool waited = false;
    while (!runLock_.TryLock(DataFilePath(kRunLockFile), error)) {
        if (error != 0) {
            // No lock file can be made there; the record file then fails the same way.
            return true;
        }
        if (!waited) {
            host_.SetStatusText(kWaitingForLock);
            waited = true;
        }
        if (flags_.bEndRequested) {
            return false;
        }
        host_.PumpMessages();
        std::this_thread::sleep_for(kLockPoll);
    }
    if (waited) {
        host_.SetStatusText("Outputting !");
    }
    return true;
}

bool RunModes::LockStandby() {
    if (standbyLock_.Held()) {
        return true;
    }
    int error = 0;
    if (standbyLock_.TryLock(DataFilePath(kStandbyLockFile), error) || error != 0) {
        return true;
    }
    sink_.ShowMsg("Standby output is already running on " + settings_.sDataDir +
                  " in another KorvaneAuto!");
    NoteExitCode(2);
    return false;
}

bool RunModes::ConverterUsable() {
    if (platform::IsExecutableFile(settings_.sKorvaneExe)) {
        return true;
    }
    sink_.ShowMsg(PathMessage(settings_.sKorvaneExe, "Korvane program cannot be started!"));
    NoteExitCode(2);
    return false;
}

bool RunModes::OpenRun(const char* mode, bool standby, long long firstJobLine) {
    runMode_ = mode;
    runSettlesInputs_ = standby;
    firstJobLine_ = firstJobLine;
    if (!LockDataFolder()) {
        return false;
    }
    if (!ConverterUsable()) {
        runLock_.Unlock();
        return false;
    }
    spoolOk_ = spool_.Create(DataFilePath(kJobSpoolFile), standby);
    runStart_ = platform::NowForFileTimes();
    runClockStart_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
    return true;
}

bool RunModes::AddJob(const JobSpec& job, bool keepInputs, const JobResult* preset) {
    spoolOk_ = spool_.Add(job, keepInputs, preset) && spoolOk_;
    return spoolOk_;
}

JobResult RunModes::RunDisplayJob(const std::string& arguments, platform::ProcessResult& runEnd) {
    const platform::ProcessResult shown =
        RunKorvane(DirectStartCommand(settings_.sKorvaneExe, arguments));
    if (runEnd.end == platform::ProcessEnd::NotStarted ||
        runEnd.end == platform::ProcessEnd::Exited) {
        runEnd = shown;
    }
    return shown.end == platform::ProcessEnd::Exited ? JobResult::Shown : JobResult::NotRun;
}

void RunModes::AbandonRun() {
    spool_.Close();
    runLock_.Unlock();
    NoteExitCode(2);
}

platform::FilePtr RunModes::OpenRecordFile() {
    int errorCode = 0;
    platform::FilePtr record = platform::OpenFile(settings_.sComLineFile, "wb", errorCode);
    if (!record) {
        sink_.ShowMsg(PathMessage(settings_.sComLineFile, kMsgCannotOpen));
        AbandonRun();
        return record;
    }
    platform::BufferForOneThread(record.get(), kRecordBufferSize);
    return record;
}

bool RunModes::CloseRecordFile(platform::FilePtr record, bool writeFailed) {
    if (CloseWritten(std::move(record)) && !writeFailed) {
        return true;
    }
    sink_.ShowMsg(PathMessage(settings_.sComLineFile, kMsgCannotOpen));
    AbandonRun();
    return false;
}

void RunModes::FinishRun(const platform::ProcessResult& converter) {
    spoolOk_ = spool_.Close() && spoolOk_;
    RunReport report;
    report.Open(settings_.sDataDir.empty() ? DataFilePath("RunReport.log")
                                           : RunReport::PathIn(settings_.sDataDir, rules_));
    RunCounts counts;
    SplitOutputs split(runStart_, rules_);
    // The marks are the results: a job's output is looked at once, here, not again for its mark.
    // Preset jobs (display) were marked as they ran.
    long long line = firstJobLine_;
    long long done = 0;
    // A spool that is not complete deletes nothing it does not list: its jobs keep their inputs.
    const bool read = JobSpool::Read(DataFilePath(kJobSpoolFile), [&](const JobSpool::Entry& e) {
        const JobResult result =
            e.hasPreset ? e.preset : JudgeJob(e.job, e.before, converter, split);
        counts.Add(result);
        done += JobDone(result) ? 1 : 0;
        if (!e.hasPreset && line >= 0) {
            host_.MarkLine(line++, result, {});
        }
        const std::string_view fate =
            runSettlesInputs_ ? FateText(SettleStandbyInputs(e, result, rules_)) : "-";
        report.Line({runMode_, JobResultText(result), fate,
                     e.job.output.empty() ? std::string_view("-") : e.job.output},
                    e.job.inputs);
    });
    const long long elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count() -
                                runClockStart_;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(elapsedMs) / 1000.0);
    if (read) {
        progress_.done = done;
    }
    ShowProgressNow();
    lastCounts_ = counts;
    lastSummary_ = RunSummaryText(counts);
    report.Line({runMode_, "run", lastSummary_,
                 "converter " + platform::DescribeProcessEnd(converter), seconds});
    report.Close();
    runLock_.Unlock();

    if (converter.end == platform::ProcessEnd::NotStarted && counts.Total() > 0) {
        sink_.ShowMsg(PathMessage(settings_.sKorvaneExe, "Korvane program cannot be started!"));
        NoteExitCode(2);
    } else if (converter.end == platform::ProcessEnd::Crashed) {
        sink_.ShowMsg(PathMessage(
            settings_.sKorvaneExe,
            "Korvane program ended abnormally (" + platform::DescribeProcessEnd(converter) + ")!"));
    }
    if (!counts.AllDone() || !spoolOk_ || !read) {
        NoteExitCode(1);
    }
    host_.ShowRunSummary(lastSummary_);
}

}  // namespace ka
