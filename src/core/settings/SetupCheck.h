// Whether the settings are complete enough for what the user asks: the folder boxes of "Set"
// when it is confirmed, and the settings a run started from the window's buttons needs.
// A box left empty means its mode is not set up; that is refused only when the mode is used.
#pragma once

#include <string>

#include "settings/Orrin1.h"
#include "shell/Paths.h"

namespace ka {

struct FolderBoxCheck {
    bool ok = true;
    // The folder part of the text with one final separator; empty for an empty box.
    std::string folder;
    // For a failed check: the box's caption, the folder, and that it does not exist.
    std::string message;
};

// A box empty (or blank) is accepted as not set up. Otherwise its folder part (up to the last
// separator; a text without one names no folder) must be an existing folder.
FolderBoxCheck CheckFolderBox(const std::string& caption, const std::string& text,
                              const PathRules& rules = PathRules::Native());

enum class RunKind { Batch, Standby, Compare };

// What a run started from the window's buttons lacks, as the message to show; empty when it may
// start. Every run that writes output files needs an output folder: without one they would land
// in the program's current folder. Standby needs its input folder and wildcard, the comparison
// both comparison folders. The command line keeps its own rules and does not ask this.
std::string MissingRunSetup(RunKind kind, const Settings& settings, bool output1Shown,
                            bool compareOn, const PathRules& rules = PathRules::Native());

}  // namespace ka
