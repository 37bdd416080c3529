#include "shell/Paths.h"

#include "platform/platform.h"

namespace ka {

PathRules PathRules::Native() {
#ifdef _WIN32
    return {PathStyle::Windows, platform::ActiveCodePage()};
#else
    return {PathStyle::Posix, platform::ActiveCodePage()};
#endif
}

std::size_t LastSeparatorPos(std::string_view path, const PathRules& rules) {
    std::size_t last = std::string_view::npos;
    if (rules.style == PathStyle::Posix) {
        return path.rfind('/');
    }
    // Scan forward so that the trail byte of a double-byte character is never taken for "\".
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (platform::IsLeadByte(rules.codePage, c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == ':') {
            last = i;
        }
    }
    return last;
}

std::string FolderPart(std::string_view path, const PathRules& rules) {
    const std::size_t pos = LastSeparatorPos(path, rules);
    return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string NamePart(std::string_view path, const PathRules& rules) {
    const std::size_t pos = LastSeparatorPos(path, rules);
    return pos == std::string_view::npos ? std::string(path) : std::string(path.substr(pos + 1));
}

bool EndsWithSeparator(std::string_view path, const PathRules& rules) {
    if (path.empty()) {
        return false;
    }
    const std::size_t pos = LastSeparatorPos(path, rules);
    return pos == path.size() - 1 && path[pos] == rules.Separator();
}

std::string WithTrailingSeparator(std::string_view path, const PathRules& rules) {
    std::string result(path);
    if (!result.empty() && !EndsWithSeparator(result, rules)) {
        result += rules.Separator();
    }
    return result;
}

std::string JoinPath(std::string_view folder, std::string_view name, const PathRules& rules) {
    return WithTrailingSeparator(folder, rules) + std::string(name);
}

std::string AsciiLower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

std::string_view ExtensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string ReplaceExtension(std::string_view path, std::string_view ext, const PathRules& rules) {
    const std::size_t separator = LastSeparatorPos(path, rules);
    const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    const std::size_t stemEnd = path.size() - ExtensionOf(path.substr(nameStart)).size();
    std::string replaced(path.substr(0, stemEnd));
    replaced += ext;
    return replaced;
}

}  // namespace ka
