// What a run's jobs came to: counts and summary, the Failed folder, and the run report.
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

// What standby does with the files of a job after its result: "deleted", "moved to Failed",
// "kept" (not done, or a file replaced or changed during the run, or one that could not be
// deleted or moved); on a shared hot folder a job not done goes back into it ("returned").
enum class InputFate : std::uint8_t { Deleted, MovedToFailed, Kept, Returned };
const char* InputFateText(InputFate fate);

// Moves a file into the subfolder "Failed" of its folder (created when needed); a name already
// there gets a numbered suffix ("a (2).hgl"). Nothing is replaced, and neither a "Failed" that
// is a link or no folder nor a file that is a link is ever followed: the move is refused. 0 on
// success, else the platform's error code.
int MoveToFailedFolder(const std::string& path, const PathRules& rules = PathRules::Native());
// The same into the "Failed" of another folder (a shared hot folder, for a claimed file).
int MoveToFailedFolderOf(const std::string& path, const std::string& folder,
                         const PathRules& rules = PathRules::Native());

// "a.hgl" gives "a (2).hgl" for n = 2; a name without a dot gets the suffix at its end.
std::string NumberedName(const std::string& name, int n);

inline constexpr const char* kFailedFolderName = "Failed";

// The run report: CR LF lines appended to "RunReport.log" in the data folder; a report past
// 10 MiB is first moved aside to "RunReport.old.log" (replacing the one before).
class RunReport {
  public:
    static constexpr std::uint64_t kRotateSize = 10ull * 1024 * 1024;
    static std::string PathIn(const std::string& dataDir,
                              const PathRules& rules = PathRules::Native());

    // Opens the report for appending, rotating it first when it is too large. A last line cut
    // short (a program killed while writing it) is ended first, so the next line stays whole.
    bool Open(const std::string& path);
    // One line: the local time, then the fields separated by tabs.
    void Line(const std::vector<std::string>& fields);
    // The same for fields at hand, then more, then a last one (a job's reason): a job's line
    // without copying its paths first.
    void Line(std::initializer_list<std::string_view> fields, const std::vector<std::string>& more,
              std::string_view last = {}, bool withLast = false);
    // False when a line could not be written since the report was opened.
    bool Flush();
    bool Close();

  private:
    platform::FilePtr file_;
    bool failed_ = false;
    std::string line_;  // reused: a run writes a line per job
};

// Appends one line to the report in the data folder (for messages); false when it cannot.
bool AppendReportLine(const std::string& dataDir, const std::vector<std::string>& fields);

// "2026-12-08 11:40:02" in local time; the text stays until the next call.
const std::string& ReportTimeNow();

}  // namespace ka
