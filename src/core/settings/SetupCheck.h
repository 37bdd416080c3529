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
    // For a failed check: the folder that does not exist, empty when the text names none.
    std::string missing;
};

// A box empty (or blank) is accepted as not set up. Otherwise its folder part (up to the last
// separator; a text without one names no folder) must be an existing folder.
FolderBoxCheck CheckFolderBox(const std::string& caption, const std::string& text,
                              const PathRules& rules = PathRules::Native());

// The captions of the folder boxes of "Set", as their labels show them and their messages name
// them.
inline constexpr const char* kStandbyBoxCaption = "Drawing comparison OFF input file name";
inline constexpr const char* kCompare1BoxCaption = "Comparison file 1";
inline constexpr const char* kCompare2BoxCaption = "Comparison folder 2";
inline constexpr const char* kOutDirBoxCaption = "Output foldr";

// What the boxes of "Set" hold.
struct SettingsEntries {
    std::string korvaneExe;
    std::string outListFileName;
    std::string autoOutDirFName;
    std::string outDir;
    std::string chgAreaDir1;
    std::string chgAreaDir2;
    int waitMinutes = 0;
    bool savBatch = false;
    bool skipSameSizeAndTime = false;
    bool skipSizeDiffers = false;
    int compFileSizeOver = 30;
    bool noOut = false;
};

enum class SettingsBox {
    None,
    KorvaneExe,
    OutListFileName,
    StandbyInput,
    OutDir,
    Compare1,
    Compare2
};

struct SettingsVerdict {
    SettingsBox box = SettingsBox::None;  // the first box refused, None when all are accepted
    std::string message;
    std::string missingFolder;  // a folder box refused: the folder that does not exist
};

SettingsEntries EntriesOf(const Settings& settings);

// Checks the boxes in the order the dialog shows them: the converter and the batch list file must
// exist; each folder box is checked as CheckFolderBox does. The output folder and comparison
// folder 2 are then given as their folder part with one final separator.
SettingsVerdict CheckSettingsEntries(SettingsEntries& entries,
                                     const PathRules& rules = PathRules::Native());

// Stores accepted entries. A waiting time of 0 minutes is 2 seconds.
void StoreSettingsEntries(const SettingsEntries& entries, Settings& settings);

// Creates the folder and every missing folder above it. True when it exists afterwards.
bool CreateFolderTree(const std::string& folder, const PathRules& rules = PathRules::Native());

// Creates the file empty when it is missing; never empties one that exists. 0, or the I/O error
// code after telling the user.
int CreateEmptyFile(const std::string& fileName, MessageSink& sink);

enum class RunKind { Batch, Standby, Compare };

// What a run started from the window's buttons lacks, as the message to show; empty when it may
// start. Every run that writes output files needs an output folder: without one they would land
// in the program's current folder. Standby needs its input folder and wildcard, the comparison
// both comparison folders. The command line keeps its own rules and does not ask this.
std::string MissingRunSetup(RunKind kind, const Settings& settings, bool output1Shown,
                            bool compareOn, const PathRules& rules = PathRules::Native());

}  // namespace ka
