#include "batch/OutListEditor.h"

#include <algorithm>

namespace ka {

namespace {
const OutSlot kNoRows;
}  // namespace

std::int32_t OutListEditor::Load(Settings& settings, MessageSink& sink, SaveFileChooser& chooser) {
    Discard();
    const std::int32_t result = ReadOutListFile(slots_, rest_, settings, sink, chooser);
    if (result != 0) {
        return result;
    }
    loaded_ = true;
    current_ = 1;
    return 0;
}

std::int32_t OutListEditor::Save(Settings& settings, MessageSink& sink, SaveFileChooser& chooser) {
    if (!loaded_) {
        return 0;
    }
    return WriteOutListFile(slots_, rest_, settings, sink, chooser);
}

void OutListEditor::Discard() {
    for (OutSlot& slot : slots_) {
        slot.clear();
    }
    rest_.clear();
    loaded_ = false;
    current_ = 0;
}

void OutListEditor::Select(int outNo) {
    if (loaded_) {
        current_ = std::clamp(outNo, 1, kOutSlotCount);
    }
}

OutSlot* OutListEditor::Shown() {
    return current_ >= 1 ? &slots_[static_cast<std::size_t>(current_ - 1)] : nullptr;
}

const OutSlot& OutListEditor::Rows() const {
    return current_ >= 1 ? slots_[static_cast<std::size_t>(current_ - 1)] : kNoRows;
}

int OutListEditor::HighestUsed() const {
    for (int n = kOutSlotCount; n >= 1; --n) {
        if (!slots_[static_cast<std::size_t>(n - 1)].empty()) {
            return n;
        }
    }
    return 0;
}

OutListEditor::Pick OutListEditor::PickFile(const std::string& entry, int pickedRow) {
    OutSlot* rows = Shown();
    if (!rows) {
        return Pick::NotLoaded;
    }
    if (pickedRow >= 0 && pickedRow < static_cast<int>(rows->size())) {
        (*rows)[static_cast<std::size_t>(pickedRow)] = entry;
        return Pick::Replaced;
    }
    if (static_cast<int>(rows->size()) >= kMaxPickedRows) {
        return Pick::Full;
    }
    rows->push_back(entry);
    return Pick::Added;
}

void OutListEditor::AddTyped(const std::string& entry) {
    if (OutSlot* rows = Shown()) {
        rows->push_back(entry);
    }
}

int OutListEditor::AddLines(const std::vector<std::string>& entries) {
    if (!loaded_) {
        return 0;
    }
    int next = HighestUsed() + 1;
    const int first = next <= kOutSlotCount && !entries.empty() ? next : 0;
    for (const std::string& entry : entries) {
        if (next <= kOutSlotCount) {
            slots_[static_cast<std::size_t>(next - 1)] = {entry};
            ++next;
        } else {
            rest_.push_back(entry);
        }
    }
    return first;
}

void OutListEditor::BlankRow(int row) {
    OutSlot* rows = Shown();
    if (rows && row >= 0 && row < static_cast<int>(rows->size())) {
        (*rows)[static_cast<std::size_t>(row)].clear();
    }
}

void OutListEditor::ClearRows() {
    if (OutSlot* rows = Shown()) {
        rows->clear();
    }
}

void OutListEditor::ClearAll() {
    for (OutSlot& slot : slots_) {
        slot.clear();
    }
}

std::string OutListEditor::WithPage(const std::string& path, int page) {
    return page == 0 ? path : path + "_" + std::to_string(page);
}

}  // namespace ka
