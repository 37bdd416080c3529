// Platform pieces that do not depend on the operating system: code-page lead bytes, the
// Windows command-line rules, wildcard matching, DOS times and the shell-link file form.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/platform_detail.h"

namespace ka::platform {

bool IsLeadByte(unsigned codePage, unsigned char c) {
    switch (codePage) {
        case 932:  // Shift-JIS
            return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        case 936:  // GBK
        case 949:  // Unified Hangul
        case 950:  // Big5
            return c >= 0x81 && c <= 0xFE;
        default:
            return false;
    }
}

// The rules of the current C runtime's argument parser (the ones CommandLineToArgvW shares
// for every token after the first):
//   2n backslashes + quote    -> n backslashes, the quote toggles quoting
//   2n+1 backslashes + quote  -> n backslashes and a literal quote
//   backslashes not before a quote are literal
//   "" inside a quoted part   -> a literal quote, quoting goes on
//   in a double-byte code page a lead byte and its trail byte are copied as one character, so
//   a trail byte 0x5C is never taken for a backslash
std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    return detail::SplitCommandLine(commandLine, ActiveCodePage());
}

std::string DescribeProcessEnd(const ProcessResult& result) {
    switch (result.end) {
        case ProcessEnd::NotStarted:
            return "not started";
        case ProcessEnd::Running:
            return "running";
        case ProcessEnd::Exited:
            return "exit code " + std::to_string(result.exitCode);
        case ProcessEnd::Crashed:
            break;
        case ProcessEnd::Stopped:
            return "stopped";
    }
    // Signals are small numbers; Windows exception codes are 0xC0000000 and above.
    if (result.crashCode < 0x10000) {
        return "signal " + std::to_string(result.crashCode);
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(result.crashCode));
    return std::string("exception ") + hex;
}

namespace detail {

std::vector<std::string> SplitCommandLine(const std::string& commandLine, unsigned codePage) {
    std::vector<std::string> args;
    const char* p = commandLine.c_str();
    const char* const end = p + commandLine.size();
    for (;;) {
        while (p < end && (*p == ' ' || *p == '\t')) {
            ++p;
        }
        if (p >= end) {
            break;
        }
        std::string arg;
        bool inQuotes = false;
        for (;;) {
            std::size_t backslashes = 0;
            while (p < end && *p == '\\') {
                ++p;
                ++backslashes;
            }
            bool copy = true;
            if (p < end && *p == '"') {
                if (backslashes % 2 == 0) {
                    if (inQuotes && p + 1 < end && p[1] == '"') {
                        ++p;  // doubled quote inside quotes: one literal quote
                    } else {
                        copy = false;
                        inQuotes = !inQuotes;
                    }
                }
                backslashes /= 2;
            }
            arg.append(backslashes, '\\');
            if (p >= end || (!inQuotes && (*p == ' ' || *p == '\t'))) {
                break;
            }
            if (copy) {
                if (IsLeadByte(codePage, static_cast<unsigned char>(*p)) && p + 1 < end) {
                    arg.push_back(*p++);
                }
                arg.push_back(*p);
            }
            ++p;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string SplitProgramName(const std::string& commandLine, std::string& rest) {
    std::size_t i = 0;
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) {
        ++i;
    }
    std::string name;
    bool inQuotes = false;
    for (; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == '"') {
            inQuotes = !inQuotes;
            continue;
        }
        if (!inQuotes && (c == ' ' || c == '\t')) {
            break;
        }
        name.push_back(c);
    }
    rest = commandLine.substr(i);
    return name;
}

namespace {

template <typename Char>
Char AsciiLowerChar(Char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

}  // namespace

template <typename Char>
BasicWildcardMatcher<Char>::BasicWildcardMatcher(std::basic_string_view<Char> pattern) {
    const Char star[] = {'*', 0};
    const Char starDotStar[] = {'*', '.', '*', 0};
    if (pattern == star || pattern == starDotStar) {
        matchAll_ = true;
        return;
    }
    // The directory search turns "?" into DOS_QM, "*" before a "." into DOS_STAR and a "."
    // before "?", "*" or the end into DOS_DOT.
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const Char c = pattern[i];
        const Char next = i + 1 < pattern.size() ? pattern[i + 1] : Char(0);
        if (c == '?') {
            elements_.push_back({Kind::DosQuestion, 0});
        } else if (c == '*') {
            elements_.push_back({next == '.' ? Kind::DosStar : Kind::Star, 0});
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            elements_.push_back({Kind::DosDot, 0});
        } else {
            elements_.push_back({Kind::Literal, AsciiLowerChar(c)});
        }
    }
    current_.resize(elements_.size() + 1);
    next_.resize(elements_.size() + 1);
}

// A state-set walk over the pattern, as the file system's own name matcher does it: state i
// means "the first i pattern elements have matched so far".
template <typename Char>
bool BasicWildcardMatcher<Char>::Matches(std::basic_string_view<Char> name) const {
    if (matchAll_) {
        return true;
    }
    const std::size_t count = elements_.size();
    auto& cur = current_;
    auto& nxt = next_;
    std::fill(cur.begin(), cur.end(), 0);

    // Adds a state and every state reachable from it without consuming a character.
    // "atEnd" and "atDot" describe the character about to be read.
    auto addState = [&](std::vector<unsigned char>& set, std::size_t state, bool atEnd,
                        bool atDot) {
        while (state <= count && !set[state]) {
            set[state] = 1;
            if (state == count) {
                break;
            }
            const Kind k = elements_[state].kind;
            if (k == Kind::Star || k == Kind::DosStar) {
                ++state;  // may match nothing
            } else if (k == Kind::DosDot && atEnd) {
                ++state;  // matches nothing at the end of the name
            } else if (k == Kind::DosQuestion && (atEnd || atDot)) {
                ++state;  // at a dot or the end, DOS_QM matches nothing
            } else {
                break;
            }
        }
    };

    const std::size_t lastDot = name.rfind(Char('.'));
    for (std::size_t pos = 0;; ++pos) {
        const bool atEnd = pos >= name.size();
        const bool atDot = !atEnd && name[pos] == '.';
        if (pos == 0) {
            addState(cur, 0, atEnd, atDot);
        }
        if (atEnd) {
            return cur[count] != 0;
        }

        std::fill(nxt.begin(), nxt.end(), 0);
        const bool nextAtEnd = pos + 1 >= name.size();
        const bool nextAtDot = !nextAtEnd && name[pos + 1] == '.';
        const Char lower = AsciiLowerChar(name[pos]);
        bool any = false;
        for (std::size_t s = 0; s < count; ++s) {
            if (!cur[s]) {
                continue;
            }
            const Element& e = elements_[s];
            std::size_t target = count + 1;  // none
            switch (e.kind) {
                case Kind::Literal:
                    if (e.lower == lower) {
                        target = s + 1;
                    }
                    break;
                case Kind::Star:
                    target = s;
                    break;
                case Kind::DosStar:
                    // Eats anything but the name's last dot.
                    if (!(atDot && pos == lastDot)) {
                        target = s;
                    }
                    break;
                case Kind::DosQuestion:
                    if (!atDot) {
                        target = s + 1;
                    }
                    break;
                case Kind::DosDot:
                    if (atDot) {
                        target = s + 1;
                    }
                    break;
            }
            if (target <= count) {
                addState(nxt, target, nextAtEnd, nextAtDot);
                any = true;
            }
        }
        if (!any) {
            return false;
        }
        std::swap(cur, nxt);
    }
}

template class BasicWildcardMatcher<char>;
template class BasicWildcardMatcher<wchar_t>;

std::uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980 || year > 2107) {
        return 0;
    }
    const auto u = [](int v) { return static_cast<std::uint32_t>(v); };
    return (u(year - 1980) << 25) | (u(month) << 21) | (u(day) << 16) | (u(hour) << 11) |
           (u(minute) << 5) | u(second / 2);
}

namespace {

std::uint32_t ReadU32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24);
}

std::uint16_t ReadU16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}

// NUL-terminated text starting at "at", inside [begin, end).
bool ReadCString(const std::string& b, std::size_t at, std::size_t end, std::string& out) {
    if (at >= end) {
        return false;
    }
    const std::size_t nul = b.find('\0', at);
    if (nul == std::string::npos || nul >= end) {
        return false;
    }
    out.assign(b, at, nul - at);
    return true;
}

}  // namespace

bool ReadShellLinkLocalPath(const std::string& bytes, std::string& target) {
    static constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00,
                                                     0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                                                     0x00, 0x00, 0x00, 0x46};
    constexpr std::size_t kHeaderSize = 0x4C;
    constexpr std::uint32_t kHasLinkTargetIdList = 0x1;
    constexpr std::uint32_t kHasLinkInfo = 0x2;
    constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x1;

    if (bytes.size() < kHeaderSize || ReadU32(bytes, 0) != kHeaderSize) {
        return false;
    }
    if (std::memcmp(bytes.data() + 4, kLinkClsid, sizeof kLinkClsid) != 0) {
        return false;
    }
    const std::uint32_t flags = ReadU32(bytes, 20);
    std::size_t at = kHeaderSize;
    if (flags & kHasLinkTargetIdList) {
        if (at + 2 > bytes.size()) {
            return false;
        }
        at += 2 + ReadU16(bytes, at);
    }
    // A link without a local path (a network share or a shell item such as the control
    // panel) loads, but has no file-system target.
    if (!(flags & kHasLinkInfo)) {
        target.clear();
        return true;
    }
    if (at + 28 > bytes.size()) {
        return false;
    }
    const std::size_t infoSize = ReadU32(bytes, at);
    if (infoSize < 28 || infoSize > bytes.size() - at) {
        return false;
    }
    const std::size_t infoEnd = at + infoSize;
    const std::uint32_t infoFlags = ReadU32(bytes, at + 8);
    if (!(infoFlags & kVolumeIdAndLocalBasePath)) {
        target.clear();
        return true;
    }
    std::string base;
    if (!ReadCString(bytes, at + ReadU32(bytes, at + 16), infoEnd, base)) {
        return false;
    }
    std::string suffix;
    const std::uint32_t suffixOffset = ReadU32(bytes, at + 24);
    if (suffixOffset != 0) {
        ReadCString(bytes, at + suffixOffset, infoEnd, suffix);
    }
    target = base + suffix;
    return true;
}

}  // namespace detail

ProcessResult RunAndWait(const std::string& commandLine) {
    Process process;
    if (process.Start(commandLine)) {
        process.Wait(-1);
    }
    return process.Result();
}

bool WildcardMatches(const std::string& wildcard, const std::string& name) {
    return detail::WildcardMatcher(wildcard).Matches(name);
}

}  // namespace ka::platform
