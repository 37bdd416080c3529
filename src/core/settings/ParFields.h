// The fields of the parameter file, in file order: reading, writing, the shipped Init file and the
// tests all walk this one list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <variant>

#include "settings/Orrin1.h"

namespace ka {

struct ParField {
    std::string_view name;  // the store's field
    std::variant<std::string Settings::*, std::int32_t Settings::*, std::uint8_t Settings::*>
        member;
    std::string_view shipped;  // its line in the Init folder's file
};

#define KA_PAR_FIELD(field, shipped) ParField{#field, &Settings::field, shipped},
inline constexpr ParField kParFields[] = {
#include "settings/ParFields.def"
};
#undef KA_PAR_FIELD

// The version line, then one line per field.
inline constexpr std::size_t kParLineCount = 1 + std::size(kParFields);

// The line the file holds for the field. Text loses CR, LF and Ctrl-Z: any of them would end the
// value early and move every later value onto the wrong line.
std::string ParFieldText(const Settings& settings, const ParField& field);

// Takes the field from its line: numbers from their leading digits (0 when there are none).
void SetParField(Settings& settings, const ParField& field, const std::string& line);

}  // namespace ka
