// Reading and writing the batch list file; the save-file dialog asks for another name when a
// file cannot be opened or created.
#include "batch/OutFileList.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "settings/TextFile.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

const char* const kMsgOutListFile = "Output list file ";
const char* const kMsgCannotCreate = "cannot be created. Please specify the right file name.";

// Opens a text file for reading. A folder is refused, as the Windows open refuses it (the C
// library on POSIX would open it and fail only on the first read).
platform::FilePtr OpenForRead(const std::string& path, int& errorCode) {
    if (platform::DirectoryExists(path)) {
        errorCode = EISDIR;
        return nullptr;
    }
    return platform::OpenFile(path, "rb", errorCode);
}

// The slots' lines, then the rest, as written to the file.
std::vector<std::string> FileLines(const OutSlots& slots, const OutListRest& rest) {
    std::vector<std::string> lines;
    lines.reserve(kOutSlotCount + rest.size());
    std::string line;
    for (const OutSlot& slot : slots) {
        if (JoinOutListLine(slot, line)) {
            lines.push_back(line);
        }
    }
    lines.insert(lines.end(), rest.begin(), rest.end());
    return lines;
}

}  // namespace

OutSlot SplitOutListLine(const std::string& line) {
    // Every "," closes a field, and so does the line's end: "" gives one empty entry, "a," a
    // final empty one.
    OutSlot slot;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string::npos) {
            slot.emplace_back(line, start);
            return slot;
        }
        slot.emplace_back(line, start, comma - start);
        start = comma + 1;
    }
}

bool JoinOutListLine(const OutSlot& slot, std::string& line) {
    line.clear();
    if (slot.empty()) {
        return false;
    }
    // The first entry is always written, so a slot of blank rows still keeps its line.
    std::size_t last = 0;
    for (std::size_t i = slot.size() - 1; i >= 1; --i) {
        if (!slot[i].empty()) {
            last = i;
            break;
        }
    }
    for (std::size_t i = 0; i <= last; ++i) {
        if (i > 0) {
            line += ',';
        }
        line += slot[i].empty() ? std::string(" ") : slot[i];
    }
    return true;
}

std::int32_t ReadOutListFile(OutSlots& slots, OutListRest& rest, Settings& settings,
                             MessageSink& sink, SaveFileChooser& chooser) {
    platform::FilePtr file;
    for (;;) {
        int errorCode = 0;
        file = OpenForRead(settings.sOutListFileName, errorCode);
        if (file) {
            break;
        }
        std::int32_t result = errorCode;
        // Ask until a file is opened, taken or created, or the user cancels.
        for (;;) {
            sink.ShowMsg(kMsgOutListFile + PathMessage(settings.sOutListFileName, kMsgCannotOpen));
            std::string chosen = settings.sOutListFileName;
            if (!chooser.ChooseSaveFile(chosen)) {
                return result;
            }
            if (platform::FileExists(chosen)) {
                settings.sOutListFileName = chosen;
                break;
            }
            int createError = 0;
            if (platform::FilePtr created = platform::OpenFile(chosen, "wb", createError)) {
                settings.sOutListFileName = chosen;
                break;
            }
            result = createError;
        }
    }

    for (OutSlot& slot : slots) {
        slot.clear();
    }
    TextLineReader reader(file.get());
    std::string line;
    for (int k = 0; k < kOutSlotCount && reader.ReadLine(line); ++k) {
        slots[static_cast<std::size_t>(k)] = SplitOutListLine(line);
    }
    rest.clear();
    while (reader.ReadLine(line)) {
        rest.push_back(line);
    }
    return 0;
}

std::int32_t WriteOutListFile(const OutSlots& slots, const OutListRest& rest, Settings& settings,
                              MessageSink& sink, SaveFileChooser& chooser) {
    const std::vector<std::string> lines = FileLines(slots, rest);
    for (;;) {
        const int errorCode = WriteLinesReplacing(settings.sOutListFileName, lines);
        if (errorCode == 0) {
            return 0;
        }
        sink.ShowMsg(kMsgOutListFile + PathMessage(settings.sOutListFileName, kMsgCannotCreate));
        std::string chosen = settings.sOutListFileName;
        if (!chooser.ChooseSaveFile(chosen)) {
            return errorCode;
        }
        settings.sOutListFileName = chosen;
    }
}

}  // namespace ka
