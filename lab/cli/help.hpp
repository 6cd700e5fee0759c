// The words of velk's --help: what velk does, each option's list from its table, the exit
// statuses, and the breaking of the text into lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velk_lab {

// What velk does, above the options, and what it reports and how it ends, below them.
extern const std::string_view help_description;
extern const std::string_view help_footer;
extern const std::string_view help_exit_statuses;

// The --methods help: each method with its summary, from the method table.
std::string methods_help();

// The --format help, from the format table.
std::string formats_help();

// Help text broken into lines of at most `width` characters at blanks.
std::string wrapped(std::string_view text, std::size_t width);

}  // namespace velk_lab
