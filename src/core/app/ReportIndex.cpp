#include "app/ReportIndex.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "app/JobResult.h"

namespace ka {

namespace {

constexpr std::size_t kScanBlock = 1024 * 1024;
// More new lines than this under a sorted column and the rows are sorted anew instead of each
// line being placed by a binary search over lines read from the file.
constexpr std::size_t kMaxPlaced = 2000;

void SplitTabs(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return;
        }
        start = tab + 1;
    }
}

bool IsJobResult(std::string_view text, bool& done) {
    for (std::size_t i = 0; i < kJobResultCount; ++i) {
        const auto result = static_cast<JobResult>(i);
        if (text == JobResultText(result)) {
            done = JobDone(result);
            return true;
        }
    }
    return false;
}

// The last field of a job line with two or more after its output: the reason, or (on a line
// from before jobs carried one) the last input. A job done but skipped has no reason but "-";
// a reason never names a folder.
bool LastIsReason(std::string_view result, std::string_view last) {
    if (last == "-") {
        return true;
    }
    if (result == "written" || result == "no difference" || result == "shown") {
        return false;
    }
    return last.find_first_of("/\\") == std::string_view::npos;
}

std::string_view Shown(std::string_view field) {
    return field == "-" ? std::string_view() : field;
}

void AppendJoined(std::string& text, const std::vector<std::string_view>& parts,
                  std::string_view between) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            text += between;
        }
        text += parts[i];
    }
}

std::string_view Field(const std::vector<std::string_view>& fields, std::size_t i) {
    return i < fields.size() ? fields[i] : std::string_view();
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ContainsFolded(std::string_view text, std::string_view lowerNeedle) {
    const auto found = std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                                   [](char a, char b) { return FoldAscii(a) == b; });
    return found != text.end() || lowerNeedle.empty();
}

// A long is 32 bits on Windows: a report past 2 GiB is read up to there, never at a wrapped
// offset.
bool SeekTo(std::FILE* file, std::uint64_t offset) {
    return offset <= static_cast<std::uint64_t>(std::numeric_limits<long>::max()) &&
           std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

// Field i of a line as it stands; empty when the line has fewer.
std::string_view NthField(std::string_view text, std::size_t i) {
    std::size_t start = 0;
    for (; i > 0; --i) {
        start = text.find('\t', start);
        if (start == std::string_view::npos) {
            return {};
        }
        ++start;
    }
    return text.substr(start, std::min(text.find('\t', start), text.size()) - start);
}

// Sort keys kept as the part after what each shares with the first key: the paths of one folder
// then cost little more than their names, and two keys still compare without being rebuilt.
class FrontCodedKeys {
  public:
    void Reserve(std::size_t count) { entries_.reserve(count); }

    void Add(std::uint32_t line, std::string_view key) {
        if (entries_.empty()) {
            first_ = key;
        }
        const std::size_t common = static_cast<std::size_t>(
            std::mismatch(key.begin(), key.end(), first_.begin(), first_.end()).first -
            key.begin());
        const std::string_view rest =
            key.substr(common, std::min<std::size_t>(key.size() - common, kBlockSize));
        if (blocks_.empty() || used_ + rest.size() > kBlockSize) {
            blocks_.push_back(std::make_unique<char[]>(kBlockSize));
            used_ = 0;
        }
        std::copy(rest.begin(), rest.end(), blocks_.back().get() + used_);
        entries_.push_back(
            {line, static_cast<std::uint32_t>((blocks_.size() - 1) * kBlockSize + used_),
             static_cast<std::uint32_t>(rest.size()), static_cast<std::uint32_t>(common)});
        used_ += rest.size();
    }

    // The lines in key order, ties newest first.
    void Sort(bool ascending, std::vector<std::uint32_t>& lines) {
        std::sort(entries_.begin(), entries_.end(), [&](const Entry& a, const Entry& b) {
            const int order = Compare(a, b);
            if (order != 0) {
                return ascending ? order < 0 : order > 0;
            }
            return a.line > b.line;
        });
        lines.clear();
        lines.reserve(entries_.size());
        for (const Entry& e : entries_) {
            lines.push_back(e.line);
        }
    }

  private:
    static constexpr std::size_t kBlockSize = 4 * 1024 * 1024;
    struct Entry {
        std::uint32_t line;
        std::uint32_t offset;  // of the rest, over the blocks end to end
        std::uint32_t length;
        std::uint32_t common;  // leading bytes shared with the first key
    };

    std::string_view Rest(const Entry& e) const {
        return {blocks_[e.offset / kBlockSize].get() + e.offset % kBlockSize, e.length};
    }

    int Compare(const Entry& a, const Entry& b) const {
        if (a.common == b.common) {
            return Rest(a).compare(Rest(b));
        }
        // The one sharing less with the first key differs from it where the other still
        // follows it: that byte decides.
        const bool aLess = a.common < b.common;
        const Entry& shorter = aLess ? a : b;
        const int order = Rest(shorter).empty() ? -1
                          : std::char_traits<char>::lt(Rest(shorter)[0], first_[shorter.common])
                              ? -1
                              : 1;
        return aLess ? order : -order;
    }

    std::string first_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = 0;
    std::vector<Entry> entries_;
};

}  // namespace

void SortKey(std::string_view text, ReportKind kind, ReportColumn column, ReportFields& scratch,
             std::string& key) {
    // The columns that are one field as written are taken without splitting the line.
    switch (column) {
        case ReportColumn::Time:
        case ReportColumn::Mode:
        case ReportColumn::Result:
            key.assign(NthField(text, static_cast<std::size_t>(column)));
            return;
        case ReportColumn::Output:
        case ReportColumn::Fate:
            if (kind == ReportKind::Job) {
                key.assign(Shown(NthField(text, column == ReportColumn::Output ? 4 : 3)));
                return;
            }
            break;
        default:
            break;
    }
    ParseReportLine(text, scratch);
    key = ReportColumnText(scratch, column);
}

void ParseReportLine(std::string_view line, ReportFields& fields) {
    std::vector<std::string_view>& f = fields.all;
    SplitTabs(line, f);
    fields.kind = ReportKind::Other;
    fields.time = Field(f, 0);
    fields.mode = Field(f, 1);
    fields.result = Field(f, 2);
    fields.fate = fields.output = fields.reason = fields.converter = fields.seconds = {};
    fields.inputs.clear();
    fields.rest.clear();
    fields.done = true;

    const std::string_view third = fields.result;
    bool done = true;
    if (third == "run") {
        fields.kind = ReportKind::Run;
        fields.reason = Field(f, 3);
        fields.converter = Field(f, 4);
        fields.seconds = Field(f, 5);
    } else if (third == "left alone") {
        fields.kind = ReportKind::LeftAlone;
        fields.reason = Field(f, 3);
        fields.inputs.assign(f.begin() + std::min<std::size_t>(4, f.size()), f.end());
    } else if (third == "message") {
        fields.kind = ReportKind::Message;
        // Everything after the third field: a message is shown whole.
        if (f.size() > 3) {
            fields.reason = line.substr(static_cast<std::size_t>(f[3].data() - line.data()));
        }
    } else if (f.size() > 2 && IsJobResult(third, done)) {
        fields.kind = ReportKind::Job;
        fields.done = done;
        fields.fate = Field(f, 3);
        fields.output = Field(f, 4);
        std::size_t end = f.size();
        if (end >= 7 && LastIsReason(third, f[end - 1])) {
            fields.reason = f[--end];
        }
        for (std::size_t i = 5; i < end; ++i) {
            fields.inputs.push_back(f[i]);
        }
    } else if (f.size() > 3) {
        fields.rest.assign(f.begin() + 3, f.end());
    }
}

std::string ReportColumnText(const ReportFields& fields, ReportColumn column) {
    std::string text;
    switch (column) {
        case ReportColumn::Time:
            return std::string(fields.time);
        case ReportColumn::Mode:
            return std::string(fields.mode);
        case ReportColumn::Result:
            return std::string(fields.result);
        case ReportColumn::Reason:
            if (fields.kind == ReportKind::Other) {
                AppendJoined(text, fields.rest, " ");
                return text;
            }
            text = Shown(fields.reason);
            if (fields.kind == ReportKind::Run && !fields.converter.empty()) {
                text += " (";
                text += fields.converter;
                if (!fields.seconds.empty()) {
                    text += ", ";
                    text += fields.seconds;
                }
                text += ')';
            }
            return text;
        case ReportColumn::Output:
            return std::string(Shown(fields.output));
        case ReportColumn::Inputs:
            AppendJoined(text, fields.inputs, ", ");
            return text;
        case ReportColumn::Fate:
            if (fields.kind == ReportKind::LeftAlone) {
                return "left in place";
            }
            return std::string(Shown(fields.fate));
    }
    return text;
}

std::string ListLineOf(const ReportFields& fields) {
    std::string line;
    AppendJoined(line, fields.inputs, ",");
    return line;
}

// ---- Index ------------------------------------------------------------------------------------

void ReportIndex::Clear() {
    starts_.clear();
    starts_.shrink_to_fit();
    flags_.clear();
    flags_.shrink_to_fit();
    end_ = 0;
    indexed_ = false;
}

void ReportIndex::IndexLine(std::string_view line, std::uint64_t start) {
    // Only the first four fields decide the flags: no more of the line is split.
    std::string_view f[4];
    std::size_t pos = 0;
    for (std::size_t i = 0; i < 4 && pos <= line.size(); ++i) {
        const std::size_t tab = std::min(line.find('\t', pos), line.size());
        f[i] = line.substr(pos, tab - pos);
        pos = tab + 1;
    }
    std::uint8_t flags = static_cast<std::uint8_t>(ReportKind::Other);
    bool done = true;
    if (f[2] == "run") {
        flags = static_cast<std::uint8_t>(ReportKind::Run);
    } else if (f[2] == "left alone") {
        flags = static_cast<std::uint8_t>(ReportKind::LeftAlone);
    } else if (f[2] == "message") {
        flags = static_cast<std::uint8_t>(ReportKind::Message);
    } else if (IsJobResult(f[2], done)) {
        flags = static_cast<std::uint8_t>(ReportKind::Job);
        if (!done) {
            flags |= report_flag::kNotDone;
        }
        if (f[2] == JobResultText(JobResult::NotRun)) {
            flags |= report_flag::kNotRun;
        }
        if (f[3] == "inputs moved to Failed") {
            flags |= report_flag::kInFailed;
        }
    }
    if (f[1] == "batch" || f[1] == "batch recovered") {
        flags |= report_flag::kBatch;
    }
    starts_.push_back(start);
    flags_.push_back(flags);
}

bool ReportIndex::NeedsLook(std::size_t line) const {
    const ReportKind kind = KindOf(line);
    return kind == ReportKind::LeftAlone ||
           (kind == ReportKind::Job && (flags_[line] & report_flag::kNotDone) != 0);
}

void ReportIndex::SetPath(std::string path) {
    path_ = std::move(path);
    Clear();
}

ReportIndex::Change ReportIndex::Refresh() {
    Change change;
    platform::FileStamp stamp;
    if (!platform::GetFileStamp(path_, stamp)) {
        change.reset = !starts_.empty();
        Clear();
        return change;
    }
    if (indexed_ &&
        (stamp.volume != identity_.volume || stamp.index != identity_.index || stamp.size < end_)) {
        change.reset = !starts_.empty();
        Clear();
    }
    if (!indexed_) {
        identity_ = stamp;
        indexed_ = true;
    }
    if (stamp.size <= end_) {
        return change;
    }
    int error = 0;
    platform::FilePtr file = platform::OpenFile(path_, "rb", error);
    if (!file || !SeekTo(file.get(), end_)) {
        return change;
    }
    const std::size_t before = starts_.size();
    std::vector<char> block(kScanBlock);
    std::string pending;  // the start of a line that runs past the block
    std::uint64_t lineStart = end_;
    std::uint64_t blockStart = end_;
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (got == 0) {
            break;
        }
        const char* const data = block.data();
        std::size_t pos = 0;
        while (pos < got) {
            const void* lf = std::memchr(data + pos, '\n', got - pos);
            if (!lf) {
                pending.append(data + pos, got - pos);
                break;
            }
            const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
            std::string_view line(data + pos, stop - pos);
            if (!pending.empty()) {
                pending.append(line);
                line = pending;
            }
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            IndexLine(line, lineStart);
            pending.clear();
            pos = stop + 1;
            lineStart = blockStart + pos;
        }
        blockStart += got;
    }
    end_ = lineStart;
    change.added = starts_.size() - before;
    return change;
}

platform::FilePtr ReportIndex::OpenIndexed() const {
    int error = 0;
    platform::FilePtr file = platform::OpenFile(path_, "rb", error);
    platform::FileStamp stamp;
    if (!file || !platform::GetFileStamp(path_, stamp) || stamp.volume != identity_.volume ||
        stamp.index != identity_.index || stamp.size < end_) {
        return nullptr;
    }
    return file;
}

bool ReportIndex::ReadLine(std::size_t line, std::string& text) const {
    text.clear();
    if (line >= starts_.size()) {
        return false;
    }
    platform::FilePtr file = OpenIndexed();
    if (!file || !SeekTo(file.get(), starts_[line])) {
        return false;
    }
    const std::uint64_t stop = line + 1 < starts_.size() ? starts_[line + 1] : end_;
    text.resize(static_cast<std::size_t>(stop - starts_[line]));
    if (std::fread(text.data(), 1, text.size(), file.get()) != text.size()) {
        text.clear();
        return false;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return true;
}

bool ReportIndex::Scan(
    std::size_t first, std::size_t last,
    const std::function<void(std::size_t line, std::string_view text)>& visit) const {
    last = std::min(last, starts_.size());
    if (first >= last) {
        return true;
    }
    platform::FilePtr file = OpenIndexed();
    if (!file || !SeekTo(file.get(), starts_[first])) {
        return false;
    }
    const auto stopOf = [this](std::size_t line) {
        return line + 1 < starts_.size() ? starts_[line + 1] : end_;
    };
    std::vector<char> block;
    for (std::size_t line = first; line < last;) {
        // Whole lines up to a block's size, at least one.
        const auto beyond = std::upper_bound(starts_.begin() + static_cast<std::ptrdiff_t>(line),
                                             starts_.begin() + static_cast<std::ptrdiff_t>(last),
                                             starts_[line] + kScanBlock);
        std::size_t upTo = static_cast<std::size_t>(beyond - starts_.begin());
        upTo = std::max(upTo > line + 1 ? upTo - 1 : line + 1, line + 1);
        const std::uint64_t from = starts_[line];
        const std::uint64_t to = stopOf(upTo - 1);
        block.resize(static_cast<std::size_t>(to - from));
        if (std::fread(block.data(), 1, block.size(), file.get()) != block.size()) {
            return false;
        }
        for (; line < upTo; ++line) {
            std::string_view text(block.data() + (starts_[line] - from),
                                  static_cast<std::size_t>(stopOf(line) - starts_[line]));
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                text.remove_suffix(1);
            }
            visit(line, text);
        }
    }
    return true;
}

// ---- Rows -------------------------------------------------------------------------------------

bool ReportRows::Takes(std::size_t line, std::string_view text) const {
    if (query_.needsLookOnly && !index_.NeedsLook(line)) {
        return false;
    }
    return needle_.empty() || ContainsFolded(text, needle_);
}

std::string ReportRows::KeyOf(std::size_t line) const {
    std::string text;
    index_.ReadLine(line, text);
    ReportFields fields;
    std::string key;
    SortKey(text, index_.KindOf(line), query_.sortColumn, fields, key);
    return key;
}

bool ReportRows::Before(const std::string& keyA, std::size_t lineA, const std::string& keyB,
                        std::size_t lineB) const {
    if (keyA != keyB) {
        return query_.ascending ? keyA < keyB : keyA > keyB;
    }
    return lineA > lineB;
}

bool ReportRows::Apply(const Query& query) {
    query_ = query;
    needle_.clear();
    for (const char c : query.text) {
        needle_ += FoldAscii(c);
    }
    lines_.clear();
    lines_.shrink_to_fit();
    count_ = index_.Count();
    all_ = !query.needsLookOnly && needle_.empty() && !Sorted();
    if (all_) {
        return true;
    }
    if (!Sorted()) {
        bool ok = true;
        if (NeedsText()) {
            ok = index_.Scan(0, count_, [this](std::size_t line, std::string_view text) {
                if (Takes(line, text)) {
                    lines_.push_back(static_cast<std::uint32_t>(line));
                }
            });
        } else {
            for (std::size_t line = 0; line < count_; ++line) {
                if (Takes(line, {})) {
                    lines_.push_back(static_cast<std::uint32_t>(line));
                }
            }
        }
        if (!ok) {
            lines_.clear();
        }
        return ok;
    }

    FrontCodedKeys keys;
    std::string key;
    ReportFields fields;
    // The most lines the query can take: room for all of them at once, not grown by copies.
    keys.Reserve(count_);
    const bool ok = index_.Scan(0, count_, [&](std::size_t line, std::string_view text) {
        if (Takes(line, text)) {
            SortKey(text, index_.KindOf(line), query_.sortColumn, fields, key);
            keys.Add(static_cast<std::uint32_t>(line), key);
        }
    });
    if (!ok) {
        return false;
    }
    keys.Sort(query_.ascending, lines_);
    return true;
}

std::size_t ReportRows::Count() const {
    return all_ ? count_ : lines_.size();
}

std::size_t ReportRows::LineAt(std::size_t row) const {
    if (all_) {
        return query_.ascending ? row : count_ - 1 - row;
    }
    if (Sorted() || query_.ascending) {
        return lines_[row];
    }
    return lines_[lines_.size() - 1 - row];
}

bool ReportRows::Grow(std::size_t from,
                      const std::function<void(std::size_t row, std::size_t count)>& inserting,
                      const std::function<void()>& inserted) {
    const std::size_t to = index_.Count();
    if (from != count_ || to < from) {
        return false;
    }
    if (to == from) {
        return true;
    }
    if (all_) {
        inserting(query_.ascending ? from : 0, to - from);
        count_ = to;
        inserted();
        return true;
    }
    if (Sorted() && to - from > kMaxPlaced) {
        return false;
    }
    std::vector<std::uint32_t> taken;
    const auto take = [&](std::size_t line, std::string_view text) {
        if (Takes(line, text)) {
            taken.push_back(static_cast<std::uint32_t>(line));
        }
    };
    if (NeedsText()) {
        if (!index_.Scan(from, to, take)) {
            return false;
        }
    } else {
        for (std::size_t line = from; line < to; ++line) {
            take(line, {});
        }
    }
    count_ = to;
    if (taken.empty()) {
        return true;
    }
    if (!Sorted()) {
        inserting(query_.ascending ? lines_.size() : 0, taken.size());
        lines_.insert(lines_.end(), taken.begin(), taken.end());
        inserted();
        return true;
    }
    for (const std::uint32_t line : taken) {
        const std::string key = KeyOf(line);
        std::size_t low = 0;
        std::size_t high = lines_.size();
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            if (Before(KeyOf(lines_[mid]), lines_[mid], key, line)) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        inserting(low, 1);
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(low), line);
        inserted();
    }
    return true;
}

}  // namespace ka
