// Pieces of the folder comparison that work without the window: listing a folder, the skip
// rules and the comparison log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/Orrin1.h"

namespace ka {

// Fills list with the names (no folder) of every entry that matches the pattern (a folder and a
// wildcard), "." and ".." left out, folders listed like files, in the user's locale-aware,
// case-insensitive order. Names that differ only in case keep the order the file system gave.
// A folder that cannot be listed gives an empty list and false.
bool GetFileList(const std::string& pattern, std::vector<std::string>& list);

// Why a pair is processed or dropped.
enum class CompSkip {
    Process,
    CannotOpen,       // a file of the pair cannot be opened for reading; reported, not logged
    SameSizeAndTime,  // "*1"
    ZeroSize,         // "*2"
    SizeDiffers,      // "*3"
};

// Applies the skip rules of iCompSkipFlags to the pair (path1, path2), reading file 2 first.
// With no rule set no file is touched. A file that cannot be opened for reading (a folder, a
// missing or unreadable file) is reported through the sink as its path and "Cannot open file!" on
// two lines.
CompSkip CheckCompSkip(const std::string& path1, const std::string& path2,
                       std::uint8_t compSkipFlags, std::int32_t sizeOverPercent, MessageSink& sink);

// The comparison log line for a dropped pair; empty for Process and CannotOpen.
std::string CompLogLine(CompSkip reason, std::int32_t sizeOverPercent, const std::string& path1);

// Appends line + CR LF to the log, creating the log (and its one missing folder level) first.
// False when the log cannot be created or opened; the line is then lost.
bool CompLogWrite(const std::string& logPath, const std::string& line,
                  const PathRules& rules = PathRules::Native());

// The message shown when the comparison log cannot be written.
std::string CompLogFailureMessage();

}  // namespace ka
