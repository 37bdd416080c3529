#include "settings/RunSettings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "platform/platform.h"
#include "settings/TextFile.h"

namespace ka {

const RunSettingField kRunSettingFields[5] = {
    {"SuccessExitCodes", "Converter exit codes that mean success", &RunSettings::successExitCodes,
     -2147483648.0, 2147483647.0},
    {"ReplaceOutputs", "Standby replaces an existing output", &RunSettings::replaceOutputs, 0, 1},
    {"ConverterIdleMinutes", "Converter time limit without progress (minutes, 0: none)",
     &RunSettings::converterIdleMinutes, 0, 10080},
    {"Converters", "Converters at once", &RunSettings::converters, 1, 64},
    {"SharedHotFolder", "Shared hot folder (several machines)", &RunSettings::sharedHotFolder, 0,
     1},
};

namespace {

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

// A whole number, clamped; false for text that is none.
bool ParseWhole(std::string_view text, double min, double max, long long& value, bool& clamped) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    long long parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || end != text.data() + text.size()) {
        return false;
    }
    if (error == std::errc::result_out_of_range) {
        parsed = text.front() == '-' ? static_cast<long long>(min) : static_cast<long long>(max);
    }
    value = std::clamp(parsed, static_cast<long long>(min), static_cast<long long>(max));
    clamped = value != parsed || error == std::errc::result_out_of_range;
    return true;
}

bool ParseDecimal(std::string_view text, double min, double max, double& value, bool& clamped) {
    text = Trimmed(text);
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(parsed)) {
        return false;
    }
    value = std::clamp(parsed, min, max);
    clamped = value != parsed;
    return true;
}

}  // namespace

bool RunSettings::IsSuccessExitCode(int code) const {
    return std::find(successExitCodes.begin(), successExitCodes.end(), code) !=
           successExitCodes.end();
}

std::string RunSettingText(const RunSettings& settings, const RunSettingField& field) {
    return std::visit(
        [&settings]<typename T>(T RunSettings::*member) -> std::string {
            const T& value = settings.*member;
            if constexpr (std::is_same_v<T, bool>) {
                return value ? "1" : "0";
            } else if constexpr (std::is_same_v<T, std::int32_t>) {
                return std::to_string(value);
            } else if constexpr (std::is_same_v<T, double>) {
                char text[32];
                std::snprintf(text, sizeof text, "%g", value);
                return text;
            } else {
                std::string text;
                for (const int code : value) {
                    if (!text.empty()) {
                        text += ';';
                    }
                    text += std::to_string(code);
                }
                return text;
            }
        },
        field.member);
}

bool SetRunSetting(RunSettings& settings, const RunSettingField& field, std::string_view text) {
    return std::visit(
        [&]<typename T>(T RunSettings::*member) -> bool {
            T& target = settings.*member;
            bool clamped = false;
            if constexpr (std::is_same_v<T, std::vector<int>>) {
                // "0;3;-1": every item must be a number; a list with none keeps the default.
                std::vector<int> codes;
                std::size_t start = 0;
                bool bad = false;
                for (;;) {
                    const std::size_t semicolon = text.find(';', start);
                    const std::string_view item = Trimmed(text.substr(start, semicolon - start));
                    long long code = 0;
                    bool itemClamped = false;
                    if (!item.empty()) {
                        if (ParseWhole(item, field.min, field.max, code, itemClamped)) {
                            codes.push_back(static_cast<int>(code));
                            clamped = clamped || itemClamped;
                        } else {
                            bad = true;
                        }
                    }
                    if (semicolon == std::string_view::npos) {
                        break;
                    }
                    start = semicolon + 1;
                }
                if (codes.empty()) {
                    return false;
                }
                target = std::move(codes);
                return !bad && !clamped;
            } else if constexpr (std::is_same_v<T, double>) {
                double value = 0;
                if (!ParseDecimal(text, field.min, field.max, value, clamped)) {
                    return false;
                }
                target = value;
                return !clamped;
            } else {
                long long value = 0;
                if (!ParseWhole(text, field.min, field.max, value, clamped)) {
                    return false;
                }
                target = static_cast<T>(value);
                return !clamped;
            }
        },
        field.member);
}

// ---- INI file -----------------------------------------------------------------------------------

bool IniFile::Load(const std::string& path) {
    lines_.clear();
    if (!platform::FileExists(path)) {
        return !platform::PathExists(path);
    }
    int error = 0;
    platform::FilePtr file = platform::OpenFile(path, "rb", error);
    if (!file) {
        return false;
    }
    TextLineReader reader(file.get());
    std::string line;
    while (reader.ReadLine(line)) {
        lines_.push_back(line);
    }
    return !reader.Failed();
}

std::pair<std::size_t, std::size_t> IniFile::SectionBody(std::string_view section) const {
    std::size_t body = std::string::npos;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view line = Trimmed(lines_[i]);
        if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
            continue;
        }
        if (body != std::string::npos) {
            return {body, i};
        }
        if (EqualNoCase(Trimmed(line.substr(1, line.size() - 2)), section)) {
            body = i + 1;
        }
    }
    return {body, lines_.size()};
}

bool IniFile::Get(std::string_view section, std::string_view key, std::string& value) const {
    const auto [begin, end] = SectionBody(section);
    if (begin == std::string::npos) {
        return false;
    }
    for (std::size_t i = begin; i < end; ++i) {
        const std::string_view line = lines_[i];
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && EqualNoCase(Trimmed(line.substr(0, equals)), key)) {
            value.assign(Trimmed(line.substr(equals + 1)));
            return true;
        }
    }
    return false;
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string line(key);
    line += '=';
    line += value;
    auto [begin, end] = SectionBody(section);
    if (begin == std::string::npos) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(std::move(line));
        return;
    }
    for (std::size_t i = begin; i < end; ++i) {
        const std::string_view old = lines_[i];
        const std::size_t equals = old.find('=');
        if (equals != std::string_view::npos && EqualNoCase(Trimmed(old.substr(0, equals)), key)) {
            lines_[i] = std::move(line);
            return;
        }
    }
    // After the section's last line with content, so blank lines before the next section stay.
    while (end > begin && Trimmed(lines_[end - 1]).empty()) {
        --end;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end), std::move(line));
}

int IniFile::Save(const std::string& path) const {
    return WriteLinesReplacing(path, lines_, ".tmp");
}

std::string RunSettingsPath(const std::string& dataDir, const PathRules& rules) {
    return JoinPath(dataDir, kRunSettingsFileName, rules);
}

RunSettings LoadRunSettings(const std::string& dataDir) {
    RunSettings settings;
    IniFile file;
    if (dataDir.empty() || !file.Load(RunSettingsPath(dataDir))) {
        return settings;
    }
    std::string value;
    for (const RunSettingField& field : kRunSettingFields) {
        if (file.Get(kRunSection, field.key, value)) {
            SetRunSetting(settings, field, value);
        }
    }
    return settings;
}

int SaveRunSettings(const std::string& dataDir, const RunSettings& settings) {
    return UpdateRunSettingsFile(dataDir, [&](IniFile& file) {
        const RunSettings defaults;
        std::string value;
        for (const RunSettingField& field : kRunSettingFields) {
            const std::string text = RunSettingText(settings, field);
            // A missing file stays missing while every value is its default.
            const bool present = file.Get(kRunSection, field.key, value);
            if (present ? value != text : text != RunSettingText(defaults, field)) {
                file.Set(kRunSection, field.key, text);
            }
        }
    });
}

int UpdateRunSettingsFile(const std::string& dataDir, const std::function<void(IniFile&)>& edit) {
    if (dataDir.empty()) {
        return ENOENT;
    }
    const std::string path = RunSettingsPath(dataDir);
    IniFile file;
    if (!file.Load(path)) {
        return EIO;
    }
    const std::vector<std::string> before = file.Lines();
    edit(file);
    return file.Lines() == before ? 0 : file.Save(path);
}

}  // namespace ka
