// Special folders, shortcut resolution and the recursive folder copy that seeds the data folder.
#pragma once

#include <cstdint>
#include <string>

#include "shell/Paths.h"

namespace ka {

// Special-folder indexes of GetSpecialFolder.
enum SpecialFolder : std::uint8_t {
    sfStartMenu = 0,
    sfPrograms = 1,
    sfDrives = 2,
    sfDesktopDirectory = 3,
    sfPersonal = 4,
    sfAppData = 5,
    sfFavorites = 6,
    sfTemplates = 7,
    sfDesktop = 8,
    sfProgramFiles = 9,
    sfCommonAppData = 10,
    sfLocalAppData = 11,
    sfCommonDocuments = 12,
};

// The index is taken modulo 128. For an index above 12 the text is left as it was; otherwise it
// becomes the folder's path, or empty text when there is none.
void GetSpecialFolder(std::uint8_t index, std::string& path);

// The target of a shortcut (".lnk", any case) that can be loaded; otherwise the path unchanged.
std::string ResolveLinkFile(const std::string& path);

// Copies every file and subfolder of source into destination (both without a trailing
// separator), replacing files of the same name. 0 on success, 1 when a destination subfolder
// cannot be created, else the I/O error code of the first file that cannot be copied.
std::int32_t CopyFolderTree(const std::string& source, const std::string& destination,
                            const PathRules& rules = PathRules::Native());

// Copies one file in blocks. 0 or the platform's I/O error code.
std::int32_t CopyFileBlocks(const std::string& sourceFolder, const std::string& destinationFolder,
                            const std::string& name, const PathRules& rules = PathRules::Native());

}  // namespace ka
