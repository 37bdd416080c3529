#include "settings/SetupCheck.h"

#include "platform/platform.h"
#include "settings/OutputTypes.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

bool Blank(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

// "Folder\*.hgl": both the folder and the file-name wildcard given.
bool NamesFolderAndWildcard(const std::string& spec, const PathRules& rules) {
    return !FolderPart(spec, rules).empty() && !NamePart(spec, rules).empty();
}

}  // namespace

FolderBoxCheck CheckFolderBox(const std::string& caption, const std::string& text,
                              const PathRules& rules) {
    FolderBoxCheck check;
    if (Blank(text)) {
        return check;
    }
    const std::string folder = FolderPart(text, rules);
    std::string toTest = folder;
    check.folder = folder;
    if (!folder.empty()) {
        if (EndsWithSeparator(folder, rules)) {
            toTest.pop_back();
            // The root itself: without its separator nothing would be left to test.
            if (toTest.empty()) {
                toTest = folder;
            }
        } else {
            check.folder += rules.Separator();  // a drive alone ("C:") gets its separator
        }
    }
    if (!toTest.empty() && platform::DirectoryExists(toTest)) {
        return check;
    }
    check.ok = false;
    check.message = toTest.empty()
                        ? caption + ":\n" + PathMessage(text, "names no folder!")
                        : caption + ":\n" + PathMessage(toTest, "folder does not exist!");
    return check;
}

std::string MissingRunSetup(RunKind kind, const Settings& settings, bool output1Shown,
                            bool compareOn, const PathRules& rules) {
    const bool comparing = output1Shown && compareOn;
    if (kind == RunKind::Standby) {
        const std::string& spec = comparing ? settings.sChgAreaDir1 : settings.sAutoOutDirFName;
        if (!NamesFolderAndWildcard(spec, rules)) {
            return comparing ? "No comparison file 1 (folder and wildcard) is set.\n"
                               "Standby Output with comparison watches it: set it with \"Set\"."
                             : "No input folder and wildcard are set for Standby Output.\n"
                               "Set them with \"Set\".";
        }
    }
    if (kind == RunKind::Compare || (kind == RunKind::Standby && comparing)) {
        if (!NamesFolderAndWildcard(settings.sChgAreaDir1, rules) || Blank(settings.sChgAreaDir2)) {
            return "The comparison folders are not set.\nSet comparison file 1 and comparison "
                   "folder 2 with \"Set\".";
        }
    }
    // Display on screen writes nothing, and neither does a comparison without output.
    const bool writesFiles = !output1Shown || settings.iOutTyp != kOutTypDisplay;
    if (writesFiles && Blank(settings.sOutDir)) {
        return "No output folder is set: the outputs would go to the program's current "
               "folder.\nSet the output folder with \"Set\".";
    }
    return {};
}

}  // namespace ka
