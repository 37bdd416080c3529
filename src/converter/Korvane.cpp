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
// 0), KORVANE_STANDIN_SLEEP_MS=<n>, KORVANE_STANDIN_JOB_MS=<n> (a pause before each job),
// KORVANE_STANDIN_GATE=<file> (no job starts before the file exists, so a test decides when the
// converter goes on), and the ways a real converter fails:
//   KORVANE_STANDIN_CRASH=1          abort at once, before any job
//   KORVANE_STANDIN_CRASH=segv|kill  after the jobs, die as by SIGSEGV / SIGKILL (on Windows
//                                    with the matching exception codes)
//   KORVANE_STANDIN_WRITE_ONLY=<n>   write the first n outputs only (0: write nothing)
//   KORVANE_STANDIN_REPLACE=<text>   after its job, replace every input whose path contains the
//                                    text by a new file (as a user saving a new version)
// and per job, only for jobs one of whose inputs contains KORVANE_STANDIN_ON=<text> (every job
// when it is unset or empty):
//   KORVANE_STANDIN_OUTPUT=empty|half  write a 0-byte output, or its first half only
//   KORVANE_STANDIN_CRASH_ON=<text>    at a job with an input containing the text, die as by
//                                      SIGSEGV before its output; the jobs before it are done
//   KORVANE_STANDIN_HANG_ON=<text>     at such a job hang without end; with
//                                      KORVANE_STANDIN_HANG_PARTIAL=1 after writing half of its
//                                      output
//   KORVANE_STANDIN_FAIL_ON=<text>     no output for such jobs, and exit code 1 at the end unless
//                                      KORVANE_STANDIN_EXIT says otherwise
// For every job: KORVANE_STANDIN_COPY=1 (the output holds exactly the first input's bytes, so
// each surviving copy of a drawing can be recognised) and KORVANE_STANDIN_CPU_MS=<n> (n ms of
// busy CPU per job, for throughput measurements; JOB_MS stays a sleep); with
// KORVANE_STANDIN_SLOW_ON=<text> a job with an input containing the text costs ten times both.
// Their facts: empty, half, failed <output>; crash-at, hang-at <input>.
// KORVANE_STANDIN_STARTED=<file>: first of all, the steady clock's reading (nanoseconds; on
// Linux CLOCK_MONOTONIC, shared by every process) goes to the file, so a benchmark can tell when
// the program it started got as far as starting the converter.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "settings/TextFile.h"

#ifdef _WIN32
#include <share.h>
#endif

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
        const std::string line = fact + '\n';
#ifdef _WIN32
        // Windows appends by a seek to the end and a write: several instances at once would
        // write over each other's lines. The file is taken alone, a line at a time.
        FilePtr file;
        for (int tries = 0; !file && tries < 5000; ++tries) {
            file.reset(_fsopen(path_.c_str(), "ab", _SH_DENYRW));
            if (!file) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
#else
        int error = 0;
        FilePtr file = ka::platform::OpenFile(path_, "ab", error);
#endif
        if (file) {
            std::fwrite(line.data(), 1, line.size(), file.get());
        }
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
    std::string on;  // the jobs the per-job faults below apply to; empty: every job
    enum class Output { Whole, Empty, Half } output = Output::Whole;
    std::string crashOn;
    std::string hangOn;
    bool hangPartial = false;
    std::string failOn;
    bool anyFailed = false;
    bool copy = false;
    int cpuMs = 0;
    int jobMs = 0;       // a pause before each job
    std::string slowOn;  // such jobs cost ten times cpuMs and jobMs
};

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The first input whose path contains the text; null for none or an empty text.
const std::string* InputWith(const std::vector<std::string>& inputs, const std::string& text) {
    if (text.empty()) {
        return nullptr;
    }
    for (const std::string& input : inputs) {
        if (input.find(text) != std::string::npos) {
            return &input;
        }
    }
    return nullptr;
}

// Spins on the clock rather than sleeping, so the time is spent as CPU.
void BurnCpu(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    volatile unsigned spin = 0;
    while (std::chrono::steady_clock::now() < until) {
        for (int i = 0; i < 1000; ++i) {
            spin = spin + 1;
        }
    }
}

[[noreturn]] void HangForever() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

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

// The bytes a job's output gets: its record, or a copy of its first input.
bool OutputBytes(const std::string& switchText, const std::vector<std::string>& inputs,
                 const Faults& faults, std::string& bytes) {
    if (faults.copy) {
        return !inputs.empty() && ReadAll(inputs[0], bytes);
    }
    bytes = "KORVANE-STANDIN\r\nswitch=" + switchText + "\r\n";
    for (const std::string& input : inputs) {
        bytes += "input=" + input + "\r\n";
    }
    return true;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
    int error = 0;
    FilePtr file = ka::platform::OpenFile(path, "wb", error);
    if (!file) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fflush(file.get()) == 0 && written;
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
    const bool targeted = faults.on.empty() || InputWith(inputs, faults.on);
    const int cost = InputWith(inputs, faults.slowOn) ? 10 : 1;
    if (faults.jobMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(cost * faults.jobMs));
    }
    if (faults.cpuMs > 0) {
        BurnCpu(cost * faults.cpuMs);
    }
    if (const std::string* at = targeted ? InputWith(inputs, faults.crashOn) : nullptr) {
        log.Write("crash-at " + *at);
        ka::platform::EndProcessAbnormally(false);
    }
    const std::string output =
        outputIndex < tokens.size() ? tokens[outputIndex].substr(2) : std::string();
    if (const std::string* at = targeted ? InputWith(inputs, faults.hangOn) : nullptr) {
        std::string bytes;
        if (faults.hangPartial && !output.empty() &&
            OutputBytes(switchText, inputs, faults, bytes) &&
            WriteAll(output, bytes.substr(0, bytes.size() / 2))) {
            log.Write("half " + output);
        }
        log.Write("hang-at " + *at);
        HangForever();
    }
    bool ok = true;
    for (const std::string& input : inputs) {
        if (!ka::platform::FileExists(input)) {
            log.Write("missing " + input);
            ok = false;
        }
    }
    if (!ok || output.empty()) {
        return;
    }

    const bool comparison =
        switchText.size() >= 2 && (switchText[1] == 'c' || switchText[1] == 'C');
    const bool noOutputWhenEqual =
        comparison && switchText.find_first_of("nN", 2) != std::string::npos;
    if (noOutputWhenEqual && inputs.size() == 2 && SameBytes(inputs[0], inputs[1])) {
        log.Write("skip " + output);
        return;
    }
    if (targeted && InputWith(inputs, faults.failOn)) {
        faults.anyFailed = true;
        log.Write("failed " + output);
        return;
    }
    if (faults.writeLimit == 0) {
        log.Write("withheld " + output);
        return;
    }
    if (faults.writeLimit > 0) {
        --faults.writeLimit;
    }
    std::string bytes;
    if (!OutputBytes(switchText, inputs, faults, bytes)) {
        log.Write("cannot-write " + output);
        return;
    }
    std::string fact = "output ";
    if (targeted && faults.output == Faults::Output::Empty) {
        bytes.clear();
        fact = "empty ";
    } else if (targeted && faults.output == Faults::Output::Half) {
        bytes.resize(bytes.size() / 2);
        fact = "half ";
    }
    if (!WriteAll(output, bytes)) {
        log.Write("cannot-write " + output);
        return;
    }
    log.Write(fact + output);
}

// Written whole through a rename: a reader sees the number or no file.
void NoteStartTime(std::chrono::steady_clock::time_point now) {
    const std::string path = EnvText("KORVANE_STANDIN_STARTED");
    if (path.empty()) {
        return;
    }
    const std::string text = std::to_string(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count());
    const std::string temp = path + ".tmp";
    if (WriteAll(temp, text)) {
        ka::platform::ReplaceFileWith(temp, path);
    }
}

}  // namespace

int main(int argc, char** argv) {
    NoteStartTime(std::chrono::steady_clock::now());
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
    faults.replace = EnvText("KORVANE_STANDIN_REPLACE");
    faults.on = EnvText("KORVANE_STANDIN_ON");
    const std::string output = EnvText("KORVANE_STANDIN_OUTPUT");
    faults.output = output == "empty"  ? Faults::Output::Empty
                    : output == "half" ? Faults::Output::Half
                                       : Faults::Output::Whole;
    faults.crashOn = EnvText("KORVANE_STANDIN_CRASH_ON");
    faults.hangOn = EnvText("KORVANE_STANDIN_HANG_ON");
    faults.hangPartial = EnvText("KORVANE_STANDIN_HANG_PARTIAL") == "1";
    faults.failOn = EnvText("KORVANE_STANDIN_FAIL_ON");
    faults.copy = EnvText("KORVANE_STANDIN_COPY") == "1";
    faults.cpuMs = EnvInt("KORVANE_STANDIN_CPU_MS", 0);
    faults.slowOn = EnvText("KORVANE_STANDIN_SLOW_ON");
    faults.jobMs = EnvInt("KORVANE_STANDIN_JOB_MS", 0);
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
    if (const char* gate = std::getenv("KORVANE_STANDIN_GATE")) {
        while (!ka::platform::PathExists(gate)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
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
    const int exitCode = EnvInt("KORVANE_STANDIN_EXIT", faults.anyFailed ? 1 : 0);
    log.Write("end " + std::to_string(exitCode));
    return exitCode;
}
