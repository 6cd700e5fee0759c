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

#include "lab/cli/help.hpp"
#include "lab/cli/key_options.hpp"
#include "lab/cli/run_options.hpp"
#include "lab/cli/values.hpp"
#include "lab/errors.hpp"
#include "lab/io/output.hpp"
#include "lab/measure/crew.hpp"
#include "lab/methods/registry.hpp"

namespace velk_lab {

namespace {

constexpr std::string_view default_methods = "sequential,binary1";
constexpr std::string_view default_sizes = "10,100,1000,10000";
constexpr std::string_view default_keys = "odd";
constexpr int most_repetitions = 100000;
constexpr double longest_min_time = 3600.0;
constexpr std::int64_t most_searches = std::numeric_limits<std::int32_t>::max();

// The names of the methods, or of the formats, as a list for the help and the errors.
template <class Table>
std::string names_of(const Table& table) {
  std::vector<std::string_view> names;
  names.reserve(table.size());
  for (const auto& entry : table) {
    names.push_back(entry.name);
  }
  return fmt::format("{}", fmt::join(names, ", "));
}

std::vector<const method_record*> methods_of(std::string_view list) {
  std::vector<const method_record*> chosen;
  const auto add = [&](const method_record* m) {
    if (std::find(chosen.begin(), chosen.end(), m) != chosen.end()) {
      refuse("--methods", m->name, "is given twice");
    }
    chosen.push_back(m);
  };
  for (const std::string_view item : items_of(list)) {
    if (item == "all") {
      for (const method_record& m : all_methods()) {
        add(&m);
      }
      continue;
    }
    const method_record* m = find_method(item);
    if (m == nullptr) {
      refuse("--methods", item,
             fmt::format("is not a method (choose from {}, or all)", names_of(all_methods())));
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

// Every method of the plan must have a form at the width of every key set.
void check_widths(const plan& measured) {
  for (const key_set& set : measured.key_sets) {
    for (const method_record* m : measured.methods) {
      if ((set.bits == 32 ? m->prepare_32 == nullptr : m->prepare_64 == nullptr)) {
        refuse("--methods", m->name,
               fmt::format("has no {}-bit form, and the {} keys are {}-bit", set.bits, set.name,
                           set.bits));
      }
    }
  }
}

const report_format* format_of(std::string_view text) {
  const report_format* format = find_format(text);
  if (format == nullptr) {
    refuse("--format", text,
           fmt::format("is not a format (choose from {})", names_of(report_formats())));
  }
  return format;
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

// A file name an option gives: not empty.
std::string file_name_of(std::string_view option, const std::string& text) {
  if (text.empty()) {
    refuse(option, text, "is not a file name");
  }
  return text;
}

// The values of the options as given, each with its default where it has one that the help
// shows.
struct option_texts {
  std::string methods{default_methods};
  std::string keys{default_keys};
  std::string key_bits = "32";
  std::string sizes{default_sizes};
  std::string searches;
  std::string repetitions = std::to_string(plan{}.repetitions);
  std::string min_time = fmt::format("{}", plan{}.min_time);
  std::string seed;
  std::string skew;
  std::string save_keys;
  std::string batch = std::to_string(plan{}.settings.batch);
  std::string epsilon = std::to_string(plan{}.settings.epsilon);
  std::string mode{mode_name(plan{}.modes.front())};
  std::string threads = "1";
  bool counters = false;
  std::string format{report_formats().front().name};
  std::string output;
  std::string html;
};

void declare_options(CLI::App& app, option_texts& t) {
  const auto add = [&app](const char* name, std::string& into, const char* type,
                          const std::string& help) {
    return app.add_option(name, into, wrapped(help, help_width - option_column))
        ->type_name(type)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  };
  add("--methods", t.methods, "LIST", methods_help())->default_str(std::string(default_methods));
  add("--keys", t.keys, "LIST", key_kinds_help())->default_str(std::string(default_keys));
  add("--key-bits", t.key_bits, "BITS",
      "the width of the keys the lab makes and of text key files: 32 or 64 (a binary key file "
      "has its own)")
      ->default_str(t.key_bits);
  add("--sizes", t.sizes, "LIST",
      fmt::format("comma-separated list sizes, each from 1 to {} keys, with an optional k "
                  "(thousand) or M (million); as much as memory allows (a key file: at most its "
                  "own keys, evenly spread over it, and all of them by default)",
                  largest_size))
      ->default_str(std::string(default_sizes));
  add("--searches", t.searches, "N",
      fmt::format("searches per half whose comparisons are counted (default: the size, at "
                  "most {}); the timing runs through at least {} targets whatever this is",
                  default_searches_cap, least_stream));
  add("--repetitions", t.repetitions, "N",
      fmt::format("timed repetitions of each row, from 1 to {}", most_repetitions))
      ->default_str(t.repetitions);
  add("--min-time", t.min_time, "SECONDS",
      "the least time of each timed repetition, which sets its number of searches")
      ->default_str(t.min_time);
  add("--seed", t.seed, "N",
      "reset every generator with this 32-bit seed (default: none, each generator in its "
      "default state, as velk_ts)");
  add("--skew", t.skew, "S",
      "draw the successful targets Zipf-distributed with exponent S over the distinct keys, the "
      "hot ones scattered over the list, and the unsuccessful ones likewise over the gaps "
      "(default: uniform)");
  add("--save-keys", t.save_keys, "FILE",
      "also write the run's key set at its largest size to FILE in the binary key format, all or "
      "nothing (the run must have one key set)");
  add("--batch", t.batch, "K",
      fmt::format("the targets that a method's batch form searches at once, in lockstep, from 1 "
                  "to {}",
                  most_batch))
      ->default_str(t.batch);
  add("--epsilon", t.epsilon, "E",
      "the largest error, in positions, of a learned index's model of the keys")
      ->default_str(t.epsilon);
  add("--mode", t.mode, "LIST",
      "comma-separated: throughput (searches independent of each other, the time of a search "
      "among many), latency (each target waits for the answer before it, the time of a lone "
      "search)")
      ->default_str(t.mode);
  add("--threads", t.threads, "LIST",
      fmt::format("comma-separated numbers of threads that search at once, each its own stream "
                  "over the same keys and layout, on processors of their own; each from 1 to {}",
                  processors_available()))
      ->default_str(t.threads);
  app.add_flag("--counters", t.counters,
               wrapped("read hardware counters (cycles, instructions, branch misses, cache "
                       "misses) where the processor allows, and software ones, around each timed "
                       "repetition, per search",
                       help_width - option_column));
  add("--format", t.format, "FORMAT", formats_help())
      ->default_str(std::string(report_formats().front().name));
  add("--output", t.output, "FILE",
      "write the report to FILE, all or nothing, instead of standard output");
  add("--html", t.html, "FILE",
      "also write a page for a browser to FILE, all or nothing: the context, charts of the "
      "comparisons and of the time per search against list size (and of the building time of "
      "the layouts that methods build), and every row");
  app.set_version_flag("--version", "velk " VELK_VERSION);
}

// Parses the command line into `app`; gives the help or the version where they are asked for.
std::optional<command> parse_or_answer(CLI::App& app, int argc, const char* const* argv) {
  refuse_missing_values(app, argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return command{command::action::help, {}, app.help()};
  } catch (const CLI::CallForVersion& version) {
    return command{command::action::version, {}, std::string(version.what()) + "\n"};
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
  return std::nullopt;
}

// The key sets and their sizes, the skew and the saved keys.
void choose_keys(options& chosen, const CLI::App& app, const option_texts& t) {
  const std::optional<int> key_bits =
      app.count("--key-bits") > 0 ? std::optional<int>(key_bits_of(t.key_bits)) : std::nullopt;
  const std::optional<std::vector<std::int32_t>> sizes =
      app.count("--sizes") > 0 ? std::optional(sizes_of(t.sizes)) : std::nullopt;
  chosen.measured.key_sets = key_sets_of(t.keys, key_bits, sizes, sizes_of(default_sizes));
  check_widths(chosen.measured);
  if (app.count("--skew") > 0) {
    chosen.measured.skew = skew_of(t.skew);
  }
  if (app.count("--save-keys") > 0) {
    if (chosen.measured.key_sets.size() != 1) {
      refuse(
          "--save-keys", t.save_keys,
          fmt::format("needs one key set, and --keys gives {}", chosen.measured.key_sets.size()));
    }
    chosen.save_keys = file_name_of("--save-keys", t.save_keys);
    chosen.measured.save_keys = true;
  }
}

// How the searches are timed and driven, and what the methods are told.
void choose_timing(options& chosen, const CLI::App& app, const option_texts& t) {
  plan& measured = chosen.measured;
  if (app.count("--searches") > 0) {
    measured.searches = searches_of(t.searches);
  }
  measured.repetitions = repetitions_of(t.repetitions);
  measured.min_time = min_time_of(t.min_time);
  if (app.count("--seed") > 0) {
    measured.seed = seed_of(t.seed);
  }
  measured.settings.batch = batch_of(t.batch);
  measured.settings.epsilon = epsilon_of(t.epsilon);
  measured.modes = modes_of(t.mode);
  measured.threads = threads_of(t.threads, processors_available());
  if (t.counters) {
    check_counters(perf_event_source());
    measured.counters = true;
  }
}

// The format and the files the reports go to.
void choose_outputs(options& chosen, const CLI::App& app, const option_texts& t) {
  chosen.format = format_of(t.format);
  if (app.count("--output") > 0) {
    chosen.output = file_name_of("--output", t.output);
  }
  if (app.count("--html") > 0) {
    chosen.html = file_name_of("--html", t.html);
    if (chosen.output.has_value() && same_file(*chosen.output, *chosen.html)) {
      refuse("--html", t.html, "is the file that --output writes");
    }
  }
}

}  // namespace

command parse_command_line(int argc, const char* const* argv) {
  CLI::App app{wrapped(help_description, help_width), "velk"};
  app.footer(wrapped(help_footer, help_width) + "\n\n" + wrapped(help_exit_statuses, help_width));
  app.get_formatter()->column_width(option_column);
  app.allow_extras();
  option_texts t;
  declare_options(app, t);
  if (std::optional<command> answered = parse_or_answer(app, argc, argv)) {
    return *answered;
  }
  command result;
  result.settings.measured.methods = methods_of(t.methods);
  choose_keys(result.settings, app, t);
  choose_timing(result.settings, app, t);
  choose_outputs(result.settings, app, t);
  return result;
}

}  // namespace velk_lab
