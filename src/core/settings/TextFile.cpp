#include "settings/TextFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <utility>

namespace ka {

namespace {
constexpr int kCtrlZ = 0x1A;
}

bool TextLineReader::Fill() {
    if (eof_) {
        return false;
    }
    len_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    pos_ = 0;
    if (len_ == 0) {
        eof_ = true;
        if (std::ferror(file_)) {
            failed_ = true;
        }
        return false;
    }
    return true;
}

int TextLineReader::Peek() {
    if (pos_ >= len_ && !Fill()) {
        return EOF;
    }
    return static_cast<unsigned char>(buffer_[pos_]);
}

int TextLineReader::Get() {
    const int c = Peek();
    if (c != EOF) {
        ++pos_;
    }
    return c;
}

bool TextLineReader::AtEnd() {
    const int c = Peek();
    return c == EOF || c == kCtrlZ;
}

std::size_t TextLineReader::LineStop(std::size_t from) const {
    // Three searches the C library does many bytes at a time, each within the last one's find.
    const char* const begin = buffer_ + from;
    std::size_t n = len_ - from;
    if (const void* lf = std::memchr(begin, '\n', n)) {
        n = static_cast<std::size_t>(static_cast<const char*>(lf) - begin);
    }
    if (const void* cr = std::memchr(begin, '\r', n)) {
        n = static_cast<std::size_t>(static_cast<const char*>(cr) - begin);
    }
    if (const void* z = std::memchr(begin, kCtrlZ, n)) {
        n = static_cast<std::size_t>(static_cast<const char*>(z) - begin);
    }
    return from + n;
}

bool TextLineReader::ReadLine(std::string& line) {
    line.clear();
    if (AtEnd()) {
        return false;
    }
    for (;;) {
        // Copy runs of ordinary bytes at once; long lines stay cheap.
        if (pos_ >= len_ && !Fill()) {
            return true;
        }
        const std::size_t i = LineStop(pos_);
        line.append(buffer_ + pos_, i - pos_);
        pos_ = i;
        if (i < len_) {
            if (buffer_[i] == '\n') {
                ++pos_;
            } else if (buffer_[i] == '\r') {
                ++pos_;
                if (Peek() == '\n') {
                    ++pos_;
                }
            }
            // A Ctrl-Z stays unread, so AtEnd() reports the end from now on.
            return true;
        }
    }
}

bool WriteLineCrLf(std::FILE* file, const std::string& line) {
    if (!line.empty() && std::fwrite(line.data(), 1, line.size(), file) != line.size()) {
        return false;
    }
    return std::fwrite("\r\n", 1, 2, file) == 2;
}

namespace {
// Large enough that a write costs little per line, small enough that the two buffers of a
// writer stay cheap.
constexpr std::size_t kHandOverBytes = std::size_t{1} << 20;
}  // namespace

void LineWriter::Line(std::string_view line) {
    if (filling_.capacity() < kHandOverBytes) {
        filling_.reserve(kHandOverBytes + kHandOverBytes / 4);
    }
    filling_.append(line);
    filling_.append("\r\n", 2);
    if (filling_.size() >= kHandOverBytes) {
        HandOver();
    }
}

void LineWriter::HandOver() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        if (failed_) {
            filling_.clear();  // nothing after a failed write can make the file whole
            return;
        }
        std::swap(filling_, writing_);
        busy_ = true;
    }
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { Write(); });
        } catch (const std::system_error&) {
            // No thread to be had: the caller writes the buffer itself.
            WriteOut(writing_);
            std::lock_guard<std::mutex> lock(mutex_);
            writing_.clear();
            busy_ = false;
            return;
        }
    }
    changed_.notify_all();
}

void LineWriter::WriteOut(const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        failed_ = true;
    }
}

void LineWriter::Write() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || stop_; });
        if (!busy_) {
            return;
        }
        lock.unlock();
        WriteOut(writing_);
        writing_.clear();
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

bool LineWriter::Failed() const {
    return failed_;
}

bool LineWriter::Finish() {
    if (finished_) {
        return !failed_;
    }
    finished_ = true;
    if (thread_.joinable()) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !busy_; });
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    if (!failed_) {
        WriteOut(filling_);
    }
    filling_ = std::string();
    writing_ = std::string();
    if (std::fflush(file_) != 0) {
        failed_ = true;
    }
    return !failed_;
}

bool CloseWritten(platform::FilePtr file) {
    const bool flushed = std::fflush(file.get()) == 0;
    return std::fclose(file.release()) == 0 && flushed;
}

int WriteLinesReplacing(const std::string& path, const std::vector<std::string>& lines,
                        const char* tempSuffix) {
    int errorCode = 0;
    if (platform::PathExists(path) && !platform::OpenFile(path, "r+b", errorCode)) {
        return errorCode;
    }
    const std::string temporary = path + tempSuffix;
    platform::FilePtr file = platform::OpenFile(temporary, "wb", errorCode);
    if (!file) {
        return errorCode;
    }
    errno = 0;
    bool ok = true;
    for (const std::string& line : lines) {
        if (!WriteLineCrLf(file.get(), line)) {
            ok = false;
            break;
        }
    }
    ok = CloseWritten(std::move(file)) && ok;
    errorCode = ok ? platform::ReplaceFileWith(temporary, path) : (errno != 0 ? errno : EIO);
    if (errorCode != 0) {
        platform::DeleteFileAt(temporary);
    }
    return errorCode;
}

std::int32_t ParseLeadingInt(const std::string& line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    std::uint32_t value = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        value = value * 10u + static_cast<std::uint32_t>(line[i] - '0');
        ++i;
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace ka
