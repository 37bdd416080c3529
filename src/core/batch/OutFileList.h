// The batch list file: one line per output, its comma-separated entries the input files that
// the converter opens together for that output. In memory: 100 output slots.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/Orrin1.h"

namespace ka {

inline constexpr int kOutSlotCount = 100;
using OutSlot = std::vector<std::string>;
using OutSlots = std::array<OutSlot, kOutSlotCount>;  // output order number n at index n - 1
// The lines of the file past the slots, as read: written back after the slots unchanged, so an
// edit of the first 100 outputs never cuts a longer file.
using OutListRest = std::vector<std::string>;

// The save-file dialog through which reading and writing ask for another file on failure.
class SaveFileChooser {
  public:
    virtual ~SaveFileChooser() = default;
    // Shows the dialog; false when the user cancels, else the chosen name.
    virtual bool ChooseSaveFile(std::string& fileName) = 0;
};

// Empties the slots and fills them from sOutListFileName, the lines past them into rest. 0 when
// read; otherwise the error code of the last failed attempt after the user cancelled (slots and
// rest are then untouched).
std::int32_t ReadOutListFile(OutSlots& slots, OutListRest& rest, Settings& settings,
                             MessageSink& sink, SaveFileChooser& chooser);

// Writes the slots, then the rest, to sOutListFileName. 0 when written; otherwise the error
// code after the user cancelled (nothing written).
std::int32_t WriteOutListFile(const OutSlots& slots, const OutListRest& rest, Settings& settings,
                              MessageSink& sink, SaveFileChooser& chooser);

// One line of the file as a slot's entries ("a,,b" gives "a", "", "b").
OutSlot SplitOutListLine(const std::string& line);
// The line written for a slot: trailing blank entries dropped, inner blank entries as " ".
// Empty optional-like result (returns false) for a slot without entries.
bool JoinOutListLine(const OutSlot& slot, std::string& line);

}  // namespace ka
