// Helpers shared by the tests: real temporary folders, file contents, recorders.
#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/RunHost.h"
#include "settings/Orrin1.h"
#include "shell/Paths.h"

namespace ka::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + separator + name.
    std::string operator/(const std::string& name) const;

  private:
    std::string path_;
};

// Whole-file helpers (binary, bytes exactly as given).
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
void MakeDir(const std::string& path);
void SetReadOnly(const std::string& path, bool readOnly);
// Creates a named pipe (FIFO). False where the system has none in its folders (Windows).
bool MakeFifo(const std::string& path);
// Sets the last-write time, seconds since the epoch.
void SetModificationTime(const std::string& path, long long secondsSinceEpoch);

// Keeps a file open for writing as a copying program does while it stalls: on Windows
// without write sharing, on POSIX simply open. Closed at the end.
class HeldOpen {
  public:
    explicit HeldOpen(const std::string& path);
    ~HeldOpen();
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool IsOpen() const { return file_ != nullptr; }

  private:
    std::FILE* file_ = nullptr;
};

// Joins lines with CR LF after each one.
std::string CrLfLines(const std::vector<std::string>& lines);

// A parameter file's bytes: the version line and the shipped value of each field, with the fields
// named in changes ("sOutDir") set to the given text. The converter is the stand-in unless changed.
std::string ParFileBytes(const std::map<std::string, std::string>& changes = {});

// A path of the build tree as the programs under test see it: under Wine the Linux path is
// seen through drive Z:.
std::string BuiltPath(const std::string& path);

// Path of the stand-in converter built with the tests.
std::string ConverterExe();

// The environment variable that moves the per-user data folder ("Local AppData").
const char* DataHomeVariable();

// The Qt platform the real program runs on in tests: offscreen where Qt has it; the static
// Windows build links only the windows platform, which Wine shows on its X display.
const char* ProgramQtPlatform();

// A program run as a child process: each argument reaches it as one argument, it inherits this
// process's environment, and it is killed at the end of the object if it still runs.
class ChildProcess {
  public:
    // With an output file, standard output and standard error go there.
    explicit ChildProcess(const std::vector<std::string>& programAndArgs,
                          const std::string& outputFile = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return started_; }
    bool Running();
    // Sends a POSIX signal; false on Windows or when it cannot be sent.
    bool Signal(int signal);
    // Waits for the end up to the limit; false when the program still runs.
    bool WaitFor(int seconds);
    int ExitCode() const { return exitCode_; }

  private:
    bool started_ = false;
    bool ended_ = false;
    int exitCode_ = -1;
#ifdef _WIN32
    void* process_ = nullptr;
#else
    int pid_ = 0;
#endif
};

// A program run to its end: started, ended within the limit (else killed), its exit code.
struct ProgramRun {
    bool started = false;
    bool ended = false;
    int exitCode = -1;
};

struct RunOptions {
    // Variables set for the child; an empty value removes the variable.
    std::vector<std::pair<std::string, std::string>> env;
    std::string workingFolder;  // "" for this process's
    std::string outputFile;     // where standard output and error go; "" leaves them
    int limitSeconds = 60;
};

// Runs a program as ChildProcess does and waits for its end.
ProgramRun RunToEnd(const std::vector<std::string>& programAndArgs, const RunOptions& options = {});

class RecordingMessageSink : public MessageSink {
  public:
    void ShowMsg(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// A main window stand-in that records what the runs report to it.
class RecordingRunHost : public RunHost {
  public:
    void SetStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    void ShowRunSummary(const std::string& summary) override { summaries.push_back(summary); }
    void ListClear() override { list.clear(); }
    void ListAdd(const std::string& line) override { list.push_back(line); }
    void ListDeleteFirst(int count) override {
        list.erase(list.begin(), list.begin() + std::min<std::ptrdiff_t>(count, std::ssize(list)));
    }
    void ListSetTopIndex(int index) override { topIndex = index; }
    void SetListBoxExtent() override {}
    void MarkLine(long long line, JobResult result, std::string_view reason) override {
        marks.emplace_back(line, result);
        reasons.emplace_back(reason);
    }
    void MarkLineAside(long long line, std::string_view reason) override {
        asides.emplace_back(line, reason);
    }
    void MovedToFailed(const std::vector<std::string>& inputs, std::string_view reason) override {
        movedToFailed.emplace_back(inputs, reason);
    }
    void ShowProgress(const RunProgress& shown) override { progress.push_back(shown); }
    void Set_Button_Enable(bool enable) override {
        buttonsEnabled = enable;
        enableHistory.push_back(enable);
    }
    void SetBusyCursor(int flag) override { busyCursor = flag == 0; }
    void StandbyChanged(StandbyPhase phase) override { standbyPhases.push_back(phase); }
    void PumpMessages() override {
        ++pumpCalls;
        if (onPump)
            onPump();
    }

    std::string status;
    std::vector<std::string> statusHistory;
    std::vector<std::string> summaries;
    std::vector<std::string> list;
    int topIndex = 0;
    std::vector<std::pair<long long, JobResult>> marks;
    std::vector<std::string> reasons;  // of each mark
    std::vector<std::pair<long long, std::string>> asides;
    std::vector<std::pair<std::vector<std::string>, std::string>> movedToFailed;
    std::vector<RunProgress> progress;
    bool buttonsEnabled = true;
    std::vector<bool> enableHistory;
    bool busyCursor = false;
    std::vector<StandbyPhase> standbyPhases;
    int pumpCalls = 0;
    // Called on every PumpMessages, to act as a user during the run.
    std::function<void()> onPump;
};

// Sets an environment variable for the life of the object (child processes inherit it) and
// restores the previous value, or its absence, at the end.
class ScopedEnv {
  public:
    ScopedEnv(const std::string& name, const std::string& value);
    explicit ScopedEnv(const std::string& name);  // removes the variable for the scope
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string oldValue_;
    bool hadValue_ = false;
};

// Sets (or, with unset, removes) an environment variable of this process.
void SetEnvVar(const std::string& name, const std::string& value, bool unset = false);

// The lines of a text file split at LF (the stand-in converter's log); empty when it is missing.
std::vector<std::string> ReadLfLines(const std::string& path);

// The bytes of a Windows shell-link (".lnk") file as the shell writes one: header, optionally
// an item-id list, and LinkInfo with a local base path and a common path suffix.
std::string ShellLinkFileBytes(const std::string& localBasePath, const std::string& suffix = "",
                               bool withIdList = true);

}  // namespace ka::test
