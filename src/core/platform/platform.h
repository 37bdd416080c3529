// Operating-system services the core needs, without Qt. One implementation for Win32
// (platform_win32.cpp) and one for POSIX (platform_posix.cpp); shared pieces in *_common.cpp.
// Paths and texts are 8-bit strings in the system code page.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ka::platform {

// ---- Code page -------------------------------------------------------------------------------

// The system's ANSI code page (GetACP on Windows); 65001 (UTF-8) on POSIX.
unsigned ActiveCodePage();

// True when byte c starts a two-byte character in the given code page (932, 936, 949, 950).
bool IsLeadByte(unsigned codePage, unsigned char c);

// Converts UTF-8 text (as written in the sources) to the system code page. Identity on POSIX.
std::string Utf8ToSystem(const std::string& text);

// Sort key for the user's locale-aware, case-insensitive order of names (CompareStringA with
// NORM_IGNORECASE on Windows; case-folded wcsxfrm in the user's locale on POSIX): comparing two
// keys bytewise gives the order of the two names. Names equal but for case get equal keys.
std::string TextSortKey(const std::string& text);

// ---- Files and folders -----------------------------------------------------------------------

struct DirEntry {
    std::string name;  // name only, no folder
    // A folder itself; false for a link, even one to a folder, so no walk leaves the tree or
    // runs in a circle through one.
    bool isDirectory = false;
    bool isReadOnly = false;
    // Neither a regular file nor a folder: a FIFO, socket or device (POSIX), or a link. Never
    // to be opened: opening or reading one can block without end, or reach what lies elsewhere.
    bool isSpecial = false;
    // A symbolic link (POSIX), or a symbolic link or junction (Windows reparse points of those
    // kinds); the entry is the link, not what it names: isSpecial, size 0, not read-only.
    bool isLink = false;
    std::uint64_t size = 0;  // bytes; 0 for folders
    // POSIX: the listing's open folder, valid only while the visitor runs; -1 elsewhere. The
    // entry looks below go through it rather than through the whole path.
    int folder = -1;
};

// Lists the entries of a folder that match a wildcard, in the order the file system returns
// them; "pattern" is a folder and a wildcard ("C:\In\*.hgl", "/in/*.hgl"). Every kind of entry
// is included, "." and ".." too where the file system reports them. Wildcards follow the
// Windows rules on both systems: "*" and "?", case-insensitive, "*.*" matches every name.
// The visitor returns false to stop the search. Returns false when the folder cannot be listed.
// With EntryDetail::Kind only the name, isDirectory, isSpecial and isLink are filled (isReadOnly
// false, size 0): where the folder listing gives the kind, no entry is looked up on its own.
enum class EntryDetail { Full, Kind };
bool FindEntries(const std::string& pattern, const std::function<bool(const DirEntry&)>& visit,
                 EntryDetail detail = EntryDetail::Full);

bool FileExists(const std::string& path);  // an existing entry that is not a folder
// An existing entry marked read-only, as DirEntry::isReadOnly tells it.
bool IsReadOnlyEntry(const std::string& path);
bool DirectoryExists(const std::string& path);  // an existing folder
bool PathExists(const std::string& path);       // either
// True only when the system says nothing is there (or a file stands where a folder is named);
// false for anything it could not look at, such as a path it is not allowed to see.
bool IsMissing(const std::string& path);

// Creates one folder level. True on success.
bool CreateDirectoryOne(const std::string& path);
// Removes a folder that is empty. 0, or the platform's error code (a folder with anything in it
// is never touched).
int RemoveEmptyFolder(const std::string& path);

// Creates a folder and every missing folder above it, the new ones private to the user (mode
// 0700 on POSIX, as the XDG rules ask of the folders they name). True when the folder exists
// at the end.
bool CreateDirectoryPrivate(const std::string& path);

// Deletes a file. 0 on success, else the platform's error code.
int DeleteFileAt(const std::string& path);

// Replaces "to" by "from" in one step where the file system allows it (rename over).
// 0 on success, else the platform's error code.
int ReplaceFileWith(const std::string& from, const std::string& to);

// A plain file itself: not a folder, pipe or device, and not a symbolic link (nor, on Windows,
// any other reparse point), whatever it points to.
bool IsPlainFile(const std::string& path);

// Renames `from` to `to` without ever replacing anything: 0, or the platform's error code. It
// fails when `to` exists (IsAlreadyExistsError) and when `from` is gone (IsNotFoundError), so
// of several programs renaming onto one name exactly one succeeds. A link at `from` is renamed
// itself, never what it names. POSIX: renameat2 with RENAME_NOREPLACE; where the file system
// lacks it, a regular file or link gets a hard link under the new name and loses the old one
// (never replacing either), other kinds fail with that error. Windows: MoveFileExA without
// MOVEFILE_REPLACE_EXISTING. Within one volume only.
int RenameNoReplace(const std::string& from, const std::string& to);

// Moves the file `from` to `folder`/`name` (a bare name) the same way, without replacing and
// without following a link: a `folder` that is itself a link, or missing, or no folder, fails
// with neither of the two errors below (POSIX: ELOOP or ENOTDIR; Windows: ERROR_CANT_ACCESS_FILE
// for any reparse point, else ERROR_DIRECTORY), and a link at `from` is moved itself. Links in the
// folders above `folder` are followed. POSIX holds the folder open from the check to the move;
// Windows checks just before the move.
int MoveIntoFolderNoFollow(const std::string& from, const std::string& folder,
                           const std::string& name);

// The two failures of the renames above that callers act on differently: the target exists
// (try another name), the source is gone (someone else took it).
bool IsAlreadyExistsError(int code);
bool IsNotFoundError(int code);

// A folder that is not itself a link (on Windows: no reparse point at all).
bool IsRealDirectory(const std::string& path);
// A symbolic link (POSIX), or a symbolic link or junction (Windows), whatever it names and
// whether that exists.
bool IsSymbolicLink(const std::string& path);

// Size, last-write time and identity of a file: two stamps are equal only for the same file
// (same device and inode on POSIX, same volume and file index on Windows) unchanged.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since 1970 (100 ns steps on Windows)
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileStamp&) const = default;
};

// What the standby snapshot learns of a file that is free to take.
struct UnsharedFile {
    FileStamp stamp;  // what GetFileStamp gives, from the same look
    // False when the system could not tell whether another program has the file open (POSIX:
    // no lease on this file system or for this owner). The caller must then see the
    // modification time unchanged as well before it takes the file as complete.
    bool openersKnown = true;
};

// Opens a regular file for reading and writing while sharing both with others, as the standby
// snapshot needs. Fails for a read-only file, a folder, any other non-file, and a file another
// program holds: on Windows one held without write sharing; on POSIX one that anyone else has
// open at all (a write lease is asked for and released at once; the system refuses it while
// another opener exists).
bool CanOpenReadWrite(const std::string& path, UnsharedFile& file);
// The same for the entry being visited, whose path is `path`. A listing of many files looks at
// each through its folder, not through every level of the path again.
bool CanOpenEntryReadWrite(const DirEntry& entry, const std::string& path, UnsharedFile& file);

// Last-write time converted to local time in the two-second DOS form (date in the high word,
// time in the low word), and the size in bytes. False when the entry cannot be found.
bool GetDosTimeAndSize(const std::string& path, std::uint32_t& dosDateTime, std::uint64_t& size);

// The same for the comparison's file facts, taken by opening the file for reading: false for
// anything that cannot be opened so (a folder, a pipe or device, a missing or unreadable file).
bool ReadDosTimeAndSize(const std::string& path, std::uint32_t& dosDateTime, std::uint64_t& size);

// Opens a file with C stdio in binary mode ("rb", "wb", "ab", "r+b"). On failure returns null
// and sets errorCode to the platform's code (never 0). Reading opens regular files only, and
// writing never opens a FIFO or socket: a pipe, device or folder fails at once instead of
// blocking or reading as an empty file.
struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f)
            std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
FilePtr OpenFile(const std::string& path, const char* mode, int& errorCode);
// For a file one thread writes line by line: a large buffer, and no lock taken on each call
// where the C library allows that. Before the file's first read or write.
void BufferForOneThread(std::FILE* file, std::size_t bufferSize);

std::string CurrentDirectory();
bool ChangeDirectory(const std::string& path);

// Full path of the running executable.
std::string ExecutablePath();

// This machine's name on the network (gethostname, GetComputerNameA); empty when there is none.
std::string HostName();

// ---- Processes -------------------------------------------------------------------------------

// How a started program ended.
enum class ProcessEnd : std::uint8_t {
    NotStarted,  // it could not be started at all
    Running,     // not ended yet
    Exited,      // it ended by itself; exitCode holds its code
    Crashed,     // killed by a signal (POSIX) or ended with an exception code, 0xC0000000 and
                 // above (Windows); crashCode holds the signal or the code
    Stopped,     // ended by Process::Terminate
};

struct ProcessResult {
    ProcessEnd end = ProcessEnd::NotStarted;
    bool started = false;         // every end but NotStarted
    int exitCode = -1;            // Exited only
    std::uint32_t crashCode = 0;  // Crashed only
};

// "exit code 3", "signal 11", "exception 0xC0000005", "stopped", "not started", "running".
std::string DescribeProcessEnd(const ProcessResult& result);

// One program started from a Windows-style command line (first token: the program, usually
// quoted). On Windows this is CreateProcessA with the exact line; on POSIX the line is split by
// the Windows rules and the program is spawned directly, never through a shell. The program
// inherits the environment and current folder, but no handle or descriptor of this program
// (locks, open files). A Process that is destroyed while its program still runs terminates it
// (see Terminate), so no program outlives its owner unawaited.
//
// Nor does it outlive this program, however this program ends (killed too): on POSIX the
// program leads a process group of its own, and on Linux it is killed when the thread that
// started it ends, so start it from a thread that outlives it; on Windows it runs in a job
// object that kills its processes once no handle to it is left. What the program starts itself
// (its group, its job) goes with it: on Terminate, and when the Process is destroyed.
class Process {
  public:
    Process();
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the program. False when it could not be started; Result() then says NotStarted.
    // A Process is started once.
    bool Start(const std::string& commandLine);

    // True while the started program runs. Never blocks.
    bool Running();

    // Waits until the program has ended or timeoutMs milliseconds have passed (a negative
    // timeout waits without limit). True when it has ended (or never started).
    bool Wait(int timeoutMs);

    // Asks the program to end (SIGTERM to its process group; on Windows WM_CLOSE to its
    // windows), waits up to graceMs and then kills it (SIGKILL to the group, ending its job).
    // Returns once it has ended. A program that was still running when this was called ends as
    // Stopped.
    void Terminate(int graceMs);

    const ProcessResult& Result() const { return result_; }

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    ProcessResult result_;
};

// Starts a program and waits without a time limit until it ends: Process::Start and Wait.
ProcessResult RunAndWait(const std::string& commandLine);

// An existing file that this system can start as a program: on POSIX a regular file with an
// execute bit, on Windows a file with an executable image's header ("MZ").
bool IsExecutableFile(const std::string& path);

// Ends this process the way a crashing program ends: killed by SIGSEGV (or, with asIfKilled,
// SIGKILL) on POSIX; on Windows with the access-violation code 0xC0000005 (or, with
// asIfKilled, 0xC000013A, the code of a console program that was stopped). For the stand-in
// converter.
[[noreturn]] void EndProcessAbnormally(bool asIfKilled);

// ---- Stop signals ----------------------------------------------------------------------------

// A service manager stopping the program, a closed terminal or console, a logoff, Ctrl+C: the
// program ends its run in order instead of dying in the middle of it. The handlers only record
// the first such signal and wake the main thread; the core polls PendingStopSignal in its
// loops, the GUI watches StopSignalFd (POSIX) or StopSignalEvent (Windows).
//
// Installs the handlers, once (later calls return true and change nothing). POSIX: SIGTERM,
// SIGINT and SIGHUP with SA_RESTART; a signal that was ignored when the program started (as
// nohup leaves SIGHUP) stays ignored. Windows: a console control handler for Ctrl+C,
// Ctrl+Break, close, logoff and shutdown (a program that loads user32, as any GUI does, gets
// logoff and shutdown as window messages instead). Programs started by Process get default
// handling in any case. False when they could not be installed.
bool InstallStopSignalHandlers();

// The first stop signal received since the handlers were installed or last cleared; 0 for
// none. POSIX: the signal's number. Windows: the console event's number plus 1 (Ctrl+C 1,
// Ctrl+Break 2, close 3, logoff 6, shutdown 7). Safe from any thread.
int PendingStopSignal();

// "SIGTERM", "SIGINT", "SIGHUP" (else "signal n"); on Windows "Ctrl+C", "Ctrl+Break", "console
// closed", "logoff", "shutdown".
std::string DescribeStopSignal(int signal);

// POSIX: a non-blocking, close-on-exec descriptor that becomes readable when a stop signal
// arrives, for QSocketNotifier; -1 before InstallStopSignalHandlers and on Windows.
int StopSignalFd();
// Windows: a manual-reset event set when a stop signal arrives, for QWinEventNotifier or
// WaitForMultipleObjects (a HANDLE); null before InstallStopSignalHandlers and on POSIX.
void* StopSignalEvent();

// Empties StopSignalFd / resets StopSignalEvent after a wake, so a notifier does not fire
// again; the signal stays pending. ClearStopSignal forgets it as well.
void DrainStopSignalWake();
void ClearStopSignal();

// Called by the main thread when its orderly end is done. On Windows the handler of a console
// close, logoff or shutdown waits for this (or a few seconds at most), since the system ends
// the process once the handler returns. Nothing on POSIX.
void StopSignalHandled();

// Windows: a window message (an MSG) that tells the session is ending (WM_QUERYENDSESSION, or
// WM_ENDSESSION for an end that happens). Always false on POSIX, where the session's end
// comes as a signal.
bool IsSessionEndMessage(const void* nativeMessage);

// ---- File identity and locks ------------------------------------------------------------------

// False when the path names nothing or a folder. readOnly, when given, gets what
// IsReadOnlyEntry would say, from the same look at the file.
bool GetFileStamp(const std::string& path, FileStamp& stamp, bool* readOnly = nullptr);
// The same for the entry being visited, whose path is `path`.
bool GetEntryStamp(const DirEntry& entry, const std::string& path, FileStamp& stamp,
                   bool* readOnly = nullptr);

// Nanoseconds since 1970 by the system clock, in the unit of FileStamp::modified.
std::int64_t NowForFileTimes();

// An exclusive lock on a file (created when missing), held until Unlock or destruction, or
// until the process ends: flock on POSIX, LockFileEx on Windows. Two locks on the same file
// exclude each other even inside one process.
class FileLock {
  public:
    FileLock();
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock without waiting. False when another holder has it or the file cannot be
    // opened (errorCode then says which: 0 for "held by another").
    bool TryLock(const std::string& path, int& errorCode);
    void Unlock();
    bool Held() const;

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

// ---- Shell -----------------------------------------------------------------------------------

// File-system path of a shell special folder given by its CSIDL number. False (and empty text)
// when there is none. On POSIX the XDG folders stand in.
bool SpecialFolderPath(int csidl, std::string& path);

// Target of a shortcut file. False when the file is no loadable shortcut.
bool ResolveShortcut(const std::string& path, std::string& target);

// Opens a URL ("http://...", "mailto:...") with the desktop's opener. Does not wait.
bool OpenUrl(const std::string& url);

// ---- Command lines ---------------------------------------------------------------------------

// Splits a command line by the Windows rules (the rules of CommandLineToArgvW / the MSVC
// runtime): blanks and tabs separate, double quotes group, backslashes escape quotes only.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// True when a file name matches a wildcard by the rules FindEntries applies.
bool WildcardMatches(const std::string& wildcard, const std::string& name);

}  // namespace ka::platform
