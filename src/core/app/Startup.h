// The window-independent half of the one-time start-up: the per-user data folder, the loading
// of the parameter file and the reading of the command line.
#pragma once

#include <string>
#include <vector>

#include "settings/Orrin1.h"
#include "shell/Paths.h"

namespace ka {

// The main window's controls as the start-up sets them. Setting a control runs its click handler
// as a user's click does (the "CMT" fallback while comparing, the captions of item 22, ...).
class StartupControls {
  public:
    virtual ~StartupControls() = default;
    virtual void SetCompareBox(bool on) = 0;   // "Compare" check box
    virtual void SelectOutTyp(int index) = 0;  // "Output1" radio group
};

// The two rules of the main window's handlers, applied to the store only: for callers without a
// window, and for tests. Comparison on gives iChgArea 1 and never leaves "CMT" (20) selected;
// selecting "CMT" while comparing selects "PDF" (0).
class SettingsControls : public StartupControls {
  public:
    explicit SettingsControls(Settings& settings) : settings_(settings) {}
    void SetCompareBox(bool on) override;
    void SelectOutTyp(int index) override;

  private:
    Settings& settings_;
};

// Folder "Init" beside the executable: the executable's folder + "Init".
std::string InitFolderPath(const std::string& executablePath,
                           const PathRules& rules = PathRules::Native());

// localAppData + "Tavrolint" + "KorvaneAuto". An empty localAppData gives a path that starts
// with the separator (the root of the current drive on Windows).
std::string DataFolderPath(const std::string& localAppData,
                           const PathRules& rules = PathRules::Native());

// Creates localAppData + "Tavrolint" + "KorvaneAuto" one level at a time (failures are not
// reported; localAppData and the folders above it first where missing, private to the user), copies
// the Init folder into it when it is new, and sets sDataDir, sParFile and sComLineFile. Returns
// true when the data folder was new.
bool PrepareDataFolder(Settings& settings, const std::string& localAppData,
                       const std::string& initFolder, const PathRules& rules = PathRules::Native());

// Reads the parameter file; when it is of another version or cut short, keeps it as
// "KorvaneAuto.par.bad", copies the Init folder into the data folder again, reads once more and
// says so. Then reads "KorvaneAuto.ini". Leaves the result in iIoResult and returns it (0 means
// loaded).
// On a non-zero result the caller shows sParFile + kMsgCannotOpenParFile and closes.
int LoadParameterFile(Settings& settings, MessageSink& sink, const std::string& initFolder,
                      const PathRules& rules = PathRules::Native());

enum class StartAction {
    None,         // no arguments, or a batch list file name alone
    Standby,      // "/a", "/ac", "/b", "/bc"
    Batch,        // "/c", "/d" with a batch list file set
    BatchNoList,  // "/c", "/d" with no batch list file: show the message and close
    Compare,      // "/g", "/h"
};

// Reads the whole command line (arguments after the program name) into the store, the flags
// and the controls. Clears the four command flags first. Path arguments go through
// ResolveLinkFile.
StartAction ReadCommandLine(const std::vector<std::string>& args, Settings& settings,
                            ProgramFlags& flags, StartupControls& controls,
                            const PathRules& rules = PathRules::Native());

// True when the arguments start a run nobody watches: "/b", "/bc", "/d", "/h" (any case the
// command line accepts). Such a run shows no modal box and ends with an exit code.
bool IsUnattendedStart(const std::vector<std::string>& args);

// Where messages go: to the attended sink (a modal box), or, for a run started unattended, to
// standard error and the run report in the data folder, so nothing waits for a click.
class RunMessageSink : public MessageSink {
  public:
    RunMessageSink(MessageSink& attended, const Settings& settings)
        : attended_(attended), settings_(settings) {}
    void SetUnattended(bool unattended) { unattended_ = unattended; }
    bool Unattended() const { return unattended_; }
    void ShowMsg(const std::string& text) override;

  private:
    MessageSink& attended_;
    const Settings& settings_;
    bool unattended_ = false;
};

// The line an unattended run writes to standard output at its end.
std::string UnattendedSummaryLine(const std::string& lastSummary, int exitCode);

}  // namespace ka
