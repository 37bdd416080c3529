// What the results view does to files: a batch list of jobs to run again, and drawings taken
// back out of the Failed folder into their hot folder.
#pragma once

#include <string>
#include <vector>

#include "shell/Paths.h"

namespace ka {

// Writes the batch list lines (CR LF) into a new file "Retry-<date>-<time>.txt" in the data
// folder ("Retry-2026-12-08-114002 (2).txt" when that name is taken): written whole under a
// temporary name, then moved to a name nothing holds, so no file is ever replaced. 0 on success
// and `path` names the file; else the platform's error code and nothing is left behind.
int WriteRetryList(const std::string& dataDir, const std::vector<std::string>& lines,
                   std::string& path, const PathRules& rules = PathRules::Native());

enum class MoveBackOutcome {
    Moved,        // <folder>/Failed/<name> is now in <folder>, under `to`
    NotInFailed,  // nothing of that name in Failed
    NotAFile,     // a folder, link, pipe or device of that name in Failed: left where it is
    Failed,       // the move failed; `error` says why
};

struct MoveBackResult {
    MoveBackOutcome outcome = MoveBackOutcome::Failed;
    std::string from;  // the drawing in Failed
    std::string to;    // where it went
    int error = 0;
};

// Moves the drawing a standby job moved to Failed back beside it into its hot folder: `input`
// is the path the drawing had there. A name already taken in the folder gets a numbered one
// ("a (2).hgl"), as in Failed; nothing is ever replaced.
MoveBackResult MoveBackFromFailed(const std::string& input,
                                  const PathRules& rules = PathRules::Native());

}  // namespace ka
