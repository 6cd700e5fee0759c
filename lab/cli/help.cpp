#include "help.hpp"

#include <fmt/core.h>

#include <vector>

#include "lab/methods/registry.hpp"
#include "lab/report/reports.hpp"

namespace velk_lab {

namespace {

std::vector<std::string_view> words_of(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t blank = text.find(' ', start);
    const std::size_t end = blank == std::string_view::npos ? text.size() : blank;
    if (end > start) {
      words.push_back(text.substr(start, end - start));
    }
    start = end + 1;
  }
  return words;
}

}  // namespace

const std::string_view help_description =
    "velk measures search methods on ordered lists of keys (the keys 1, 3, ..., 2n - 1 unless "
    "told, other key sets, or a file's): the exact number of key comparisons a method makes and "
    "the time it takes per search.";

const std::string_view help_footer =
    "For each method, key set, mode, number of threads, size and half (successful: targets among "
    "the keys; unsuccessful: targets between them) it reports the mean comparisons of the half's "
    "searches (on the odd keys drawn as velk_ts draws them) and the exact mean over every target "
    "of the half; then the time per search in ns, wall clock and CPU, as the median of the "
    "repetitions with their min, max and median absolute deviation, the searches in each "
    "repetition and per second; for a method that searches a layout of its own built from the "
    "keys, the time in ns of building it, outside the timed searches, and its bytes.";

const std::string_view help_exit_statuses =
    "Exit status: 0 done; 1 a failure while running (no file is changed); 2 bad input, an output "
    "file that cannot be written among it (nothing is measured). An interrupt (SIGINT, SIGTERM, "
    "SIGHUP) ends velk by that signal; each file then holds its old content or the whole new "
    "report, and no new file is left beside it.";

std::string methods_help() {
  std::string help = "comma-separated, or all:";
  for (const method_record& m : all_methods()) {
    help += fmt::format(" {} ({});", m.name, m.summary);
  }
  help.back() = '.';
  return help;
}

std::string formats_help() {
  std::string help;
  for (const report_format& f : report_formats()) {
    help += fmt::format("{}{} ({})", help.empty() ? "" : ", ", f.name, f.summary);
  }
  return help;
}

std::string wrapped(std::string_view text, std::size_t width) {
  std::string out;
  std::size_t line_length = 0;
  for (const std::string_view word : words_of(text)) {
    if (line_length > 0 && line_length + 1 + word.size() > width) {
      out += '\n';
      line_length = 0;
    } else if (line_length > 0) {
      out += ' ';
      ++line_length;
    }
    out += word;
    line_length += word.size();
  }
  return out;
}

}  // namespace velk_lab
