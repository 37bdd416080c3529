// POSIX implementation of the platform layer. Paths are byte strings (UTF-8 in practice);
// Windows behaviour is kept where the core depends on it: wildcard rules, read-only files
// refusing a read-write open, command lines split by the Windows rules.
#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#if defined(__linux__)
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <stdio_ext.h>
#endif

#include <locale.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <string_view>
#include <thread>

#include "platform/platform.h"
#include "platform/platform_detail.h"

extern char** environ;

namespace ka::platform {

namespace {

bool HasWriteBit(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

std::string GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeDirectory() {
    std::string home = GetEnv("HOME");
    if (!home.empty()) {
        return home;
    }
    struct passwd pw;
    struct passwd* result = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return {};
}

// $NAME when it is set and absolute, else home + fallback.
std::string XdgBase(const char* name, const char* fallback) {
    std::string value = GetEnv(name);
    if (!value.empty() && value[0] == '/') {
        return value;
    }
    const std::string home = HomeDirectory();
    return home.empty() ? std::string() : home + fallback;
}

// A user directory from user-dirs.dirs (XDG_DOCUMENTS_DIR="$HOME/Documents"); empty when
// the file or the key is missing.
std::string XdgUserDir(const std::string& key) {
    const std::string configHome = XdgBase("XDG_CONFIG_HOME", "/.config");
    if (configHome.empty()) {
        return {};
    }
    std::FILE* f = std::fopen((configHome + "/user-dirs.dirs").c_str(), "re");
    if (!f) {
        return {};
    }
    std::string result;
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        const std::size_t start = text.find_first_not_of(" \t");
        if (start == std::string::npos || text[start] == '#') {
            continue;
        }
        if (text.compare(start, key.size() + 1, key + "=") != 0) {
            continue;
        }
        std::string value = text.substr(start + key.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) {
            value = HomeDirectory() + value.substr(5);
        } else if (value.empty() || value[0] != '/') {
            continue;
        }
        while (value.size() > 1 && value.back() == '/') {
            value.pop_back();
        }
        result = value;
    }
    std::fclose(f);
    return result;
}

// A user directory, else home + name when that folder exists, else home itself
// (what xdg-user-dir answers too).
std::string UserDirOrHome(const std::string& key, const char* name) {
    std::string dir = XdgUserDir(key);
    if (!dir.empty()) {
        return dir;
    }
    const std::string home = HomeDirectory();
    if (home.empty()) {
        return {};
    }
    const std::string candidate = home + "/" + name;
    if (DirectoryExists(candidate)) {
        return candidate;
    }
    return home;
}

// The folder and the wildcard of a search pattern.
void SplitPattern(const std::string& pattern, std::string& folder, std::string& wildcard) {
    const std::size_t slash = pattern.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        wildcard = pattern;
    } else {
        folder = slash == 0 ? std::string("/") : pattern.substr(0, slash);
        wildcard = pattern.substr(slash + 1);
    }
}

// Locale used for sort keys: the user's, read from the environment once. Under the plain C
// locale names are still decoded as UTF-8, the encoding file names have here in practice.
locale_t SortLocale() {
    static const locale_t locale = [] {
        const int mask = LC_COLLATE_MASK | LC_CTYPE_MASK;
        locale_t l = newlocale(mask, "", static_cast<locale_t>(0));
        if (!l) {
            l = newlocale(mask, "C", static_cast<locale_t>(0));
        }
        if (l && std::strcmp(nl_langinfo_l(CODESET, l), "ANSI_X3.4-1968") == 0) {
            if (locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", l)) {
                l = utf8;
            }
        }
        return l;
    }();
    return locale;
}

void AppendBigEndian(std::string& key, std::uint32_t v) {
    key.push_back(static_cast<char>((v >> 24) & 0xFF));
    key.push_back(static_cast<char>((v >> 16) & 0xFF));
    key.push_back(static_cast<char>((v >> 8) & 0xFF));
    key.push_back(static_cast<char>(v & 0xFF));
}

}  // namespace

unsigned ActiveCodePage() {
    return 65001;
}

std::string Utf8ToSystem(const std::string& text) {
    return text;
}

// Case-folded wide text run through wcsxfrm in the user's locale; each wide character of the
// result becomes four big-endian bytes, so bytewise order equals wcscmp order. Names that the
// locale cannot decode sort after all others, by their ASCII-lowered bytes.
std::string TextSortKey(const std::string& text) {
    const locale_t locale = SortLocale();
    std::string key;
    if (locale) {
        const locale_t previous = uselocale(locale);
        std::wstring wide(text.size() + 1, L'\0');
        std::mbstate_t state{};
        const char* src = text.c_str();
        std::size_t n = std::mbsrtowcs(wide.data(), &src, wide.size(), &state);
        // A NUL inside the text would end the conversion early: treat it as undecodable.
        if (n != static_cast<std::size_t>(-1) && src == nullptr &&
            text.find('\0') == std::string::npos) {
            wide.resize(n);
            for (wchar_t& c : wide) {
                c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
            }
            std::wstring out(wide.size() * 4 + 16, L'\0');
            std::size_t len = std::wcsxfrm(out.data(), wide.c_str(), out.size());
            if (len >= out.size()) {
                out.assign(len + 1, L'\0');
                len = std::wcsxfrm(out.data(), wide.c_str(), out.size());
            }
            key.reserve(len * 4);
            for (std::size_t i = 0; i < len; ++i) {
                AppendBigEndian(key, static_cast<std::uint32_t>(out[i]));
            }
            uselocale(previous);
            return key;
        }
        uselocale(previous);
    }
    key.assign(4, static_cast<char>(0xFF));
    for (char c : text) {
        key.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return key;
}

namespace {

// The kind the directory entry itself gives; false for an unknown type, which only a lookup can
// tell.
bool KindFromListing(const struct dirent& d, DirEntry& entry) {
    switch (d.d_type) {
        case DT_REG:
        case DT_DIR:
        case DT_FIFO:
        case DT_SOCK:
        case DT_CHR:
        case DT_BLK:
        case DT_LNK:
            entry.isDirectory = d.d_type == DT_DIR;
            entry.isSpecial = d.d_type != DT_REG && d.d_type != DT_DIR;
            entry.isLink = d.d_type == DT_LNK;
            entry.isReadOnly = false;
            entry.size = 0;
            return true;
        default:
            return false;
    }
}

}  // namespace

bool FindEntries(const std::string& pattern, const std::function<bool(const DirEntry&)>& visit,
                 EntryDetail wanted) {
    std::string folder;
    std::string wildcard;
    SplitPattern(pattern, folder, wildcard);
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        return false;
    }
    const int fd = dirfd(dir);
    const detail::WildcardMatcher matcher(wildcard);
    DirEntry entry;
    entry.folder = fd;
    while (struct dirent* d = readdir(dir)) {
        const char* name = d->d_name;
        if (wildcard.empty() || !matcher.Matches(name)) {
            continue;
        }
        if (wanted != EntryDetail::Kind || !KindFromListing(*d, entry)) {
            struct stat st;
            if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;  // gone since it was listed
            }
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.isLink = S_ISLNK(st.st_mode);
            entry.isReadOnly = wanted == EntryDetail::Full && !entry.isLink && !HasWriteBit(st);
            entry.isSpecial = !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
            entry.size = wanted == EntryDetail::Full && S_ISREG(st.st_mode)
                             ? static_cast<std::uint64_t>(st.st_size)
                             : 0;
        }
        entry.name = name;
        if (!visit(entry)) {
            break;
        }
    }
    closedir(dir);
    return true;
}

bool IsReadOnlyEntry(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !HasWriteBit(st);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool IsMissing(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool CreateDirectoryOne(const std::string& path) {
    return !path.empty() && mkdir(path.c_str(), 0777) == 0;
}

bool CreateDirectoryPrivate(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            break;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return DirectoryExists(path);
}

int RemoveEmptyFolder(const std::string& path) {
    if (path.empty()) {
        return ENOENT;
    }
    return rmdir(path.c_str()) == 0 ? 0 : errno;
}

int DeleteFileAt(const std::string& path) {
    struct stat st;
    // unlink would remove a read-only file too; the program expects the Windows answer.
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !HasWriteBit(st)) {
        return EACCES;
    }
    if (unlink(path.c_str()) == 0) {
        return 0;
    }
    return errno != 0 ? errno : EIO;
}

int ReplaceFileWith(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return 0;
    }
    return errno != 0 ? errno : EIO;
}

bool IsPlainFile(const std::string& path) {
    struct stat st;
    return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// renameat2 with RENAME_NOREPLACE; where the file system cannot (EINVAL) or the kernel lacks it,
// a regular file or a link is linked under the new name, which fails on an existing one, and
// then unlinked under the old.
int RenameAtNoReplace(int fromFolder, const char* from, int toFolder, const char* to) {
#if defined(SYS_renameat2)
    constexpr unsigned kRenameNoReplace = 1U << 0;
    if (syscall(SYS_renameat2, fromFolder, from, toFolder, to, kRenameNoReplace) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) {
        return error;
    }
#else
    const int error = EINVAL;
#endif
    struct stat st;
    if (fstatat(fromFolder, from, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        return error;
    }
    // Without AT_SYMLINK_FOLLOW a link is linked itself.
    if (linkat(fromFolder, from, toFolder, to, 0) != 0) {
        return errno;
    }
    if (unlinkat(fromFolder, from, 0) != 0) {
        const int unlinkError = errno;
        unlinkat(toFolder, to, 0);  // the name just made: one name again, as before
        return unlinkError;
    }
    return 0;
}

// A trailing slash would make the system follow a link in the last place: "link/" names what
// the link names.
std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) {
        return ENOENT;
    }
    return RenameAtNoReplace(AT_FDCWD, WithoutTrailingSlashes(from).c_str(), AT_FDCWD,
                             WithoutTrailingSlashes(to).c_str());
}

int MoveIntoFolderNoFollow(const std::string& from, const std::string& folder,
                           const std::string& name) {
    if (from.empty() || folder.empty()) {
        return ENOENT;
    }
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return EINVAL;
    }
    // The open folder is the one moved into, even if its path is changed meanwhile.
    const int dir = open(WithoutTrailingSlashes(folder).c_str(),
                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        // Not found means the source is gone; a missing folder is no folder.
        return errno == ENOENT ? ENOTDIR : errno;
    }
    const int error =
        RenameAtNoReplace(AT_FDCWD, WithoutTrailingSlashes(from).c_str(), dir, name.c_str());
    close(dir);
    return error;
}

bool IsAlreadyExistsError(int code) {
    return code == EEXIST || code == ENOTEMPTY;
}

bool IsNotFoundError(int code) {
    return code == ENOENT;
}

bool IsRealDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && lstat(WithoutTrailingSlashes(path).c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st;
    return !path.empty() && lstat(WithoutTrailingSlashes(path).c_str(), &st) == 0 &&
           S_ISLNK(st.st_mode);
}

namespace {

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                     static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    stamp.volume = static_cast<std::uint64_t>(st.st_dev);
    stamp.index = static_cast<std::uint64_t>(st.st_ino);
    return stamp;
}

bool GetFileStampAt(int folder, const char* name, FileStamp& stamp, bool* readOnly) {
    struct stat st;
    if (fstatat(folder, name, &st, 0) != 0 || S_ISDIR(st.st_mode)) {
        return false;
    }
    if (readOnly) {
        *readOnly = !HasWriteBit(st);
    }
    stamp = StampOf(st);
    return true;
}

}  // namespace

// A lease break is signalled with SIGIO, whose default action ends the process: another
// program opening the file between the probe's lease and its release must not end this one.
void IgnoreLeaseBreakSignal() {
    static const bool ignored = [] {
        struct sigaction current {};
        if (sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            std::signal(SIGIO, SIG_IGN);
        }
        return true;
    }();
    (void)ignored;
}

namespace {

// POSIX has no share modes. A write lease stands in: the system grants one only while no
// other descriptor has the file open, so a copy that stalls with its file open is seen. Where
// leases cannot be had (file system, another owner), the caller falls back on the file's time.
// `folder` is a folder descriptor or AT_FDCWD, `name` relative to it.
bool CanOpenReadWriteAt(int folder, const char* name, UnsharedFile& file) {
    // Non-blocking: neither a FIFO nor a lease held by someone else can stall the open.
    const int fd = openat(folder, name, O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && HasWriteBit(st);
    if (ok) {
        file.stamp = StampOf(st);
        file.openersKnown = false;
#ifdef F_SETLEASE
        IgnoreLeaseBreakSignal();
        // Closing the descriptor below releases the lease.
        if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
            file.openersKnown = true;
        } else if (errno == EAGAIN) {
            ok = false;  // someone else has it open
        }
#endif
    }
    close(fd);
    return ok;
}

}  // namespace

bool CanOpenReadWrite(const std::string& path, UnsharedFile& file) {
    return !path.empty() && CanOpenReadWriteAt(AT_FDCWD, path.c_str(), file);
}

bool CanOpenEntryReadWrite(const DirEntry& entry, const std::string& path, UnsharedFile& file) {
    return entry.folder >= 0 ? CanOpenReadWriteAt(entry.folder, entry.name.c_str(), file)
                             : CanOpenReadWrite(path, file);
}

namespace {

void DosTimeAndSizeOf(const struct stat& st, std::uint32_t& dosDateTime, std::uint64_t& size) {
    const std::time_t t = st.st_mtime;
    struct tm local;
    dosDateTime = localtime_r(&t, &local)
                      ? detail::DosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                            local.tm_hour, local.tm_min, local.tm_sec)
                      : 0;
    size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
}

}  // namespace

bool GetDosTimeAndSize(const std::string& path, std::uint32_t& dosDateTime, std::uint64_t& size) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) {
        return false;
    }
    DosTimeAndSizeOf(st, dosDateTime, size);
    return true;
}

bool ReadDosTimeAndSize(const std::string& path, std::uint32_t& dosDateTime, std::uint64_t& size) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    if (ok) {
        DosTimeAndSizeOf(st, dosDateTime, size);
    }
    return ok;
}

FilePtr OpenFile(const std::string& path, const char* mode, int& errorCode) {
    // A read-only file refuses writing on Windows even to an administrator; root here would
    // otherwise overwrite it.
    const std::string_view modeText(mode);
    const bool reads = !modeText.empty() && modeText[0] == 'r';
    const bool plus = modeText.find('+') != std::string_view::npos;
    if (!reads || plus) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !HasWriteBit(st)) {
            errorCode = EACCES;
            return nullptr;
        }
    }
    int flags = plus ? O_RDWR : (reads ? O_RDONLY : O_WRONLY);
    if (!reads) {
        flags |= O_CREAT | (modeText[0] == 'a' ? O_APPEND : O_TRUNC);
    }
    // Not inherited by the converter processes started meanwhile; non-blocking until the kind
    // of file is known, so a FIFO or a device cannot stall the open.
    const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        errorCode = errno != 0 ? errno : EIO;
        return nullptr;
    }
    struct stat st;
    int refused = 0;
    if (fstat(fd, &st) != 0) {
        refused = errno != 0 ? errno : EIO;
    } else if (S_ISDIR(st.st_mode)) {
        refused = EISDIR;
    } else if (reads ? !S_ISREG(st.st_mode) : (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        refused = ENXIO;
    }
    // Blocking matters only for what is not a regular file (a device written to).
    if (refused == 0 && !S_ISREG(st.st_mode)) {
        const int fileFlags = fcntl(fd, F_GETFL);
        if (fileFlags < 0 || fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK) != 0) {
            refused = errno != 0 ? errno : EIO;
        }
    }
    errno = 0;
    FilePtr file(refused == 0 ? fdopen(fd, mode) : nullptr);
    if (!file) {
        errorCode = refused != 0 ? refused : (errno != 0 ? errno : EIO);
        close(fd);
        return nullptr;
    }
    errorCode = 0;
    return file;
}

void BufferForOneThread(std::FILE* file, std::size_t bufferSize) {
    std::setvbuf(file, nullptr, _IOFBF, bufferSize);
#if defined(__GLIBC__)
    // Every stdio call would otherwise take and drop the file's lock: two per line written.
    __fsetlocking(file, FSETLOCKING_BYCALLER);
#endif
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) {
            return buffer.data();
        }
        if (errno != ERANGE) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool ChangeDirectory(const std::string& path) {
    return !path.empty() && chdir(path.c_str()) == 0;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

struct Process::Handle {
    pid_t pid = 0;
    // The leader has ended but is left unreaped until its group has been killed: while the
    // zombie holds the number, no other process group can take it.
    bool unreaped = false;
};

namespace {

// The files an exec of `program` tries, as execvp searches: the name itself when it holds a
// slash, else each folder of PATH in turn.
std::vector<std::string> ExecCandidates(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return {program};
    }
    std::string path = GetEnv("PATH");
    if (path.empty()) {
        path = "/bin:/usr/bin";
    }
    std::vector<std::string> candidates;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t colon = path.find(':', begin);
        std::string folder = path.substr(begin, colon - begin);
        candidates.push_back((folder.empty() ? std::string(".") : folder) + "/" + program);
        if (colon == std::string::npos) {
            break;
        }
        begin = colon + 1;
    }
    return candidates;
}

// In the child between fork and exec: async-signal-safe calls only. Writes errno to errorPipe
// when no exec succeeds.
[[noreturn]] void ExecChild(const std::vector<char*>& candidates, char* const* argv, pid_t parent,
                            int errorPipe) {
    // Its own process group, so the whole converter (and anything it starts) is ended as one,
    // and a Ctrl+C at a terminal reaches this program alone, which then ends it in order.
    setpgid(0, 0);
#ifdef __linux__
    // Killed when this program dies, however it dies. The parent may have died already, before
    // the request: then the child has been handed to another parent.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
        _exit(127);
    }
#else
    (void)parent;
#endif
    // Default handling for every signal and nothing blocked, whatever this program (or its GUI
    // toolkit) set up for itself.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP) {
            sigaction(sig, &byDefault, nullptr);
        }
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
#if defined(SYS_close_range)
    // Whatever a library opened without O_CLOEXEC stays here, not in the converter.
    constexpr unsigned kCloseRangeCloexec = 1U << 2;
    syscall(SYS_close_range, 3U, ~0U, kCloseRangeCloexec);
#endif
    int error = ENOENT;
    for (char* candidate : candidates) {
        execve(candidate, argv, environ);
        // Like execvp: a folder of PATH without the program, or one not to be searched, lets the
        // search go on; any other failure is the answer.
        if (errno == EACCES) {
            error = EACCES;
        } else if (errno != ENOENT && errno != ENOTDIR) {
            error = errno;
            break;
        }
    }
    while (write(errorPipe, &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
}

}  // namespace

Process::Process() = default;

Process::~Process() {
    if (handle_ && result_.end == ProcessEnd::Running) {
        Terminate(detail::kDefaultTerminateGraceMs);
    }
    if (handle_ && handle_->unreaped) {
        // Anything the converter left behind in its group ends with it.
        kill(-handle_->pid, SIGKILL);
        int status = 0;
        while (waitpid(handle_->pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

bool Process::Start(const std::string& commandLine) {
    if (handle_ || result_.end != ProcessEnd::NotStarted) {
        return false;
    }
    std::string rest;
    const std::string program = detail::SplitProgramName(commandLine, rest);
    if (program.empty()) {
        return false;
    }
    std::vector<std::string> args = SplitCommandLine(rest);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    // Everything the child needs is made here: after the fork it may not allocate.
    std::vector<std::string> candidates = ExecCandidates(program);
    std::vector<char*> candidatePointers;
    for (std::string& c : candidates) {
        candidatePointers.push_back(c.data());
    }

    // A failed exec reports its errno through this pipe; a successful one closes it unwritten,
    // so a program that cannot be executed never looks like one that started and exited.
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        return false;
    }
    // No handler of this program may run in the child before it has reset them.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        close(errorPipe[0]);
        ExecChild(candidatePointers, argv.data(), parent, errorPipe[1]);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    close(errorPipe[1]);
    if (pid < 0) {
        close(errorPipe[0]);
        return false;
    }
    // Also here, so the group exists before anyone signals it, whichever process runs first.
    setpgid(pid, pid);
    int childError = 0;
    ssize_t n;
    do {
        n = read(errorPipe[0], &childError, sizeof childError);
    } while (n < 0 && errno == EINTR);
    close(errorPipe[0]);
    if (n != 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return false;
    }
    handle_ = std::make_unique<Handle>();
    handle_->pid = pid;
    result_.started = true;
    result_.end = ProcessEnd::Running;
    return true;
}

bool Process::Running() {
    if (!handle_ || result_.end != ProcessEnd::Running) {
        return false;
    }
    // Looked at without reaping (WNOWAIT): the destructor reaps once the group is killed.
    siginfo_t info{};
    int rc;
    do {
        rc = waitid(P_PID, static_cast<id_t>(handle_->pid), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0 && info.si_pid == 0) {
        return true;
    }
    if (rc != 0) {
        // Reaped elsewhere (a SIGCHLD handler set to ignore): the code is lost.
        result_.end = ProcessEnd::Exited;
        result_.exitCode = -1;
        return false;
    }
    handle_->unreaped = true;
    if (info.si_code == CLD_EXITED) {
        result_.end = ProcessEnd::Exited;
        result_.exitCode = info.si_status;
    } else {
        result_.end = ProcessEnd::Crashed;
        result_.crashCode = static_cast<std::uint32_t>(info.si_status);
    }
    return false;
}

bool Process::Wait(int timeoutMs) {
    // POSIX has no waitpid with a time limit; short sleeps that grow to 10 ms cost little
    // against a converter run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::microseconds(200);
    while (Running()) {
        if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(10'000));
    }
    return true;
}

// The whole group is asked and killed: a converter that runs helpers of its own takes them
// with it.
void Process::Terminate(int graceMs) {
    if (!Running()) {
        return;
    }
    kill(-handle_->pid, SIGTERM);
    if (!Wait(std::max(graceMs, 0))) {
        kill(-handle_->pid, SIGKILL);
        Wait(-1);
    }
    if (handle_->unreaped) {
        kill(-handle_->pid, SIGKILL);
    }
    result_.end = ProcessEnd::Stopped;
    result_.exitCode = -1;
    result_.crashCode = 0;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0 && access(path.c_str(), X_OK) == 0;
}

void EndProcessAbnormally(bool asIfKilled) {
    const int sig = asIfKilled ? SIGKILL : SIGSEGV;
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);
}

namespace {

// Written by the handlers, so lock-free: an atomic that took a lock could deadlock a handler.
std::atomic<int> pendingStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The self-pipe: the handler writes a byte to the write end, the event loop watches the read
// end. Set once at installation, before any handler can run.
std::atomic<int> stopWakeRead{-1};
std::atomic<int> stopWakeWrite{-1};

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnStopSignal(int signal) {
    const int savedErrno = errno;
    int none = 0;
    pendingStopSignal.compare_exchange_strong(none, signal);
    const char byte = 1;
    // Non-blocking: a full pipe is readable already.
    [[maybe_unused]] const ssize_t written = write(stopWakeWrite.load(), &byte, 1);
    errno = savedErrno;
}

void WakeStopSignalFd() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(stopWakeWrite.load(), &byte, 1);
}

}  // namespace

bool InstallStopSignalHandlers() {
    static const bool installed = [] {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        stopWakeRead = fds[0];
        stopWakeWrite = fds[1];
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        action.sa_flags = SA_RESTART;
        // One handler at a time: the first signal is the one recorded.
        sigemptyset(&action.sa_mask);
        for (const int signal : kStopSignals) {
            sigaddset(&action.sa_mask, signal);
        }
        bool ok = true;
        for (const int signal : kStopSignals) {
            struct sigaction current {};
            if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
                continue;
            }
            ok = sigaction(signal, &action, nullptr) == 0 && ok;
        }
        return ok;
    }();
    return installed;
}

int PendingStopSignal() {
    return pendingStopSignal.load();
}

std::string DescribeStopSignal(int signal) {
    switch (signal) {
        case SIGTERM:
            return "SIGTERM";
        case SIGINT:
            return "SIGINT";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

int StopSignalFd() {
    return stopWakeRead.load();
}

void* StopSignalEvent() {
    return nullptr;
}

void DrainStopSignalWake() {
    const int fd = stopWakeRead.load();
    if (fd < 0) {
        return;
    }
    char buffer[64];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0 && !(n < 0 && errno == EINTR)) {
            break;
        }
    }
}

void ClearStopSignal() {
    // Forgotten before the drain: a signal that comes in between stays pending and is woken
    // for again below.
    pendingStopSignal = 0;
    DrainStopSignalWake();
    if (pendingStopSignal.load() != 0 && stopWakeWrite.load() >= 0) {
        WakeStopSignalFd();
    }
}

void StopSignalHandled() {}

bool IsSessionEndMessage(const void*) {
    return false;
}

bool GetFileStamp(const std::string& path, FileStamp& stamp, bool* readOnly) {
    return !path.empty() && GetFileStampAt(AT_FDCWD, path.c_str(), stamp, readOnly);
}

bool GetEntryStamp(const DirEntry& entry, const std::string& path, FileStamp& stamp,
                   bool* readOnly) {
    return entry.folder >= 0 ? GetFileStampAt(entry.folder, entry.name.c_str(), stamp, readOnly)
                             : GetFileStamp(path, stamp, readOnly);
}

std::int64_t NowForFileTimes() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 +
           static_cast<std::int64_t>(ts.tv_nsec);
}

struct FileLock::Handle {
    int fd = -1;
};

FileLock::FileLock() = default;

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::TryLock(const std::string& path, int& errorCode) {
    Unlock();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        errorCode = errno != 0 ? errno : EIO;
        return false;
    }
    // flock belongs to the open file, so a second open in this process is refused as well.
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        errorCode = errno == EWOULDBLOCK ? 0 : errno;
        close(fd);
        return false;
    }
    handle_ = std::make_unique<Handle>();
    handle_->fd = fd;
    errorCode = 0;
    return true;
}

void FileLock::Unlock() {
    if (handle_) {
        close(handle_->fd);  // releases the lock
        handle_.reset();
    }
}

bool FileLock::Held() const {
    return handle_ != nullptr;
}

// CSIDL numbers mapped to XDG folders. Folders Linux has no equivalent of (common documents,
// common application data, favourites, program files, the drives view) give no path.
bool SpecialFolderPath(int csidl, std::string& path) {
    path.clear();
    switch (csidl) {
        case 0x0000:  // CSIDL_DESKTOP
        case 0x0010:  // CSIDL_DESKTOPDIRECTORY
            path = UserDirOrHome("XDG_DESKTOP_DIR", "Desktop");
            break;
        case 0x0005:  // CSIDL_PERSONAL
            path = UserDirOrHome("XDG_DOCUMENTS_DIR", "Documents");
            break;
        case 0x0015:  // CSIDL_TEMPLATES
            path = XdgUserDir("XDG_TEMPLATES_DIR");
            break;
        case 0x001A:  // CSIDL_APPDATA
            path = XdgBase("XDG_CONFIG_HOME", "/.config");
            break;
        case 0x001C:  // CSIDL_LOCAL_APPDATA
            path = XdgBase("XDG_DATA_HOME", "/.local/share");
            break;
        case 0x0002:  // CSIDL_PROGRAMS
        case 0x000B:  // CSIDL_STARTMENU: desktop launchers live in the applications folder
        {
            const std::string data = XdgBase("XDG_DATA_HOME", "/.local/share");
            if (!data.empty()) {
                path = data + "/applications";
            }
            break;
        }
        default:
            break;
    }
    return !path.empty();
}

// A symbolic link named *.lnk stands for its target; a Windows shell-link file gives its
// stored local path.
bool ResolveShortcut(const std::string& path, std::string& target) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> buffer(4096);
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) {
            return false;
        }
        std::string link(buffer.data(), static_cast<std::size_t>(n));
        if (link[0] != '/') {
            const std::size_t slash = path.rfind('/');
            if (slash != std::string::npos) {
                link = path.substr(0, slash + 1) + link;
            }
        }
        target = link;
        return true;
    }
    constexpr off_t kMaxLinkFile = 1 << 20;
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxLinkFile) {
        return false;
    }
    int error = 0;
    FilePtr file = OpenFile(path, "rb", error);
    if (!file) {
        return false;
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    return detail::ReadShellLinkLocalPath(bytes, target);
}

bool OpenUrl(const std::string& url) {
    std::string opener = "xdg-open";
    std::string argument = url;
    char* argv[] = {opener.data(), argument.data(), nullptr};
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) {
        return false;
    }
    // Its own process group, so a Ctrl-C meant for this program does not reach the browser.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, opener.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        return false;
    }
    // Nobody waits for the opener; a detached reaper keeps it from lingering as a zombie.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace ka::platform
