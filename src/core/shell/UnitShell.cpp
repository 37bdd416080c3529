#include "shell/UnitShell.h"

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace ka {

namespace {

// Shell folder ids (CSIDL) of the special-folder indexes 0 to 12.
constexpr int kCsidlOfIndex[13] = {
    0x000B,  // sfStartMenu: CSIDL_STARTMENU
    0x0002,  // sfPrograms: CSIDL_PROGRAMS
    0x0011,  // sfDrives: CSIDL_DRIVES
    0x0010,  // sfDesktopDirectory: CSIDL_DESKTOPDIRECTORY
    0x0005,  // sfPersonal: CSIDL_PERSONAL
    0x001A,  // sfAppData: CSIDL_APPDATA
    0x0006,  // sfFavorites: CSIDL_FAVORITES
    0x0015,  // sfTemplates: CSIDL_TEMPLATES
    0x0000,  // sfDesktop: CSIDL_DESKTOP
    0x0026,  // sfProgramFiles: CSIDL_PROGRAM_FILES
    0x0023,  // sfCommonAppData: CSIDL_COMMON_APPDATA
    0x001C,  // sfLocalAppData: CSIDL_LOCAL_APPDATA
    0x002E,  // sfCommonDocuments: CSIDL_COMMON_DOCUMENTS
};

constexpr std::size_t kCopyBlockSize = 512;

}  // namespace

void GetSpecialFolder(std::uint8_t index, std::string& path) {
    const unsigned reduced = index % 128u;
    if (reduced > 12) {
        return;
    }
    path.clear();
    std::string found;
    if (platform::SpecialFolderPath(kCsidlOfIndex[reduced], found)) {
        path = found;
    }
}

std::string ResolveLinkFile(const std::string& path) {
    if (AsciiLower(ExtensionOf(NamePart(path))) != ".lnk") {
        return path;
    }
    std::string target;
    if (!platform::ResolveShortcut(path, target)) {
        return path;
    }
    return target;  // empty when the shortcut has no file-system target
}

std::int32_t CopyFolderTree(const std::string& source, const std::string& destination,
                            const PathRules& rules) {
    std::int32_t result = 0;
    platform::FindEntries(JoinPath(source, "*.*", rules), [&](const platform::DirEntry& entry) {
        if (entry.name == "." || entry.name == "..") {
            return true;
        }
        if (entry.isDirectory) {
            const std::string from = JoinPath(source, entry.name, rules);
            const std::string to = JoinPath(destination, entry.name, rules);
            if (!platform::DirectoryExists(to) && !platform::CreateDirectoryOne(to)) {
                result = 1;
            } else {
                result = CopyFolderTree(from, to, rules);
            }
        } else {
            result = CopyFileBlocks(source, destination, entry.name, rules);
        }
        return result == 0;
    });
    return result;
}

std::int32_t CopyFileBlocks(const std::string& sourceFolder, const std::string& destinationFolder,
                            const std::string& name, const PathRules& rules) {
    int error = 0;
    platform::FilePtr in = platform::OpenFile(JoinPath(sourceFolder, name, rules), "rb", error);
    if (!in) {
        return error;
    }
    platform::FilePtr out =
        platform::OpenFile(JoinPath(destinationFolder, name, rules), "wb", error);
    if (!out) {
        return error;
    }

    char block[kCopyBlockSize];
    errno = 0;
    for (;;) {
        const std::size_t n = std::fread(block, 1, sizeof block, in.get());
        if (n == 0) {
            break;
        }
        if (std::fwrite(block, 1, n, out.get()) != n) {
            break;
        }
    }
    if (std::ferror(in.get()) || std::fflush(out.get()) != 0 || std::ferror(out.get())) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

}  // namespace ka
