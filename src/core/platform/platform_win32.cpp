// Win32 implementation of the platform layer: the ANSI ("A") functions, so paths and texts stay
// in the system code page as the rest of the program expects.
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <io.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_detail.h"

namespace ka::platform {

namespace {

std::wstring AnsiToWide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    }
    return wide;
}

std::uint64_t Combine(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

// COM for the calling thread, released again only if this call initialised it.
class ComScope {
  public:
    ComScope() : result_(CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // RPC_E_CHANGED_MODE: already initialised differently on this thread, which is usable too.
    bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

  private:
    HRESULT result_;
};

template <typename T>
void Release(T*& p) {
    if (p) {
        p->Release();
    }
    p = nullptr;
}

// FILETIME (100 ns since 1601) as nanoseconds since 1970.
std::int64_t FileTimeToUnixNs(const FILETIME& ft) {
    constexpr std::int64_t kEpochDifference = 116444736000000000LL;  // 1601 to 1970, 100 ns
    const auto ticks = static_cast<std::int64_t>(Combine(ft.dwHighDateTime, ft.dwLowDateTime));
    return (ticks - kEpochDifference) * 100;
}

FileStamp StampOf(const BY_HANDLE_FILE_INFORMATION& info) {
    FileStamp stamp;
    stamp.size = Combine(info.nFileSizeHigh, info.nFileSizeLow);
    stamp.modified = FileTimeToUnixNs(info.ftLastWriteTime);
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.index = Combine(info.nFileIndexHigh, info.nFileIndexLow);
    return stamp;
}

// Reparse points that name another place; other kinds (cloud placeholders, deduplicated
// files) are the files themselves.
bool IsLinkTag(DWORD tag) {
    return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

}  // namespace

unsigned ActiveCodePage() {
    return GetACP();
}

std::string Utf8ToSystem(const std::string& text) {
    if (text.empty()) {
        return text;
    }
    const int wn =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wn <= 0) {
        return text;
    }
    std::wstring wide(static_cast<std::size_t>(wn), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), wn);
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), wn, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return text;
    }
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wn, out.data(), n, nullptr, nullptr);
    return out;
}

std::string TextSortKey(const std::string& text) {
    if (!text.empty()) {
        const int len = static_cast<int>(text.size());
        const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
        const int n = LCMapStringA(LOCALE_USER_DEFAULT, flags, text.data(), len, nullptr, 0);
        if (n > 0) {
            std::string key(static_cast<std::size_t>(n), '\0');
            const int written =
                LCMapStringA(LOCALE_USER_DEFAULT, flags, text.data(), len, key.data(), n);
            if (written > 0) {
                key.resize(static_cast<std::size_t>(written));
                while (!key.empty() && key.back() == '\0') {
                    key.pop_back();
                }
                return key;
            }
        }
    }
    std::string key;
    for (char c : text) {
        key.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return key;
}

namespace {

// Uppercase wide form of a name for matching, as the file system folds names.
std::wstring FoldedWide(const char* text) {
    std::wstring wide = AnsiToWide(text);
    if (!wide.empty()) {
        CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    }
    return wide;
}

// The wildcard of a search pattern: the text after its last "\", "/" or ":", stepping over
// double-byte characters, whose second byte can be 0x5C.
std::string WildcardPart(const std::string& pattern) {
    const unsigned codePage = ActiveCodePage();
    std::size_t start = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const auto c = static_cast<unsigned char>(pattern[i]);
        if (IsLeadByte(codePage, c) && i + 1 < pattern.size()) {
            ++i;
        } else if (c == '\\' || c == '/' || c == ':') {
            start = i + 1;
        }
    }
    return pattern.substr(start);
}

}  // namespace

// The system matches the wildcard itself, but also on 8.3 short names, and a three-letter
// extension in the pattern matches longer ones ("*.hgl" finds "x.hglx"): each name found is
// checked again, on its long form. The basic information level and large fetches keep folders
// of 100,000 files quick; every attribute kind is listed.
// The listing gives every detail at once, so the detail asked for changes nothing.
bool FindEntries(const std::string& pattern, const std::function<bool(const DirEntry&)>& visit,
                 EntryDetail) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        // The folder exists but nothing matches: an empty listing, not a failure.
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    }
    const std::wstring wildcard = FoldedWide(WildcardPart(pattern).c_str());
    const detail::BasicWildcardMatcher<wchar_t> matcher(wildcard);
    DirEntry entry;
    do {
        if (!matcher.Matches(FoldedWide(fd.cFileName))) {
            continue;
        }
        entry.name = fd.cFileName;
        entry.isLink =
            (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(fd.dwReserved0);
        entry.isDirectory = !entry.isLink && (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        entry.isSpecial = entry.isLink;
        entry.isReadOnly = !entry.isLink && (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
        entry.size =
            entry.isDirectory || entry.isLink ? 0 : Combine(fd.nFileSizeHigh, fd.nFileSizeLow);
        if (!visit(entry)) {
            break;
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return true;
}

bool IsReadOnlyEntry(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::string& path) {
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsMissing(const std::string& path) {
    if (path.empty() || GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool CreateDirectoryOne(const std::string& path) {
    return !path.empty() && CreateDirectoryA(path.c_str(), nullptr) != 0;
}

// Folders under the user's profile are private to the user already; each missing level is
// created with the default security.
bool CreateDirectoryPrivate(const std::string& path) {
    const unsigned codePage = ActiveCodePage();
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(codePage, c)) {
            ++i;
        } else if ((c == '\\' || c == '/') && i > 0 && path[i - 1] != ':') {
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
        }
    }
    CreateDirectoryA(path.c_str(), nullptr);
    return DirectoryExists(path);
}

int RemoveEmptyFolder(const std::string& path) {
    if (RemoveDirectoryA(path.c_str())) {
        return 0;
    }
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<int>(error) : ERROR_ACCESS_DENIED;
}

int DeleteFileAt(const std::string& path) {
    if (DeleteFileA(path.c_str())) {
        return 0;
    }
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<int>(error) : ERROR_ACCESS_DENIED;
}

int ReplaceFileWith(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return 0;
    }
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<int>(error) : ERROR_ACCESS_DENIED;
}

bool IsPlainFile(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    if (path.empty() || a == INVALID_FILE_ATTRIBUTES ||
        (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))) {
        return false;
    }
    return true;
}

namespace {

int LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return static_cast<int>(error != 0 ? error : fallback);
}

// The path without separators at its end, stepping over double-byte characters, whose second
// byte can be 0x5C; a drive's root keeps its separator.
std::string WithoutTrailingSeparators(const std::string& path) {
    const unsigned codePage = ActiveCodePage();
    std::size_t end = 0;  // just past the last character that is no separator
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(codePage, c) && i + 1 < path.size()) {
            ++i;
            end = i + 1;
        } else if (c != '\\' && c != '/') {
            end = i + 1;
        }
    }
    if (end == 0 || (end == 2 && path[1] == ':')) {
        return path.substr(0, std::min(path.size(), end + 1));
    }
    return path.substr(0, end);
}

}  // namespace

bool IsAlreadyExistsError(int code) {
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
}

bool IsNotFoundError(int code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (MoveFileExA(from.c_str(), to.c_str(), 0)) {
        return 0;
    }
    return LastErrorOr(ERROR_ACCESS_DENIED);
}

int MoveIntoFolderNoFollow(const std::string& from, const std::string& folder,
                           const std::string& name) {
    if (from.empty() || folder.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("\\/:") != std::string::npos) {
        return ERROR_INVALID_NAME;
    }
    const std::string bare = WithoutTrailingSeparators(folder);
    const DWORD attributes = GetFileAttributesA(bare.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Not found means the source is gone; a missing folder is no folder.
        const int error = LastErrorOr(ERROR_PATH_NOT_FOUND);
        return IsNotFoundError(error) ? ERROR_DIRECTORY : error;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return ERROR_CANT_ACCESS_FILE;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ERROR_DIRECTORY;
    }
    // A root keeps its separator ("C:\\"); any other folder gets one.
    const bool root = bare == "\\" || bare == "/" || (bare.size() == 3 && bare[1] == ':');
    return RenameNoReplace(from, bare + (root ? "" : "\\") + name);
}

bool IsRealDirectory(const std::string& path) {
    const DWORD a = path.empty() ? INVALID_FILE_ATTRIBUTES
                                 : GetFileAttributesA(WithoutTrailingSeparators(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
           !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsSymbolicLink(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    // The search data carries the reparse tag; the attributes alone do not.
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileExA(WithoutTrailingSeparators(path).c_str(), FindExInfoBasic, &fd,
                                FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(h);
    return (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(fd.dwReserved0);
}

bool CanOpenReadWrite(const std::string& path, UnsharedFile& file) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Windows refuses the open itself for a read-only file; Wine running as root does not.
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                    !(info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
    if (ok) {
        // The share modes answered whether another program holds the file.
        file.stamp = StampOf(info);
        file.openersKnown = true;
    }
    CloseHandle(h);
    return ok;
}

bool CanOpenEntryReadWrite(const DirEntry&, const std::string& path, UnsharedFile& file) {
    return CanOpenReadWrite(path, file);
}

bool GetDosTimeAndSize(const std::string& path, std::uint32_t& dosDateTime, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    FILETIME local;
    WORD date = 0;
    WORD time = 0;
    // Outside the DOS range (1980 to 2107) the conversion fails: 0 then.
    if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
        FileTimeToDosDateTime(&local, &date, &time)) {
        dosDateTime = (static_cast<std::uint32_t>(date) << 16) | time;
    } else {
        dosDateTime = 0;
    }
    size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
               ? 0
               : Combine(data.nFileSizeHigh, data.nFileSizeLow);
    return true;
}

bool ReadDosTimeAndSize(const std::string& path, std::uint32_t& dosDateTime, std::uint64_t& size) {
    // The sharing of a C runtime open for reading.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                    !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(h);
    if (!ok) {
        return false;
    }
    FILETIME local;
    WORD date = 0;
    WORD time = 0;
    if (FileTimeToLocalFileTime(&info.ftLastWriteTime, &local) &&
        FileTimeToDosDateTime(&local, &date, &time)) {
        dosDateTime = (static_cast<std::uint32_t>(date) << 16) | time;
    } else {
        dosDateTime = 0;
    }
    size = Combine(info.nFileSizeHigh, info.nFileSizeLow);
    return true;
}

FilePtr OpenFile(const std::string& path, const char* mode, int& errorCode) {
    // A read-only file must refuse writing; Wine running as root would otherwise allow it.
    if (std::strpbrk(mode, "wa+")) {
        const DWORD a = GetFileAttributesA(path.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) &&
            !(a & FILE_ATTRIBUTE_DIRECTORY)) {
            errorCode = ERROR_ACCESS_DENIED;
            return nullptr;
        }
    }
    _doserrno = 0;
    SetLastError(0);
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), mode));
    // A device name ("CON", "COM1") opens too; reading one would wait for input.
    if (file && mode[0] == 'r' &&
        GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.get())))) !=
            FILE_TYPE_DISK) {
        errorCode = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (file) {
        errorCode = 0;
        return file;
    }
    // The runtime keeps the system's code (ERROR_ACCESS_DENIED, ...) beside errno.
    if (_doserrno != 0) {
        errorCode = static_cast<int>(_doserrno);
    } else if (GetLastError() != 0) {
        errorCode = static_cast<int>(GetLastError());
    } else {
        errorCode = errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    }
    return file;
}

void BufferForOneThread(std::FILE* file, std::size_t bufferSize) {
    std::setvbuf(file, nullptr, _IOFBF, bufferSize);
}

std::string CurrentDirectory() {
    const DWORD n = GetCurrentDirectoryA(0, nullptr);
    if (n == 0) {
        return {};
    }
    std::string dir(n, '\0');
    const DWORD written = GetCurrentDirectoryA(n, dir.data());
    if (written == 0 || written >= n) {
        return {};
    }
    dir.resize(written);
    return dir;
}

bool ChangeDirectory(const std::string& path) {
    return !path.empty() && SetCurrentDirectoryA(path.c_str()) != 0;
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) {
        return {};
    }
    return std::string(name, size);
}

std::string ExecutablePath() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            return std::string(buffer.data(), n);
        }
        buffer.resize(buffer.size() * 2);
    }
}

struct Process::Handle {
    HANDLE process = nullptr;
    DWORD id = 0;
    // Kills every process in it when its last handle closes: when this Process is destroyed,
    // or when this program ends in any way. Never inherited.
    HANDLE job = nullptr;
};

Process::Process() = default;

Process::~Process() {
    if (handle_ && result_.end == ProcessEnd::Running) {
        Terminate(detail::kDefaultTerminateGraceMs);
    }
    if (handle_) {
        CloseHandle(handle_->process);
        if (handle_->job) {
            CloseHandle(handle_->job);
        }
    }
}

namespace {

// A job that kills its processes once nobody holds it any more.
HANDLE CreateKillOnCloseJob() {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (!job) {
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

}  // namespace

bool Process::Start(const std::string& commandLine) {
    if (handle_ || result_.end != ProcessEnd::NotStarted) {
        return false;
    }
    // CreateProcessA may write into the command line, so it gets its own buffer.
    std::vector<char> line(commandLine.size() + 2, '\0');
    commandLine.copy(line.data(), commandLine.size());
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    // Suspended until it is in the job, so nothing it starts escapes the job. No handle of
    // this program (locks, open files) is inherited. A process group of its own: a Ctrl+C at a
    // shared console reaches this program alone, which then ends the converter in order.
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi)) {
        return false;
    }
    HANDLE job = CreateKillOnCloseJob();
    // Where the job cannot be had (a system that refuses nested jobs) the program still runs,
    // ended by Terminate and the destructor as before.
    if (job && !AssignProcessToJobObject(job, pi.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    handle_ = std::make_unique<Handle>();
    handle_->process = pi.hProcess;
    handle_->id = pi.dwProcessId;
    handle_->job = job;
    result_.started = true;
    result_.end = ProcessEnd::Running;
    return true;
}

namespace {

// Codes from 0xC0000000 up are NTSTATUS errors: an unhandled exception (0xC0000005 access
// violation, 0xC0000409 stack overrun, ...) or a forced end, never a program's own exit code.
constexpr DWORD kFirstErrorStatus = 0xC0000000;

ProcessResult EndedWith(DWORD code) {
    ProcessResult result;
    result.started = true;
    if (code >= kFirstErrorStatus) {
        result.end = ProcessEnd::Crashed;
        result.crashCode = code;
    } else {
        result.end = ProcessEnd::Exited;
        result.exitCode = static_cast<int>(code);
    }
    return result;
}

BOOL CALLBACK CloseWindowOfProcess(HWND window, LPARAM processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(processId)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

bool Process::Running() {
    return !Wait(0);
}

bool Process::Wait(int timeoutMs) {
    if (!handle_ || result_.end != ProcessEnd::Running) {
        return true;
    }
    const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    const DWORD rc = WaitForSingleObject(handle_->process, wait);
    if (rc == WAIT_TIMEOUT) {
        return false;
    }
    DWORD code = 0;
    if (rc == WAIT_OBJECT_0 && GetExitCodeProcess(handle_->process, &code) &&
        code != STILL_ACTIVE) {
        result_ = EndedWith(code);
    } else {
        // The handle cannot be waited on: nothing more can be learnt of the program.
        result_.end = ProcessEnd::Exited;
        result_.exitCode = -1;
    }
    return true;
}

void Process::Terminate(int graceMs) {
    if (!Running()) {
        return;
    }
    // A GUI program is asked to close its windows first; a console program has none and is
    // ended after the grace period.
    EnumWindows(CloseWindowOfProcess, static_cast<LPARAM>(handle_->id));
    if (!Wait(graceMs > 0 ? graceMs : 0)) {
        // The job takes whatever the program started with it.
        if (!handle_->job || !TerminateJobObject(handle_->job, 1)) {
            TerminateProcess(handle_->process, 1);
        }
        Wait(-1);
    }
    if (handle_->job) {
        TerminateJobObject(handle_->job, 1);
    }
    result_.end = ProcessEnd::Stopped;
    result_.exitCode = -1;
    result_.crashCode = 0;
}

bool IsExecutableFile(const std::string& path) {
    if (!FileExists(path)) {
        return false;
    }
    int error = 0;
    FilePtr file = OpenFile(path, "rb", error);
    char magic[2] = {};
    return file && std::fread(magic, 1, 2, file.get()) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

void EndProcessAbnormally(bool asIfKilled) {
    constexpr UINT kAccessViolation = 0xC0000005;
    constexpr UINT kControlCExit = 0xC000013A;
    TerminateProcess(GetCurrentProcess(), asIfKilled ? kControlCExit : kAccessViolation);
    ExitProcess(1);  // not reached
}

namespace {

std::atomic<int> pendingStopSignal{0};
// Manual-reset events, made once at installation: set on a stop signal, and set by the main
// thread when its orderly end is done.
HANDLE stopEvent = nullptr;
HANDLE stopHandledEvent = nullptr;

BOOL WINAPI ConsoleControlHandler(DWORD controlType) {
    return detail::OnConsoleControl(controlType) ? TRUE : FALSE;
}

}  // namespace

// Runs on a thread the system starts for the event.
int detail::OnConsoleControl(unsigned long controlType) {
    switch (controlType) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            return 0;
    }
    int none = 0;
    pendingStopSignal.compare_exchange_strong(none, static_cast<int>(controlType) + 1);
    SetEvent(stopEvent);
    if (controlType == CTRL_CLOSE_EVENT || controlType == CTRL_LOGOFF_EVENT ||
        controlType == CTRL_SHUTDOWN_EVENT) {
        // Returning lets the system end the process: not before the run has ended in order.
        WaitForSingleObject(stopHandledEvent, detail::kStopSignalGraceMs);
    }
    return 1;
}

bool InstallStopSignalHandlers() {
    static const bool installed = [] {
        // Not inherited: the default security attributes.
        stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        stopHandledEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        return stopEvent && stopHandledEvent &&
               SetConsoleCtrlHandler(ConsoleControlHandler, TRUE) != 0;
    }();
    return installed;
}

int PendingStopSignal() {
    return pendingStopSignal.load();
}

std::string DescribeStopSignal(int signal) {
    switch (signal - 1) {
        case CTRL_C_EVENT:
            return "Ctrl+C";
        case CTRL_BREAK_EVENT:
            return "Ctrl+Break";
        case CTRL_CLOSE_EVENT:
            return "console closed";
        case CTRL_LOGOFF_EVENT:
            return "logoff";
        case CTRL_SHUTDOWN_EVENT:
            return "shutdown";
        default:
            return "signal " + std::to_string(signal);
    }
}

int StopSignalFd() {
    return -1;
}

void* StopSignalEvent() {
    return stopEvent;
}

void DrainStopSignalWake() {
    if (stopEvent) {
        ResetEvent(stopEvent);
    }
}

void ClearStopSignal() {
    pendingStopSignal = 0;
    DrainStopSignalWake();
    if (stopHandledEvent) {
        ResetEvent(stopHandledEvent);
    }
    // A signal that came in between stays pending and its wake is not lost.
    if (pendingStopSignal.load() != 0 && stopEvent) {
        SetEvent(stopEvent);
    }
}

void StopSignalHandled() {
    if (stopHandledEvent) {
        SetEvent(stopHandledEvent);
    }
}

bool IsSessionEndMessage(const void* nativeMessage) {
    const auto* msg = static_cast<const MSG*>(nativeMessage);
    return msg && (msg->message == WM_QUERYENDSESSION ||
                   (msg->message == WM_ENDSESSION && msg->wParam != FALSE));
}

bool GetFileStamp(const std::string& path, FileStamp& stamp, bool* readOnly) {
    if (path.empty()) {
        return false;
    }
    // No access rights asked and every sharing allowed: works on files others hold open.
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok =
        GetFileInformationByHandle(h, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(h);
    if (!ok) {
        return false;
    }
    if (readOnly) {
        *readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    stamp = StampOf(info);
    return true;
}

// Windows opens by path only; the entry adds nothing.
bool GetEntryStamp(const DirEntry&, const std::string& path, FileStamp& stamp, bool* readOnly) {
    return GetFileStamp(path, stamp, readOnly);
}

std::int64_t NowForFileTimes() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return FileTimeToUnixNs(ft);
}

struct FileLock::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
};

FileLock::FileLock() = default;

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::TryLock(const std::string& path, int& errorCode) {
    Unlock();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errorCode = error != 0 ? static_cast<int>(error) : ERROR_ACCESS_DENIED;
        return false;
    }
    OVERLAPPED at;
    ZeroMemory(&at, sizeof at);
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        CloseHandle(h);
        errorCode = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING
                        ? 0
                        : static_cast<int>(error);
        return false;
    }
    handle_ = std::make_unique<Handle>();
    handle_->file = h;
    errorCode = 0;
    return true;
}

void FileLock::Unlock() {
    if (handle_) {
        OVERLAPPED at;
        ZeroMemory(&at, sizeof at);
        UnlockFileEx(handle_->file, 0, 1, 0, &at);
        CloseHandle(handle_->file);
        handle_.reset();
    }
}

bool FileLock::Held() const {
    return handle_ != nullptr;
}

// SHGetSpecialFolderLocation is present on every system this builds for; the old "shfolder"
// fallback only served systems without it, so it is left out.
bool SpecialFolderPath(int csidl, std::string& path) {
    path.clear();
    // The local application-data folder from the environment first: on a normal system it names
    // the same folder, and it lets a test or a portable setup move the data folder, as
    // XDG_DATA_HOME does on Linux.
    if (csidl == CSIDL_LOCAL_APPDATA) {
        char buffer[MAX_PATH] = {};
        const DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", buffer, MAX_PATH);
        if (n > 0 && n < MAX_PATH && DirectoryExists(buffer)) {
            path.assign(buffer, n);
            return true;
        }
    }
    LPITEMIDLIST list = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) && list) {
        char buffer[MAX_PATH] = {};
        if (SHGetPathFromIDListA(list, buffer)) {
            path = buffer;
        }
        CoTaskMemFree(list);  // the shell's allocator
    }
    return !path.empty();
}

// Resolve gets SLR_NO_UI: the program runs unattended, and a search window waiting for an
// answer would stop it. Without UI the search gives up after its default few seconds.
bool ResolveShortcut(const std::string& path, std::string& target) {
    const ComScope com;
    if (!com.Usable()) {
        return false;
    }
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    bool loaded = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        const std::wstring wide = AnsiToWide(path);
        loaded = SUCCEEDED(file->Load(wide.c_str(), STGM_READ));
    }
    if (loaded) {
        link->Resolve(nullptr, SLR_ANY_MATCH | SLR_NO_UI);
        char buffer[MAX_PATH + 1] = {};
        WIN32_FIND_DATAA fd;
        link->GetPath(buffer, MAX_PATH, &fd, SLGP_UNCPRIORITY);
        buffer[MAX_PATH] = '\0';
        target = buffer;
    }
    Release(file);
    Release(link);
    return loaded;
}

bool OpenUrl(const std::string& url) {
    const auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
}

}  // namespace ka::platform
