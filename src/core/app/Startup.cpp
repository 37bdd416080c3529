#include "app/Startup.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/RunResults.h"
#include "platform/platform.h"
#include "settings/DataFiles.h"
#include "settings/OutputTypes.h"
#include "settings/UserMessages.h"
#include "shell/UnitShell.h"

namespace ka {

namespace {

// The main window's two rules, on the store: "CMT" is never the output type while comparison
// is on. The core applies them itself too, so the store stays right even when the controls only
// record what they are told.
void StoreComparison(Settings& settings, bool on) {
    settings.iChgArea = on ? 1 : 0;
    settings.iOutTyp = static_cast<std::uint8_t>(AllowedOutTyp(settings.iOutTyp, on));
}

void StoreOutTyp(Settings& settings, int index) {
    settings.iOutTyp = static_cast<std::uint8_t>(AllowedOutTyp(index, settings.iChgArea == 1));
}

void SetComparison(bool on, Settings& settings, StartupControls& controls) {
    StoreComparison(settings, on);
    controls.SetCompareBox(on);
}

void SelectOutputType(int index, Settings& settings, StartupControls& controls) {
    StoreOutTyp(settings, index);
    controls.SelectOutTyp(index);
}

enum class Comparison { Off, On, Unchanged };

struct ModeSwitch {
    const char* lower;
    const char* upper;
    bool standby;
    bool batch;
    bool compare;
    bool autoClose;
    Comparison comparison;
};

// Each switch is compared with the whole argument, exactly and with case. On POSIX this is also
// how a path that starts like a switch gets through: "/c" alone is a switch, but "/c/list.txt"
// or "./c" is a batch list file name.
constexpr ModeSwitch kModeSwitches[] = {
    {"/a", "/A", true, false, false, false, Comparison::Off},
    {"/ac", "/AC", true, false, true, false, Comparison::On},
    {"/b", "/B", true, false, false, true, Comparison::Off},
    {"/bc", "/BC", true, false, true, true, Comparison::On},
    {"/c", "/C", false, true, false, false, Comparison::Unchanged},
    {"/d", "/D", false, true, false, true, Comparison::Unchanged},
    {"/g", "/G", false, false, true, false, Comparison::On},
    {"/h", "/H", false, false, true, true, Comparison::On},
};

const ModeSwitch* FindModeSwitch(const std::string& argument) {
    for (const auto& entry : kModeSwitches) {
        if (argument == entry.lower || argument == entry.upper) {
            return &entry;
        }
    }
    return nullptr;
}

// Reads argument 2 when it is an output-type switch ("/o" + letter, for batch output "/oc" +
// letter for comparison on). True when the argument was one, whatever its letter.
bool ReadOutputTypeSwitch(const std::string& argument, Settings& settings,
                          const ProgramFlags& flags, StartupControls& controls) {
    if (argument.size() < 3 || argument[0] != '/' || argument[1] != 'o') {
        return false;
    }
    char letter = argument[2];
    if (flags.bCmdBatch && argument.size() >= 4 && argument[2] == 'c') {
        SetComparison(true, settings, controls);
        letter = argument[3];
    } else if (!flags.bCmdCompare) {
        SetComparison(false, settings, controls);
    }
    if (const auto index = OutTypFromLineLetter(letter)) {
        SelectOutputType(*index, settings, controls);
    }
    return true;
}

// Without a local application-data folder the path starts at the root.
std::string VendorFolderPath(const std::string& localAppData, const PathRules& rules) {
    return localAppData.empty() ? std::string(1, rules.Separator()) + "Tavrolint"
                                : JoinPath(localAppData, "Tavrolint", rules);
}

}  // namespace

void SettingsControls::SetCompareBox(bool on) {
    StoreComparison(settings_, on);
}

void SettingsControls::SelectOutTyp(int index) {
    StoreOutTyp(settings_, index);
}

std::string InitFolderPath(const std::string& executablePath, const PathRules& rules) {
    return JoinPath(FolderPart(executablePath, rules), "Init", rules);
}

std::string DataFolderPath(const std::string& localAppData, const PathRules& rules) {
    return VendorFolderPath(localAppData, rules) + rules.Separator() + "KorvaneAuto";
}

bool PrepareDataFolder(Settings& settings, const std::string& localAppData,
                       const std::string& initFolder, const PathRules& rules) {
    const char sep = rules.Separator();
    const std::string vendorDir = VendorFolderPath(localAppData, rules);
    const std::string dataDir = DataFolderPath(localAppData, rules);
    bool isNew = false;
    // A new account may lack the application-data folder itself (~/.local/share).
    if (!localAppData.empty() && !platform::DirectoryExists(localAppData)) {
        platform::CreateDirectoryPrivate(localAppData);
    }
    if (!platform::DirectoryExists(vendorDir)) {
        platform::CreateDirectoryOne(vendorDir);
        platform::CreateDirectoryOne(dataDir);
        isNew = true;
    } else if (!platform::DirectoryExists(dataDir)) {
        platform::CreateDirectoryOne(dataDir);
        isNew = true;
    }
    // A failed copy shows later, when the parameter file cannot be read.
    if (isNew) {
        CopyFolderTree(initFolder, dataDir, rules);
    }
    settings.sDataDir = dataDir;
    settings.sParFile = dataDir + sep + kParFileName;
    settings.sComLineFile = dataDir + sep + kComLineFileName;
    return isNew;
}

int LoadParameterFile(Settings& settings, MessageSink& sink, const std::string& initFolder,
                      const PathRules& rules) {
    int result = ReadParFile(settings, sink);
    if (result == 2 || result == 3) {
        // Another version's file, or one cut short: the shipped one replaces it, but only once
        // the old one is kept beside it. Where it cannot be kept, the start-up fails and writes
        // nothing rather than lose it.
        const std::string kept = settings.sParFile + ".bad";
        if (platform::ReplaceFileWith(settings.sParFile, kept) == 0) {
            CopyFolderTree(initFolder, settings.sDataDir, rules);
            result = ReadParFile(settings, sink);
            if (result == 0) {
                sink.ShowMsg(PathMessage(settings.sParFile,
                                         "could not be read whole or is of another version: it "
                                         "is kept as " +
                                             NamePart(kept, rules) +
                                             ", and the shipped settings are used."));
            }
        }
    }
    settings.iIoResult = result;
    if (result == 0) {
        settings.run = LoadRunSettings(settings.sDataDir);
    }
    return result;
}

namespace {
// "/j" or "/J" and a number: converters at once, clamped into 1..64.
bool ReadConvertersSwitch(const std::string& arg, Settings& settings) {
    if (arg.size() < 3 || arg[0] != '/' || (arg[1] != 'j' && arg[1] != 'J') ||
        arg.find_first_not_of("0123456789", 2) != std::string::npos) {
        return false;
    }
    const std::string digits = arg.substr(2);
    const long long n = digits.size() > 3 ? 64 : std::stoll(digits);
    settings.run.converters = static_cast<std::int32_t>(std::clamp(n, 1LL, 64LL));
    return true;
}
}  // namespace

StartAction ReadCommandLine(const std::vector<std::string>& args, Settings& settings,
                            ProgramFlags& flags, StartupControls& controls,
                            const PathRules& rules) {
    flags.bCmdStandby = false;
    flags.bAutoClose = false;
    flags.bCmdBatch = false;
    flags.bCmdCompare = false;
    if (args.empty()) {
        return StartAction::None;
    }

    const ModeSwitch* mode = FindModeSwitch(args[0]);
    if (mode == nullptr) {
        settings.sOutListFileName = ResolveLinkFile(args[0]);
        return StartAction::None;
    }
    flags.bCmdStandby = mode->standby;
    flags.bCmdBatch = mode->batch;
    flags.bCmdCompare = mode->compare;
    flags.bAutoClose = mode->autoClose;
    if (mode->comparison != Comparison::Unchanged) {
        SetComparison(mode->comparison == Comparison::On, settings, controls);
    }

    // After the mode switch, in any order: the output type, "/jN" (converters at once) and "/s"
    // (a hot folder shared by several machines), each at most once.
    std::size_t k = 1;
    bool outputType = false;
    bool converters = false;
    bool shared = false;
    for (; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (!outputType && ReadOutputTypeSwitch(arg, settings, flags, controls)) {
            outputType = true;
        } else if (!converters && ReadConvertersSwitch(arg, settings)) {
            converters = true;
        } else if (!shared && (arg == "/s" || arg == "/S")) {
            shared = true;
            settings.run.sharedHotFolder = true;
        } else {
            break;
        }
    }

    const auto hasArg = [&args](std::size_t i) { return i < args.size(); };
    if ((flags.bCmdStandby || flags.bCmdBatch) && hasArg(k)) {
        std::string& input =
            flags.bCmdStandby ? settings.sAutoOutDirFName : settings.sOutListFileName;
        input = ResolveLinkFile(args[k]);
        if (hasArg(k + 1)) {
            settings.sOutDir = WithTrailingSeparator(args[k + 1], rules);
        }
    } else if (flags.bCmdCompare && hasArg(k)) {
        settings.sChgAreaDir1 = ResolveLinkFile(args[k]);
        if (hasArg(k + 1)) {
            settings.sChgAreaDir2 = WithTrailingSeparator(args[k + 1], rules);
        }
    }

    if (flags.bCmdStandby) {
        return StartAction::Standby;
    }
    if (flags.bCmdBatch) {
        return settings.sOutListFileName.empty() ? StartAction::BatchNoList : StartAction::Batch;
    }
    return StartAction::Compare;
}

bool IsUnattendedStart(const std::vector<std::string>& args) {
    const ModeSwitch* mode = args.empty() ? nullptr : FindModeSwitch(args[0]);
    return mode != nullptr && mode->autoClose;
}

void RunMessageSink::ShowMsg(const std::string& text) {
    if (!unattended_) {
        attended_.ShowMsg(text);
        return;
    }
    std::string line = "KorvaneAuto: " + text;
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    AppendReportLine(settings_.sDataDir, {"unattended", "message", text});
}

std::string UnattendedSummaryLine(const std::string& lastSummary, int exitCode) {
    const std::string what = !lastSummary.empty() ? lastSummary
                             : exitCode == 2      ? std::string("the run could not start")
                             : exitCode == 3      ? std::string("internal error")
                                                  : std::string("No jobs");
    return "KorvaneAuto: " + what + "; exit code " + std::to_string(exitCode);
}

}  // namespace ka
