// What became of one job of a run: decided in one place once the converter has ended (or, for a
// job that never went to it, when it was refused), and read by everything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ka {

enum class JobResult : std::uint8_t {
    Written,       // its own output, whole and new, after a converter end that means success
    NoDifference,  // comparison with "no output when no difference", no output after success
    Shown,         // display: the converter started and ended with success
    Skipped,       // a comparison rule dropped the pair; it never went to the converter
    NoOutput,      // no output, or an empty one
    Doubtful,      // an output is there, but the converter reported failure
    NotRun,        // the job did not go to the converter, or it crashed, hung or was stopped
};
inline constexpr std::size_t kJobResultCount = 7;

// The result's name in the report: "written", "no difference", "shown", "skipped", "no output",
// "doubtful", "not run".
const char* JobResultText(JobResult result);

// Written, no difference, shown and skipped: the job is done and its inputs may go.
bool JobDone(JobResult result);

// Why a job is not done (or, for a skipped pair, which rule dropped it).
enum class JobReason : std::uint8_t {
    None,
    InputMissing,
    EmptyOutput,
    OutputNotWritten,
    ExitCode,  // detail: the code
    Crashed,   // detail: the signal (POSIX) or exception code (Windows)
    TimedOut,
    CrashedOnDrawing,
    TimedOutOnDrawing,
    NotStarted,
    Stopped,
    OutputIsInput,
    OutputTaken,
    UnsafeName,
    SkippedByRule,  // detail: the rule's log text without the path
    NotHandedOver,
    Interrupted,
    OutputFolderMissing,
};

struct JobVerdict {
    JobResult result = JobResult::NotRun;
    JobReason reason = JobReason::None;
    std::int64_t detail = 0;
    bool operator==(const JobVerdict&) const = default;
};

// The reason as the report and the run list say it ("converter exit code 3"); "-" for none.
// ruleText: for SkippedByRule, the rule's words.
std::string JobReasonText(const JobVerdict& verdict, const std::string& ruleText = {});

}  // namespace ka
