// The three run modes of the main window (batch output, standby output, folder comparison) and
// the converter hand-over they share. Qt-free: the window's choices come in as RunChoices, and
// everything the run shows goes out through RunHost.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/ConversionRun.h"
#include "app/RunHost.h"
#include "app/RunResults.h"
#include "app/SharedHotFolder.h"
#include "platform/platform.h"
#include "settings/Orrin1.h"
#include "shell/Paths.h"

namespace ka {

// Everything the converter's argument string depends on, read at the moment of the call.
struct KorvaneLineInputs {
    bool output1Shown = true;  // page "Output1" shown, else "Output2"
    std::uint8_t iChgArea = 0;
    std::uint8_t iOutTyp = 0;
    std::uint8_t iNoOut = 0;
    int selectedOutTyp2 = -1;  // item of RadioGroupOutTyp2, -1 for none
    std::string sOutDir;
    PathRules rules = PathRules::Native();
};

// Turns one job (input paths joined by ",") into the converter's argument string. output, when
// given, gets what BuildKorvaneOutputPath gives, from the same work.
std::string BuildKorvaneCommandLine(const std::string& job, const KorvaneLineInputs& in,
                                    std::string* output = nullptr);
// The same into `line`, whose room a run reuses from job to job.
void BuildKorvaneCommandLine(const std::string& job, const KorvaneLineInputs& in, std::string& line,
                             std::string* output);

// True when the converter's job syntax can carry the path: no ",", no double quote and no
// control character (below 0x20, or 0x7F). With POSIX path rules it must not end with a
// backslash either, which the converter's argument rules would read as escaping the quote
// that closes it.
bool IsJobSafePath(std::string_view path, const PathRules& rules = PathRules::Native());

// The message for files left alone because of their names, naming the first few; paths not
// empty.
std::string UnsafeNamesMessage(const std::vector<std::string>& paths);
// The output file that the job's "/o" names; empty for a job without one (display, a
// comparison with "No output").
std::string BuildKorvaneOutputPath(const std::string& job, const KorvaneLineInputs& in);

// "\"exe\" /z \"record file\"".
std::string ConverterStartCommand(const std::string& korvaneExe, const std::string& comLineFile);
// "\"exe\" " + argument string, the start of one job for output type 22.
std::string DirectStartCommand(const std::string& korvaneExe, const std::string& arguments);

// The window's choices, taken as one value when a run starts: the run never reads the window.
struct RunChoices {
    Settings settings;
    bool output1Shown = true;  // page "Output1" shown, else "Output2"
    int selectedOutTyp2 = -1;  // item of RadioGroupOutTyp2, -1 for none
    bool compareChecked = false;
};

// The argument-string inputs of a run: the page and the Output2 control's selection as the window
// showed them at the start (not the stored iOutTyp2), the rest from the settings.
KorvaneLineInputs LineInputsOf(const RunChoices& choices, const PathRules& rules);

// Standby state that lives from one timer tick to the next.
struct StandbyState {
    StandbyPhase phase = StandbyPhase::Idle;
    bool compare = false;  // the comparison runs in each cycle
    std::int32_t iWaitCountdown = 0;
    std::string sStandbyDir;
    std::int32_t iStandbyCount = -1;
    std::string sPattern;  // file-name wildcard of the current call, as "*.hgl"
    // Modification times: of every file of the first snapshot, by its line there; and by name,
    // of the files of the second that could not be checked for other openers. Such a file is
    // stable only when its time, too, is unchanged through the wait.
    std::vector<std::int64_t> firstTimes;
    std::unordered_map<std::string, std::int64_t> uncheckedTimes;
    // Stamps by path from the second snapshot: what a stable file was when it was found stable,
    // and so what it must still be when it is deleted or moved. Spares a second look at it.
    StampsByPath secondStamps;
    // Paths left alone because the job syntax cannot carry them, each reported once while it
    // stays; and those noted since the last report.
    std::unordered_set<std::string> unsafeReported;
    std::vector<std::string> unsafeNew;
    // The same for symbolic links, which standby never takes.
    std::vector<std::string> linksNew;
    // Files judged but not deleted or moved (a folder the program cannot change): left out of
    // later cycles while they stay as they were, so they are not converted again and again.
    std::unordered_map<std::string, platform::FileStamp> unsettled;
    // The output folder gone (a network drive that dropped) is said once, until it is back.
    bool outputFolderGoneSaid = false;
};

class RunModes {
  public:
    RunModes(ProgramFlags& flags, MessageSink& sink, RunHost& host,
             PathRules rules = PathRules::Native())
        : flags_(flags), sink_(sink), host_(host), rules_(rules) {}
    RunModes(const RunModes&) = delete;
    RunModes& operator=(const RunModes&) = delete;

    // Takes the window's choices for the run that starts; every run entry point below does.
    void BeginRun(const RunChoices& choices);

    // Argument string for a job with the choices of the current run; spec gets the job's files
    // and output, for judging it after the run. Both keep their room from the last job.
    void GetJob(const std::string& job, JobSpec& spec, std::string& arguments) const;

    // The exit code of a program started for a run that ends by itself, the worst so far:
    // 0 every job done, 1 a job not done, 2 a run could not start, 3 an internal error.
    int ExitCode() const { return exitCode_; }
    void NoteExitCode(int code);
    // The jobs per result of the last run, and its summary line.
    const RunCounts& LastCounts() const { return lastCounts_; }
    const std::string& LastSummary() const { return lastSummary_; }

    // Comparison log: sDataDir less its last four characters, + "Compar2.log".
    std::string LogFilePath() const;
    void LogFileClear();

    // Batch output over the batch list file.
    void ButtonBatchOutputClick(const RunChoices& choices);

    // Standby output: the start (button or start-up), every timer tick, and the stop. A stop
    // while waiting ends standby at once; during a cycle, when the cycle ends.
    void ButtonAutoOutputClick(const RunChoices& choices);
    void StandbyTick();
    void StopStandby();
    void ShowWaitTime();
    // The first snapshot only notes sizes and times; the second also asks whether another
    // program has the file open, which is what decides.
    void WriteFileList(const std::string& snapshotFile, bool second);
    // Shows "I/O Error code=" + code when ioError is not 0, then clears it.
    void ShowIoError(int& ioError);

    // Folder comparison. Returns the pairs handed to the converter ("file1,file2").
    std::vector<std::string> ButtonChgAreaClick(const RunChoices& choices);

    // "End" during a run: nothing more is started and a running converter is ended.
    void RequestStop() { stopRequested_ = true; }

    // At start: a run of an earlier program on this data folder that never ended (a crash, a
    // kill, a power loss) is finished from its journal before anything else, unless another
    // copy of the program holds the data folder now. True when there was one.
    bool FinishInterruptedRun(const Settings& settings);

    const StandbyState& Standby() const { return standby_; }
    const PathRules& Rules() const { return rules_; }

  private:
    ProgramFlags& flags_;
    MessageSink& sink_;
    RunHost& host_;
    PathRules rules_;
    RunChoices choices_;
    Settings& settings_ = choices_.settings;
    KorvaneLineInputs lineInputs_;  // of choices_, taken with them
    StandbyState standby_;
    bool stopRequested_ = false;
    // The run's clock and what it shows while it goes: one for every mode.
    RunProgress progress_;
    std::chrono::steady_clock::time_point clockStart_;
    RunCounts lastCounts_;
    std::string lastSummary_;
    int exitCode_ = 0;
    bool reportFailureSaid_ = false;
    platform::FileLock standbyLock_;
    // Standby on a hot folder shared with other machines; null otherwise.
    std::unique_ptr<SharedHotFolder> shared_;

    void StartClock();
    void ShowProgressNow(const char* step = nullptr);
    void SetStandbyPhase(StandbyPhase phase);
    const KorvaneLineInputs& LineInputs() const { return lineInputs_; }
    std::string DataFilePath(const char* name) const;
    bool LockStandby();

    // A run over the current choices, and what it leaves behind (counts, summary, exit code).
    RunContext Context();
    void TakeOutcome(const ConversionRun& run);
    // The output folder the run's jobs write into: false (said, exit code 2) when there is none
    // that can be written.
    bool OutputFolderUsable();
    bool JobsWriteOutputs() const;

    // Standby cycle steps (StandbyRun.cpp).
    void StartWaitingPeriod();
    void RunStandbyCycle();
    void ShowSnapshotError();
    int MatchSnapshots(std::vector<std::string>& stablePaths);
    void HandOverStableFiles(const std::vector<std::string>& stablePaths);
    // The second listing's check that no other program holds a file.
    bool ProbeShared(const platform::DirEntry& entry, const std::string& path,
                     platform::UnsharedFile& probe);
    // Shared hot folder: claims this machine's share of the listed files and hands the claimed
    // ones to the run; claimedStamps must outlive it.
    void ClaimAndAdd(ConversionRun& run, const std::vector<std::string>& listed,
                     StampsByPath& claimedStamps);
    // Joins a shared hot folder when the setting asks for it; false (said, exit code 2) when
    // standby cannot start on it.
    bool JoinSharedHotFolder();
    // Standby whose wildcard would take its own outputs from its output folder: said, true.
    bool TakesItsOwnOutputs();
    // False (said once) while the output folder is gone.
    bool OutputFolderStillThere();
    void NoteUnsettled(const ConversionRun& run);

    // The comparison; under standby, stablePaths names the inputs that may be deleted.
    std::vector<std::string> CompareFolders(const std::vector<std::string>* stablePaths);
    // True when the path cannot be handed to the converter; noted for the report once.
    bool NoteUnsafePath(const std::string& path);
    // A symbolic link left alone; noted for the report once.
    void NoteLink(const std::string& path);
    // One message for the paths noted since the last report, naming how many.
    void ReportUnsafePaths();
};

}  // namespace ka
