// The command line: every option, its default and its checks.
#pragma once

#include <optional>
#include <string>

#include "lab/measure/plan.hpp"
#include "lab/report/reports.hpp"

namespace velk_lab {

struct options {
  plan measured;
  const report_format* format = &report_formats().front();
  std::optional<std::string> output;     // none: standard output
  std::optional<std::string> html;       // the page with charts, written as well when given
  std::optional<std::string> save_keys;  // the key set's largest size in the key file format
};

struct command {
  enum class action { measure, help, version };
  action what = action::measure;
  options settings;  // for measure
  std::string text;  // for help and version: what to print
};

// Reads the command line (program name first). Throws bad_input, whose message names the option
// and the value, for an unknown option or argument, for any value an option cannot take, and
// for an --html file that is the --output file too.
command parse_command_line(int argc, const char* const* argv);

}  // namespace velk_lab
