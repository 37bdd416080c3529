// What became of each job of a run once the converter has ended, the run report and the jobs
// kept on disk between hand-over and judgement.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/JobResult.h"
#include "platform/platform.h"
#include "shell/Paths.h"

namespace ka {

// One job as it was handed to the converter.
struct JobSpec {
    std::vector<std::string> inputs;  // the files of the job; deleted or moved together
    std::string output;               // the file its "/o" names; empty when it writes none
    bool absentMeansNoDifference = false;
};

// A job's output before the run: an output that the run did not touch is never taken for new,
// whatever the clocks of the machines say.
struct OutputBefore {
    bool existed = false;
    platform::FileStamp stamp;
};
OutputBefore NoteOutputBefore(const std::string& output);

// Stamps by path. The paths are copied end to end into blocks, not into a string each: a
// standby cycle keeps one per file of the folder.
class StampsByPath {
  public:
    void Clear();
    void Reserve(std::size_t count) { stamps_.reserve(count); }
    // The first stamp given for a path stays.
    void Add(std::string_view path, const platform::FileStamp& stamp);
    const platform::FileStamp* Find(std::string_view path) const;
    std::size_t Size() const { return stamps_.size(); }

  private:
    static constexpr std::size_t kBlockSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockUsed_ = kBlockSize;
    std::unordered_map<std::string_view, platform::FileStamp> stamps_;
};

// NoteOutputBefore for the many jobs of a run. An output whose folder does not exist does not
// exist either: a run into a new folder looks at that folder again only after `recheck`, not
// at every job's output.
class OutputsBefore {
  public:
    explicit OutputsBefore(std::chrono::milliseconds recheck = std::chrono::milliseconds(100))
        : recheck_(recheck) {}
    OutputBefore Note(const std::string& output);

  private:
    using Clock = std::chrono::steady_clock;
    std::chrono::milliseconds recheck_;
    std::string missing_;  // folder last seen missing, and when
    Clock::time_point missingSeen_;
    std::string present_;  // folder last seen present, and when
    Clock::time_point presentSeen_;
};

// Outputs the converter split by page: files named after the output with "_<n>" before the
// extension, written since a time (the clock of NowForFileTimes, with two seconds allowed for
// the coarse file times of some file systems). Each folder is listed once, however many jobs
// ask.
class SplitOutputs {
  public:
    SplitOutputs(std::int64_t since, const PathRules& rules = PathRules::Native())
        : since_(since), rules_(rules) {}
    bool Written(const std::string& output);

  private:
    std::int64_t since_;
    PathRules rules_;
    // Per folder: "<stem><ext>" of every split file written since then.
    std::unordered_map<std::string, std::unordered_set<std::string>> folders_;
};

// The result of a job after its converter ended. The output counts as written when it exists
// and did not exist before the run or changed since, or when split outputs of it were written.
JobResult JudgeJob(const JobSpec& job, const OutputBefore& before,
                   const platform::ProcessResult& converter, SplitOutputs& split);

// Jobs per result.
struct RunCounts {
    std::array<long long, kJobResultCount> count{};
    void Add(JobResult result) { ++count[static_cast<std::size_t>(result)]; }
    long long Of(JobResult result) const { return count[static_cast<std::size_t>(result)]; }
    long long Total() const;
    bool AllDone() const {
        return Of(JobResult::NoOutput) == 0 && Of(JobResult::Doubtful) == 0 &&
               Of(JobResult::NotRun) == 0;
    }
};

// "2,998 written, 2 without output"; results without jobs are left out; "No jobs" for none.
std::string RunSummaryText(const RunCounts& counts);

// The jobs of a run on disk, one line each (stamps of the output and of every input taken at
// hand-over), so a run of any length needs the same memory. Fields are separated by tabs.
class JobSpool {
  public:
    // stampInputs: the inputs' stamps are taken, for a run that settles its inputs afterwards
    // (standby); otherwise every input is spooled as unknown.
    bool Create(const std::string& path, bool stampInputs = true);
    // Stamps taken moments ago by the caller, used for the inputs they name instead of a new look;
    // until the next Create. A file changed since is then kept, never settled as converted.
    void UseStamps(const StampsByPath* known) { knownStamps_ = known; }
    // keepInputs: the inputs stay whatever the result (a standby file that was not stable yet).
    // preset: a result already known (a display job judged by its own converter start).
    bool Add(const JobSpec& job, bool keepInputs, const JobResult* preset = nullptr);
    // Flushes and closes; false when the spool is not complete on disk.
    bool Close();

    struct Entry {
        JobSpec job;
        OutputBefore before;
        std::vector<bool> inputKnown;  // the input existed at hand-over
        std::vector<platform::FileStamp> inputStamps;
        bool keepInputs = false;
        bool hasPreset = false;
        JobResult preset = JobResult::NotRun;
    };
    // Visits every job in the order added. False when the spool cannot be read.
    static bool Read(const std::string& path, const std::function<void(const Entry&)>& visit);

  private:
    platform::FilePtr file_;
    bool failed_ = false;
    bool stampInputs_ = true;
    const StampsByPath* knownStamps_ = nullptr;
    OutputsBefore outputs_;
    std::string line_;  // reused: a line per job
};

// What standby does with the files of a job after its result: "deleted", "moved to Failed",
// "kept" (not done, or a file replaced or changed during the run). The files are touched only
// while every one of them is still the file that was handed over (size, time and identity).
enum class InputFate : std::uint8_t { Deleted, MovedToFailed, Kept };
InputFate SettleStandbyInputs(const JobSpool::Entry& entry, JobResult result,
                              const PathRules& rules = PathRules::Native());

// Moves a file into the subfolder "Failed" of its folder (created when needed); a name already
// there gets a numbered suffix ("a (2).hgl"). 0 on success, else the platform's error code.
int MoveToFailedFolder(const std::string& path, const PathRules& rules = PathRules::Native());

inline constexpr const char* kFailedFolderName = "Failed";

// The run report: CR LF lines appended to "RunReport.log" in the data folder; a report past
// 10 MiB is first moved aside to "RunReport.old.log" (replacing the one before).
class RunReport {
  public:
    static constexpr std::uint64_t kRotateSize = 10ull * 1024 * 1024;
    static std::string PathIn(const std::string& dataDir,
                              const PathRules& rules = PathRules::Native());

    // Opens the report for appending, rotating it first when it is too large.
    bool Open(const std::string& path);
    // One line: the local time, then the fields separated by tabs.
    void Line(const std::vector<std::string>& fields);
    // The same for fields at hand, then more: a job's line without copying its paths first.
    void Line(std::initializer_list<std::string_view> fields, const std::vector<std::string>& more);
    bool Close();

  private:
    platform::FilePtr file_;
    std::string line_;  // reused: a run writes a line per job
};

// Appends one line to the report in the data folder (for messages); false when it cannot.
bool AppendReportLine(const std::string& dataDir, const std::vector<std::string>& fields);

// "2026-12-08 11:40:02" in local time; the text stays until the next call.
const std::string& ReportTimeNow();

}  // namespace ka
