// The run report read back for the results view: an index of where each line starts, lines read
// and split only when asked for, so a report of a million lines costs a few bytes a line and not
// the lines themselves. The index follows the file as it grows and starts over when the file is
// moved aside (past its size limit) or cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace ka {

enum class ReportKind : std::uint8_t {
    Job,        // time, mode, result, fate, output, inputs..., reason
    Run,        // time, mode, "run", summary, how the converter ended, seconds
    LeftAlone,  // time, mode, "left alone", why, path
    Message,    // time, mode or "unattended", "message", text
    Other,      // anything else: shown as it stands
};

// One line split into its fields; the views point into the line's text.
struct ReportFields {
    ReportKind kind = ReportKind::Other;
    std::string_view time;
    std::string_view mode;  // as written: "standby recovered" for a line written at the next start
    std::string_view result;
    std::string_view fate;                 // "-" outside standby
    std::string_view output;               // "-" for none
    std::vector<std::string_view> inputs;  // a job's files; the path a file left alone
    // Job: why it is not done ("-" or empty when done); run: its summary; left alone: why;
    // message: its text.
    std::string_view reason;
    std::string_view converter;          // run: how the converter ended
    std::string_view seconds;            // run: how long it took
    std::vector<std::string_view> rest;  // Other: the fields after the third
    std::vector<std::string_view> all;   // every field of the line
    bool done = true;  // a job whose result is written, no difference, shown or skipped
};

// Splits a report line. Lines written before jobs carried a reason lack that last field: a job
// line whose last field could only be a path (or its only file) is taken as having none.
void ParseReportLine(std::string_view line, ReportFields& fields);

// The columns of the results view, in their order.
enum class ReportColumn : std::uint8_t { Time, Mode, Result, Reason, Output, Inputs, Fate };
inline constexpr std::size_t kReportColumnCount = 7;

// A column's text as the view shows it: "-" placeholders are empty, a job's inputs are joined
// by ", ", a run's reason holds its summary, how the converter ended and the seconds.
std::string ReportColumnText(const ReportFields& fields, ReportColumn column);

// ReportColumnText as a sort key, for a line of the given kind; without splitting the whole line
// where the column is one field as written. `scratch` is reused from line to line.
void SortKey(std::string_view text, ReportKind kind, ReportColumn column, ReportFields& scratch,
             std::string& key);

// The batch list line that runs a job again: its inputs joined by ",".
std::string ListLineOf(const ReportFields& fields);

// What the index keeps of every line, from its first fields.
namespace report_flag {
inline constexpr std::uint8_t kKindMask = 0x07;  // ReportKind
inline constexpr std::uint8_t kNotDone = 0x08;   // a job not done
inline constexpr std::uint8_t kBatch = 0x10;     // a line of a batch run
inline constexpr std::uint8_t kInFailed = 0x20;  // a job whose inputs went to Failed
inline constexpr std::uint8_t kNotRun = 0x40;    // a job not run
}  // namespace report_flag

class ReportIndex {
  public:
    explicit ReportIndex(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    // Another report (the data folder became known or changed): nothing of the old one stays.
    void SetPath(std::string path);

    struct Change {
        bool reset = false;     // the lines known before are gone (moved aside, cut, deleted)
        std::size_t added = 0;  // complete lines indexed by this look, at the end
    };
    // Looks at the file again and indexes the complete lines written since; a line still
    // being written waits for its line end. The file is open only during the look, so the
    // writer can always move it aside.
    Change Refresh();

    std::size_t Count() const { return starts_.size(); }
    std::uint8_t Flags(std::size_t line) const { return flags_[line]; }
    ReportKind KindOf(std::size_t line) const {
        return static_cast<ReportKind>(flags_[line] & report_flag::kKindMask);
    }
    // Jobs not done and files left alone.
    bool NeedsLook(std::size_t line) const;

    // The text of one line without its line end. False when the file cannot be read or is no
    // longer the one indexed (the next Refresh starts over).
    bool ReadLine(std::size_t line, std::string& text) const;

    // Visits lines [first, last) in order, reading the file in large blocks; the view is valid
    // during the call only. False when the file cannot be read as indexed.
    bool Scan(std::size_t first, std::size_t last,
              const std::function<void(std::size_t line, std::string_view text)>& visit) const;

  private:
    void Clear();
    void IndexLine(std::string_view line, std::uint64_t start);
    platform::FilePtr OpenIndexed() const;

    std::string path_;
    platform::FileStamp identity_;  // of the file indexed: a new file means a new index
    bool indexed_ = false;
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint8_t> flags_;
    std::uint64_t end_ = 0;  // after the last complete line
};

// The rows of the results view: which lines, in which order. Newest first unless sorted
// otherwise; ties of a sorted column keep newest first.
class ReportRows {
  public:
    struct Query {
        bool needsLookOnly = false;
        std::string text;  // every line holding it, ASCII letters in either case
        ReportColumn sortColumn = ReportColumn::Time;
        bool ascending = false;
    };

    explicit ReportRows(const ReportIndex& index) : index_(index) {}

    // Takes every line of the index that the query lets through. False when the report could
    // not be read; the rows are then empty.
    bool Apply(const Query& query);
    const Query& CurrentQuery() const { return query_; }

    std::size_t Count() const;
    std::size_t LineAt(std::size_t row) const;

    // Places the lines the index added since `from` (its count before the Refresh), telling
    // `inserting(row, count)` before and `inserted()` after each placement, as a view model
    // needs. False, with nothing changed, when the rows must be built anew with Apply: the
    // index started over, the file could not be read, or too many lines came for a sorted
    // column to place one by one.
    bool Grow(std::size_t from,
              const std::function<void(std::size_t row, std::size_t count)>& inserting,
              const std::function<void()>& inserted);

  private:
    bool Takes(std::size_t line, std::string_view text) const;
    bool NeedsText() const { return !needle_.empty(); }
    bool Sorted() const { return query_.sortColumn != ReportColumn::Time; }
    std::string KeyOf(std::size_t line) const;
    bool Before(const std::string& keyA, std::size_t lineA, const std::string& keyB,
                std::size_t lineB) const;

    const ReportIndex& index_;
    Query query_;
    std::string needle_;  // the search text in lower case
    bool all_ = true;     // every line, in line order: no list kept
    // Line order (sorted by time): the lines taken, oldest first. Sorted by another column:
    // the lines in the order shown.
    std::vector<std::uint32_t> lines_;
    std::size_t count_ = 0;  // lines of the index seen
};

}  // namespace ka
