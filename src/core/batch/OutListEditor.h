// What "Batch file creation" edits: the output slots of a batch list file, the one shown, the
// files picked into it and the lines past the slots. The dialog only shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "batch/OutFileList.h"

namespace ka {

class OutListEditor {
  public:
    // A slot takes at most this many files picked from the file list (typed names have no limit).
    static constexpr int kMaxPickedRows = 15;

    enum class Pick { Added, Replaced, Full, NotLoaded };

    // Reads sOutListFileName and shows slot 1. 0, or the error code with nothing loaded.
    std::int32_t Load(Settings& settings, MessageSink& sink, SaveFileChooser& chooser);
    // Writes the slots and, after them, the lines past them. Nothing is written when nothing was
    // loaded: that would empty the file.
    std::int32_t Save(Settings& settings, MessageSink& sink, SaveFileChooser& chooser);
    // Drops everything read or edited.
    void Discard();

    bool Loaded() const { return loaded_; }
    // The output order number shown, 1 to kOutSlotCount; 0 before loading.
    int Current() const { return current_; }
    // Shows another slot; the number is kept in range.
    void Select(int outNo);
    // The rows of the slot shown.
    const OutSlot& Rows() const;
    // The highest output order number with rows, 0 when every slot is empty.
    int HighestUsed() const;
    std::size_t MoreLines() const { return rest_.size(); }
    // The lines past the slots, as read (and added by AddLines), written after them unchanged.
    const OutListRest& Rest() const { return rest_; }
    const OutSlots& Slots() const { return slots_; }

    // A file picked from the list, with its page suffix already added: it replaces the picked
    // row when there is one, otherwise it is added while the slot has room.
    Pick PickFile(const std::string& entry, int pickedRow = -1);
    // A name typed by the user: added, whatever the number of rows.
    void AddTyped(const std::string& entry);
    // Each entry an output of its own, after the last output with files: in the free slots
    // after it, then past the slots. The number of the first slot taken, 0 when none was free.
    int AddLines(const std::vector<std::string>& entries);
    void BlankRow(int row);
    void ClearRows();
    void ClearAll();

    // The entry for page n of a file ("a.pdf_2"); page 0 means the whole file.
    static std::string WithPage(const std::string& path, int page);

  private:
    OutSlot* Shown();

    OutSlots slots_;
    OutListRest rest_;
    int current_ = 0;
    bool loaded_ = false;
};

}  // namespace ka
