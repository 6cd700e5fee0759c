// Runs the benchmarks, once the plain schedule has been shown to do the same work as the real
// one: the same comparison totals as the counted routines on the same targets, and the same
// report, times aside. A yardstick that did less work would make the real schedule look slow.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.hpp"
#include "driver/velk_ts.hpp"
#include "plain_schedule.hpp"
#include "search/kernels.hpp"
#include "search_bench.hpp"

namespace {

using velk_bench::half;

// The comparison totals of the counted routines on the targets that the per-search benchmarks
// use, in the order of plain::totals. The plain schedule draws its own targets, so totals that
// agree also show that those are the schedule's targets.
velk_bench::plain::totals counted_totals() {
  velk_bench::plain::totals totals{};
  std::size_t next = 0;
  velk_sr::list& l = velk_bench::schedule_list();
  for (const velk_sr::searchmethod look : {velk_sr::sequentialsearch, velk_sr::binary1search}) {
    for (const std::int32_t n : velk_bench::schedule_sizes) {
      l.count = n;
      for (const half which : {half::successful, half::unsuccessful}) {
        velk_sr::reset_counts();
        for (const velk_sr::key_type target : velk_bench::schedule_targets(n, which)) {
          look(l, target, false, velk_sr::position());
        }
        totals[next++] = velk_sr::get_counts().comparisons;
      }
    }
  }
  return totals;
}

// The lines of a report, with every elapsed time replaced by "T".
std::vector<std::string> lines_without_times(std::string_view report) {
  constexpr std::string_view before_time = " searches is  ";
  std::vector<std::string> lines;
  while (!report.empty()) {
    const std::size_t end = std::min(report.find('\n'), report.size());
    const std::string_view line = report.substr(0, end);
    report.remove_prefix(std::min(end + 1, report.size()));
    const std::size_t time = line.find(before_time);
    lines.emplace_back(time == std::string_view::npos
                           ? std::string(line)
                           : std::string(line.substr(0, time + before_time.size())) + "T");
  }
  return lines;
}

void check_plain_schedule_agrees() {
  velk_bench::plain::totals plain_totals{};
  const std::vector<std::string> plain_report = lines_without_times(
      velk_bench::captured_stdout([&] { plain_totals = velk_bench::plain::run_schedule(); }));
  const std::vector<std::string> real_report =
      lines_without_times(velk_bench::captured_stdout(velk_ts::main_procedure));
  if (plain_totals != counted_totals()) {
    velk_bench::give_up("the plain schedule counts other comparison totals than the real one");
  }
  for (std::size_t i = 0; i < std::max(plain_report.size(), real_report.size()); ++i) {
    const std::string plain_line = i < plain_report.size() ? plain_report[i] : "(no line)";
    const std::string real_line = i < real_report.size() ? real_report[i] : "(no line)";
    if (plain_line != real_line) {
      std::string message = "line " + std::to_string(i + 1);
      message.append(" of the plain schedule's report is\n").append(plain_line);
      message.append("\ninstead of\n").append(real_line);
      velk_bench::give_up(message);
    }
  }
}

// velk_bench --paired NAME,NAME,... [--size N] [--rounds R]: the routines side by side in rounds
// (search_bench.hpp), instead of the benchmarks. Status 2, with a line naming the option and the
// value, for arguments it cannot take.
int paired(int argc, char** argv) {
  std::vector<std::string> names;
  std::int64_t size = 10000;
  std::int64_t rounds = 101;
  for (int i = 1; i < argc; i += 2) {
    const std::string_view option = argv[i];
    if (i + 1 == argc) {
      std::cerr << "velk_bench: " << option << " needs a value\n";
      return 2;
    }
    const std::string value = argv[i + 1];
    if (option == "--paired") {
      names.clear();
      for (std::size_t start = 0; start <= value.size();) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        names.push_back(value.substr(start, comma - start));
        start = comma + 1;
      }
      continue;
    }
    if (option != "--size" && option != "--rounds") {
      std::cerr << "velk_bench: " << option << ": not an option of --paired (--size, --rounds)\n";
      return 2;
    }
    const std::int64_t least = 1;
    const std::int64_t greatest = option == "--size" ? velk_sr::key_cl::max_size : 1000000;
    std::size_t used = 0;
    std::int64_t number = 0;
    try {
      number = std::stoll(value, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != value.size() || number < least || number > greatest) {
      std::cerr << "velk_bench: " << option << ' ' << value << ": give a whole number from "
                << least << " to " << greatest << '\n';
      return 2;
    }
    (option == "--size" ? size : rounds) = number;
  }
  return velk_bench::paired_rounds(names, static_cast<std::int32_t>(size), static_cast<int>(rounds))
             ? 0
             : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--paired") {
    return paired(argc, argv);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  check_plain_schedule_agrees();
  benchmark::AddCustomContext(
      "scan kernel", std::string(velk_sr::kernels::chosen_scan_kernel<velk_sr::list_entry>().name));
  velk_bench::register_search_benchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
