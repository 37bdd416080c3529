// Reading and writing the batch list file; the save-file dialog asks for another name when a
// file cannot be opened or created.
#include "batch/OutFileList.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "settings/TextFile.h"

namespace ka {

namespace {

const char* const kMsgOutListFile = "Output list file";
const char* const kMsgCannotOpen = "Cannot open file!";
const char* const kMsgCannotCreate = "cannot be created. Please specify the right file name.";

// Suffix of the file written first and then renamed over the list, so a failed write never
// leaves half a list behind.
const char* const kTempSuffix = ".katmp";

// Opens a text file for reading. A folder is refused, as the Windows open refuses it (the C
// library on POSIX would open it and fail only on the first read).
platform::FilePtr OpenForRead(const std::string& path, int& errorCode) {
    if (platform::DirectoryExists(path)) {
        errorCode = EISDIR;
        return nullptr;
    }
    return platform::OpenFile(path, "rb", errorCode);
}

int LastErrorOr(int fallback) {
    return errno != 0 ? errno : fallback;
}

// Writes the slots' lines to "path" through a temporary file beside it. 0 on success, else an
// error code; on failure the file at "path" is as it was.
int WriteSlotsReplacing(const OutSlots& slots, const std::string& path) {
    int errorCode = 0;
    // An existing list must be writable: renaming over a read-only file would succeed on POSIX
    // where truncating it fails everywhere.
    if (platform::PathExists(path)) {
        platform::FilePtr probe = platform::OpenFile(path, "r+b", errorCode);
        if (!probe) {
            return errorCode;
        }
    }

    const std::string tempPath = path + kTempSuffix;
    platform::FilePtr out = platform::OpenFile(tempPath, "wb", errorCode);
    if (!out) {
        return errorCode;
    }
    errno = 0;
    bool ok = true;
    std::string line;
    for (const OutSlot& slot : slots) {
        if (JoinOutListLine(slot, line) && !WriteLineCrLf(out.get(), line)) {
            ok = false;
            break;
        }
    }
    if (ok && std::fflush(out.get()) != 0) {
        ok = false;
    }
    int writeError = ok ? 0 : LastErrorOr(EIO);
    // Closing flushes too, so its failure counts as a failed write.
    if (std::fclose(out.release()) != 0 && ok) {
        ok = false;
        writeError = LastErrorOr(EIO);
    }
    if (!ok) {
        platform::DeleteFileAt(tempPath);
        return writeError;
    }
    errorCode = platform::ReplaceFileWith(tempPath, path);
    if (errorCode != 0) {
        platform::DeleteFileAt(tempPath);
        return errorCode;
    }
    return 0;
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

std::int32_t ReadOutListFile(OutSlots& slots, Settings& settings, MessageSink& sink,
                             SaveFileChooser& chooser) {
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
            sink.ShowMsg(kMsgOutListFile + settings.sOutListFileName + kMsgCannotOpen);
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
    return 0;
}

std::int32_t WriteOutListFile(const OutSlots& slots, Settings& settings, MessageSink& sink,
                              SaveFileChooser& chooser) {
    for (;;) {
        const int errorCode = WriteSlotsReplacing(slots, settings.sOutListFileName);
        if (errorCode == 0) {
            return 0;
        }
        sink.ShowMsg(kMsgOutListFile + settings.sOutListFileName + kMsgCannotCreate);
        std::string chosen = settings.sOutListFileName;
        if (!chooser.ChooseSaveFile(chosen)) {
            return errorCode;
        }
        settings.sOutListFileName = chosen;
    }
}

}  // namespace ka
