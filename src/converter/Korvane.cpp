// Stand-in converter: answers the program's command lines the way the real converter is relied
// on to, and records what it was given so tests can check it.
//
//   Korvane /z <record file>   every line of the record file is one job
//   Korvane <tokens...>        one job
//
// A job is an optional switch ("/" and letters, not "/o..."), input paths, and an output token
// "/o<path>". For each job with an output token it writes a small text file naming the switch
// and the inputs. A comparison switch ("/c...") carrying "n" writes nothing when its two inputs
// have equal bytes; a missing input means no output for that job.
//
// POSIX paths start with "/" too: a switch is only "/" followed by letters, so an absolute
// input path is never taken for one, and the output is the last token starting with "/o". Only
// a job without output whose last input starts with "/o" is ambiguous; such a path can be
// written "/./o...".
//
// Environment: KORVANE_STANDIN_LOG=<file> (facts, one LF line each: start, argv, line, output,
// skip, missing, cannot-write, replaced, end), KORVANE_STANDIN_EXIT=<n> (else the exit code is
// 0), KORVANE_STANDIN_SLEEP_MS=<n>, and the ways a real converter fails:
//   KORVANE_STANDIN_CRASH=1          abort at once, before any job
//   KORVANE_STANDIN_CRASH=segv|kill  after the jobs, die as by SIGSEGV / SIGKILL (on Windows
//                                    with the matching exception codes)
//   KORVANE_STANDIN_WRITE_ONLY=<n>   write the first n outputs only (0: write nothing)
//   KORVANE_STANDIN_REPLACE=<text>   after its job, replace every input whose path contains the
//                                    text by a new file (as a user saving a new version)
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "settings/TextFile.h"

namespace {

using ka::platform::FilePtr;

class FactLog {
  public:
    FactLog() {
        if (const char* path = std::getenv("KORVANE_STANDIN_LOG")) {
            path_ = path;
        }
    }

    // Opened and closed per line, so the log is complete even after a crash.
    void Write(const std::string& fact) const {
        if (path_.empty()) {
            return;
        }
        int error = 0;
        FilePtr file = ka::platform::OpenFile(path_, "ab", error);
        if (!file) {
            return;
        }
        std::fwrite(fact.data(), 1, fact.size(), file.get());
        std::fputc('\n', file.get());
    }

  private:
    std::string path_;
};

int EnvInt(const char* name, int fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value) {
        return fallback;
    }
    return static_cast<int>(std::strtol(value, nullptr, 10));
}

bool IsSwitch(const std::string& token) {
    if (token.size() < 2 || token[0] != '/' || token[1] == 'o' || token[1] == 'O') {
        return false;
    }
    for (std::size_t i = 1; i < token.size(); ++i) {
        const char c = token[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            return false;
        }
    }
    return true;
}

bool IsOutputToken(const std::string& token) {
    return token.size() >= 2 && token[0] == '/' && (token[1] == 'o' || token[1] == 'O');
}

bool ReadAll(const std::string& path, std::string& bytes) {
    int error = 0;
    FilePtr file = ka::platform::OpenFile(path, "rb", error);
    if (!file) {
        return false;
    }
    bytes.clear();
    char block[64 * 1024];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file.get())) > 0) {
        bytes.append(block, n);
    }
    return !std::ferror(file.get());
}

bool SameBytes(const std::string& a, const std::string& b) {
    std::string bytesA;
    std::string bytesB;
    return ReadAll(a, bytesA) && ReadAll(b, bytesB) && bytesA == bytesB;
}

// What the environment asks the stand-in to do wrong.
struct Faults {
    int writeLimit = -1;  // outputs still to write; negative: no limit
    std::string replace;
};

// A new file in place of the old one: new bytes through a temporary file renamed over it, so
// it is another file (another inode or file index), as an editor's save makes it.
void ReplaceInput(const std::string& input, const FactLog& log) {
    int error = 0;
    const std::string temp = input + ".new";
    FilePtr file = ka::platform::OpenFile(temp, "wb", error);
    if (!file) {
        return;
    }
    std::fputs("new version\n", file.get());
    file.reset();
    if (ka::platform::ReplaceFileWith(temp, input) == 0) {
        log.Write("replaced " + input);
    }
}

// Carries out one job; what it did goes to the log.
void RunJob(const std::vector<std::string>& tokens, const FactLog& log, Faults& faults) {
    if (tokens.empty()) {
        return;
    }
    std::string switchText;
    std::size_t first = 0;
    if (IsSwitch(tokens[0])) {
        switchText = tokens[0];
        first = 1;
    }
    std::size_t outputIndex = tokens.size();
    for (std::size_t i = tokens.size(); i > first; --i) {
        if (IsOutputToken(tokens[i - 1])) {
            outputIndex = i - 1;
            break;
        }
    }
    std::vector<std::string> inputs;
    for (std::size_t i = first; i < tokens.size(); ++i) {
        if (i != outputIndex) {
            inputs.push_back(tokens[i]);
        }
    }
    bool ok = true;
    for (const std::string& input : inputs) {
        if (!ka::platform::FileExists(input)) {
            log.Write("missing " + input);
            ok = false;
        }
    }
    if (!ok || outputIndex == tokens.size()) {
        return;
    }

    const std::string output = tokens[outputIndex].substr(2);
    const bool comparison =
        switchText.size() >= 2 && (switchText[1] == 'c' || switchText[1] == 'C');
    const bool noOutputWhenEqual =
        comparison && switchText.find_first_of("nN", 2) != std::string::npos;
    if (noOutputWhenEqual && inputs.size() == 2 && SameBytes(inputs[0], inputs[1])) {
        log.Write("skip " + output);
        return;
    }
    if (faults.writeLimit == 0) {
        log.Write("withheld " + output);
        return;
    }
    if (faults.writeLimit > 0) {
        --faults.writeLimit;
    }
    int error = 0;
    FilePtr file = ka::platform::OpenFile(output, "wb", error);
    if (!file) {
        log.Write("cannot-write " + output);
        return;
    }
    bool written = ka::WriteLineCrLf(file.get(), "KORVANE-STANDIN") &&
                   ka::WriteLineCrLf(file.get(), "switch=" + switchText);
    for (const std::string& input : inputs) {
        written = written && ka::WriteLineCrLf(file.get(), "input=" + input);
    }
    written = std::fflush(file.get()) == 0 && written;
    file.reset();
    if (!written) {
        log.Write("cannot-write " + output);
        return;
    }
    log.Write("output " + output);
}

}  // namespace

int main(int argc, char** argv) {
    const FactLog log;
    log.Write("start");
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
        log.Write("argv " + std::to_string(i) + " " + args.back());
    }
    const char* crash = std::getenv("KORVANE_STANDIN_CRASH");
    const std::string crashKind = crash ? crash : "";
    if (crashKind == "1") {
        std::abort();
    }
    Faults faults;
    faults.writeLimit = EnvInt("KORVANE_STANDIN_WRITE_ONLY", -1);
    if (const char* replace = std::getenv("KORVANE_STANDIN_REPLACE")) {
        faults.replace = replace;
    }
    if (const int sleepMs = EnvInt("KORVANE_STANDIN_SLEEP_MS", 0); sleepMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    }

    std::vector<std::vector<std::string>> jobs;
    if (args.size() == 2 && args[0] == "/z") {
        int error = 0;
        FilePtr file = ka::platform::OpenFile(args[1], "rb", error);
        if (!file) {
            log.Write("missing " + args[1]);
        } else {
            ka::TextLineReader reader(file.get());
            std::string line;
            while (reader.ReadLine(line)) {
                log.Write("line " + line);
                jobs.push_back(ka::platform::SplitCommandLine(line));
            }
        }
    } else {
        jobs.push_back(args);
    }
    for (const auto& job : jobs) {
        RunJob(job, log, faults);
        for (const std::string& token : job) {
            if (!faults.replace.empty() && token.find(faults.replace) != std::string::npos &&
                !IsOutputToken(token) && ka::platform::FileExists(token)) {
                ReplaceInput(token, log);
            }
        }
    }
    if (crashKind == "segv" || crashKind == "kill") {
        log.Write("crash " + crashKind);
        ka::platform::EndProcessAbnormally(crashKind == "kill");
    }
    const int exitCode = EnvInt("KORVANE_STANDIN_EXIT", 0);
    log.Write("end " + std::to_string(exitCode));
    return exitCode;
}
