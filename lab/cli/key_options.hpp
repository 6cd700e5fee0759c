// The options that say which keys a run searches: --keys, --key-bits, --sizes as each key set
// takes them, --skew.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lab/measure/key_sets.hpp"

namespace velk_lab {

// The key sets of a comma-separated --keys list: kinds of the table, or file:PATH, each read and
// checked whole here. `bits` is --key-bits when given: the width of the kinds and of text files,
// which a binary file's own width must agree with. `sizes` is --sizes when given: a file must
// hold at least the largest; without it a file is measured whole and a kind at `default_sizes`.
// Throws bad_input naming the option, the value or the file.
std::vector<key_set> key_sets_of(std::string_view list, std::optional<int> bits,
                                 const std::optional<std::vector<std::int32_t>>& sizes,
                                 const std::vector<std::int32_t>& default_sizes);

// --key-bits: 32 or 64.
int key_bits_of(std::string_view text);

// --skew: a positive number.
double skew_of(std::string_view text);

// The --keys help: each kind with its summary, from the table of kinds.
std::string key_kinds_help();

}  // namespace velk_lab
