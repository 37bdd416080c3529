#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <share.h>
#include <sys/utime.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <thread>

extern char** environ;
#endif

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "settings/ParFields.h"

namespace fs = std::filesystem;

namespace ka::test {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            base / ("ka-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files would stop the removal on Windows.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& name) const {
    return JoinPath(path_, name);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void MakeDir(const std::string& path) {
#ifdef _WIN32
    // The narrow path is in the system's code page, which the library's own conversion to wide
    // characters does not assume.
    const int n =
        MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
    fs::create_directories(wide);
#else
    fs::create_directories(path);
#endif
}

void SetReadOnly(const std::string& path, bool readOnly) {
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(path, write, readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

bool MakeFifo(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    return mkfifo(path.c_str(), 0666) == 0;
#endif
}

void SetModificationTime(const std::string& path, long long secondsSinceEpoch) {
#ifdef _WIN32
    struct _utimbuf times {};
    times.actime = static_cast<time_t>(secondsSinceEpoch);
    times.modtime = static_cast<time_t>(secondsSinceEpoch);
    if (_utime(path.c_str(), &times) != 0) {
        throw std::runtime_error("cannot set the time of " + path);
    }
#else
    struct utimbuf times {};
    times.actime = static_cast<time_t>(secondsSinceEpoch);
    times.modtime = static_cast<time_t>(secondsSinceEpoch);
    if (utime(path.c_str(), &times) != 0) {
        throw std::runtime_error("cannot set the time of " + path);
    }
#endif
}

HeldOpen::HeldOpen(const std::string& path) {
#ifdef _WIN32
    file_ = _fsopen(path.c_str(), "r+b", _SH_DENYWR);
#else
    file_ = std::fopen(path.c_str(), "r+b");
#endif
}

HeldOpen::~HeldOpen() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::string CrLfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string ParFileBytes(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> lines{kVersionText};
    std::size_t used = 0;
    for (const ParField& field : kParFields) {
        const auto change = changes.find(std::string(field.name));
        if (change != changes.end()) {
            lines.push_back(change->second);
            ++used;
        } else {
            lines.emplace_back(field.name == "sKorvaneExe" ? ConverterExe() : field.shipped);
        }
    }
    EXPECT_EQ(used, changes.size()) << "a change names no field of the parameter file";
    return CrLfLines(lines);
}

std::string BuiltPath(const std::string& path) {
#ifdef _WIN32
    std::string native = path;
    if (!native.empty() && native[0] == '/') {
        native = "Z:" + native;
    }
    std::replace(native.begin(), native.end(), '/', '\\');
    return native;
#else
    return path;
#endif
}

std::string ConverterExe() {
    return BuiltPath(KA_CONVERTER_EXE);
}

const char* DataHomeVariable() {
#ifdef _WIN32
    return "LOCALAPPDATA";
#else
    return "XDG_DATA_HOME";
#endif
}

const char* ProgramQtPlatform() {
#ifdef _WIN32
    return "windows";
#else
    return "offscreen";
#endif
}

#ifdef _WIN32
namespace {

// Quotes one argument by the rules the C runtime splits command lines with: backslashes double
// only before a quote, including the closing one. A trail byte 0x5C of a two-byte character is
// no backslash.
std::string QuoteArgument(const std::string& arg) {
    const unsigned codePage = platform::ActiveCodePage();
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        const char c = arg[i];
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
        if (platform::IsLeadByte(codePage, static_cast<unsigned char>(c)) && i + 1 < arg.size()) {
            out += arg[++i];
        }
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& programAndArgs,
                           const std::string& outputFile) {
    std::string line;
    for (const auto& arg : programAndArgs) {
        line += (line.empty() ? "" : " ") + QuoteArgument(arg);
    }
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!outputFile.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        output = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = output;
        si.hStdError = output;
    }
    PROCESS_INFORMATION pi{};
    started_ = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr,
                              output != INVALID_HANDLE_VALUE, 0, nullptr, nullptr, &si, &pi) != 0;
    if (output != INVALID_HANDLE_VALUE) {
        CloseHandle(output);
    }
    if (started_) {
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
    }
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, INFINITE);
    }
    if (process_) {
        CloseHandle(process_);
    }
}

bool ChildProcess::Signal(int) {
    return false;
}

bool ChildProcess::WaitFor(int seconds) {
    if (!started_ || ended_) {
        return ended_;
    }
    if (WaitForSingleObject(process_, static_cast<DWORD>(seconds) * 1000) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    exitCode_ = static_cast<int>(code);
    ended_ = true;
    return true;
}
#else
ChildProcess::ChildProcess(const std::vector<std::string>& programAndArgs,
                           const std::string& outputFile) {
    std::vector<std::string> copies = programAndArgs;
    std::vector<char*> argv;
    for (auto& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outputFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = 0;
    started_ = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    pid_ = pid;
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

bool ChildProcess::Signal(int signal) {
    return started_ && !ended_ && kill(pid_, signal) == 0;
}

bool ChildProcess::WaitFor(int seconds) {
    if (!started_ || ended_) {
        return ended_;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            ended_ = true;
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
#endif

bool ChildProcess::Running() {
    return started_ && !WaitFor(0);
}

void SetEnvVar(const std::string& name, const std::string& value, bool unset) {
#ifdef _WIN32
    // An empty value removes the variable on Windows.
    _putenv_s(name.c_str(), unset ? "" : value.c_str());
#else
    if (unset) {
        unsetenv(name.c_str());
    } else {
        setenv(name.c_str(), value.c_str(), 1);
    }
#endif
}

ProgramRun RunToEnd(const std::vector<std::string>& programAndArgs, const RunOptions& options) {
    std::vector<std::unique_ptr<ScopedEnv>> changed;
    for (const auto& [name, value] : options.env) {
        changed.push_back(value.empty() ? std::make_unique<ScopedEnv>(name)
                                        : std::make_unique<ScopedEnv>(name, value));
    }
    // The child takes its working folder from this process at its start.
    const std::string before = platform::CurrentDirectory();
    if (!options.workingFolder.empty()) {
        platform::ChangeDirectory(options.workingFolder);
    }
    ChildProcess program(programAndArgs, options.outputFile);
    if (!options.workingFolder.empty()) {
        platform::ChangeDirectory(before);
    }
    ProgramRun run;
    run.started = program.Started();
    run.ended = run.started && program.WaitFor(options.limitSeconds);
    run.exitCode = program.ExitCode();
    return run;
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name.c_str())) {
        hadValue_ = true;
        oldValue_ = old;
    }
    SetEnvVar(name_, value);
}

ScopedEnv::ScopedEnv(const std::string& name) : name_(name) {
    if (const char* old = std::getenv(name.c_str())) {
        hadValue_ = true;
        oldValue_ = old;
    }
    SetEnvVar(name_, "", true);
}

ScopedEnv::~ScopedEnv() {
    SetEnvVar(name_, oldValue_, !hadValue_);
}

std::vector<std::string> ReadLfLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::string ShellLinkFileBytes(const std::string& localBasePath, const std::string& suffix,
                               bool withIdList) {
    std::string b;
    auto u32 = [&b](std::size_t v) {
        for (int i = 0; i < 4; ++i) {
            b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    u32(0x4C);
    b.append("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    u32(withIdList ? 0x3 : 0x2);  // HasLinkTargetIDList, HasLinkInfo
    b.append(0x4C - b.size(), '\0');
    if (withIdList) {
        b.append("\x04\x00\x02\x00\x00\x00", 6);  // one empty item, terminator
    }
    const std::string volume("\x10\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x10\x00\x00\x00",
                             16);
    const std::size_t header = 0x1C;
    const std::size_t baseAt = header + volume.size();
    const std::size_t suffixAt = baseAt + localBasePath.size() + 1;
    u32(suffixAt + suffix.size() + 1);  // LinkInfoSize
    u32(header);
    u32(1);  // VolumeIDAndLocalBasePath
    u32(header);
    u32(baseAt);
    u32(0);  // no network link
    u32(suffixAt);
    b += volume + localBasePath + '\0' + suffix + '\0';
    b.append(4, '\0');  // no extra data
    return b;
}

}  // namespace ka::test
