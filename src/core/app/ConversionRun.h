// One run of the converter over a run's jobs, from the data folder's lock to the report: the one
// engine behind batch output, standby output and the folder comparison. The modes are job
// sources: they hand it jobs (list lines, stable files, folder pairs) and it does the rest.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/JobResult.h"
#include "app/RunHost.h"
#include "app/RunJournal.h"
#include "app/RunOutputs.h"
#include "app/RunResults.h"
#include "platform/platform.h"
#include "settings/Orrin1.h"
#include "settings/TextFile.h"
#include "settings/UserMessages.h"
#include "shell/Paths.h"

namespace ka {

struct ClaimedInputs;

// What a run reads and reports to; all of it outlives the run.
struct RunContext {
    ProgramFlags& flags;
    MessageSink& sink;
    RunHost& host;
    PathRules rules;
    const Settings& settings;   // as the run's choices took them
    const bool& stopRequested;  // "stop now": nothing more starts, the converter is ended
    RunProgress& progress;      // shown while the run goes
    std::chrono::steady_clock::time_point clockStart;
    bool* reportFailureSaid = nullptr;  // a report that cannot be written is said once
    // Called often while the run waits or works (a shared hot folder's heartbeat); may be empty.
    std::function<void()> keepAlive = nullptr;
};

struct RunPlan {
    const char* mode = "batch";  // the report's mode: "batch", "standby", "comparison", ...
    bool settlesInputs = false;  // standby: done inputs deleted, failed ones moved to Failed
    // Standby: an output there before the run is not overwritten; the job gets a numbered one.
    bool numberExistingOutputs = false;
    // Display (output type 22): each job is its own converter start, at once.
    bool display = false;
    std::string journalPath;  // empty: "Korvanejobs.txt" in the data folder
    // About how many jobs will come, when the source can tell (a list's size): the run's
    // tables are made that large at once instead of growing job by job.
    std::size_t expectedJobs = 0;
    // Standby on a shared hot folder: the inputs were claimed out of it and are settled back
    // into it (SharedHotFolder.h). Outlives the run.
    const ClaimedInputs* claimed = nullptr;
};

// An input that was to be deleted or moved but could not be, as it was when handed over.
struct UnsettledInput {
    std::string path;
    platform::FileStamp stamp;
    int error = 0;
};

class ConversionRun {
  public:
    ConversionRun(const RunContext& context, RunPlan plan);
    ~ConversionRun();
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // The data folder's lock (waiting for another copy of the program), a run of the last
    // program that never ended finished first, the converter check, the journal. False when
    // the run cannot start; it said why.
    bool Open();
    // Stamps taken moments ago by the caller for the inputs they name; a file changed since is
    // kept, never settled.
    void UseStamps(const StampsByPath* stamps) { knownStamps_ = stamps; }

    // A job for the converter. The run may change its output (a numbered name) and its argument
    // string with it, or refuse it (the verdict says why). False once the run cannot take more
    // jobs: it said why.
    bool Add(JobSpec& spec, std::string& arguments, long long listLine);
    // Whether a file of that output's name was there before the run (false for none).
    bool OutputThere(const std::string& output);
    // A job decided without the converter (a pair a comparison rule dropped, a refused name).
    bool AddDecided(const JobSpec& spec, const JobVerdict& verdict, long long listLine);

    // Hands the jobs to the converter, follows it, judges every job, settles standby inputs,
    // writes the report and shows the summary. Once.
    void Finish();

    const RunCounts& Counts() const { return counts_; }
    const std::string& Summary() const { return summary_; }
    // 0 every job done, 1 a job not done, 2 the run could not start or hand its jobs over.
    int ExitCode() const { return exitCode_; }
    // Inputs that stay because they could not be deleted or moved.
    const std::vector<UnsettledInput>& Unsettled() const { return unsettled_; }

    // Finishes a run of an earlier program on this data folder that never ended, from its
    // journal: verdicts it had reached are settled and reported, marked as recovered; the rest
    // stay (claimed inputs go back into their hot folder). False when there was none. Called
    // under the data folder's lock, or on a claim folder claimed from a machine that died.
    static bool RecoverInterrupted(const std::string& journalPath, const RunContext& context,
                                   std::string* summary = nullptr,
                                   const ClaimedInputs* claimed = nullptr);

  private:
    struct Group {
        long long first = 0;
        long long count = 0;
        int aloneTries = 0;  // starts in which it was the only job and the converter failed
    };
    struct Slot;
    // The first start's record file, written as jobs come; its writer ends before it closes.
    struct WholeRecord {
        explicit WholeRecord(platform::FilePtr f) : file(std::move(f)), lines(file.get()) {}
        platform::FilePtr file;
        LineWriter lines;
    };

    bool LockDataFolder();
    std::string DataFile(const char* name) const;
    std::string RecordFileOf(std::size_t slot) const;
    void DropWholeRecord();
    // The record file written as jobs come, closed; false when it is not whole.
    bool CloseWholeRecord();
    // The shared hot folder's heartbeat, where there is one.
    void KeepAlive() const;
    // Converter processes at once: display is one job at a time.
    int Converters() const;
    JobVerdict RunDisplayJob(const std::string& arguments);
    bool AddJob(JournalJob& job);
    void Abandon(const std::string& message);

    // The converter starts: groups dealt to free slots, each over a record file of its own.
    void Convert();
    void DealGroups(std::deque<Group>& pending);
    bool StartGroup(Slot& slot, const Group& group);
    void Watch(Slot& slot, int budget);
    void EndOfStart(Slot& slot, std::deque<Group>& pending);
    void Decide(long long index, const JobVerdict& verdict, long long listLine);
    // Every job of the groups not decided yet gets the verdict; the groups are done with.
    void DecideGroups(std::deque<Group>& groups, const JobVerdict& verdict);
    JobVerdict Judge(const JournalJob& job, const platform::ProcessResult& end, bool refresh);
    void ShowProgress();
    bool StopNow() const;

    // After the converter: every job's verdict settled, reported and counted.
    void SettleAndReport();

    RunContext ctx_;
    RunPlan plan_;
    const StampsByPath* knownStamps_ = nullptr;
    platform::FileLock lock_;
    std::unique_ptr<WholeRecord> wholeRecord_;
    RunJournal journal_;
    std::unique_ptr<RunOutputs> outputs_;
    bool open_ = false;
    bool finished_ = false;
    bool addFailed_ = false;
    std::int64_t runStart_ = 0;
    long long convertible_ = 0;  // jobs for the converter
    // Per job: its verdict once decided (done jobs are counted in progress as they come).
    std::vector<JobVerdict> verdicts_;
    std::vector<bool> decided_;
    std::vector<std::unique_ptr<Slot>> slots_;
    bool anyNormalEnd_ = false;
    bool gaveUp_ = false;
    int startsWithoutNormalEnd_ = 0;
    bool recordFailed_ = false;
    bool notStartedSaid_ = false;
    platform::ProcessResult runEnd_;  // the first abnormal end of a start, else the last end
    RefusedItems setAside_;           // drawings on which the converter crashed or hung
    long long doneSoFar_ = 0;
    RunCounts counts_;
    std::string summary_;
    int exitCode_ = 0;
    std::vector<UnsettledInput> unsettled_;
    JournalJob job_;  // reused from job to job
};

}  // namespace ka
