// The values of the options as the command line gives them: lists, counts, and the refusal that
// names the option and the value.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace velk_lab {

// The items of a comma-separated list, each without the blanks around it.
std::vector<std::string_view> items_of(std::string_view list);

// A whole number from 1 to `most`: decimal digits, then k (thousands) or M (millions) when
// `suffixes`. None for anything else.
std::optional<std::int64_t> count_of(std::string_view text, std::int64_t most, bool suffixes);

// Throws bad_input: "OPTION: 'VALUE' WHY".
[[noreturn]] void refuse(std::string_view option, std::string_view value, std::string_view why);

}  // namespace velk_lab
