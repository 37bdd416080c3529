// Pieces of standby output that work without the window.
#pragma once

#include <cstdint>
#include <string>

#include "shell/Paths.h"

namespace ka {

// The 10 characters in front of the name in a snapshot line. Sizes up to 9,999,999,999 bytes are
// written in decimal, right-aligned and padded with blanks. Larger sizes are written as "+" and
// nine base-36 digits (0-9, A-Z, zero-padded), exact up to 36^9 - 1 bytes (about 101 TB): the
// "+" never occurs in a decimal field, so a large size can never equal a small one, and the
// name still begins at character 11. A size beyond even that gives an empty text: such a file
// is not listed, so it is never converted and never deleted.
std::string SnapshotSizeField(std::uint64_t size);

// The file-name wildcard of the standby input (after the last separator). With page "Output2"
// shown its extension becomes ".pdf" ("*.hgl" gives "*.pdf", "*" gives "*.pdf").
std::string StandbyPattern(const std::string& inputSpec, bool output1Shown,
                           const PathRules& rules = PathRules::Native());

// "Waiting!  Waiting time=" h " Hour  " m " Minute  " s " Second".
std::string WaitTimeText(std::int32_t seconds);

}  // namespace ka
