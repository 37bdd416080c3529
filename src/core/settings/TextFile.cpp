#include "settings/TextFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
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
