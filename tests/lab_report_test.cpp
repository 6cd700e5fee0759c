// The reporters: the exact text of each format for the same rows and context.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "lab/measure/statistics.hpp"
#include "lab/report/reports.hpp"
#include "lab_samples.hpp"

namespace {

using velk_lab::half;
using velk_lab::row;

row measured_row(std::string_view method, std::int32_t size, half which, bool counted,
                 std::vector<double> wall, std::vector<double> cpu,
                 std::optional<double> layout_ns = std::nullopt) {
  row r;
  r.method = method;
  r.keys = "odd";
  r.size = size;
  r.which = which;
  r.counted = counted;
  r.searches = 10;
  r.comparisons = counted ? 23 : 0;
  if (counted) {
    r.expected_comparisons = 25;
  }
  r.expected_targets = size;
  r.timed_searches = 2500000;
  r.wall_ns = std::move(wall);
  r.repetition_searches.assign(r.wall_ns.size(), r.timed_searches);
  r.cpu_ns = std::move(cpu);
  r.wall = velk_lab::summarize(r.wall_ns);
  r.cpu = velk_lab::summarize(r.cpu_ns);
  r.layout_ns = layout_ns;
  return r;
}

const std::vector<row>& sample_rows() {
  static const std::vector<row> rows{
      measured_row("binary1", 10, half::successful, true, {4.5, 5.0, 4.0}, {4.25, 5.0, 4.0}),
      measured_row("binary1", 10, half::unsuccessful, true, {18.5, 17.0, 21.0}, {18.0, 17.0, 20.0}),
      measured_row("std-lower-bound", 10, half::successful, false, {1234.5, 1250.0, 1200.0},
                   {1234.0, 1250.0, 1200.0}),
      measured_row("std-lower-bound", 10, half::unsuccessful, false, {81.25, 80.0, 90.0},
                   {81.0, 80.0, 90.0}),
      measured_row("eytzinger", 10, half::successful, true, {3.5, 3.0, 4.0}, {3.5, 3.0, 4.0},
                   1234.5),
  };
  return rows;
}

using velk_test::sample_context;

TEST(LabReports, Table) {
  EXPECT_EQ(
      velk_lab::table_report(sample_context(), sample_rows()),
      "velk 1.0.0 on lab-host (Some CPU @ 2.00GHz, 2 CPUs), 2025-03-04T05:06:07+01:00\n"
      "GCC 12.2.0, RelWithDebInfo build; seed 42; 3 repetitions of at least 0.25 s\n"
      "keys odd: 32-bit keys 1, 3, ..., 2n - 1; targets as velk_ts draws them\n"
      "velk --seed 42 --sizes 10 --methods binary1,std-lower-bound --repetitions 3 "
      "--min-time 0.25 --output 'my results.txt'\n"
      "\n"
      "method           keys  size  half          searches  comparisons  expected  wall ns  "
      "wall min  wall max  wall MAD  cpu ns  cpu min  cpu max  cpu MAD  timed searches  "
      "layout ns\n"
      "binary1          odd     10  successful          10          2.3       2.5     4.50      "
      "4.00      5.00     11.1%    4.25     4.00     5.00     5.9%         2500000          "
      "-\n"
      "binary1          odd     10  unsuccessful        10          2.3       2.5     18.5      "
      "17.0      21.0      8.1%    18.0     17.0     20.0     5.6%         2500000          "
      "-\n"
      "std-lower-bound  odd     10  successful          10            -         -     1234      "
      "1200      1250      1.3%    1234     1200     1250     1.3%         2500000          "
      "-\n"
      "std-lower-bound  odd     10  unsuccessful        10            -         -     81.2      "
      "80.0      90.0      1.5%    81.0     80.0     90.0     1.2%         2500000          "
      "-\n"
      "eytzinger        odd     10  successful          10          2.3       2.5     3.50      "
      "3.00      4.00     14.3%    3.50     3.00     4.00    14.3%         2500000       "
      "1234\n");
}

TEST(LabReports, Csv) {
  EXPECT_EQ(
      velk_lab::csv_report(sample_context(), sample_rows()),
      "method,keys,key_bits,size,half,searches,comparisons,expected_comparisons,repetitions,"
      "timed_searches,wall_ns_median,wall_ns_min,wall_ns_max,wall_mad_percent,"
      "cpu_ns_median,cpu_ns_min,cpu_ns_max,cpu_mad_percent,layout_ns\n"
      "binary1,odd,32,10,successful,10,2.3,2.5,3,2500000,4.5,4,5,11.11111111111111,4.25,4,5,"
      "5.882352941176471,\n"
      "binary1,odd,32,10,unsuccessful,10,2.3,2.5,3,2500000,18.5,17,21,8.108108108108109,18,17,20,"
      "5.555555555555555,\n"
      "std-lower-bound,odd,32,10,successful,10,,,3,2500000,1234.5,1200,1250,1.2555690562980963,"
      "1234,1200,1250,1.2965964343598055,\n"
      "std-lower-bound,odd,32,10,unsuccessful,10,,,3,2500000,81.25,80,90,1.5384615384615385,81,"
      "80,90,1.2345679012345678,\n"
      "eytzinger,odd,32,10,successful,10,2.3,2.5,3,2500000,3.5,3,4,14.285714285714286,3.5,3,4,"
      "14.285714285714286,1234.5\n");
}

TEST(LabReports, Markdown) {
  EXPECT_EQ(
      velk_lab::markdown_report(sample_context(), sample_rows()),
      "| method | keys | size | half | searches | comparisons | expected | wall ns | wall min | "
      "wall max | wall MAD | cpu ns | cpu min | cpu max | cpu MAD | timed searches | "
      "layout ns |\n"
      "|---|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
      "| binary1 | odd | 10 | successful | 10 | 2.3 | 2.5 | 4.50 | 4.00 | 5.00 | 11.1% | 4.25 | "
      "4.00 | 5.00 | 5.9% | 2500000 | - |\n"
      "| binary1 | odd | 10 | unsuccessful | 10 | 2.3 | 2.5 | 18.5 | 17.0 | 21.0 | 8.1% | 18.0 | "
      "17.0 | 20.0 | 5.6% | 2500000 | - |\n"
      "| std-lower-bound | odd | 10 | successful | 10 | - | - | 1234 | 1200 | 1250 | 1.3% | 1234 "
      "| 1200 | 1250 | 1.3% | 2500000 | - |\n"
      "| std-lower-bound | odd | 10 | unsuccessful | 10 | - | - | 81.2 | 80.0 | 90.0 | 1.5% | 81.0 "
      "| 80.0 | 90.0 | 1.2% | 2500000 | - |\n"
      "| eytzinger | odd | 10 | successful | 10 | 2.3 | 2.5 | 3.50 | 3.00 | 4.00 | 14.3% | 3.50 | "
      "3.00 | 4.00 | 14.3% | 2500000 | 1234 |\n");
}

TEST(LabReports, JsonIsGoogleBenchmarksDocument) {
  const auto document =
      nlohmann::json::parse(velk_lab::json_report(sample_context(), sample_rows()));
  const nlohmann::json& context = document.at("context");
  EXPECT_EQ(context.at("date"), "2025-03-04T05:06:07+01:00");
  EXPECT_EQ(context.at("host_name"), "lab-host");
  EXPECT_EQ(context.at("executable"), "velk");
  EXPECT_EQ(context.at("num_cpus"), 2);
  EXPECT_EQ(context.at("processor"), "Some CPU @ 2.00GHz");
  EXPECT_EQ(context.at("library_build_type"), "release");
  EXPECT_EQ(context.at("build_type"), "RelWithDebInfo");
  EXPECT_EQ(context.at("compiler"), "GCC 12.2.0");
  EXPECT_EQ(context.at("velk_version"), "1.0.0");
  EXPECT_EQ(context.at("seed"), 42);
  EXPECT_EQ(context.at("repetitions"), 3);
  EXPECT_EQ(context.at("min_time"), 0.25);
  EXPECT_EQ(context.at("key_sets"), nlohmann::json::parse(R"([{"name": "odd", "bits": 32,
              "made": "32-bit keys 1, 3, ..., 2n - 1; targets as velk_ts draws them"}])"));
  EXPECT_EQ(context.at("command_line"),
            "velk --seed 42 --sizes 10 --methods binary1,std-lower-bound --repetitions 3 "
            "--min-time 0.25 --output 'my results.txt'");

  const nlohmann::json& benchmarks = document.at("benchmarks");
  ASSERT_EQ(benchmarks.size(), 5U * (3 + 3));  // per row: three repetitions, three aggregates
  EXPECT_EQ(benchmarks[0],
            nlohmann::json::parse(R"({"name": "binary1/odd/10/successful", "family_index": 0,
              "per_family_instance_index": 0, "run_name": "binary1/odd/10/successful",
              "run_type": "iteration", "repetitions": 3, "repetition_index": 0, "threads": 1,
              "iterations": 2500000, "real_time": 4.5, "cpu_time": 4.25, "time_unit": "ns",
              "method": "binary1", "keys": "odd", "key_bits": 32, "size": 10, "half": "successful",
              "comparisons": 2.3, "expected_comparisons": 2.5})"));
  EXPECT_EQ(benchmarks[4],
            nlohmann::json::parse(R"({"name": "binary1/odd/10/successful_median", "family_index": 0,
              "per_family_instance_index": 0, "run_name": "binary1/odd/10/successful",
              "run_type": "aggregate", "repetitions": 3, "threads": 1,
              "aggregate_name": "median", "aggregate_unit": "time", "iterations": 3,
              "real_time": 4.5, "cpu_time": 4.25, "time_unit": "ns",
              "method": "binary1", "keys": "odd", "key_bits": 32, "size": 10, "half": "successful",
              "comparisons": 2.3, "expected_comparisons": 2.5})"));
  EXPECT_EQ(benchmarks[5].at("aggregate_name"), "stddev");
  EXPECT_EQ(benchmarks[5].at("real_time"), 0.5);
  EXPECT_EQ(benchmarks[5].at("comparisons"), 0.0);
  // The baseline: its own family, no comparison fields.
  const nlohmann::json& baseline = benchmarks[12];
  EXPECT_EQ(baseline.at("name"), "std-lower-bound/odd/10/successful");
  EXPECT_EQ(baseline.at("family_index"), 1);
  EXPECT_EQ(baseline.at("per_family_instance_index"), 0);
  EXPECT_FALSE(baseline.contains("comparisons"));
  EXPECT_FALSE(baseline.contains("expected_comparisons"));
  EXPECT_EQ(benchmarks[18].at("per_family_instance_index"), 1);
  EXPECT_EQ(benchmarks[21].at("name"), "std-lower-bound/odd/10/unsuccessful_mean");
  EXPECT_DOUBLE_EQ(benchmarks[21].at("real_time").get<double>(), (81.25 + 80.0 + 90.0) / 3.0);
  // The layout's building time, on the rows of the method that builds one and on none other.
  EXPECT_FALSE(benchmarks[0].contains("layout_ns"));
  EXPECT_EQ(benchmarks[24].at("name"), "eytzinger/odd/10/successful");
  EXPECT_EQ(benchmarks[24].at("layout_ns"), 1234.5);
  EXPECT_EQ(benchmarks[28].at("aggregate_name"), "median");
  EXPECT_EQ(benchmarks[28].at("layout_ns"), 1234.5);
  EXPECT_EQ(benchmarks[29].at("layout_ns"), 0.0);
}

TEST(LabReports, JsonWithoutASeed) {
  velk_lab::run_context context = sample_context();
  context.seed.reset();
  const auto document = nlohmann::json::parse(velk_lab::json_report(context, sample_rows()));
  EXPECT_TRUE(document.at("context").at("seed").is_null());
}

}  // namespace
