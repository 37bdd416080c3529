// Line-oriented reading and writing of the program's 8-bit text files.
// Reading: CR LF, a lone CR and a lone LF each end a line (files from Linux end lines with LF
// alone); a Ctrl-Z byte (0x1A) ends the file; the last line needs no line end; lines have no
// length limit.
// Writing: every line is followed by CR LF.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
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

// Lines (each followed by CR LF) for a file that takes many of them at once: once they come in
// bulk, a thread of its own writes them while the caller goes on, which then pays only for
// copying them into a buffer. A writer that never fills a buffer starts no thread. Nothing else
// may write to the file until Finish.
class LineWriter {
  public:
    explicit LineWriter(std::FILE* file) : file_(file) {}
    ~LineWriter() { Finish(); }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void Line(std::string_view line);
    // False once a write is known to have failed (the thread's failures show a buffer later).
    bool Failed() const;
    // Every line handed over is in the file's buffer and flushed, the thread ended. False when
    // a write or the flush failed. The file may be written directly again.
    bool Finish();

  private:
    void HandOver();
    void Write();
    void WriteOut(const std::string& bytes);  // notes a failure

    std::FILE* file_;
    std::string filling_;
    std::string writing_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool busy_ = false;  // writing_ is the thread's
    bool stop_ = false;
    std::atomic<bool> failed_ = false;  // read for every line: no lock
    bool finished_ = false;
};

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
