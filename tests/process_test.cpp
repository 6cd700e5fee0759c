// Process-level tests: a program under the frame ends normally with status 0 and nothing on
// standard error, or, on any failure or fault, with the two-line report on standard error and
// status 1, keeping every line already written on standard output.
#include <gtest/gtest.h>

#include <string>

#include "process.hpp"

namespace {

using velk_test::failure_report;
using velk_test::run_process;
using velk_test::stdout_to;

struct ending_case {
  const char* probe;
  std::string out;
  const char* kind;
};

TEST(Frame, EveryFailureEndsTheProcessWithItsReport) {
  const ending_case cases[] = {
      {"recbinary1-zero", "first line\nsecond line\n", "CONSTRAINT_ERROR"},
      {"count-overflow", "before the count\n", "CONSTRAINT_ERROR"},
      {"index", "indexing\n", "CONSTRAINT_ERROR"},
      {"range", "storing\n", "CONSTRAINT_ERROR"},
      {"null-routine", "visiting\n", "CONSTRAINT_ERROR"},
      {"divide-by-zero", "dividing\n", "CONSTRAINT_ERROR"},
      {"null-pointer", "dereferencing\n", "PROGRAM_ERROR"},
      {"unbounded-recursion", "recursing\n", "STORAGE_ERROR"},
      {"mid-line", "whole line\npart of a line\n", "CONSTRAINT_ERROR"},
  };
  for (const ending_case& c : cases) {
    SCOPED_TRACE(c.probe);
    const auto result = run_process({VELK_PROBE, c.probe});
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, failure_report(c.kind));
    EXPECT_EQ(result.exit_status, 1);
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

}  // namespace
