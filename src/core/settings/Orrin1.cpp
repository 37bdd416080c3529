#include "settings/Orrin1.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "settings/ParFields.h"
#include "settings/TextFile.h"
#include "settings/UserMessages.h"
#include "shell/Paths.h"

namespace ka {

namespace {

constexpr const char* kDefaultKorvaneExe = "C:\\Program Files\\Tavrolint\\Korvane\\Korvane.exe";
constexpr const char* kDefaultKorvaneExeX86 =
    "C:\\Program Files (x86)\\Tavrolint\\Korvane\\Korvane.exe";

// A CR or LF would end the value early and push every later value one line down; a Ctrl-Z
// would end the file for the next reader. None can come back from the file, so none is written.
std::string StorableText(const std::string& value) {
    std::string text;
    text.reserve(value.size());
    for (const char c : value) {
        if (c != '\r' && c != '\n' && c != '\x1A') {
            text += c;
        }
    }
    return text;
}

}  // namespace

std::string ParFieldText(const Settings& settings, const ParField& field) {
    return std::visit(
        [&settings]<typename T>(T Settings::*member) {
            if constexpr (std::is_same_v<T, std::string>) {
                return StorableText(settings.*member);
            } else if constexpr (std::is_same_v<T, std::uint8_t>) {
                return std::to_string(static_cast<unsigned>(settings.*member));
            } else {
                return std::to_string(settings.*member);
            }
        },
        field.member);
}

namespace {

struct NumberRange {
    std::string_view name;
    long long min;
    long long max;
    bool outsideMeansShipped;  // a choice from a list: a value beyond it means nothing
};

// Out of range is clamped, never wrapped: "256" must not become output type 0, nor "-1" 255.
constexpr NumberRange kNumberRanges[] = {
    {"iAutoWaitTime", 2, 2147483647, false},
    {"iChgArea", 0, 1, false},
    {"iOutTyp", 0, 22, true},
    {"iOutTyp2", 0, 7, true},
    {"iSavBatch", 0, 1, false},
    {"iCompSkipFlags", 0, 3, false},
    {"iCompFileSizeOver", 0, 100, false},
    {"iNoOut", 0, 1, false},
};

// The decimal number at the start of the line, saturated far beyond any range; 0 for none.
long long LeadingNumber(std::string_view line) {
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string_view::npos) {
        return 0;
    }
    const bool negative = line[i] == '-';
    if (line[i] == '+' || line[i] == '-') {
        ++i;
    }
    constexpr long long kSaturated = 1'000'000'000'000LL;
    long long value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        value = std::min(kSaturated, value * 10 + (line[i] - '0'));
    }
    return negative ? -value : value;
}

}  // namespace

void SetParField(Settings& settings, const ParField& field, const std::string& line) {
    std::visit(
        [&settings, &line, &field]<typename T>(T Settings::*member) {
            if constexpr (std::is_same_v<T, std::string>) {
                settings.*member = line;
            } else {
                long long value = LeadingNumber(line);
                for (const NumberRange& range : kNumberRanges) {
                    if (range.name != field.name) {
                        continue;
                    }
                    if (range.outsideMeansShipped && (value < range.min || value > range.max)) {
                        value = LeadingNumber(field.shipped);
                    }
                    value = std::clamp(value, range.min, range.max);
                }
                settings.*member = static_cast<T>(value);
            }
        },
        field.member);
}

void CheckKorvaneExe(std::string& korvaneExe, MessageSink& sink,
                     const std::function<bool(const std::string&)>& fileExists) {
    if (fileExists(korvaneExe)) {
        return;
    }
    if (korvaneExe == kDefaultKorvaneExe && fileExists(kDefaultKorvaneExeX86)) {
        korvaneExe = kDefaultKorvaneExeX86;
        return;
    }
    sink.ShowMsg(korvaneExe + "\r" +
                 " Korvane program file does not exist!\r Please register Korvane program name "
                 "with Set Button.");
}

std::string ConverterBesideProgram(const std::string& korvaneExe,
                                   const std::string& programFolder) {
    if (korvaneExe.empty() || programFolder.empty() ||
        korvaneExe.find_first_of("\\/:") != std::string::npos) {
        return korvaneExe;
    }
    return JoinPath(programFolder, korvaneExe);
}

int ReadParFile(Settings& settings, MessageSink& sink) {
    // Opening a folder succeeds with stdio on POSIX; it must fail as it does on Windows.
    if (platform::DirectoryExists(settings.sParFile)) {
        return 1;
    }
    int error = 0;
    platform::FilePtr file = platform::OpenFile(settings.sParFile, "rb", error);
    if (!file) {
        return 1;
    }
    TextLineReader reader(file.get());
    std::string line;
    reader.ReadLine(line);
    if (reader.Failed()) {
        return 1;
    }
    if (line != kVersionText) {
        return 2;
    }

    // Every field is taken from its own line: a damaged number line reads 0 and never moves a
    // later value onto the wrong field. A file cut short (a Ctrl-Z early, a write that stopped)
    // is not taken at all: its missing lines would blank the converter, list and folders, and
    // writing the store back at the end would make that loss permanent.
    Settings read = settings;
    for (const ParField& field : kParFields) {
        std::string value;
        if (!reader.ReadLine(value)) {
            return reader.Failed() ? 1 : 3;
        }
        SetParField(read, field, value);
    }
    file.reset();
    settings = std::move(read);

    settings.sKorvaneExeStored = settings.sKorvaneExe;
    settings.sKorvaneExe =
        ConverterBesideProgram(settings.sKorvaneExe, FolderPart(platform::ExecutablePath()));
    CheckKorvaneExe(settings.sKorvaneExe, sink,
                    [](const std::string& path) { return platform::FileExists(path); });
    if (platform::FileExists(settings.sKorvaneExe) &&
        !platform::IsExecutableFile(settings.sKorvaneExe)) {
        sink.ShowMsg(PathMessage(settings.sKorvaneExe, kMsgConverterCannotStart));
    }
    MakeInputFilter(settings);
    return 0;
}

bool WriteParFile(const Settings& settings, MessageSink& sink) {
    const auto fail = [&sink] {
        sink.ShowMsg(kMsgCannotCreateParFile);
        return false;
    };
    if (settings.sParFile.empty()) {
        return fail();
    }
    // The old file stays in place until the new one is complete on disk.
    // A converter named by its bare name stays so while it is still the one beside the program:
    // the program can then be moved or installed elsewhere with its converter.
    Settings stored = settings;
    if (stored.sKorvaneExeStored != stored.sKorvaneExe &&
        ConverterBesideProgram(stored.sKorvaneExeStored, FolderPart(platform::ExecutablePath())) ==
            stored.sKorvaneExe) {
        stored.sKorvaneExe = stored.sKorvaneExeStored;
    }
    std::vector<std::string> lines{kVersionText};
    for (const ParField& field : kParFields) {
        lines.push_back(ParFieldText(stored, field));
    }
    if (WriteLinesReplacing(settings.sParFile, lines, ".tmp") != 0) {
        return fail();
    }
    return true;
}

void ExtListToMasks(const std::string& list, std::string& displayMask, std::string& pattern) {
    displayMask = "*.";
    pattern = ".";
    for (const char c : list) {
        displayMask += c;
        pattern += c;
        if (c == ';') {
            displayMask += "*.";
            pattern += '.';
        }
    }
}

void MakeInputFilter(Settings& settings) {
    const std::pair<const char*, const std::string*> entries[] = {
        {"HPGL(", &settings.sHpglFileExt},  {"|Image(", &settings.sImageFileExt},
        {"|PDF(", &settings.sPdfFileExt},   {"|EMF(", &settings.sEmfFileExt},
        {"|DXF(", &settings.sDxfFileExt},   {"|DWG(", &settings.sDwgFileExt},
        {"|IGES(", &settings.sIgesFileExt}, {"|GERBER(", &settings.sGerberFileExt},
        {"|SXF(", &settings.sSxfFileExt},
    };
    std::string filter;
    std::string mask;
    std::string pattern;
    for (const auto& [label, list] : entries) {
        ExtListToMasks(*list, mask, pattern);
        filter += label;
        filter += mask;
        filter += ")|";
        filter += pattern;
    }
    filter += "|COMMENT(*.cmt)|.cmt|All Files(*.*)|.*";
    settings.sInputFilter = std::move(filter);
}

bool IsExtInList(const std::string& ext, const std::string& list) {
    const std::string lower = AsciiLower(list);
    const bool hasEmptyItem = lower.empty() || lower.front() == ';' || lower.back() == ';' ||
                              lower.find(";;") != std::string::npos;
    if (ext.empty()) {
        return hasEmptyItem;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = lower.find(';', start);
        const std::size_t count = (end == std::string::npos ? lower.size() : end) - start;
        if (lower.compare(start, count, ext) == 0) {
            return true;
        }
        if (end == std::string::npos) {
            return false;
        }
        start = end + 1;
    }
}

int GetInputFileKind(const std::string& path, const Settings& settings, const PathRules& rules) {
    const std::string name = NamePart(path, rules);
    const std::string_view dotted = ExtensionOf(name);
    const std::string ext = dotted.empty() ? std::string() : AsciiLower(dotted.substr(1));
    const std::string* lists[] = {
        &settings.sHpglFileExt, &settings.sImageFileExt,  &settings.sPdfFileExt,
        &settings.sEmfFileExt,  &settings.sDxfFileExt,    &settings.sDwgFileExt,
        &settings.sIgesFileExt, &settings.sGerberFileExt, &settings.sSxfFileExt};
    for (int kind = 1; const std::string* list : lists) {
        if (IsExtInList(ext, *list)) {
            return kind;
        }
        ++kind;
    }
    return ext == "cmt" ? 10 : 0;
}

}  // namespace ka
