// A program's own method in the lab, as a process: a fault of the method ends the run with status
// 1 and one line on standard error that says what happened, and nothing on standard output.
#include <gtest/gtest.h>

#include <string>

#include "process.hpp"

namespace {

TEST(OwnMethod, AFaultEndsTheRunWithStatus1AndOneLine) {
  struct fault_case {
    const char* kind;
    std::string err;
  };
  const fault_case cases[] = {
      {"wrong-answer",
       "velk: wrong-answer gave a wrong answer on the odd keys at size 10 for key 7: expected "
       "position 4, given not found\n"},
      {"found-absent",
       "velk: found-absent gave a wrong answer on the odd keys at size 10 for key 8: expected "
       "not found, given position 5\n"},
      {"over-bound",
       "velk: over-bound counted 3 comparisons on the odd keys at size 10 for key 7, beyond its "
       "bound of 2\n"},
      {"throws", "velk: throws threw an exception at size 10: no way through at key 7\n"},
      {"binary1", "velk: two methods are named 'binary1': a method's name must be its own\n"},
  };
  for (const fault_case& c : cases) {
    SCOPED_TRACE(c.kind);
    // 10000 counted searches of 10 keys draw every key, the faulty one among them.
    const auto result =
        velk_test::run_process({VELK_FAULTY_METHOD, c.kind, "--sizes", "10", "--searches", "10000",
                                "--repetitions", "1", "--min-time", "0.001"});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
