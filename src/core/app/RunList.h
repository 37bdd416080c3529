// The main window's run list without the toolkit: lines appended in batches, the oldest trimmed,
// job marks, and the widest line kept up to date from a cheap width so that neither an append
// nor a trim measures text. The window shows it through a list model and syncs it on a time
// slice; between syncs the view still shows the rows it was last told about.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/RunHost.h"

namespace ka {

class RunList {
  public:
    // A line's width in some unit that orders lines as their shown widths do (cached character
    // advances, or the byte count).
    using Width = std::function<int(std::string_view)>;

    explicit RunList(Width width);

    void Clear();
    void Add(std::string_view line);
    void DeleteFirst(int count);
    // Line numbers count from the last Clear, dropped lines included. False for a line no
    // longer (or not yet) in the list.
    bool Mark(long long line, JobResult result, std::string_view reason = {});

    int Count() const { return static_cast<int>(rows_.size()); }
    long long Dropped() const { return dropped_; }
    std::string_view Line(int row) const {
        const Row& r = rows_[static_cast<std::size_t>(row)];
        return std::string_view(text_).substr(r.start - base_, r.size);
    }
    std::optional<JobResult> MarkOf(int row) const {
        return rows_[static_cast<std::size_t>(row)].mark;
    }
    // Why the row's job is not done; empty when it is, or when nothing was said.
    std::string_view ReasonOf(int row) const;

    // The widest line now in the list by the cheap width; empty list: width 0 and no line.
    int WidestWidth() const;
    std::optional<std::string_view> WidestLine() const;

    // What the view must do to show the list as it is now: remove `removed` rows from its
    // front, then append `appended` rows. The view is then in step.
    struct Changes {
        int removed = 0;
        int appended = 0;
        bool Any() const { return removed > 0 || appended > 0; }
    };
    Changes Sync();
    // Rows the view has been told about.
    int ViewCount() const { return viewCount_; }
    // The list row shown in the view's row; -1 when that line has gone since the last sync.
    int RowOfViewRow(int viewRow) const;
    // The view's row of a list row; -1 when the view does not show it yet.
    int ViewRowOf(int row) const;

  private:
    struct Row {
        std::size_t start = 0;  // in the text appended since the last Clear
        std::size_t size = 0;
        int width = 0;
        std::optional<JobResult> mark;
    };
    struct Candidate {
        long long line = 0;
        int width = 0;
    };

    Width width_;
    // The rows' text end to end, from the oldest row still listed (or a little before it): a
    // run of a million lines appends to one buffer instead of making a string per line.
    std::string text_;
    std::size_t base_ = 0;  // where text_ starts in the text appended since the last Clear
    std::deque<Row> rows_;
    // Reasons by line number: only jobs not done have one, so no row carries a string.
    std::unordered_map<long long, std::string> reasons_;
    long long dropped_ = 0;
    // Lines in falling width, each wider than every later line: the front is the widest line
    // still listed. Appends pop the narrower tail, trims pop the front: no line is measured
    // twice.
    std::deque<Candidate> widest_;
    long long viewDropped_ = 0;
    int viewCount_ = 0;
};

}  // namespace ka
