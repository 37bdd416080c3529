#include "settings/SetupCheck.h"

#include "platform/platform.h"
#include "settings/OutputTypes.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

constexpr const char* kFileDoesNotExist = " file does not exist!";

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
    check.missing = toTest;
    check.message = toTest.empty()
                        ? caption + ":\n" + PathMessage(text, "names no folder!")
                        : caption + ":\n" + PathMessage(toTest, "folder does not exist!");
    return check;
}

SettingsEntries EntriesOf(const Settings& settings) {
    SettingsEntries entries;
    entries.korvaneExe = settings.sKorvaneExe;
    entries.outListFileName = settings.sOutListFileName;
    entries.autoOutDirFName = settings.sAutoOutDirFName;
    entries.outDir = settings.sOutDir;
    entries.chgAreaDir1 = settings.sChgAreaDir1;
    entries.chgAreaDir2 = settings.sChgAreaDir2;
    entries.waitMinutes = settings.iAutoWaitTime / 60;
    entries.savBatch = settings.iSavBatch != 0;
    entries.skipSameSizeAndTime = (settings.iCompSkipFlags & 1) != 0;
    entries.skipSizeDiffers = (settings.iCompSkipFlags & 2) != 0;
    entries.compFileSizeOver = settings.iCompFileSizeOver;
    entries.noOut = settings.iNoOut != 0;
    return entries;
}

SettingsVerdict CheckSettingsEntries(SettingsEntries& entries, const PathRules& rules) {
    if (!platform::FileExists(entries.korvaneExe)) {
        return {SettingsBox::KorvaneExe, PathMessage(entries.korvaneExe, kFileDoesNotExist), {}};
    }
    if (!platform::FileExists(entries.outListFileName)) {
        return {SettingsBox::OutListFileName,
                PathMessage(entries.outListFileName, kFileDoesNotExist),
                {}};
    }
    struct Box {
        SettingsBox box;
        const char* caption;
        std::string* text;
        bool takesFolder;
    };
    const Box boxes[] = {
        {SettingsBox::StandbyInput, kStandbyBoxCaption, &entries.autoOutDirFName, false},
        {SettingsBox::OutDir, kOutDirBoxCaption, &entries.outDir, true},
        {SettingsBox::Compare1, kCompare1BoxCaption, &entries.chgAreaDir1, false},
        {SettingsBox::Compare2, kCompare2BoxCaption, &entries.chgAreaDir2, true},
    };
    for (const Box& box : boxes) {
        const FolderBoxCheck check = CheckFolderBox(box.caption, *box.text, rules);
        if (!check.ok) {
            return {box.box, check.message, check.missing};
        }
        if (box.takesFolder) {
            *box.text = check.folder;
        }
    }
    return {};
}

void StoreSettingsEntries(const SettingsEntries& entries, Settings& settings) {
    settings.sKorvaneExe = entries.korvaneExe;
    settings.sOutListFileName = entries.outListFileName;
    settings.sChgAreaDir1 = entries.chgAreaDir1;
    settings.sChgAreaDir2 = entries.chgAreaDir2;
    settings.sAutoOutDirFName = entries.autoOutDirFName;
    settings.sOutDir = entries.outDir;
    settings.iAutoWaitTime = entries.waitMinutes == 0 ? 2 : entries.waitMinutes * 60;
    settings.iSavBatch = entries.savBatch ? 1 : 0;
    settings.iCompSkipFlags = static_cast<std::uint8_t>((entries.skipSameSizeAndTime ? 1 : 0) +
                                                        (entries.skipSizeDiffers ? 2 : 0));
    settings.iCompFileSizeOver = entries.compFileSizeOver;
    settings.iNoOut = entries.noOut ? 1 : 0;
}

bool CreateFolderTree(const std::string& folder, const PathRules& rules) {
    if (folder.empty() || platform::DirectoryExists(folder)) {
        return !folder.empty();
    }
    std::string parent = FolderPart(folder, rules);
    if (EndsWithSeparator(parent, rules) && parent.size() > 1) {
        parent.pop_back();
    }
    // A parent that is the folder itself (a root, a drive) cannot be made here.
    if (!parent.empty() && parent != folder && !CreateFolderTree(parent, rules)) {
        return false;
    }
    platform::CreateDirectoryOne(folder);
    return platform::DirectoryExists(folder);
}

int CreateEmptyFile(const std::string& fileName, MessageSink& sink) {
    int errorCode = 0;
    // Append mode creates a missing file and can never empty one that appeared meanwhile.
    if (platform::FilePtr file = platform::OpenFile(fileName, "ab", errorCode)) {
        return 0;
    }
    sink.ShowMsg(PathMessage(fileName, "cannot be created. Please specify the right file name."));
    return errorCode != 0 ? errorCode : 1;
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
