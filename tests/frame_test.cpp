// The frame's building blocks: checked stores and indices, wrapping arithmetic, failures passed
// to a declared handler, fixed texts, the integer image, the clocks and the open line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "failure_test_support.hpp"
#include "frame/checks.hpp"
#include "frame/clock.hpp"
#include "frame/fixed_text.hpp"
#include "frame/integer_image.hpp"
#include "frame/text_output.hpp"

namespace {

constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();

using position = frame::ranged<1, 10000>;

TEST(Ranged, StoresInsideTheRangeAndFailsOutside) {
  EXPECT_EQ(position(1), 1);
  EXPECT_EQ(position(10000), 10000);
  EXPECT_EQ(position(), 1);
  EXPECT_FAILURE(constraint_error, position(0));
  EXPECT_FAILURE(constraint_error, position(10001));
  EXPECT_FAILURE(constraint_error, position(std::int64_t{1} << 32 | 1));
  EXPECT_FAILURE(constraint_error, position(std::uint32_t{0xFFFFFFFFU}));
  EXPECT_EQ(frame::natural(int_max), int_max);
  EXPECT_FAILURE(constraint_error, frame::natural(-1));
}

TEST(Ranged, IncrementingANaturalAtItsLimitFails) {
  frame::natural n = int_max - 1;
  n = n + 1;
  EXPECT_EQ(n, int_max);
  EXPECT_FAILURE(constraint_error, n = n + 1);
  EXPECT_EQ(n, int_max);
  // A wrapped sum is refused by the store as well.
  EXPECT_FAILURE(constraint_error, frame::natural(frame::wrapping_add(int_max, 1)));
}

TEST(Ranged, ArithmeticIsExactOrFailsWhateverIsDoneWithTheResult) {
  using lowest = frame::ranged<int_min, 0>;
  const frame::natural most = int_max;
  const lowest least = int_min;
  const position p = 3;
  struct arithmetic_case {
    const char* expression = nullptr;
    std::int32_t (*evaluate)(frame::natural, lowest, position) = nullptr;
    std::optional<std::int32_t> value;  // nothing: the constraint failure
  };
  const arithmetic_case cases[] = {
      {"most + 1", [](frame::natural n, lowest, position) { return n + 1; }, std::nullopt},
      {"1 + most", [](frame::natural n, lowest, position) { return 1 + n; }, std::nullopt},
      {"most + most", [](frame::natural n, lowest, position) { return n + n; }, std::nullopt},
      {"most - -1", [](frame::natural n, lowest, position) { return n - -1; }, std::nullopt},
      {"most * 2", [](frame::natural n, lowest, position) { return n * 2; }, std::nullopt},
      {"most + 4000000000u",
       [](frame::natural n, lowest, position) -> std::int32_t { return n + 4'000'000'000U; },
       std::nullopt},
      {"least - 1", [](frame::natural, lowest m, position) { return m - 1; }, std::nullopt},
      {"-least", [](frame::natural, lowest m, position) { return -m; }, std::nullopt},
      {"least / -1", [](frame::natural, lowest m, position) { return m / -1; }, std::nullopt},
      {"p / 0", [](frame::natural, lowest, position q) { return q / 0; }, std::nullopt},
      {"p % 0", [](frame::natural, lowest, position q) { return q % 0; }, std::nullopt},
      {"most + -1", [](frame::natural n, lowest, position) { return n + -1; }, int_max - 1},
      {"most - most", [](frame::natural n, lowest, position) { return n - n; }, 0},
      {"least % -1", [](frame::natural, lowest m, position) { return m % -1; }, 0},
      {"least + most", [](frame::natural n, lowest m, position) { return m + n; }, -1},
      {"p - 5u", [](frame::natural, lowest, position q) -> std::int32_t { return q - 5U; }, -2},
      {"-p", [](frame::natural, lowest, position q) { return -q; }, -3},
      {"p * p * 1000", [](frame::natural, lowest, position q) { return q * q * 1000; }, 9000},
      {"-7 / p", [](frame::natural, lowest, position q) { return -7 / q; }, -2},
      {"-7 % p", [](frame::natural, lowest, position q) { return -7 % q; }, -1},
  };
  for (const arithmetic_case& c : cases) {
    SCOPED_TRACE(c.expression);
    std::int32_t result = 0;
    const auto raised = frame::handled([&] { result = c.evaluate(most, least, p); });
    if (c.value) {
      EXPECT_EQ(raised, std::nullopt);
      EXPECT_EQ(result, *c.value);
    } else {
      EXPECT_EQ(raised, frame::failure_kind::constraint_error);
    }
  }
  // An operand wider than 32 bits keeps the arithmetic of its own type.
  EXPECT_EQ(std::int64_t{1} + most, std::int64_t{2'147'483'648});
}

TEST(CheckedArray, IndicesOutsideTheBoundsFail) {
  frame::checked_array<int, 1, 3> slots;
  EXPECT_EQ(slots[1], 0);
  slots[3] = 7;
  EXPECT_EQ(slots[3], 7);
  EXPECT_FAILURE(constraint_error, slots[0]);
  EXPECT_FAILURE(constraint_error, slots[4]);
  EXPECT_FAILURE(constraint_error, slots[int_min]);
}

TEST(CheckedArray, ARunIsCheckedOnceAtBothEnds) {
  frame::checked_array<int, 1, 3> slots;
  slots[2] = 5;
  EXPECT_EQ(slots.run(1, 3).size(), 3U);
  EXPECT_EQ(slots.run(2, 2).front(), 5);
  EXPECT_TRUE(slots.run(1, 0).empty());
  EXPECT_TRUE(slots.run(4, 3).empty());
  EXPECT_FAILURE(constraint_error, slots.run(0, 2));
  EXPECT_FAILURE(constraint_error, slots.run(1, 4));
  EXPECT_FAILURE(constraint_error, slots.run(3, 1));
  EXPECT_FAILURE(constraint_error, slots.run(5, 4));
}

TEST(WrappingArithmetic, WrapsInTwosComplement) {
  EXPECT_EQ(frame::wrapping_add(int_max, 1), int_min);
  EXPECT_EQ(frame::wrapping_add(int_max, int_max), -2);
  EXPECT_EQ(frame::wrapping_sub(int_min, 1), int_max);
  EXPECT_EQ(frame::wrapping_add(3, 4), 7);
}

TEST(Handled, GivesBackTheKindAndAbandonsTheRest) {
  bool after = false;
  const auto kind = frame::handled([&] {
    frame::raise_failure(frame::failure_kind::device_error);
    after = true;
  });
  EXPECT_EQ(kind, frame::failure_kind::device_error);
  EXPECT_FALSE(after);
  EXPECT_NO_FAILURE(after = true);
  EXPECT_TRUE(after);
}

TEST(Handled, TheInnermostHandlerTakesTheFailure) {
  std::optional<frame::failure_kind> inner;
  const auto outer = frame::handled([&] {
    inner = frame::handled([] { frame::raise_failure(frame::failure_kind::time_error); });
    frame::raise_failure(frame::failure_kind::storage_error);
  });
  EXPECT_EQ(inner, frame::failure_kind::time_error);
  EXPECT_EQ(outer, frame::failure_kind::storage_error);
}

TEST(PrintedName, EveryKindHasItsName) {
  using frame::failure_kind;
  EXPECT_EQ(frame::printed_name(failure_kind::constraint_error), "CONSTRAINT_ERROR");
  EXPECT_EQ(frame::printed_name(failure_kind::storage_error), "STORAGE_ERROR");
  EXPECT_EQ(frame::printed_name(failure_kind::program_error), "PROGRAM_ERROR");
  EXPECT_EQ(frame::printed_name(failure_kind::time_error), "TIME_ERROR");
  EXPECT_EQ(frame::printed_name(failure_kind::device_error), "DEVICE_ERROR");
}

TEST(FixedText, JoinsAndRefusesToOverrun) {
  frame::fixed_text<8> text("abc");
  text.append("de").append('f');
  EXPECT_EQ(text.view(), "abcdef");
  EXPECT_FAILURE(constraint_error, text.append("ghi"));
  EXPECT_EQ(text.view(), "abcdef");
  EXPECT_EQ((frame::join<16>("x", frame::integer_image(5), ".")).view(), "x 5.");
}

TEST(IntegerImage, BlankOrMinusThenDigits) {
  struct image_case {
    std::int32_t value;
    const char* image;
  };
  for (const image_case& c : {image_case{0, " 0"}, image_case{10, " 10"}, image_case{-5, "-5"},
                              image_case{7, " 7"}, image_case{int_max, " 2147483647"},
                              image_case{int_min, "-2147483648"}, image_case{-10, "-10"}}) {
    EXPECT_EQ(frame::integer_image(c.value).view(), c.image) << c.value;
  }
}

TEST(Clock, ReadingsAreWholeMilliseconds) {
  const frame::time calendar = frame::clock();
  const frame::time stopwatch = frame::monotonic_clock();
  EXPECT_EQ(calendar.nanoseconds % 1'000'000, 0);
  EXPECT_EQ(stopwatch.nanoseconds % 1'000'000, 0);
  // Calendar time counts from 1970: any reading today lies well past 2020.
  EXPECT_GT(calendar.nanoseconds, std::int64_t{1'577'836'800} * 1'000'000'000);
}

TEST(Clock, TheStopwatchClockNeverGoesBack) {
  frame::time previous = frame::monotonic_clock();
  for (int i = 0; i < 1000; ++i) {
    const frame::time next = frame::monotonic_clock();
    EXPECT_GE(next - previous, 0);
    previous = next;
  }
}

TEST(Clock, ADifferenceThatDoesNotFitIsATimeError) {
  const frame::time latest{std::numeric_limits<std::int64_t>::max()};
  const frame::time earliest{std::numeric_limits<std::int64_t>::min()};
  EXPECT_EQ(frame::time{5'000'000} - frame::time{2'000'000}, 3'000'000);
  EXPECT_EQ(frame::time{2'000'000} - frame::time{5'000'000}, -3'000'000);
  EXPECT_FAILURE(time_error, latest - earliest);
  EXPECT_FAILURE(time_error, earliest - latest);
}

// Whether a line is left open follows the last byte that reached the output, wherever the line
// feeds stand in what was written; shutdown ends an open line and only that.
TEST(TextOutput, ALineIsLeftOpenByTheLastByteWritten) {
  const int saved = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY);
  ASSERT_GE(null, 0);
  ::dup2(null, STDOUT_FILENO);
  struct write_case {
    const char* text;
    bool open_after;
  };
  for (const write_case& c : {write_case{"whole line\n", false}, write_case{"\npart", true},
                              write_case{"", true}, write_case{"end\n", false}}) {
    frame::put(c.text);
    EXPECT_EQ(frame::line_partly_written(), c.open_after) << c.text;
  }
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  ::close(null);
}

}  // namespace
