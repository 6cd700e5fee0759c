// Process-level tests: a program under the frame ends normally with status 0 and nothing on
// standard error, or, on any failure or fault, with the two-line report on standard error and
// status 1, keeping every line already written on standard output.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <string>
#include <vector>

#include "process.hpp"

namespace {

using velk_test::failure_report;
using velk_test::run_options;
using velk_test::run_process;
using velk_test::scratch_file;
using velk_test::sent_by;
using velk_test::stdout_to;

struct ending_case {
  const char* probe;
  std::string out;
  const char* kind;
};

void expect_endings(const std::vector<ending_case>& cases) {
  for (const ending_case& c : cases) {
    SCOPED_TRACE(c.probe);
    const auto result = run_process({VELK_PROBE, c.probe});
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, failure_report(c.kind));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.signal, 0);
  }
}

// The output of the probe "many-lines": "line 1 of many" to "line 2000 of many".
std::string many_lines() {
  std::string text;
  for (int i = 1; i <= 2000; ++i) {
    text += "line " + std::to_string(i) + " of many\n";
  }
  return text;
}

TEST(Frame, EveryFailureEndsTheProcessWithItsReport) {
  expect_endings({
      {"recbinary1-zero", "first line\nsecond line\n", "CONSTRAINT_ERROR"},
      {"count-overflow", "before the count\n", "CONSTRAINT_ERROR"},
      {"index", "indexing\n", "CONSTRAINT_ERROR"},
      {"range", "storing\n", "CONSTRAINT_ERROR"},
      {"natural-past-limit", "adding\n", "CONSTRAINT_ERROR"},
      {"null-routine", "visiting\n", "CONSTRAINT_ERROR"},
      {"mid-line", "whole line\npart of a line\n", "CONSTRAINT_ERROR"},
  });
}

TEST(Frame, EveryFaultSignalIsReportedByItsKind) {
  expect_endings({
      {"divide-by-zero", "dividing\n", "CONSTRAINT_ERROR"},
      {"null-pointer", "dereferencing\n", "PROGRAM_ERROR"},
      {"bus-error", "reading past the end of a file\n", "PROGRAM_ERROR"},
      {"illegal-instruction", "trapping\n", "PROGRAM_ERROR"},
      {"breakpoint", "breaking\n", "PROGRAM_ERROR"},
  });
}

TEST(Frame, AFaultWhereTheStackGrowsIsTheStorageErrorWhateverTheFrame) {
  expect_endings({
      {"unbounded-recursion", "recursing\n", "STORAGE_ERROR"},
      // Far above the stack pointer, beyond the stack's limit.
      {"huge-frame", "making a huge frame\n", "STORAGE_ERROR"},
      // Below the stack, but further down than the stack may ever grow.
      {"far-below-stack", "reading below the stack\n", "PROGRAM_ERROR"},
  });
}

TEST(Frame, AbortAndExceptionsThatNothingCatchesGiveTheReport) {
  expect_endings({
      {"abort", "about to abort\n", "PROGRAM_ERROR"},
      {"throw-through-noexcept", "throwing\n", "PROGRAM_ERROR"},
      {"bad-alloc", "allocating\n", "STORAGE_ERROR"},
  });
}

TEST(Frame, AFaultOrFailureInTheCleanUpKeepsTheFirstReport) {
  expect_endings({
      {"fault-in-cleanup", "checking\n", "CONSTRAINT_ERROR"},
      {"failure-in-cleanup", "checking\n", "CONSTRAINT_ERROR"},
      {"fault-in-cleanup-after-fault", "dividing\n", "CONSTRAINT_ERROR"},
  });
}

TEST(Frame, ASignalSentByAnotherProcessEndsItByThatSignal) {
  for (const int signal : {SIGSEGV, SIGFPE, SIGBUS, SIGILL, SIGTRAP, SIGABRT}) {
    for (const sent_by how : {sent_by::kill, sent_by::sigqueue, sent_by::tgkill}) {
      SCOPED_TRACE(std::string(sigabbrev_np(signal)) + " by " +
                   std::to_string(static_cast<int>(how)));
      run_options options;
      options.signal = signal;
      options.how = how;
      const auto result = run_process({VELK_PROBE, "wait-for-signal"}, options);
      EXPECT_EQ(result.out, "waiting\n");
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(result.signal, signal);
    }
  }
}

TEST(Frame, ANormalRunExitsZeroWhateverItsArguments) {
  for (const auto& argv : {std::vector<std::string>{VELK_PROBE, "none"},
                           std::vector<std::string>{VELK_PROBE, "none", "-x", "", "many words"}}) {
    const auto result = run_process(argv);
    EXPECT_EQ(result.out, "all well\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
  }
}

TEST(Frame, UnitsAreInitialisedOnceInOrderBeforeTheMainProcedure) {
  const auto result = run_process({VELK_PROBE, "start-up"});
  EXPECT_EQ(result.out,
            "each unit initialised once\nstopwatch started before the main procedure\n"
            "no comparisons yet\n");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(Frame, ShutdownCompletesAPartlyWrittenLine) {
  const auto result = run_process({VELK_PROBE, "open-line"});
  EXPECT_EQ(result.out, "unfinished\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(Frame, ALineEndedAtShutdownThatTheDeviceRefusesIsTheDeviceError) {
  // Room for "unfinished" and not for its line feed.
  const scratch_file file("open-line");
  run_options options;
  options.where = stdout_to::file;
  options.file = file.path();
  options.file_size_limit = 10;
  const auto result = run_process({VELK_PROBE, "open-line"}, options);
  EXPECT_EQ(file.contents(), "unfinished");
  EXPECT_EQ(result.err, failure_report("DEVICE_ERROR"));
  EXPECT_EQ(result.exit_status, 1);
}

TEST(Frame, ALineTheDeviceRefusedLeavesNoLineOpen) {
  const auto result = run_process({VELK_PROBE, "refused-then-end"});
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(Frame, TheMainProcedureHasMoreStackThanTheUsualDefault) {
  const auto result = run_process({VELK_PROBE, "deep-recursion"});
  EXPECT_EQ(result.out, "came back\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(Frame, AWriteThatFailsIsTheDeviceError) {
  for (const stdout_to where : {stdout_to::dev_full, stdout_to::closed, stdout_to::broken_pipe}) {
    SCOPED_TRACE(static_cast<int>(where));
    const auto result = run_process({VELK_PROBE, "none"}, where);
    EXPECT_EQ(result.err, failure_report("DEVICE_ERROR"));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.signal, 0);
  }
}

TEST(Frame, AWritePastTheFileSizeLimitIsTheDeviceError) {
  const scratch_file file("many-lines");
  run_options options;
  options.where = stdout_to::file;
  options.file = file.path();
  options.file_size_limit = 1000;
  const auto result = run_process({VELK_PROBE, "many-lines"}, options);
  EXPECT_EQ(file.contents(), many_lines().substr(0, 1000));
  EXPECT_EQ(result.err, failure_report("DEVICE_ERROR"));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.signal, 0);
}

TEST(Frame, ANonBlockingOutputThatIsFullIsWaitedFor) {
  run_options options;
  options.where = stdout_to::full_nonblocking_pipe;
  const auto result = run_process({VELK_PROBE, "many-lines"}, options);
  EXPECT_EQ(result.out, many_lines());
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(Frame, RunsAppendingToOneFileKeepEveryLineWhole) {
  constexpr int runs = 20;
  const scratch_file file("appended");
  run_options options;
  options.where = stdout_to::file;
  options.file = file.path();
  for (const auto& result : velk_test::run_together({VELK_PROBE, "many-lines"}, runs, options)) {
    EXPECT_EQ(result.exit_status, 0);
  }
  std::map<std::string, int> times_seen;
  for (const std::string& line : velk_test::lines_of(file.contents())) {
    ++times_seen[line];
  }
  std::map<std::string, int> expected;
  for (const std::string& line : velk_test::lines_of(many_lines())) {
    expected[line] = runs;
  }
  EXPECT_TRUE(times_seen == expected) << times_seen.size() << " different lines";
}

TEST(Images, AValueThatTheArithmeticTakesForAnInfinityIsRefusedNotScaledForever) {
  if (std::string(VELK_VALGRIND).empty()) {
    GTEST_SKIP() << "needs valgrind, and a build without the sanitizers";
  }
  run_options options;
  options.cpu_seconds = 60;  // a scaling loop without end then dies by SIGXCPU
  const auto result =
      run_process({VELK_VALGRIND, "--log-file=/dev/null", VELK_PROBE, "huge-image"}, options);
  EXPECT_EQ(result.out, "imaging\n");
  EXPECT_EQ(result.err, failure_report("CONSTRAINT_ERROR"));
  EXPECT_EQ(result.exit_status, 1);
}

TEST(List, AnEntryOfTheListIsInsertedAsItWasWhenPassed) {
  const auto result = run_process({VELK_PROBE, "own-entry"});
  EXPECT_EQ(result.out, " 3 1 3 5\n");
  EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
