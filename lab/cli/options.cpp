#include "options.hpp"

#include <fmt/core.h>
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>
#include <vector>

#include "lab/errors.hpp"
#include "lab/io/output.hpp"

namespace velk_lab {

namespace {

constexpr std::string_view default_methods = "sequential,binary1";
constexpr std::string_view default_sizes = "10,100,1000,10000";
constexpr int most_repetitions = 100000;
constexpr double longest_min_time = 3600.0;
constexpr std::int64_t most_searches = std::numeric_limits<std::int32_t>::max();

constexpr std::int64_t thousand = 1000;
constexpr std::int64_t million = 1000000;

// The items of a comma-separated list, each without the blanks around it.
std::vector<std::string_view> items_of(std::string_view list) {
  std::vector<std::string_view> items;
  for (;;) {
    const std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    while (!item.empty() && item.front() == ' ') {
      item.remove_prefix(1);
    }
    while (!item.empty() && item.back() == ' ') {
      item.remove_suffix(1);
    }
    items.push_back(item);
    if (comma == std::string_view::npos) {
      return items;
    }
    list.remove_prefix(comma + 1);
  }
}

// A whole number from 1 to `most`: decimal digits, then k (thousands) or M (millions) when
// `suffixes`. None for anything else.
std::optional<std::int64_t> count_of(std::string_view text, std::int64_t most, bool suffixes) {
  std::int64_t scale = 1;
  if (suffixes && !text.empty() && (text.back() == 'k' || text.back() == 'M')) {
    scale = text.back() == 'k' ? thousand : million;
    text.remove_suffix(1);
  }
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > most / scale) {
    return std::nullopt;
  }
  value *= scale;
  if (value < 1) {
    return std::nullopt;
  }
  return value;
}

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

[[noreturn]] void refuse(std::string_view option, std::string_view value, std::string_view why) {
  throw bad_input(fmt::format("{}: '{}' {}", option, value, why));
}

std::vector<const method*> methods_of(std::string_view list) {
  std::vector<const method*> chosen;
  const auto add = [&](const method* m) {
    if (std::find(chosen.begin(), chosen.end(), m) != chosen.end()) {
      refuse("--methods", m->name, "is given twice");
    }
    chosen.push_back(m);
  };
  for (const std::string_view item : items_of(list)) {
    if (item == "all") {
      for (const method& m : all_methods()) {
        add(&m);
      }
      continue;
    }
    const method* m = find_method(item);
    if (m == nullptr) {
      std::vector<std::string_view> names;
      for (const method& known : all_methods()) {
        names.push_back(known.name);
      }
      refuse("--methods", item,
             fmt::format("is not a method (choose from {}, or all)", fmt::join(names, ", ")));
    }
    add(m);
  }
  return chosen;
}

std::vector<std::int32_t> sizes_of(std::string_view list) {
  std::vector<std::int32_t> sizes;
  for (const std::string_view item : items_of(list)) {
    const std::optional<std::int64_t> size = count_of(item, largest_size, true);
    if (!size.has_value()) {
      refuse("--sizes", item,
             fmt::format("is not a size (a whole number from 1 to {}, with an optional k or M)",
                         largest_size));
    }
    const auto n = static_cast<std::int32_t>(*size);
    if (std::find(sizes.begin(), sizes.end(), n) != sizes.end()) {
      refuse("--sizes", item, "is given twice");
    }
    sizes.push_back(n);
  }
  return sizes;
}

std::int64_t searches_of(std::string_view text) {
  const std::optional<std::int64_t> searches = count_of(text, most_searches, true);
  if (!searches.has_value()) {
    refuse("--searches", text,
           fmt::format("is not a number of searches (a whole number from 1 to {}, with an "
                       "optional k or M)",
                       most_searches));
  }
  return *searches;
}

int repetitions_of(std::string_view text) {
  const std::optional<std::int64_t> repetitions = count_of(text, most_repetitions, false);
  if (!repetitions.has_value()) {
    refuse("--repetitions", text,
           fmt::format("is not a number of repetitions (a whole number from 1 to {})",
                       most_repetitions));
  }
  return static_cast<int>(*repetitions);
}

double min_time_of(std::string_view text) {
  double seconds = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(seconds) || seconds <= 0.0 || seconds > longest_min_time) {
    refuse(
        "--min-time", text,
        fmt::format("is not a time in seconds (a number above 0 and up to {})", longest_min_time));
  }
  return seconds;
}

std::int32_t seed_of(std::string_view text) {
  std::int32_t seed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    refuse("--seed", text,
           fmt::format("is not a seed (a whole number from {} to {})",
                       std::numeric_limits<std::int32_t>::min(),
                       std::numeric_limits<std::int32_t>::max()));
  }
  return seed;
}

report_format format_of(std::string_view text) {
  constexpr std::pair<std::string_view, report_format> formats[] = {
      {"table", report_format::table},
      {"csv", report_format::csv},
      {"json", report_format::json},
      {"markdown", report_format::markdown}};
  for (const auto& [name, format] : formats) {
    if (text == name) {
      return format;
    }
  }
  refuse("--format", text, "is not a format (choose from table, csv, json, markdown)");
}

constexpr std::string_view description =
    "velk measures search methods on the ordered list of n entries with the keys 1, 3, ..., "
    "2n - 1: the exact number of key comparisons a method makes and the time it takes per "
    "search.";

constexpr std::string_view footer_text =
    "For each method, size and half (successful: keys 2r - 1, in the list; unsuccessful: keys "
    "2r, not in it) it reports the mean comparisons of the half's searches, drawn as velk_ts "
    "draws them, and the exact mean over every target of the half; then the time per search in "
    "ns, wall clock and CPU, as the median of the repetitions with their min, max and median "
    "absolute deviation, and the number of searches in each repetition; for eytzinger, which "
    "searches a copy of the keys in breadth-first order, the time in ns of building that copy, "
    "outside the timed searches.";

constexpr std::string_view exit_statuses =
    "Exit status: 0 done; 1 a failure while running (no file is changed); 2 bad input, an output "
    "file that cannot be written among it (nothing is measured). An interrupt (SIGINT, SIGTERM, "
    "SIGHUP) ends velk by that signal; each file then holds its old content or the whole new "
    "report, and no new file is left beside it.";

// Help text broken into lines of at most `width` characters at blanks; the help indents each
// continuation line of an option's description under the first.
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

constexpr std::size_t help_width = 100;
constexpr std::size_t option_column = 26;

// Whether a word of the command line reads as an option rather than a value: "-", then a letter
// or another "-". A negative number ("--seed -5") is a value.
bool looks_like_option(std::string_view word) {
  return word.size() > 1 && word[0] == '-' &&
         (word[1] == '-' || std::isalpha(static_cast<unsigned char>(word[1])) != 0);
}

// An option followed by another where its value should be has lost its value: the parser would
// take the next option for it, and that option would be lost in turn. "--output=-x" still gives
// a value that starts with "-".
void refuse_missing_values(const CLI::App& app, int argc, const char* const* argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") {
      return;
    }
    const CLI::Option* option = app.get_option_no_throw(word);
    if (option == nullptr || option->get_items_expected_max() == 0) {
      continue;
    }
    const std::string_view next = argv[i + 1];
    if (looks_like_option(next)) {
      throw bad_input(fmt::format(
          "{}: 1 required {} missing ('{}' is an option; for a value that starts with -, write "
          "{}=VALUE)",
          word, option->get_type_name(), next, word));
    }
    ++i;
  }
}

// Each option once: a second value would silently take the place of the first, and the run
// would measure or write something else than asked.
void refuse_repeated_options(const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    if (option->count() > 1) {
      throw bad_input(
          fmt::format("{}: given more than once (give each option once)", option->get_name()));
    }
  }
}

}  // namespace

command parse_command_line(int argc, const char* const* argv) {
  CLI::App app{wrapped(description, help_width), "velk"};
  app.footer(wrapped(footer_text, help_width) + "\n\n" + wrapped(exit_statuses, help_width));
  app.get_formatter()->column_width(option_column);
  app.allow_extras();
  std::string methods_text(default_methods);
  std::string sizes_text(default_sizes);
  std::string searches_text;
  // The plan's own defaults, which the help shows.
  const plan defaults{};
  std::string repetitions_text = std::to_string(defaults.repetitions);
  std::string min_time_text = fmt::format("{}", defaults.min_time);
  std::string seed_text;
  std::string format_text = "table";
  std::string output_text;
  std::string html_text;
  const auto add = [&app](const char* name, std::string& into, const char* type,
                          const std::string& help) {
    return app.add_option(name, into, wrapped(help, help_width - option_column))
        ->type_name(type)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  };
  add("--methods", methods_text, "LIST",
      "comma-separated: sequential, binary1, recbinary1, binary2, recbinary2 (the library's "
      "textbook searches), branchless, eytzinger, interpolation, exponential (the searches "
      "used in practice today), each with its counting rule; std-find, std-lower-bound "
      "(uncounted baselines on the same entries and targets); or all")
      ->default_str(std::string(default_methods));
  add("--sizes", sizes_text, "LIST",
      fmt::format("comma-separated list sizes, each from 1 to {} entries, with an optional k "
                  "(thousand) or M (million); as much as memory allows",
                  largest_size))
      ->default_str(std::string(default_sizes));
  add("--searches", searches_text, "N",
      fmt::format("searches per half whose comparisons are counted (default: the size, at "
                  "most {}); the timing runs through at least {} targets whatever this is",
                  default_searches_cap, least_stream));
  add("--repetitions", repetitions_text, "N",
      fmt::format("timed repetitions of each row, from 1 to {}", most_repetitions))
      ->default_str(repetitions_text);
  add("--min-time", min_time_text, "SECONDS",
      "the least time of each timed repetition, which sets its number of searches")
      ->default_str(min_time_text);
  add("--seed", seed_text, "N",
      "reset every generator with this 32-bit seed (default: none, each generator in its "
      "default state, as velk_ts)");
  add("--format", format_text, "FORMAT", "table, csv, json (Google Benchmark's) or markdown")
      ->default_str("table");
  add("--output", output_text, "FILE",
      "write the report to FILE, all or nothing, instead of standard output");
  add("--html", html_text, "FILE",
      "also write a page for a browser to FILE, all or nothing: the context, charts of the "
      "comparisons and of the time per search against list size (and of eytzinger's building "
      "time), and every row");
  app.set_version_flag("--version", "velk " VELK_VERSION);

  command result;
  refuse_missing_values(app, argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    result.what = command::action::help;
    result.text = app.help();
    return result;
  } catch (const CLI::CallForVersion& version) {
    result.what = command::action::version;
    result.text = std::string(version.what()) + "\n";
    return result;
  } catch (const CLI::ParseError& error) {
    throw bad_input(error.what());
  }
  refuse_repeated_options(app);
  for (const std::string& extra : app.remaining()) {
    if (extra == "--") {
      continue;
    }
    if (extra.size() > 1 && extra.front() == '-') {
      throw bad_input(fmt::format("unknown option '{}'", extra));
    }
    throw bad_input(fmt::format("unexpected argument '{}'", extra));
  }

  options& chosen = result.settings;
  chosen.measured.methods = methods_of(methods_text);
  chosen.measured.sizes = sizes_of(sizes_text);
  if (app.count("--searches") > 0) {
    chosen.measured.searches = searches_of(searches_text);
  }
  chosen.measured.repetitions = repetitions_of(repetitions_text);
  chosen.measured.min_time = min_time_of(min_time_text);
  if (app.count("--seed") > 0) {
    chosen.measured.seed = seed_of(seed_text);
  }
  chosen.format = format_of(format_text);
  if (app.count("--output") > 0) {
    if (output_text.empty()) {
      refuse("--output", output_text, "is not a file name");
    }
    chosen.output = output_text;
  }
  if (app.count("--html") > 0) {
    if (html_text.empty()) {
      refuse("--html", html_text, "is not a file name");
    }
    if (chosen.output.has_value() && same_file(*chosen.output, html_text)) {
      refuse("--html", html_text, "is the file that --output writes");
    }
    chosen.html = html_text;
  }
  return result;
}

}  // namespace velk_lab
