// Line-oriented reading and writing of the program's 8-bit text files.
// Reading: CR LF, a lone CR and a lone LF each end a line (files from Linux end lines with LF
// alone); a Ctrl-Z byte (0x1A) ends the file; the last line needs no line end; lines have no
// length limit.
// Writing: every line is followed by CR LF.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ka {

class TextLineReader {
  public:
    explicit TextLineReader(std::FILE* file) : file_(file) {}

    // True when no line is left: the end of the data or a Ctrl-Z byte.
    bool AtEnd();

    // Reads the next line without its line end. False (and an empty line) at the end.
    bool ReadLine(std::string& line);

    // True when a read from the file failed (as opposed to reaching its end).
    bool Failed() const { return failed_; }

  private:
    int Peek();
    int Get();
    bool Fill();
    // Where the line from `from` stops in the buffer: CR, LF, Ctrl-Z or the buffer's end.
    std::size_t LineStop(std::size_t from) const;

    std::FILE* file_;
    char buffer_[64 * 1024];
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

// Writes text followed by CR LF. False when the write failed.
bool WriteLineCrLf(std::FILE* file, const std::string& line);

// Flushes and closes a file that was written. False when either failed (a full disk shows
// only here), so the caller never hands on a file that is not complete.
bool CloseWritten(platform::FilePtr file);

// Replaces the file at "path" by the given lines (CR LF after each) without ever leaving it
// half-written: the lines go to path + tempSuffix beside it, which is then renamed into place.
// An existing file must be writable (renaming over a read-only file would succeed on POSIX
// where truncating it fails everywhere). 0 on success, else an error code (never 0); on failure
// the file at "path" is as it was and the temporary file is gone.
int WriteLinesReplacing(const std::string& path, const std::vector<std::string>& lines,
                        const char* tempSuffix = ".katmp");

// Parses a decimal integer at the start of a line (leading blanks and tabs skipped, optional
// sign). Text without a number gives 0; values beyond 32 bits keep their low 32 bits.
std::int32_t ParseLeadingInt(const std::string& line);

}  // namespace ka
