// Pieces of the folder comparison that work without the window: listing a folder, the skip
// rules and the comparison log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/Orrin1.h"
#include "shell/Paths.h"

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

// The comparison log of one run, appended to line by line (+ CR LF). It is opened at the first
// line, creating its one missing folder level, and kept open for the run; each line is flushed
// as it is written. A log that cannot be opened is tried again at the next line.
class CompLog {
  public:
    explicit CompLog(std::string path, PathRules rules = PathRules::Native());
    // False when the log cannot be opened or the line not written; the line is then lost.
    bool Write(const std::string& line);
    void Close() { file_.reset(); }

  private:
    std::string path_;
    PathRules rules_;
    platform::FilePtr file_;
};

// The message shown when the comparison log cannot be written.
std::string CompLogFailureMessage();

// A path as a message or a report field shows it: control characters as \xNN, so a name
// cannot break a line.
std::string PrintablePath(const std::string& path);

}  // namespace ka
