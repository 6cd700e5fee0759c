// Failures: the one way a run-time check, a failed write or a fault ends the program.
#pragma once

#include <optional>
#include <string_view>
#include <utility>

namespace frame {

enum class failure_kind {
  constraint_error,  // every failed run-time check, arithmetic faults
  storage_error,     // stack exhaustion
  program_error,     // every other fault
  time_error,        // calendar arithmetic whose result does not fit
  device_error,      // a write to standard output that fails
};

// The printed name of a kind: upper case, words joined by underscores.
std::string_view printed_name(failure_kind kind);

// What travels to a declared handler.
struct failure {
  failure_kind kind;
};

// Raises `kind`. With a handler declared (see `handled`), control passes to it; otherwise the
// clean-up runs, the two-line report goes to standard error and the process exits with status 1.
[[noreturn, gnu::cold]] void raise_failure(failure_kind kind);

// Shorthand for the failure of every run-time check.
[[noreturn, gnu::cold]] void raise_constraint_error();

// Writes the report for `kind` to standard error after running the recorded clean-up once. Only
// the first failure is reported: called again while the clean-up runs (a fault or failure inside
// it), it writes the first failure's report; called once that report is under way, nothing. The
// caller then ends the process with status 1. Async-signal-safe: it only uses write(2) and the
// recorded clean-up, which must be too.
void report_unhandled(failure_kind kind);

// Records the clean-up that the unhandled-failure path runs before it reports.
void record_cleanup(void (*cleanup)());

namespace detail {
// Number of handlers declared and still active.
extern int handler_depth;
struct handler_scope {
  handler_scope() { ++handler_depth; }
  ~handler_scope() { --handler_depth; }
  handler_scope(const handler_scope&) = delete;
  handler_scope& operator=(const handler_scope&) = delete;
  handler_scope(handler_scope&&) = delete;
  handler_scope& operator=(handler_scope&&) = delete;
};
}  // namespace detail

// Runs `action` with a handler declared: a failure raised inside it is given back instead of
// ending the process, abandoning what `action` had begun. Gives back nothing when none was raised.
template <class Action>
std::optional<failure_kind> handled(Action&& action) {
  const detail::handler_scope scope;
  try {
    std::forward<Action>(action)();
  } catch (const failure& raised) {
    return raised.kind;
  }
  return std::nullopt;
}

}  // namespace frame
