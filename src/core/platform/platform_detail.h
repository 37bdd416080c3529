// Pieces of the platform layer shared by both implementations and visible to the tests.
// Not for use outside src/platform and its tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ka::platform::detail {

// How long a Process being destroyed while its program runs lets the program end by itself.
inline constexpr int kDefaultTerminateGraceMs = 2000;

// How long the Windows handler of a console close, logoff or shutdown waits for
// StopSignalHandled; the system gives a console about five seconds after a close.
inline constexpr int kStopSignalGraceMs = 4500;

// Windows only: the console control handler itself, for the tests, since no program can raise
// a console close, logoff or shutdown.
int OnConsoleControl(unsigned long controlType);

// A file-name wildcard compiled once and matched against many names, with the rules the
// Windows directory search applies: "*" and "?", ASCII case-insensitive, "*.*" matching every
// name, and the DOS forms a pattern is turned into ("*." matches names without an extension,
// "a?.txt" matches "a.txt", "a*.*" matches "abc"). Bytes or, on Windows, wide characters.
template <typename Char>
class BasicWildcardMatcher {
  public:
    explicit BasicWildcardMatcher(std::basic_string_view<Char> pattern);
    bool Matches(std::basic_string_view<Char> name) const;

  private:
    enum class Kind : std::uint8_t { Literal, Star, DosStar, DosQuestion, DosDot };
    struct Element {
        Kind kind;
        Char lower;  // Literal only
    };
    std::vector<Element> elements_;
    bool matchAll_ = false;
    // Reused state sets of the matcher: one flag per pattern position (+1 for the end).
    mutable std::vector<unsigned char> current_;
    mutable std::vector<unsigned char> next_;
};

using WildcardMatcher = BasicWildcardMatcher<char>;

// SplitCommandLine with the code page given rather than the system's.
std::vector<std::string> SplitCommandLine(const std::string& commandLine, unsigned codePage);

// The program-name token of a Windows command line, as CreateProcess and the C runtime read
// it: up to the first blank or tab outside double quotes, quotes removed, backslashes literal.
// "rest" receives the text after it.
std::string SplitProgramName(const std::string& commandLine, std::string& rest);

// DOS date and time of a broken-down local time; 0 outside the DOS range (1980 to 2107).
std::uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

// Reads the local base path of a Windows shell-link file (the MS-SHLLINK binary form).
// False when the bytes are no shell link or are damaged; true with empty text for a link
// that has no local path.
bool ReadShellLinkLocalPath(const std::string& bytes, std::string& target);

}  // namespace ka::platform::detail
