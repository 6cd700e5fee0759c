// The lab's measuring seams: the counting models against every target searched, the counts of
// the runner against the searches velk_ts makes, the checks of every result, the summary of
// repetitions, and the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "lab/cli/options.hpp"
#include "lab/errors.hpp"
#include "lab/lab.hpp"
#include "lab/measure/runner.hpp"
#include "lab/measure/statistics.hpp"
#include "lab/methods/models.hpp"
#include "lab/methods/registry.hpp"
#include "random/random_int.hpp"

namespace {

using velk_lab::comparison_totals;
using velk_lab::half;
using velk_lab::method_record;
using velk_lab::row;

std::vector<std::uint32_t> odd_keys(std::int32_t n) {
  std::vector<std::uint32_t> keys(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = static_cast<std::uint32_t>(2 * i + 1);
  }
  return keys;
}

std::vector<const method_record*> counted_methods() {
  std::vector<const method_record*> counted;
  for (const method_record& m : velk_lab::all_methods()) {
    if (!m.baseline()) {
      counted.push_back(&m);
    }
  }
  return counted;
}

// Every key of the list and every key one above each, each searched once; no search may count
// more than the method's bound.
comparison_totals brute_force(const method_record& m, std::int32_t n) {
  const std::vector<std::uint32_t> keys = odd_keys(n);
  const auto searched = m.prepare<std::uint32_t>()(keys, {});
  const std::int64_t bound = m.bound(n);
  comparison_totals totals;
  for (std::uint32_t r = 1; std::cmp_less_equal(r, n); ++r) {
    const velk_lab::counted_answer hit = searched->search(2 * r - 1);
    const velk_lab::counted_answer miss = searched->search(2 * r);
    EXPECT_LE(hit.comparisons, bound) << 2 * r - 1;
    EXPECT_LE(miss.comparisons, bound) << 2 * r;
    totals.successful += hit.comparisons;
    totals.unsuccessful += miss.comparisons;
  }
  return totals;
}

TEST(LabModels, EveryModelIsTheSumOverEveryTarget) {
  std::vector<std::int32_t> sizes;
  for (std::int32_t n = 1; n <= 130; ++n) {
    sizes.push_back(n);
  }
  for (const std::int32_t n : {255, 256, 257, 1000, 4097, 10000, 12345}) {
    sizes.push_back(n);
  }
  for (const method_record* m : counted_methods()) {
    if (m->model == nullptr) {
      continue;
    }
    for (const std::int32_t n : sizes) {
      SCOPED_TRACE(m->name + " at " + std::to_string(n));
      EXPECT_EQ(m->model(n), brute_force(*m, n));
    }
  }
}

TEST(LabModels, LogarithmicModelsHoldFarBeyondTheBoundedList) {
  for (const char* name : {"binary1", "binary2", "branchless", "eytzinger", "exponential"}) {
    const method_record& m = *velk_lab::find_method(name);
    for (const std::int32_t n : {1000000, 1048576, 1048577}) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(n));
      EXPECT_EQ(m.model(n), brute_force(m, n));
    }
  }
}

TEST(LabModels, KnownTotals) {
  // binary1 on keys 1..19: 25 over the keys; 29 over 0, 2, ..., 20, of which 0 costs one.
  EXPECT_EQ(velk_lab::binary1_model(10), (comparison_totals{25, 28}));
  EXPECT_EQ(velk_lab::sequential_model(12345), (comparison_totals{76205685, 152399025}));
  // The largest size: no overflow; about half of the 30 probes find a smaller key, plus the
  // final test.
  const comparison_totals largest = velk_lab::binary1_model(velk_lab::largest_size);
  EXPECT_EQ(largest.successful / velk_lab::largest_size, 15);
  EXPECT_EQ(largest.unsuccessful / velk_lab::largest_size, 16);
  EXPECT_EQ(velk_lab::sequential_model(velk_lab::largest_size).unsuccessful,
            std::int64_t{velk_lab::largest_size} * velk_lab::largest_size);
}

// The odd keys at these sizes, as the default run has them.
velk_lab::key_set odd_set(std::vector<std::int32_t> sizes) {
  velk_lab::key_set set;
  set.name = "odd";
  set.kind = &velk_lab::key_kinds().front();
  set.sizes = std::move(sizes);
  return set;
}

// A plan that measures quickly: one short repetition.
velk_lab::plan quick_plan(std::vector<const method_record*> methods,
                          std::vector<std::int32_t> sizes) {
  velk_lab::plan p;
  p.methods = std::move(methods);
  p.key_sets = {odd_set(std::move(sizes))};
  p.repetitions = 1;
  p.min_time = 1e-4;
  return p;
}

std::vector<row> measure_quietly(const velk_lab::plan& p) {
  velk_lab::progress silent(false);
  return velk_lab::measure(p, silent).rows;
}

// The half's searches as velk_ts makes them: one generator over 1..n, the successful half's
// draws first, then the unsuccessful half's.
comparison_totals counted_as_velk_ts_would(const method_record& m, std::int32_t n,
                                           std::int64_t searches,
                                           std::optional<std::int32_t> seed) {
  const std::vector<std::uint32_t> keys = odd_keys(n);
  const auto searched = m.prepare<std::uint32_t>()(keys, {});
  const random_int::range ri_range(n);
  random_int::generator g = ri_range.make_generator();
  if (seed.has_value()) {
    ri_range.reset(g, *seed);
  }
  comparison_totals totals;
  for (std::int64_t i = 0; i < searches; ++i) {
    const auto r = static_cast<std::uint32_t>(ri_range.random(g));
    totals.successful += searched->search(2 * r - 1).comparisons;
  }
  for (std::int64_t i = 0; i < searches; ++i) {
    const auto r = static_cast<std::uint32_t>(ri_range.random(g));
    totals.unsuccessful += searched->search(2 * r).comparisons;
  }
  return totals;
}

TEST(LabRunner, RowsComeInMethodSizeHalfOrderWithTheirCountsAndModels) {
  const std::vector<std::int32_t> sizes{1, 10, 1000, 12345};
  const std::vector<const method_record*> methods = counted_methods();
  const std::vector<row> rows = measure_quietly(quick_plan(methods, sizes));
  ASSERT_EQ(rows.size(), methods.size() * sizes.size() * 2);
  std::size_t at = 0;
  for (const method_record* m : methods) {
    for (const std::int32_t n : sizes) {
      const std::int64_t searches = std::min(n, 10000);
      const comparison_totals counted = counted_as_velk_ts_would(*m, n, searches, std::nullopt);
      const comparison_totals expected = brute_force(*m, n);
      for (const half which : {half::successful, half::unsuccessful}) {
        const row& r = rows[at++];
        SCOPED_TRACE(m->name + " at " + std::to_string(n));
        const bool successful = which == half::successful;
        EXPECT_EQ(r.method, m->name);
        EXPECT_EQ(r.keys, "odd");
        EXPECT_EQ(r.size, n);
        EXPECT_EQ(r.which, which);
        EXPECT_TRUE(r.counted);
        EXPECT_EQ(r.searches, searches);
        EXPECT_EQ(r.comparisons, successful ? counted.successful : counted.unsuccessful);
        EXPECT_EQ(r.expected_comparisons, successful ? expected.successful : expected.unsuccessful);
        EXPECT_EQ(r.expected_targets, n);
      }
    }
  }
}

// The methods of today beside binary1 from one entry to ten million: every result checked (a
// wrong one or a count beyond a method's bound would end the run), the counts those of the
// half's searches, and the layout's building time on eytzinger's rows only.
TEST(LabRunner, MethodsOfTodayFromOneEntryToTenMillion) {
  const std::vector<std::int32_t> sizes{1, 2, 3, 10, 1000, 100000, 10000000};
  std::vector<const method_record*> methods;
  for (const char* name : {"branchless", "eytzinger", "interpolation", "exponential", "binary1"}) {
    methods.push_back(velk_lab::find_method(name));
  }
  const std::vector<row> rows = measure_quietly(quick_plan(methods, sizes));
  ASSERT_EQ(rows.size(), methods.size() * sizes.size() * 2);
  for (const row& r : rows) {
    SCOPED_TRACE(std::string(r.method) + " at " + std::to_string(r.size));
    const method_record& m = *velk_lab::find_method(r.method);
    const auto bound = static_cast<double>(m.bound(r.size));
    EXPECT_LE(r.mean_comparisons(), bound);
    ASSERT_TRUE(r.has_expected());
    EXPECT_LE(r.mean_expected_comparisons(), bound);
    EXPECT_EQ(r.layout_ns.has_value(), r.method == "eytzinger");
    if (r.layout_ns.has_value()) {
      EXPECT_GT(*r.layout_ns, 0.0);
    }
  }
  const auto row_at = [&](std::string_view name, std::int32_t size) {
    return *std::find_if(rows.begin(), rows.end(),
                         [&](const row& r) { return r.method == name && r.size == size; });
  };
  const comparison_totals counted =
      counted_as_velk_ts_would(*velk_lab::find_method("eytzinger"), 10000000, 10000, std::nullopt);
  EXPECT_EQ(row_at("eytzinger", 10000000).comparisons, counted.successful);
  EXPECT_EQ(row_at("branchless", 10000000).comparisons, 10000 * 25);
  // On the odd keys interpolation's first probe lands on the target's place: 3 each.
  EXPECT_EQ(row_at("interpolation", 10000000).expected_comparisons, 3 * 10000000 - 1);
}

TEST(LabRunner, SequentialAndBinary1CountWhatVelkTsReports) {
  struct report_case {
    const char* method;
    std::int32_t size;
    std::int64_t successful;
    std::int64_t unsuccessful;
  };
  // The totals behind velk_ts's averages: 4.40000E+00 is 44 over 10 searches, and so on.
  const report_case cases[] = {
      {"sequential", 10, 44, 100},
      {"sequential", 100, 4854, 10000},
      {"sequential", 1000, 509984, 1000000},
      {"sequential", 10000, 50106558, 100000000},
      {"binary1", 10, 23, 33},
      {"binary1", 100, 424, 423},
      {"binary1", 1000, 5923, 5917},
      {"binary1", 10000, 74415, 74621},
  };
  const std::vector<row> rows = measure_quietly(
      quick_plan({velk_lab::find_method("sequential"), velk_lab::find_method("binary1")},
                 {10, 100, 1000, 10000}));
  ASSERT_EQ(rows.size(), 16U);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const report_case& c = cases[i];
    SCOPED_TRACE(std::string(c.method) + " at " + std::to_string(c.size));
    EXPECT_EQ(rows[2 * i].method, c.method);
    EXPECT_EQ(rows[2 * i].size, c.size);
    EXPECT_EQ(rows[2 * i].comparisons, c.successful);
    EXPECT_EQ(rows[2 * i + 1].comparisons, c.unsuccessful);
  }
}

TEST(LabRunner, ASeedAndAGivenNumberOfSearchesDrawOtherTargets) {
  const method_record& binary2 = *velk_lab::find_method("binary2");
  for (const std::optional<std::int32_t> seed :
       {std::optional<std::int32_t>(), std::optional<std::int32_t>(-7),
        std::optional<std::int32_t>(2024)}) {
    velk_lab::plan p = quick_plan({&binary2}, {777});
    p.seed = seed;
    p.searches = 100000;  // more than the timing's least stream
    const std::vector<row> rows = measure_quietly(p);
    ASSERT_EQ(rows.size(), 2U);
    const comparison_totals counted = counted_as_velk_ts_would(binary2, 777, 100000, seed);
    EXPECT_EQ(rows[0].searches, 100000);
    EXPECT_EQ(rows[0].comparisons, counted.successful);
    EXPECT_EQ(rows[1].comparisons, counted.unsuccessful);
  }
}

TEST(LabRunner, BaselinesAreTimedButNotCounted) {
  velk_lab::plan p = quick_plan(
      {velk_lab::find_method("std-find"), velk_lab::find_method("std-lower-bound")}, {50});
  p.repetitions = 3;
  for (const row& r : measure_quietly(p)) {
    EXPECT_FALSE(r.counted);
    EXPECT_EQ(r.comparisons, 0);
    ASSERT_EQ(r.wall_ns.size(), 3U);
    ASSERT_EQ(r.cpu_ns.size(), 3U);
    EXPECT_GE(r.timed_searches, 1);
    EXPECT_GT(r.wall.median, 0.0);
    EXPECT_LE(r.wall.min, r.wall.median);
    EXPECT_LE(r.wall.median, r.wall.max);
  }
}

// Methods that go wrong on one target each, like a broken algorithm would, the rest of the time
// a plain binary search that counts its probes.
template <class Key, std::uint32_t target_of_fault, bool found, std::int64_t position,
          std::int64_t comparisons>
class faulty {
 public:
  explicit faulty(std::span<const Key> keys) : keys_(keys) {}
  velk_lab::answer search(Key target, velk_lab::counter& counted) const {
    if (target == target_of_fault) {
      counted.add(comparisons);
      return {found, position};
    }
    const auto at = std::lower_bound(keys_.begin(), keys_.end(), target);
    counted.add(1);
    return {at != keys_.end() && *at == target, at - keys_.begin() + 1};
  }
  static std::int64_t bound(std::int64_t n) { return n; }

 private:
  std::span<const Key> keys_;
};
template <class Key>
using misses_key_7 = faulty<Key, 7, false, 0, 1>;
template <class Key>
using finds_key_8 = faulty<Key, 8, true, 4, 1>;
template <class Key>
using misplaces_key_19 = faulty<Key, 19, true, 9, 1>;
template <class Key>
using overcounts_key_5 = faulty<Key, 5, true, 3, 11>;

template <class Key>
class throws_on_key_3 {
 public:
  explicit throws_on_key_3(std::span<const Key> keys) : keys_(keys) {}
  [[nodiscard]] velk_lab::answer search(Key target) const {
    if (target == 3) {
      throw std::runtime_error("key 3 is not for me");
    }
    const auto at = std::lower_bound(keys_.begin(), keys_.end(), target);
    return {at != keys_.end() && *at == target, at - keys_.begin() + 1};
  }

 private:
  std::span<const Key> keys_;
};

TEST(LabRunner, AFaultOfAMethodEndsTheRunAndSaysWhatHappened) {
  struct wrong_case {
    method_record faulty;
    const char* message = nullptr;
  };
  const wrong_case cases[] = {
      {velk_lab::record_of<misses_key_7>("misses-7", ""),
       "misses-7 gave a wrong answer on the odd keys at size 10 for key 7: expected position 4, "
       "given not found"},
      {velk_lab::record_of<overcounts_key_5>("overcounts-5", ""),
       "overcounts-5 counted 11 comparisons on the odd keys at size 10 for key 5, beyond its "
       "bound of 10"},
      {velk_lab::record_of<finds_key_8>("finds-8", ""),
       "finds-8 gave a wrong answer on the odd keys at size 10 for key 8: expected not found, "
       "given position 4"},
      {velk_lab::record_of<misplaces_key_19>("misplaces-19", ""),
       "misplaces-19 gave a wrong answer on the odd keys at size 10 for key 19: expected "
       "position 10, given position 9"},
      {velk_lab::record_of<throws_on_key_3>("throws-3", ""),
       "throws-3 threw an exception at size 10: key 3 is not for me"},
  };
  for (const wrong_case& c : cases) {
    try {
      measure_quietly(quick_plan({&c.faulty}, {10}));
      ADD_FAILURE() << "no failure for " << c.faulty.name;
    } catch (const velk_lab::run_failure& failure) {
      EXPECT_STREQ(failure.what(), c.message);
    }
  }
}

TEST(LabStatistics, MedianSpreadMeanAndDeviation) {
  const std::vector<double> odd{4.0, 1.0, 100.0, 3.0, 2.0};
  const velk_lab::time_summary s = velk_lab::summarize(odd);
  EXPECT_EQ(s.median, 3.0);
  EXPECT_EQ(s.min, 1.0);
  EXPECT_EQ(s.max, 100.0);
  EXPECT_DOUBLE_EQ(s.mad_percent, 100.0 / 3.0);  // deviations 1, 2, 97, 0, 1: median 1
  EXPECT_EQ(s.mean, 22.0);
  EXPECT_DOUBLE_EQ(s.stddev, std::sqrt(7610.0 / 4.0));

  const std::vector<double> even{2.0, 8.0, 4.0, 6.0};
  const velk_lab::time_summary e = velk_lab::summarize(even);
  EXPECT_EQ(e.median, 5.0);
  EXPECT_DOUBLE_EQ(e.mad_percent, 40.0);  // deviations 3, 3, 1, 1: median 2

  const std::vector<double> one{7.5};
  const velk_lab::time_summary o = velk_lab::summarize(one);
  EXPECT_EQ(o.median, 7.5);
  EXPECT_EQ(o.mad_percent, 0.0);
  EXPECT_EQ(o.stddev, 0.0);
}

velk_lab::command parse(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "velk");
  return velk_lab::parse_command_line(static_cast<int>(arguments.size()), arguments.data());
}

std::vector<std::string_view> names_of(const std::vector<const method_record*>& methods) {
  std::vector<std::string_view> names;
  names.reserve(methods.size());
  for (const method_record* m : methods) {
    names.push_back(m->name);
  }
  return names;
}

TEST(LabOptions, Defaults) {
  const velk_lab::command c = parse({});
  EXPECT_EQ(c.what, velk_lab::command::action::measure);
  const velk_lab::options& o = c.settings;
  EXPECT_EQ(names_of(o.measured.methods), (std::vector<std::string_view>{"sequential", "binary1"}));
  ASSERT_EQ(o.measured.key_sets.size(), 1U);
  EXPECT_EQ(o.measured.key_sets[0].name, "odd");
  EXPECT_EQ(o.measured.key_sets[0].bits, 32);
  EXPECT_EQ(o.measured.key_sets[0].sizes, (std::vector<std::int32_t>{10, 100, 1000, 10000}));
  EXPECT_FALSE(o.measured.searches.has_value());
  EXPECT_EQ(o.measured.repetitions, 10);
  EXPECT_EQ(o.measured.min_time, 0.1);
  EXPECT_FALSE(o.measured.seed.has_value());
  EXPECT_EQ(o.format->name, "table");
  EXPECT_FALSE(o.output.has_value());
  EXPECT_FALSE(o.html.has_value());
}

TEST(LabOptions, EveryOptionTakesItsValue) {
  const velk_lab::command c =
      parse({"--methods", "all", "--sizes=1, 10k,1M,1073741823", "--searches", "2k",
             "--repetitions", "3", "--min-time", "2.5e-3", "--seed", "-2147483648", "--output",
             "out.json", "--format", "markdown", "--html", "page.html"});
  const velk_lab::options& o = c.settings;
  // "all": every method, in the order of the table (which LabMethods checks against the docs).
  std::vector<const method_record*> every;
  for (const method_record& m : velk_lab::all_methods()) {
    every.push_back(&m);
  }
  EXPECT_EQ(names_of(o.measured.methods), names_of(every));
  EXPECT_EQ(o.measured.key_sets[0].sizes,
            (std::vector<std::int32_t>{1, 10000, 1000000, 1073741823}));
  EXPECT_EQ(o.measured.searches, 2000);
  EXPECT_EQ(o.measured.repetitions, 3);
  EXPECT_EQ(o.measured.min_time, 2.5e-3);
  EXPECT_EQ(o.measured.seed, -2147483648);
  EXPECT_EQ(o.format->name, "markdown");
  EXPECT_EQ(o.output, "out.json");
  EXPECT_EQ(o.html, "page.html");
  // A device takes both reports in turn; only a file that one would replace is refused.
  EXPECT_EQ(parse({"--output", "/dev/null", "--html", "/dev/null"}).settings.html, "/dev/null");
  // A value that starts with "-" is one when it cannot be an option, or is given with "=".
  EXPECT_EQ(parse({"--seed", "-5"}).settings.measured.seed, -5);
  EXPECT_EQ(parse({"--output=--html"}).settings.output, "--html");
}

TEST(LabOptions, HelpAndVersion) {
  const velk_lab::command help = parse({"--sizes", "10", "--help"});
  EXPECT_EQ(help.what, velk_lab::command::action::help);
  for (const char* shown :
       {"--methods LIST=sequential,binary1", "--sizes LIST=10,100,1000,10000", "--searches N",
        "default: the size", "--repetitions N=10", "--min-time SECONDS=0.1", "--seed N",
        "default state", "--format FORMAT=table", "--output FILE", "--html FILE", "--version",
        "Exit status"}) {
    EXPECT_NE(help.text.find(shown), std::string::npos) << shown;
  }
  const velk_lab::command version = parse({"--version"});
  EXPECT_EQ(version.what, velk_lab::command::action::version);
  EXPECT_EQ(version.text, "velk " VELK_VERSION "\n");
}

TEST(LabOptions, BadInputNamesTheOptionAndTheValue) {
  struct bad_case {
    std::vector<const char*> arguments;
    std::string message;
  };
  // Every method in the table's order, then "all".
  std::string choices;
  for (const method_record& m : velk_lab::all_methods()) {
    choices += m.name + ", ";
  }
  choices += "or all)";
  const bad_case cases[] = {
      {{"--methods", "binary3"}, "--methods: 'binary3' is not a method (choose from " + choices},
      {{"--methods", "binary1,"}, "--methods: '' is not a method (choose from " + choices},
      {{"--methods", "all,binary2"}, "--methods: 'binary2' is given twice"},
      {{"--sizes", "10,ten"},
       "--sizes: 'ten' is not a size (a whole number from 1 to 1073741823, with an optional k "
       "or M)"},
      {{"--sizes", "0"},
       "--sizes: '0' is not a size (a whole number from 1 to 1073741823, with an optional k or "
       "M)"},
      {{"--sizes", "1074M"},
       "--sizes: '1074M' is not a size (a whole number from 1 to 1073741823, with an optional k "
       "or M)"},
      {{"--sizes", "99999999999999999999"},
       "--sizes: '99999999999999999999' is not a size (a whole number from 1 to 1073741823, "
       "with an optional k or M)"},
      {{"--sizes", "1k,1000"}, "--sizes: '1000' is given twice"},
      {{"--searches", "1.5k"},
       "--searches: '1.5k' is not a number of searches (a whole number from 1 to 2147483647, "
       "with an optional k or M)"},
      {{"--repetitions", "0"},
       "--repetitions: '0' is not a number of repetitions (a whole number from 1 to 100000)"},
      {{"--repetitions", "2k"},
       "--repetitions: '2k' is not a number of repetitions (a whole number from 1 to 100000)"},
      {{"--min-time", "0"},
       "--min-time: '0' is not a time in seconds (a number above 0 and up to 3600)"},
      {{"--min-time", "inf"},
       "--min-time: 'inf' is not a time in seconds (a number above 0 and up to 3600)"},
      {{"--min-time", "1s"},
       "--min-time: '1s' is not a time in seconds (a number above 0 and up to 3600)"},
      {{"--seed", "1.5"},
       "--seed: '1.5' is not a seed (a whole number from -2147483648 to 2147483647)"},
      {{"--seed", "2147483648"},
       "--seed: '2147483648' is not a seed (a whole number from -2147483648 to 2147483647)"},
      {{"--format", "JSON"},
       "--format: 'JSON' is not a format (choose from table, csv, json, markdown)"},
      {{"--output="}, "--output: 1 required FILE missing"},
      {{"--html", ""}, "--html: '' is not a file name"},
      {{"--output", "r.html", "--html", "./r.html"},
       "--html: './r.html' is the file that --output writes"},
      {{"--sizes"}, "--sizes: 1 required LIST missing"},
      {{"--sizes", "--methods", "binary1"},
       "--sizes: 1 required LIST missing ('--methods' is an option; for a value that starts with "
       "-, write --sizes=VALUE)"},
      {{"--seed", "-x", "--sizes", "10"},
       "--seed: 1 required N missing ('-x' is an option; for a value that starts with -, write "
       "--seed=VALUE)"},
      {{"--sizes", "10", "--sizes=20"}, "--sizes: given more than once (give each option once)"},
      {{"--format", "csv", "--format", "csv"},
       "--format: given more than once (give each option once)"},
      {{"--size", "10"}, "unknown option '--size'"},
      {{"10"}, "unexpected argument '10'"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    try {
      parse(c.arguments);
      ADD_FAILURE() << "accepted";
    } catch (const velk_lab::bad_input& refused) {
      EXPECT_EQ(refused.what(), c.message);
    }
  }
}

}  // namespace
