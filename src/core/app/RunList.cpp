#include "app/RunList.h"

#include <algorithm>
#include <utility>

namespace ka {

RunList::RunList(Width width) : width_(std::move(width)) {}

namespace {
// Text of trimmed rows is dropped once it is this long and the larger part of the buffer.
constexpr std::size_t kCompactBytes = 1024;
}  // namespace

void RunList::Clear() {
    rows_.clear();
    reasons_.clear();
    text_.clear();
    base_ = 0;
    widest_.clear();
    dropped_ = 0;
    viewDropped_ = 0;
    viewCount_ = 0;
}

void RunList::Add(std::string_view line) {
    const int width = width_(line);
    const long long number = dropped_ + static_cast<long long>(rows_.size());
    while (!widest_.empty() && widest_.back().width <= width) {
        widest_.pop_back();
    }
    widest_.push_back({number, width});
    rows_.push_back({base_ + text_.size(), line.size(), width, std::nullopt});
    text_.append(line);
}

void RunList::DeleteFirst(int count) {
    const auto n = static_cast<std::size_t>(std::clamp(count, 0, Count()));
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(n));
    dropped_ += static_cast<long long>(n);
    if (!reasons_.empty()) {
        std::erase_if(reasons_, [this](const auto& entry) { return entry.first < dropped_; });
    }
    while (!widest_.empty() && widest_.front().line < dropped_) {
        widest_.pop_front();
    }
    const std::size_t dead = (rows_.empty() ? base_ + text_.size() : rows_.front().start) - base_;
    if (dead >= kCompactBytes && dead * 2 > text_.size()) {
        text_.erase(0, dead);
        base_ += dead;
    }
}

bool RunList::Mark(long long line, JobResult result, std::string_view reason) {
    const long long row = line - dropped_;
    if (row < 0 || row >= Count()) {
        return false;
    }
    rows_[static_cast<std::size_t>(row)].mark = result;
    if (reason.empty()) {
        reasons_.erase(line);
    } else {
        reasons_[line].assign(reason);
    }
    return true;
}

std::string_view RunList::ReasonOf(int row) const {
    const auto found = reasons_.find(dropped_ + row);
    return found == reasons_.end() ? std::string_view() : std::string_view(found->second);
}

int RunList::WidestWidth() const {
    return widest_.empty() ? 0 : widest_.front().width;
}

std::optional<std::string_view> RunList::WidestLine() const {
    if (widest_.empty()) {
        return std::nullopt;
    }
    return Line(static_cast<int>(widest_.front().line - dropped_));
}

RunList::Changes RunList::Sync() {
    // Lines the view shows that are still listed: from the later of the two fronts to the end
    // of what the view was told.
    const long long viewEnd = viewDropped_ + viewCount_;
    const long long kept = std::max(0LL, viewEnd - std::max(viewDropped_, dropped_));
    Changes changes;
    changes.removed = viewCount_ - static_cast<int>(kept);
    changes.appended = Count() - static_cast<int>(kept);
    viewDropped_ = dropped_;
    viewCount_ = Count();
    return changes;
}

int RunList::RowOfViewRow(int viewRow) const {
    if (viewRow < 0 || viewRow >= viewCount_) {
        return -1;
    }
    const long long row = viewDropped_ + viewRow - dropped_;
    return row >= 0 && row < Count() ? static_cast<int>(row) : -1;
}

int RunList::ViewRowOf(int row) const {
    const long long viewRow = dropped_ + row - viewDropped_;
    return viewRow >= 0 && viewRow < viewCount_ ? static_cast<int>(viewRow) : -1;
}

}  // namespace ka
