#include "failure.hpp"

#include <unistd.h>

#include <cstdlib>

#include "text_output.hpp"

namespace frame {

namespace detail {
int handler_depth = 0;
}  // namespace detail

namespace {

void (*recorded_cleanup)() = nullptr;
bool cleanup_done = false;

// The report's writes are not checked: if standard error refuses them, the exit status still
// tells of the failure.
void write_error(std::string_view text) { static_cast<void>(write_all(STDERR_FILENO, text)); }

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
  if (!cleanup_done && recorded_cleanup != nullptr) {
    cleanup_done = true;
    recorded_cleanup();
  }
  write_error("\nraised ");
  write_error(printed_name(kind));
  write_error("\n");
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
