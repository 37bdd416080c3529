#include "app/RunJournal.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace ka {

namespace {

constexpr char kField = '\t';
constexpr const char* kHeaderTag = "#KorvaneAuto run journal 1";
constexpr std::size_t kJournalBufferSize = 256 * 1024;

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

template <typename T>
void AppendNumber(std::string& line, T value) {
    char text[24];
    line.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

template <typename T>
const char* ParseNumber(const char* p, const char* end, T& value) {
    value = 0;
    return std::from_chars(p, end, value).ptr;
}

// "-" for a missing file, else "size:modified:volume:index".
void AppendStamp(std::string& line, bool known, const platform::FileStamp& s) {
    if (!known) {
        line += '-';
        return;
    }
    AppendNumber(line, s.size);
    line += ':';
    AppendNumber(line, s.modified);
    line += ':';
    AppendNumber(line, s.volume);
    line += ':';
    AppendNumber(line, s.index);
}

bool ParseStamp(std::string_view text, platform::FileStamp& s) {
    s = platform::FileStamp{};
    if (text == "-") {
        return false;
    }
    const char* const end = text.data() + text.size();
    const char* p = ParseNumber(text.data(), end, s.size);
    const auto next = [&](auto& value) {
        if (p != end && *p == ':') {
            p = ParseNumber(p + 1, end, value);
        }
    };
    next(s.modified);
    next(s.volume);
    next(s.index);
    return true;
}

// "result.reason.detail".
void AppendVerdict(std::string& line, const JobVerdict& v) {
    AppendNumber(line, static_cast<int>(v.result));
    line += '.';
    AppendNumber(line, static_cast<int>(v.reason));
    line += '.';
    AppendNumber(line, v.detail);
}

bool ParseVerdict(std::string_view text, JobVerdict& v) {
    const char* const end = text.data() + text.size();
    int result = 0;
    int reason = 0;
    const char* p = ParseNumber(text.data(), end, result);
    if (p == end || *p != '.') {
        return false;
    }
    p = ParseNumber(p + 1, end, reason);
    if (p == end || *p != '.') {
        return false;
    }
    p = ParseNumber(p + 1, end, v.detail);
    if (result < 0 || result >= static_cast<int>(kJobResultCount) || reason < 0 ||
        reason > static_cast<int>(JobReason::OutputFolderMissing)) {
        return false;
    }
    v.result = static_cast<JobResult>(result);
    v.reason = static_cast<JobReason>(reason);
    return p == end;
}

// A job line into job; false for a line that is none. fields is reused.
bool ParseJob(std::string_view line, std::vector<std::string_view>& f, JournalJob& job) {
    SplitFields(line, f);
    if (f.size() < 8 || f[0].size() != 3 || f.size() % 2 != 0) {
        return false;
    }
    job.job.absentMeansNoDifference = f[0][0] == 'n';
    job.keepInputs = f[0][1] == 'k';
    job.decided = f[0][2] == 'd';
    job.verdict = JobVerdict{};
    if (job.decided && !ParseVerdict(f[1], job.verdict)) {
        return false;
    }
    ParseNumber(f[2].data(), f[2].data() + f[2].size(), job.listLine);
    job.before = OutputBefore{};
    job.before.existed = ParseStamp(f[3], job.before.stamp);
    job.job.output.assign(f[4]);
    job.arguments.assign(f[5]);
    // The strings are kept from job to job: assigning reuses their room.
    const std::size_t inputs = (f.size() - 6) / 2;
    job.job.inputs.resize(inputs);
    job.inputKnown.resize(inputs);
    job.inputStamps.resize(inputs);
    for (std::size_t i = 0; i < inputs; ++i) {
        job.inputKnown[i] = ParseStamp(f[6 + 2 * i], job.inputStamps[i]);
        job.job.inputs[i].assign(f[7 + 2 * i]);
    }
    return true;
}

bool IsNote(std::string_view line) {
    return !line.empty() && line[0] == '#';
}

}  // namespace

bool RunJournal::Create(const std::string& path, const Header& header) {
    jobLines_.reset();  // a writer never outlives the file it writes
    path_ = path;
    jobs_ = 0;
    written_ = 0;
    offsets_.clear();
    int error = 0;
    file_ = platform::OpenFile(path, "wb", error);
    failed_ = !file_;
    if (!file_) {
        return false;
    }
    platform::BufferForOneThread(file_.get(), kJournalBufferSize);
    line_ = kHeaderTag;
    line_ += kField;
    line_ += header.mode;
    line_ += kField;
    line_ += header.settlesInputs ? '1' : '0';
    failed_ = !WriteLineCrLf(file_.get(), line_);
    written_ += line_.size() + 2;
    jobLines_.emplace(file_.get());
    return !failed_;
}

void RunJournal::EndJobLines() {
    if (jobLines_) {
        failed_ = !jobLines_->Finish() || failed_;
        jobLines_.reset();
    }
}

bool RunJournal::Add(const JournalJob& job) {
    if (!file_ || failed_) {
        return false;
    }
    if (jobs_ % kIndexStep == 0) {
        offsets_.push_back(written_);
    }
    std::string& line = line_;
    line.clear();
    line += job.job.absentMeansNoDifference ? 'n' : '-';
    line += job.keepInputs ? 'k' : '-';
    line += job.decided ? 'd' : '-';
    line += kField;
    if (job.decided) {
        AppendVerdict(line, job.verdict);
    } else {
        line += '-';
    }
    line += kField;
    AppendNumber(line, job.listLine);
    line += kField;
    AppendStamp(line, job.before.existed, job.before.stamp);
    line += kField;
    line += job.job.output;
    line += kField;
    line += job.arguments;
    for (std::size_t i = 0; i < job.job.inputs.size(); ++i) {
        line += kField;
        const bool known = i < job.inputKnown.size() && job.inputKnown[i];
        AppendStamp(line, known, known ? job.inputStamps[i] : platform::FileStamp{});
        line += kField;
        line += job.job.inputs[i];
    }
    if (!jobLines_ || jobLines_->Failed()) {
        failed_ = true;
        return false;
    }
    jobLines_->Line(line);
    written_ += line.size() + 2;
    ++jobs_;
    return true;
}

bool RunJournal::EndJobs() {
    if (!file_) {
        return false;
    }
    EndJobLines();
    if (std::fflush(file_.get()) != 0) {
        failed_ = true;
    }
    return !failed_;
}

namespace {

// Opens the journal and places the reader at job `first`, by the nearest indexed job before it.
platform::FilePtr OpenAtJob(const std::string& path, const std::vector<std::uint64_t>& offsets,
                            long long step, long long first, std::optional<TextLineReader>& reader,
                            std::string& line) {
    int error = 0;
    platform::FilePtr file = platform::OpenFile(path, "rb", error);
    if (!file) {
        return file;
    }
    const std::size_t slot = static_cast<std::size_t>(first / step);
    if (slot >= offsets.size() ||
        std::fseek(file.get(), static_cast<long>(offsets[slot]), SEEK_SET) != 0) {
        return nullptr;
    }
    reader.emplace(file.get());
    for (long long skip = first % step; skip > 0; --skip) {
        if (!reader->ReadLine(line)) {
            return nullptr;
        }
    }
    return file;
}

}  // namespace

bool RunJournal::Read(long long first, long long count,
                      const std::function<void(long long, const JournalJob&)>& visit) const {
    if (count <= 0) {
        return true;
    }
    std::optional<TextLineReader> reader;
    std::string line;
    const platform::FilePtr file = OpenAtJob(path_, offsets_, kIndexStep, first, reader, line);
    if (!file) {
        return false;
    }
    std::vector<std::string_view> fields;
    JournalJob job;
    for (long long index = first; index < first + count; ++index) {
        if (!reader->ReadLine(line) || !ParseJob(line, fields, job)) {
            return false;
        }
        visit(index, job);
    }
    return true;
}

bool RunJournal::NoteVerdicts(long long first, const std::vector<JobVerdict>& verdicts) {
    if (!file_ || verdicts.empty()) {
        return file_ != nullptr;
    }
    EndJobLines();
    line_ = "#V";
    line_ += kField;
    AppendNumber(line_, first);
    line_ += kField;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (i > 0) {
            line_ += ' ';
        }
        AppendVerdict(line_, verdicts[i]);
    }
    return WriteLineCrLf(file_.get(), line_) && std::fflush(file_.get()) == 0;
}

bool RunJournal::NoteSettled(long long through) {
    if (!file_) {
        return false;
    }
    EndJobLines();
    line_ = "#S";
    line_ += kField;
    AppendNumber(line_, through);
    return WriteLineCrLf(file_.get(), line_) && std::fflush(file_.get()) == 0;
}

bool RunJournal::NoteFinished() {
    if (!file_) {
        return false;
    }
    EndJobLines();
    const bool ok = WriteLineCrLf(file_.get(), "#F");
    return CloseWritten(std::move(file_)) && ok;
}

void RunJournal::Close() {
    jobLines_.reset();
    file_.reset();
}

bool RunJournal::FindInterrupted(const std::string& path, Interrupted& found) {
    found = Interrupted{};
    int error = 0;
    platform::FilePtr file = platform::OpenFile(path, "rb", error);
    if (!file) {
        return false;
    }
    TextLineReader reader(file.get());
    std::string line;
    if (!reader.ReadLine(line)) {
        return false;
    }
    std::vector<std::string_view> f;
    SplitFields(line, f);
    if (f.size() < 3 || f[0] != kHeaderTag) {
        return false;
    }
    found.header.mode.assign(f[1]);
    found.header.settlesInputs = f[2] == "1";
    long long jobs = 0;
    bool finished = false;
    while (reader.ReadLine(line)) {
        if (!IsNote(line)) {
            ++jobs;
            continue;
        }
        SplitFields(line, f);
        if (f[0] == "#F") {
            finished = true;
        } else if (f[0] == "#S" && f.size() >= 2) {
            long long through = 0;
            ParseNumber(f[1].data(), f[1].data() + f[1].size(), through);
            found.settled = std::max(found.settled, through);
        } else if (f[0] == "#V" && f.size() >= 3) {
            long long index = 0;
            ParseNumber(f[1].data(), f[1].data() + f[1].size(), index);
            std::string_view rest = f[2];
            while (!rest.empty() && index >= 0) {
                const std::size_t blank = rest.find(' ');
                JobVerdict verdict;
                if (ParseVerdict(rest.substr(0, blank), verdict)) {
                    if (static_cast<std::size_t>(index) >= found.verdicts.size()) {
                        found.verdicts.resize(static_cast<std::size_t>(index) + 1);
                    }
                    found.verdicts[static_cast<std::size_t>(index)] = verdict;
                }
                ++index;
                rest =
                    blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
            }
        }
    }
    if (finished || reader.Failed()) {
        return false;
    }
    found.verdicts.resize(static_cast<std::size_t>(jobs));
    return true;
}

bool RunJournal::ReadAll(const std::string& path,
                         const std::function<void(long long, const JournalJob&)>& visit) {
    int error = 0;
    platform::FilePtr file = platform::OpenFile(path, "rb", error);
    if (!file) {
        return false;
    }
    TextLineReader reader(file.get());
    std::string line;
    std::vector<std::string_view> fields;
    JournalJob job;
    long long index = 0;
    reader.ReadLine(line);  // the header
    while (reader.ReadLine(line)) {
        if (!IsNote(line) && ParseJob(line, fields, job)) {
            visit(index++, job);
        }
    }
    return !reader.Failed();
}

JournalCursor::JournalCursor(const RunJournal& journal, long long first, long long count)
    : next_(first), end_(first + count) {
    if (count > 0) {
        file_ = OpenAtJob(journal.path_, journal.offsets_, RunJournal::kIndexStep, first, reader_,
                          line_);
    }
}

bool JournalCursor::Next(JournalJob& job) {
    if (!file_ || next_ >= end_) {
        return false;
    }
    if (!reader_->ReadLine(line_) || !ParseJob(line_, fields_, job)) {
        file_.reset();
        return false;
    }
    ++next_;
    return true;
}

}  // namespace ka
