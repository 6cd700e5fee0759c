#include "failure.hpp"

#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <string_view>

#include "text_output.hpp"

namespace frame {

namespace detail {
int handler_depth = 0;
}  // namespace detail

namespace {

void (*recorded_cleanup)() = nullptr;

// The unhandled-failure path, as far as it has gone: the failure being reported (its kind plus
// one; 0 before any), and whether its report is being written. Plain flags, since a fault may
// re-enter the path from a signal handler.
volatile std::sig_atomic_t reported_kind = 0;
volatile std::sig_atomic_t report_begun = 0;

// Writes the two lines of the report with one write, so that they stay whole beside what other
// processes write to the same place. Not checked: if standard error refuses the report, the exit
// status still tells of the failure.
void write_report(std::string_view name) {
  constexpr std::string_view opening = "\nraised ";
  std::array<char, 64> report{};
  std::size_t length = 0;
  for (const std::string_view part :
       {opening, name.substr(0, report.size() - opening.size() - 1), std::string_view("\n")}) {
    for (const char c : part) {
      report[length++] = c;
    }
  }
  static_cast<void>(write_all(STDERR_FILENO, std::string_view(report.data(), length)));
}

}  // namespace

std::string_view printed_name(failure_kind kind) {
  switch (kind) {
    case failure_kind::constraint_error:
      return "CONSTRAINT_ERROR";
    case failure_kind::storage_error:
      return "STORAGE_ERROR";
    case failure_kind::program_error:
      return "PROGRAM_ERROR";
    case failure_kind::time_error:
      return "TIME_ERROR";
    case failure_kind::device_error:
      return "DEVICE_ERROR";
  }
  return "unhandled exception";
}

void record_cleanup(void (*cleanup)()) { recorded_cleanup = cleanup; }

void report_unhandled(failure_kind kind) {
  // The first failure is the one reported. A failure or fault raised while its clean-up runs
  // comes back here and writes that first report in its place; one raised once the report is
  // under way adds nothing to it.
  if (reported_kind == 0) {
    reported_kind = static_cast<std::sig_atomic_t>(kind) + 1;
    if (recorded_cleanup != nullptr) {
      recorded_cleanup();
    }
  }
  if (report_begun != 0) {
    return;
  }
  report_begun = 1;
  write_report(printed_name(static_cast<failure_kind>(reported_kind - 1)));
}

void raise_failure(failure_kind kind) {
  if (detail::handler_depth > 0) {
    throw failure{kind};
  }
  report_unhandled(kind);
  std::exit(1);
}

void raise_constraint_error() { raise_failure(failure_kind::constraint_error); }

}  // namespace frame
