// What became of one job of a run: decided in one place once the converter has ended (or, for a
// job that never went to it, when it was refused), and read by everything else.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace ka
