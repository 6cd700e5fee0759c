// What a run of the lab produces: one row per method, size and half, and the context the rows
// were measured in. Every reporter takes exactly these two and measures nothing itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lab/measure/counters.hpp"
#include "lab/measure/drive.hpp"
#include "search/aligned_array.hpp"

namespace velk_lab {

// The two halves of a test: keys 2r - 1, which are in the list, and keys 2r, which are not.
enum class half { successful, unsuccessful };

// "successful" or "unsuccessful".
std::string_view half_name(half which);

// The arguments as one line that a POSIX shell reads back into the same arguments: each one
// that holds anything but letters, digits and _ . / = , : + - in single quotes, or, when it
// holds a control character (a line feed would split the line), in $'...' with \n, \t, \\,
// \' and \xHH for the other control bytes.
std::string command_line_text(const std::vector<std::string>& arguments);

// Nanoseconds per search over the repetitions of one row.
struct time_summary {
  double median = 0.0;
  double min = 0.0;
  double max = 0.0;
  double mad_percent = 0.0;  // median absolute deviation, as a percentage of the median
  double mean = 0.0;
  double stddev = 0.0;  // sample standard deviation (over repetitions - 1)
};

// One method on one list size, one half.
struct row {
  std::string_view method;  // the method's name in the method table
  std::string keys;         // the key set's name, a copy: rows outlive the plan that named it
  int key_bits = 32;        // the width of its keys
  drive_mode mode = drive_mode::throughput;
  int threads = 1;        // searching at once, each through its own stream
  std::int32_t size = 0;  // keys in the list
  half which = half::successful;
  // Whether the method counts its comparisons; an uncounted baseline has no comparison figures.
  bool counted = false;
  // The half's searches (the targets velk_ts would draw) and their comparisons in all.
  std::int64_t searches = 0;
  std::int64_t comparisons = 0;
  // The comparisons of searching every target of the half once, and how many targets those are;
  // none where working it out would take too long.
  std::optional<std::int64_t> expected_comparisons;
  std::int64_t expected_targets = 0;
  // For a method that searches a layout of its own built from the list (the eytzinger order), the
  // wall time in ns of building it for this size, allocation included, outside the timed
  // searches: the median of up to `repetitions` builds, as many as fit in the minimum time and at
  // least one. Both halves search the same layout. None for the other methods.
  std::optional<double> layout_ns;
  // The bytes of that layout; none for the other methods.
  std::optional<std::int64_t> layout_bytes;
  // Searches in each timed repetition (those of the last; a repetition that fell short of the
  // minimum time was run again with more), and the searches and time per search of each.
  std::int64_t timed_searches = 0;
  std::vector<std::int64_t> repetition_searches;
  std::vector<double> wall_ns;  // within a thread
  std::vector<double> cpu_ns;
  std::vector<double> throughputs;               // searches per second, every thread together
  std::vector<counter_values> counter_readings;  // per search
  time_summary wall;
  time_summary cpu;
  double searches_per_second = 0.0;  // the median of the repetitions
  counter_values counters{};         // each the median, where every repetition read it

  // The exact means, divided only here.
  [[nodiscard]] double mean_comparisons() const {
    return static_cast<double>(comparisons) / static_cast<double>(searches);
  }
  // Whether the row has an expected mean to show.
  [[nodiscard]] bool has_expected() const {
    return counted && expected_comparisons.has_value() && expected_targets > 0;
  }
  [[nodiscard]] double mean_expected_comparisons() const {
    return static_cast<double>(expected_comparisons.value_or(0)) /
           static_cast<double>(expected_targets);
  }
};

// A key set of the run, as the context names it.
// As the context says whether huge pages were given: "given", "not given", "unknown".
std::string_view huge_pages_said(velk_sr::memory::huge_pages given);

struct key_set_context {
  std::string name;
  int bits = 32;
  std::string made;  // how its keys and targets were made, in words
  // Its keys' cumulative distribution at its largest size: points of (key, rank) scaled to 0..1.
  std::vector<std::pair<double, double>> cumulative;
};

// Where and how the rows were measured.
struct run_context {
  std::string date;       // when the run began: local time, ISO 8601 with the UTC offset
  std::string host;       // the machine's host name
  std::string processor;  // the processor's model name, as the system gives it
  int cpus = 0;           // processors online
  std::string compiler;
  std::string build_type;            // the build configuration, e.g. RelWithDebInfo
  bool assertions = false;           // whether the build checks assert()
  std::string version;               // velk's version
  std::optional<std::int32_t> seed;  // none: every generator in its default state
  int repetitions = 0;
  double min_time = 0.0;       // seconds, the least time of each repetition
  std::optional<double> skew;  // the Zipf exponent of the targets; none: uniform
  std::vector<key_set_context> key_sets;
  // Whether the system gave transparent huge pages to the lists of 2 MiB or more, which ask for
  // them; none when no list was that large.
  std::optional<velk_sr::memory::huge_pages> huge_pages;
  std::vector<std::string> command_line;  // the arguments as given, program name first
};

}  // namespace velk_lab
