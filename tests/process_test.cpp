// Process-level tests: a failure ends the whole process with the two-line report on standard
// error and exit status 1, keeping every line already written on standard output.
#include <gtest/gtest.h>

#include "process.hpp"

namespace {

using velk_test::failure_report;
using velk_test::run_process;

TEST(FailedCheck, EndsTheProcessWithTheReportAndKeepsEarlierLines) {
  struct probe_case {
    const char* name;
    const char* expected_out;
  };
  for (const probe_case& c : {probe_case{"recbinary1-zero", "first line\nsecond line\n"},
                              probe_case{"count-overflow", "before the count\n"}}) {
    SCOPED_TRACE(c.name);
    const auto result = run_process({VELK_PROBE, c.name});
    EXPECT_EQ(result.out, c.expected_out);
    EXPECT_EQ(result.err, failure_report("CONSTRAINT_ERROR"));
    EXPECT_EQ(result.exit_status, 1);
  }
}

TEST(NormalRun, WritesNothingToStandardErrorAndExitsZero) {
  const auto result = run_process({VELK_PROBE, "none"});
  EXPECT_EQ(result.out, "all well\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
