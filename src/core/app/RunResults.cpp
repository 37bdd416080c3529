#include "app/RunResults.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string_view>

#include "settings/DataFiles.h"
#include "settings/TextFile.h"

namespace ka {

namespace {

constexpr char kField = '\t';
constexpr std::size_t kReportBufferSize = 256 * 1024;

std::string WithThousands(long long n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), ",");
    }
    return digits;
}

}  // namespace

const char* JobResultText(JobResult result) {
    switch (result) {
        case JobResult::Written:
            return "written";
        case JobResult::NoDifference:
            return "no difference";
        case JobResult::Shown:
            return "shown";
        case JobResult::Skipped:
            return "skipped";
        case JobResult::NoOutput:
            return "no output";
        case JobResult::Doubtful:
            return "doubtful";
        case JobResult::NotRun:
            break;
    }
    return "not run";
}

bool JobDone(JobResult result) {
    return result == JobResult::Written || result == JobResult::NoDifference ||
           result == JobResult::Shown || result == JobResult::Skipped;
}

std::string JobReasonText(const JobVerdict& verdict, const std::string& ruleText) {
    switch (verdict.reason) {
        case JobReason::None:
            break;
        case JobReason::InputMissing:
            return "input missing";
        case JobReason::EmptyOutput:
            return "empty output";
        case JobReason::OutputNotWritten:
            return "output not written";
        case JobReason::ExitCode:
            return "converter exit code " + std::to_string(verdict.detail);
        case JobReason::Crashed: {
            platform::ProcessResult end;
            end.end = platform::ProcessEnd::Crashed;
            end.crashCode = static_cast<std::uint32_t>(verdict.detail);
            return "converter crashed (" + platform::DescribeProcessEnd(end) + ")";
        }
        case JobReason::TimedOut:
            return "converter timed out";
        case JobReason::CrashedOnDrawing:
            return "the converter crashed on this drawing";
        case JobReason::TimedOutOnDrawing:
            return "the converter timed out on this drawing";
        case JobReason::NotStarted:
            return "converter not started";
        case JobReason::Stopped:
            return "stopped";
        case JobReason::OutputIsInput:
            return "output would replace its input";
        case JobReason::OutputTaken:
            return "output name taken by another job";
        case JobReason::UnsafeName:
            return "name not for the converter";
        case JobReason::SkippedByRule:
            return "skipped by a comparison rule: " + ruleText;
        case JobReason::NotHandedOver:
            return "record file not written";
        case JobReason::Interrupted:
            return "run interrupted";
        case JobReason::OutputFolderMissing:
            return "output folder missing";
    }
    return "-";
}

const char* InputFateText(InputFate fate) {
    switch (fate) {
        case InputFate::Deleted:
            return "inputs deleted";
        case InputFate::MovedToFailed:
            return "inputs moved to Failed";
        case InputFate::Returned:
            return "inputs back in the hot folder";
        case InputFate::Kept:
            break;
    }
    return "inputs kept";
}

long long RunCounts::Total() const {
    long long total = 0;
    for (const long long n : count) {
        total += n;
    }
    return total;
}

std::string RunSummaryText(const RunCounts& counts) {
    static constexpr const char* kNames[kJobResultCount] = {
        "written", "no difference", "shown", "skipped", "without output", "doubtful", "not run"};
    std::string text;
    for (std::size_t i = 0; i < kJobResultCount; ++i) {
        if (counts.count[i] == 0) {
            continue;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += WithThousands(counts.count[i]) + " " + kNames[i];
    }
    return text.empty() ? std::string("No jobs") : text;
}

// ---- Stamps by path ---------------------------------------------------------------------------

void StampsByPath::Clear() {
    stamps_.clear();
    blocks_.clear();
    blockUsed_ = kBlockSize;
}

void StampsByPath::Add(std::string_view path, const platform::FileStamp& stamp) {
    if (stamps_.contains(path)) {
        return;
    }
    if (blockUsed_ + path.size() > kBlockSize) {
        // A path longer than a block gets a block of its own size.
        blocks_.push_back(std::make_unique<char[]>(std::max(kBlockSize, path.size())));
        blockUsed_ = 0;
    }
    char* const copy = blocks_.back().get() + blockUsed_;
    blockUsed_ += path.size();
    std::copy(path.begin(), path.end(), copy);
    stamps_.emplace(std::string_view(copy, path.size()), stamp);
}

const platform::FileStamp* StampsByPath::Find(std::string_view path) const {
    const auto found = stamps_.find(path);
    return found == stamps_.end() ? nullptr : &found->second;
}

// ---- Standby inputs ---------------------------------------------------------------------------

std::string NumberedName(const std::string& name, int n) {
    const std::string suffix = " (" + std::to_string(n) + ")";
    const std::size_t stemEnd = name.size() - ExtensionOf(name).size();
    // A name whose only dot leads it (".hgl") is all name.
    if (stemEnd == 0 || stemEnd == name.size()) {
        return name + suffix;
    }
    return name.substr(0, stemEnd) + suffix + name.substr(stemEnd);
}

int MoveToFailedFolder(const std::string& path, const PathRules& rules) {
    return MoveToFailedFolderOf(path, FolderPart(path, rules), rules);
}

int MoveToFailedFolderOf(const std::string& path, const std::string& parent,
                         const PathRules& rules) {
    const std::string folder = JoinPath(parent, kFailedFolderName, rules);
    // Only a real folder of its own: a "Failed" that is a link could send the drawing into
    // anybody's folder, one that is a file has no room for it.
    if (!platform::IsRealDirectory(folder)) {
        if (platform::PathExists(folder) || platform::IsSymbolicLink(folder)) {
            return platform::MoveIntoFolderNoFollow(path, folder, NamePart(path, rules));
        }
        platform::CreateDirectoryOne(folder);
    }
    const std::string name = NamePart(path, rules);
    for (int n = 1;; ++n) {
        const int error =
            platform::MoveIntoFolderNoFollow(path, folder, n == 1 ? name : NumberedName(name, n));
        if (error == 0 || !platform::IsAlreadyExistsError(error)) {
            return error;
        }
    }
}

// ---- Report -----------------------------------------------------------------------------------

const std::string& ReportTimeNow() {
    // A run writes a line per job: the local time is worked out once a second, not per line.
    // Only the user-interface thread writes reports.
    static std::time_t shownAt = -1;
    static std::string shown;
    const std::time_t t = std::time(nullptr);
    if (t != shownAt) {
        const std::tm* local = std::localtime(&t);
        char text[32] = "";
        if (local) {
            std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
        }
        shown = text;
        shownAt = t;
    }
    return shown;
}

std::string RunReport::PathIn(const std::string& dataDir, const PathRules& rules) {
    return JoinPath(dataDir, kReportFileName, rules);
}

bool RunReport::Open(const std::string& path) {
    failed_ = false;
    platform::FileStamp stamp;
    const bool exists = platform::GetFileStamp(path, stamp);
    if (exists && stamp.size > kRotateSize) {
        std::string old = path;
        old.replace(old.size() - 4, 4, ".old.log");
        platform::ReplaceFileWith(path, old);
    }
    int error = 0;
    file_ = platform::OpenFile(path, "ab", error);
    if (!file_) {
        return false;
    }
    platform::BufferForOneThread(file_.get(), kReportBufferSize);
    // A line cut short by a program that was killed while writing it would glue itself to ours.
    if (exists && stamp.size > 0) {
        int readError = 0;
        if (platform::FilePtr tail = platform::OpenFile(path, "rb", readError)) {
            if (std::fseek(tail.get(), -1, SEEK_END) == 0 && std::fgetc(tail.get()) != '\n') {
                failed_ = std::fputs("\r\n", file_.get()) < 0;
            }
        }
    }
    return true;
}

namespace {
void AppendField(std::string& line, std::string_view field) {
    line += kField;
    const std::size_t start = line.size();
    line += field;
    // A line break inside a message would start a false report line. Two quick searches
    // first: almost no field holds one.
    if (field.find('\r') == std::string_view::npos && field.find('\n') == std::string_view::npos) {
        return;
    }
    for (std::size_t i = start; i < line.size(); ++i) {
        if (line[i] == '\r' || line[i] == '\n') {
            line[i] = ' ';
        }
    }
}
}  // namespace

void RunReport::Line(const std::vector<std::string>& fields) {
    Line({}, fields);
}

void RunReport::Line(std::initializer_list<std::string_view> fields,
                     const std::vector<std::string>& more, std::string_view last, bool withLast) {
    if (!file_) {
        return;
    }
    line_ = ReportTimeNow();
    for (const std::string_view field : fields) {
        AppendField(line_, field);
    }
    for (const std::string& field : more) {
        AppendField(line_, field);
    }
    if (withLast) {
        AppendField(line_, last);
    }
    if (!WriteLineCrLf(file_.get(), line_)) {
        failed_ = true;
    }
}

bool RunReport::Flush() {
    if (file_ && std::fflush(file_.get()) != 0) {
        failed_ = true;
    }
    return file_ && !failed_;
}

bool RunReport::Close() {
    if (!file_) {
        return false;
    }
    const bool ok = !failed_;
    return CloseWritten(std::move(file_)) && ok;
}

bool AppendReportLine(const std::string& dataDir, const std::vector<std::string>& fields) {
    if (dataDir.empty()) {
        return false;
    }
    RunReport report;
    if (!report.Open(RunReport::PathIn(dataDir))) {
        return false;
    }
    report.Line(fields);
    return report.Close();
}

}  // namespace ka
