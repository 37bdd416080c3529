// Path splitting as the program needs it. The path style is a parameter so that Windows paths
// can be handled (and tested) on any system: on Windows the folder part runs to the last "\" or
// ":", respecting double-byte code pages (in code page 932 a trail byte can be 0x5C); on POSIX
// it runs to the last "/".
#pragma once

#include <string>
#include <string_view>

namespace ka {

enum class PathStyle { Windows, Posix };

struct PathRules {
    PathStyle style = PathStyle::Posix;
    unsigned codePage = 65001;

    static PathRules Native();  // this system's style and code page
    static PathRules Windows(unsigned codePage = 1252) { return {PathStyle::Windows, codePage}; }
    static PathRules Posix() { return {PathStyle::Posix, 65001}; }

    char Separator() const { return style == PathStyle::Windows ? '\\' : '/'; }
};

// Position of the last folder separator, or npos.
std::size_t LastSeparatorPos(std::string_view path, const PathRules& rules = PathRules::Native());

// Everything up to and including the last separator; empty when there is none.
std::string FolderPart(std::string_view path, const PathRules& rules = PathRules::Native());

// Everything after the last separator.
std::string NamePart(std::string_view path, const PathRules& rules = PathRules::Native());

// True when the path's last character is a separator (not a trail byte that looks like one).
bool EndsWithSeparator(std::string_view path, const PathRules& rules = PathRules::Native());

// "With a backslash": appends the separator unless the text is empty or already ends with one.
std::string WithTrailingSeparator(std::string_view path,
                                  const PathRules& rules = PathRules::Native());

// Joins a folder and a name with exactly one separator between them.
std::string JoinPath(std::string_view folder, std::string_view name,
                     const PathRules& rules = PathRules::Native());

// A file name's extension: from its last dot, the dot included ("a.b.hgl" gives ".hgl"); empty
// for a name without a dot.
std::string_view ExtensionOf(std::string_view name);

// The path with the extension of its file name replaced by ext (the dot included), or ext
// appended when the name has none. Dots in the folder part are never taken.
std::string ReplaceExtension(std::string_view path, std::string_view ext,
                             const PathRules& rules = PathRules::Native());

// ASCII-only lower case (A to Z), as the program's extension tests use.
std::string AsciiLower(std::string_view text);

}  // namespace ka
