#include "app/RunResults.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string_view>

#include "settings/TextFile.h"

namespace ka {

namespace {

constexpr char kField = '\t';
constexpr std::int64_t kCoarseFileTimeNs = 2'000'000'000;
constexpr std::size_t kSpoolBufferSize = 256 * 1024;

// Views into the line; fields is reused from line to line.
void SplitFields(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find(kField, start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return;
        }
        start = tab + 1;
    }
}

// "-" for a missing file, else "size:modified:volume:index".
void AppendStampField(std::string& line, bool known, const platform::FileStamp& s) {
    if (!known) {
        line += '-';
        return;
    }
    const auto append = [&line](auto value) {
        char text[24];
        line.append(text, std::to_chars(text, text + sizeof text, value).ptr);
    };
    append(s.size);
    line += ':';
    append(s.modified);
    line += ':';
    append(s.volume);
    line += ':';
    append(s.index);
}

bool ParseStampField(std::string_view text, platform::FileStamp& s) {
    s = platform::FileStamp{};
    if (text == "-") {
        return false;
    }
    const char* const end = text.data() + text.size();
    const char* p = std::from_chars(text.data(), end, s.size).ptr;
    // Each later part follows a ':'; from the first one missing on, the parts stay 0.
    const auto next = [&](auto& value) {
        if (p != end && *p == ':') {
            p = std::from_chars(p + 1, end, value).ptr;
        }
    };
    next(s.modified);
    next(s.volume);
    next(s.index);
    return true;
}

std::string WithThousands(long long n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), ",");
    }
    return digits;
}

// "a.hgl" gives "a (2).hgl", "a (3).hgl", ...
std::string NumberedName(const std::string& name, int n) {
    const std::size_t dot = name.rfind('.');
    const std::string suffix = " (" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0) {
        return name + suffix;
    }
    return name.substr(0, dot) + suffix + name.substr(dot);
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

OutputBefore NoteOutputBefore(const std::string& output) {
    OutputBefore before;
    before.existed = !output.empty() && platform::GetFileStamp(output, before.stamp);
    return before;
}

OutputBefore OutputsBefore::Note(const std::string& output) {
    const std::size_t separator = LastSeparatorPos(output);
    if (separator == std::string::npos) {
        return NoteOutputBefore(output);
    }
    const std::string_view folder(output.data(), separator + 1);
    const Clock::time_point now = Clock::now();
    if (folder == missing_ && now - missingSeen_ < recheck_) {
        return OutputBefore{};
    }
    const OutputBefore before = NoteOutputBefore(output);
    if (before.existed || (folder == present_ && now - presentSeen_ < recheck_)) {
        return before;
    }
    // Only a missing output makes the folder worth a look; one look serves the moment.
    if (platform::IsMissing(std::string(folder))) {
        missing_ = folder;
        missingSeen_ = now;
    } else {
        present_ = folder;
        presentSeen_ = now;
    }
    return before;
}

bool SplitOutputs::Written(const std::string& output) {
    const std::string folder = FolderPart(output, rules_);
    auto found = folders_.find(folder);
    if (found == folders_.end()) {
        std::unordered_set<std::string> written;
        platform::FindEntries(folder + "*", [&](const platform::DirEntry& entry) {
            const std::string& name = entry.name;
            const std::size_t dot = name.rfind('.');
            const std::size_t stemEnd = dot == std::string::npos ? name.size() : dot;
            const std::size_t underscore = name.rfind('_', stemEnd);
            if (entry.isDirectory || underscore == std::string::npos || underscore == 0 ||
                underscore + 1 >= stemEnd ||
                name.find_first_not_of("0123456789", underscore + 1) < stemEnd) {
                return true;
            }
            platform::FileStamp stamp;
            if (platform::GetFileStamp(folder + name, stamp) &&
                stamp.modified >= since_ - kCoarseFileTimeNs) {
                written.insert(name.substr(0, underscore) + name.substr(stemEnd));
            }
            return true;
        });
        found = folders_.emplace(folder, std::move(written)).first;
    }
    return found->second.contains(NamePart(output, rules_));
}

JobResult JudgeJob(const JobSpec& job, const OutputBefore& before,
                   const platform::ProcessResult& converter, SplitOutputs& split) {
    if (converter.end != platform::ProcessEnd::Exited) {
        return JobResult::NotRun;
    }
    if (job.output.empty()) {
        return JobResult::Shown;
    }
    platform::FileStamp now;
    if (platform::GetFileStamp(job.output, now) && (!before.existed || now != before.stamp)) {
        return JobResult::Written;
    }
    if (split.Written(job.output)) {
        return JobResult::Written;
    }
    return job.absentMeansNoDifference ? JobResult::NoDifference : JobResult::NoOutput;
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

// ---- Spool ------------------------------------------------------------------------------------

namespace {
bool InputStamp(const std::string& input, const StampsByPath* known, platform::FileStamp& stamp) {
    if (const platform::FileStamp* found = known ? known->Find(input) : nullptr) {
        stamp = *found;
        return true;
    }
    return platform::GetFileStamp(input, stamp);
}
}  // namespace

bool JobSpool::Create(const std::string& path, bool stampInputs) {
    stampInputs_ = stampInputs;
    knownStamps_ = nullptr;
    outputs_ = OutputsBefore();
    int error = 0;
    file_ = platform::OpenFile(path, "wb", error);
    failed_ = !file_;
    if (file_) {
        platform::BufferForOneThread(file_.get(), kSpoolBufferSize);
    }
    return file_ != nullptr;
}

bool JobSpool::Add(const JobSpec& job, bool keepInputs, const JobResult* preset) {
    if (!file_) {
        return false;
    }
    std::string& line = line_;
    line.clear();
    line += job.absentMeansNoDifference ? 'n' : '-';
    line += keepInputs ? 'k' : '-';
    line += kField;
    if (preset) {
        line += std::to_string(static_cast<int>(*preset));
    } else {
        line += '-';
    }
    const OutputBefore before = outputs_.Note(job.output);
    line += kField;
    AppendStampField(line, before.existed, before.stamp);
    line += kField;
    line += job.output;
    for (const std::string& input : job.inputs) {
        platform::FileStamp stamp;
        const bool known = stampInputs_ && InputStamp(input, knownStamps_, stamp);
        line += kField;
        AppendStampField(line, known, stamp);
        line += kField;
        line += input;
    }
    if (!WriteLineCrLf(file_.get(), line)) {
        failed_ = true;
    }
    return !failed_;
}

bool JobSpool::Close() {
    if (!file_) {
        return false;
    }
    return CloseWritten(std::move(file_)) && !failed_;
}

bool JobSpool::Read(const std::string& path, const std::function<void(const Entry&)>& visit) {
    int error = 0;
    platform::FilePtr file = platform::OpenFile(path, "rb", error);
    if (!file) {
        return false;
    }
    TextLineReader reader(file.get());
    std::string line;
    std::vector<std::string_view> f;
    Entry entry;
    while (reader.ReadLine(line)) {
        SplitFields(line, f);
        if (f.size() < 4 || f[0].size() != 2 || f.size() % 2 != 0) {
            continue;
        }
        entry.job.absentMeansNoDifference = f[0][0] == 'n';
        entry.keepInputs = f[0][1] == 'k';
        entry.hasPreset = f[1] != "-";
        int preset = 0;
        std::from_chars(f[1].data(), f[1].data() + f[1].size(), preset);
        entry.preset = entry.hasPreset ? static_cast<JobResult>(preset) : JobResult::NotRun;
        entry.before = OutputBefore{};
        entry.before.existed = ParseStampField(f[2], entry.before.stamp);
        entry.job.output.assign(f[3]);
        // The strings are kept from job to job: assigning reuses their room.
        const std::size_t inputs = (f.size() - 4) / 2;
        entry.job.inputs.resize(inputs);
        entry.inputKnown.resize(inputs);
        entry.inputStamps.resize(inputs);
        for (std::size_t i = 0; i < inputs; ++i) {
            entry.inputKnown[i] = ParseStampField(f[4 + 2 * i], entry.inputStamps[i]);
            entry.job.inputs[i].assign(f[5 + 2 * i]);
        }
        visit(entry);
    }
    return !reader.Failed();
}

// ---- Standby inputs ---------------------------------------------------------------------------

int MoveToFailedFolder(const std::string& path, const PathRules& rules) {
    const std::string folder = JoinPath(FolderPart(path, rules), kFailedFolderName, rules);
    if (!platform::DirectoryExists(folder)) {
        platform::CreateDirectoryOne(folder);
    }
    const std::string name = NamePart(path, rules);
    std::string target = JoinPath(folder, name, rules);
    for (int n = 2; platform::PathExists(target); ++n) {
        target = JoinPath(folder, NumberedName(name, n), rules);
    }
    return platform::ReplaceFileWith(path, target);
}

InputFate SettleStandbyInputs(const JobSpool::Entry& entry, JobResult result,
                              const PathRules& rules) {
    const bool done = JobDone(result);
    if (entry.keepInputs || (!done && result != JobResult::NoOutput)) {
        return InputFate::Kept;
    }
    // A file replaced or changed during the run is another version: the whole job (both files
    // of a pair too) waits for the next cycle.
    for (std::size_t i = 0; i < entry.job.inputs.size(); ++i) {
        platform::FileStamp now;
        if (entry.inputKnown[i] &&
            (!platform::GetFileStamp(entry.job.inputs[i], now) || now != entry.inputStamps[i])) {
            return InputFate::Kept;
        }
    }
    InputFate fate = done ? InputFate::Deleted : InputFate::MovedToFailed;
    for (std::size_t i = 0; i < entry.job.inputs.size(); ++i) {
        if (!entry.inputKnown[i]) {
            continue;
        }
        const std::string& path = entry.job.inputs[i];
        if ((done ? platform::DeleteFileAt(path) : MoveToFailedFolder(path, rules)) != 0) {
            fate = InputFate::Kept;
        }
    }
    return fate;
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
    return JoinPath(dataDir, "RunReport.log", rules);
}

bool RunReport::Open(const std::string& path) {
    platform::FileStamp stamp;
    if (platform::GetFileStamp(path, stamp) && stamp.size > kRotateSize) {
        std::string old = path;
        old.replace(old.size() - 4, 4, ".old.log");
        platform::ReplaceFileWith(path, old);
    }
    int error = 0;
    file_ = platform::OpenFile(path, "ab", error);
    if (file_) {
        platform::BufferForOneThread(file_.get(), kSpoolBufferSize);
    }
    return file_ != nullptr;
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
                     const std::vector<std::string>& more) {
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
    WriteLineCrLf(file_.get(), line_);
}

bool RunReport::Close() {
    return file_ && CloseWritten(std::move(file_));
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
