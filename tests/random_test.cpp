// The random integer generator: its sequences, its seeding, and its text form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "failure_test_support.hpp"
#include "random/random_int.hpp"

namespace {

using random_int::generator;
using random_int::range;
using random_int::state;

constexpr std::int32_t p = 94833359;
constexpr std::int32_t q = 47416679;
constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();

state default_state(const range& r) { return {8994001, 2070721, p, q, 94833359.0, r.scal()}; }

// A state seeded with the default moduli, with the scale of `r`.
state seeded(const range& r, std::int32_t x1, std::int32_t x2) {
  return {x1, x2, p, q, 94833359.0, r.scal()};
}

std::vector<std::int32_t> draws(const range& r, generator& g, int how_many) {
  std::vector<std::int32_t> values;
  values.reserve(static_cast<std::size_t>(how_many));
  for (int k = 0; k < how_many; ++k) {
    values.push_back(r.random(g));
  }
  return values;
}

std::vector<std::int32_t> first_draws(std::int32_t n, int how_many) {
  const range r(n);
  generator g = r.make_generator();
  return draws(r, g, how_many);
}

TEST(RandomTest, NewGeneratorStartsInTheDefaultState) {
  for (const std::int32_t n : {1, 10, 10000}) {
    const range r(n);
    EXPECT_EQ(r.last(), n);
    EXPECT_EQ(r.scal(), static_cast<double>(n) / 4496682942194761.0);
    EXPECT_EQ(r.make_generator().gen_state, default_state(r));
  }
}

TEST(RandomTest, FirstDrawsFromTheDefaultState) {
  struct sequence_case {
    std::int32_t n;
    std::vector<std::int32_t> expected;
  };
  const sequence_case cases[] = {
      {10, {9, 3, 2, 10, 8, 4, 3, 2, 1, 2, 4, 4, 10, 9, 10, 2, 4, 4, 10, 8}},
      {100, {81, 12, 5, 86, 63}},
      {1000, {798, 102, 32, 850, 613}},
      {10000, {7963, 1006, 305, 8491, 6115}},
  };
  for (const sequence_case& c : cases) {
    EXPECT_EQ(first_draws(c.n, static_cast<int>(c.expected.size())), c.expected) << "n = " << c.n;
  }
}

TEST(RandomTest, ThreeThousandDrawsOverTenFavourOneAndSlightTen) {
  std::vector<int> times(11, 0);
  for (const std::int32_t value : first_draws(10, 3000)) {
    ASSERT_GE(value, 1);
    ASSERT_LE(value, 10);
    ++times[static_cast<std::size_t>(value)];
  }
  EXPECT_EQ(times[1], 440);
  EXPECT_EQ(times[10], 164);
}

TEST(RandomTest, RangeOfOneAlwaysGivesOne) {
  EXPECT_EQ(first_draws(1, 500), std::vector<std::int32_t>(500, 1));
}

TEST(RandomTest, FirstDrawSquaresBothResiduesAndRecombinesThem) {
  const range r(10);
  generator g = r.make_generator();
  r.random(g);
  const state after = random_int::range::save(g);
  EXPECT_EQ(after, seeded(r, 52261232, 42594550));
  const double b = random_int::recombined(after);
  EXPECT_EQ(b, 3579959070011155.0);
  const auto whole = static_cast<std::int64_t>(b);
  EXPECT_EQ(whole % p, 52261232);
  EXPECT_EQ(whole % q, 42594550);
  EXPECT_EQ((whole - 52261232) / p, 37749997);  // temp
}

TEST(RandomTest, DrawThatScalesAboveTheRangeGivesOne) {
  // The ninth draw over 1..10 lands above 10 and so gives 1, not 10.
  const range r(10);
  generator g = r.make_generator();
  draws(r, g, 8);
  const std::int32_t ninth = r.random(g);
  EXPECT_GT(random_int::recombined(r.save(g)) * r.scal() + 1.5, 10.0);
  EXPECT_EQ(ninth, 1);
}

TEST(RandomTest, ScaledNumberIsRoundedHalfAwayAndOnlyAboveTheRangeGivesOne) {
  // With p = 7 and q = 3, residues 3 and 1 square to 2 and 1 and recombine to 16, so the
  // scale alone decides where the draw lands: tf = 16 * scl + 1.5, each step exact here.
  const range r(10);
  struct scaled_case {
    double tf;
    std::int32_t expected;
  };
  const scaled_case cases[] = {
      {10.0, 10},                       // tf exactly n
      {std::nextafter(10.0, 11.0), 1},  // the least tf above n
      {10.5, 1},
      {1e300, 1},
      {9.5, 10},  // halves go up
      {std::nextafter(9.5, 0.0), 9},
      {1.5, 2},  // the least tf that a draw can have
  };
  for (const scaled_case& c : cases) {
    generator g;
    random_int::range::reset(g, state{3, 1, 7, 3, 7.0, (c.tf - 1.5) / 16});
    EXPECT_EQ(r.random(g), c.expected) << "tf = " << c.tf;
    EXPECT_EQ(random_int::recombined(r.save(g)), 16.0);
  }
}

TEST(RandomTest, DrawThatCannotGiveAValueInTheRangeFails) {
  // An empty range: tf is 1.5, above n, and 1 is outside 1..0.
  for (const std::int32_t n : {0, -1, int_min}) {
    const range r(n);
    generator g = r.make_generator();
    EXPECT_FAILURE(constraint_error, r.random(g)) << "n = " << n;
  }
  EXPECT_EQ(range(0).scal(), 0.0);

  // States installed unchecked that scale to no value of 1..10, or have a modulus of 0.
  const range r(10);
  const state unfit[] = {
      {3, 1, 7, 3, 7.0, -1.0},   {3, 1, 7, 3, 7.0, std::nan("")},
      {3, 1, 7, 3, 7.0, -1e300}, {3, 1, 0, 3, 0.0, 0.5},
      {3, 1, 7, 0, 7.0, 0.5},    {},  // a generator that no range has set up
  };
  for (const state& s : unfit) {
    generator g;
    random_int::range::reset(g, s);
    EXPECT_FAILURE(constraint_error, r.random(g)) << "scl = " << s.scl << ", p = " << s.p;
  }
}

TEST(RandomTest, SquareModNTakesTheSignOfTheModulus) {
  struct square_case {
    std::int32_t x, n, expected;
  };
  const square_case cases[] = {
      {2999, p, 8994001},
      {8994001, p, 52261232},
      {2070721, q, 42594550},
      {-3, 5, 4},
      {3, -5, -1},
      {5, -5, 0},
      {7, -1, 0},
      {int_min, int_max, 1},  // 2^62 mod (2^31 - 1)
      {int_min, int_min, 0},
      {int_max, int_min, -2147483647},
  };
  for (const square_case& c : cases) {
    EXPECT_EQ(random_int::square_mod_n(c.x, c.n), c.expected) << c.x << "^2 mod " << c.n;
  }
  EXPECT_FAILURE(constraint_error, random_int::square_mod_n(5, 0));
}

// The draws divide through reciprocals made with the generator; they must give the remainders of
// a true division for every modulus a state may hold, positive or negative, and every residue.
TEST(RandomTest, ReciprocalsGiveTheRemaindersOfDivisionForEveryModulus) {
  std::vector<std::int32_t> moduli = {1,       2,  3,  7,  31, q,  p,       int_max,
                                      int_min, -1, -2, -3, -q, -p, -int_max};
  for (int k = 1; k <= 30; ++k) {
    for (const std::int32_t near : {(1 << k) - 1, 1 << k, (1 << k) + 1}) {
      moduli.push_back(near);
      moduli.push_back(-near);
    }
  }
  std::vector<std::int32_t> residues = {0,       1,       -1,          2,     -2,
                                        46340,   46341,   -46341,      65535, 65536,
                                        int_max, int_min, int_min + 1, p - 1, q - 1};
  std::uint32_t mix = 2463534242U;
  for (int k = 0; k < 200; ++k) {
    mix ^= mix << 13U;
    mix ^= mix >> 17U;
    mix ^= mix << 5U;
    residues.push_back(static_cast<std::int32_t>(mix));
    moduli.push_back(static_cast<std::int32_t>(mix >> (k % 31)) | 1);
  }
  for (const std::int32_t n : moduli) {
    const random_int::modulus by_n(n);
    EXPECT_EQ(by_n.value(), n);
    for (const std::int32_t x : residues) {
      ASSERT_EQ(by_n.square_mod(x), random_int::square_mod_n(x, n)) << x << "^2 mod " << n;
    }
  }
}

// A draw as it was first written: true divisions, and branches for the corrections.
std::int32_t dividing_draw(std::int32_t n, state& s) {
  s.x1 = random_int::square_mod_n(s.x1, s.p);
  s.x2 = random_int::square_mod_n(s.x2, s.q);
  std::int64_t temp = std::int64_t{s.x2} - s.x1;
  if (temp < 0) {
    temp += s.q;
  }
  if (temp < 0) {
    temp += s.q;
  }
  const double tf =
      (static_cast<double>(temp) * static_cast<double>(s.p) + static_cast<double>(s.x1)) * s.scl +
      1.5;
  // Halves away from zero, as the generator rounds: tf is never negative.
  return tf > static_cast<double>(n)
             ? 1
             : static_cast<std::int32_t>(tf + 0.5);  // NOLINT(bugprone-incorrect-roundings)
}

TEST(RandomTest, EveryRangeDrawsWhatDivisionGives) {
  for (std::int32_t n = 1; n <= 10000; ++n) {
    const range r(n);
    generator g = r.make_generator();
    state reference = g.gen_state;
    // The schedule's sizes as far as the schedule draws; the others for a stretch.
    const bool schedule_size = n == 10 || n == 100 || n == 1000 || n == 10000;
    const int how_many = schedule_size ? 2 * n : 40;
    for (int k = 0; k < how_many; ++k) {
      ASSERT_EQ(r.random(g), dividing_draw(n, reference)) << "n = " << n << ", draw " << k;
    }
  }
}

TEST(RandomTest, AStateWrittenDirectlyDrawsWithItsOwnModuli) {
  const range r(1000);
  generator g = r.make_generator();
  state other = r.value("12345, 678, 40009");
  g.gen_state = other;
  for (int k = 0; k < 100; ++k) {
    ASSERT_EQ(r.random(g), dividing_draw(1000, other)) << "draw " << k;
  }
}

TEST(RandomTest, ResetFromAnIntegerReplacesTheWholeState) {
  struct reset_case {
    std::int32_t initiator, x1, x2;
  };
  const reset_case cases[] = {
      {0, 27466141, 27466186},  // 2^32 modulo p and modulo q
      {-1, 27466141, 27466186},      {12345, 27621573, 37245473},
      {int_min, 40311549, 38420572}, {int_max, 40311549, 38420572},
  };
  const range r(100);
  for (const reset_case& c : cases) {
    generator g;
    random_int::range::reset(g, state{1, 2, 3, 4, 5.0, 6.0});
    r.reset(g, c.initiator);
    EXPECT_EQ(r.save(g), seeded(r, c.x1, c.x2)) << "initiator " << c.initiator;
  }
}

TEST(RandomTest, SavedStateResumesTheSequence) {
  const range r(10000);
  generator g = r.make_generator();
  draws(r, g, 37);
  const state saved = random_int::range::save(g);
  const std::vector<std::int32_t> onwards = draws(r, g, 50);
  generator other;
  random_int::range::reset(other, saved);
  EXPECT_EQ(r.save(other), saved);
  EXPECT_EQ(draws(r, other, 50), onwards);
}

// Sets the C library's local time zone for one test and puts the previous one back.
class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    if (const char* previous = std::getenv("TZ")) {
      previous_ = previous;
      had_previous_ = true;
    }
    set(zone);
  }
  ~LocalZone() {
    if (had_previous_) {
      set(previous_.c_str());
    } else {
      ::unsetenv("TZ");
      ::tzset();
    }
  }
  LocalZone(const LocalZone&) = delete;
  LocalZone& operator=(const LocalZone&) = delete;
  LocalZone(LocalZone&&) = delete;
  LocalZone& operator=(LocalZone&&) = delete;

 private:
  static void set(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  std::string previous_;
  bool had_previous_ = false;
};

frame::time at(std::int64_t seconds_since_1970, std::int64_t milliseconds = 0) {
  return frame::time{seconds_since_1970 * 1'000'000'000 + milliseconds * 1'000'000};
}

TEST(RandomTest, ResetFromATimeSeedsWithLocalDateAndTimeOfDay) {
  struct time_case {
    const char* zone = nullptr;
    frame::time when;
    std::int32_t x1 = 0;
    std::int32_t x2 = 0;
  };
  const time_case cases[] = {
      // 2024-02-29 13:45:30.123: date number 753009, 49530123 ms since midnight.
      {"UTC0", at(1709214330, 123), 42821742, 44266316},
      // 2024-02-29 23:30 in UTC is already 2024-03-01 01:30 two hours east.
      {"UTC-2", at(1709249400), 28325035, 5832321},
      // The first and the last moment of the accepted years.
      {"UTC0", at(-2177452800), 11898330, 27466186},
      {"UTC0", at(4102444799, 999), 40270554, 18103726},
      // A millisecond before 1970: the fraction of a second counts forward from 23:59:59.
      {"UTC0", frame::time{-1'000'000}, 19969806, 18103726},
  };
  const range r(1000);
  for (const time_case& c : cases) {
    const LocalZone zone(c.zone);
    generator g = r.make_generator();
    r.reset(g, c.when);
    EXPECT_EQ(r.save(g), seeded(r, c.x1, c.x2)) << c.zone << " " << c.when.nanoseconds;
  }
}

TEST(RandomTest, ResetFromATimeOutsideTheAcceptedYearsIsATimeError) {
  const LocalZone zone("UTC0");
  const range r(1000);
  for (const frame::time when :
       {at(-2177452801, 999), at(4102444800), frame::time{std::numeric_limits<std::int64_t>::min()},
        frame::time{std::numeric_limits<std::int64_t>::max()}}) {
    generator g = r.make_generator();
    EXPECT_FAILURE(time_error, r.reset(g, when)) << when.nanoseconds;
    EXPECT_EQ(r.save(g), default_state(r));
  }
}

TEST(RandomTest, ResetFromTheClockGivesAStateThatDraws) {
  const range r(100);
  generator g = r.make_generator();
  r.reset(g);
  const state s = random_int::range::save(g);
  EXPECT_EQ(s.p, p);
  EXPECT_EQ(s.q, q);
  EXPECT_EQ(s.scl, r.scal());
  EXPECT_GE(s.x1, 2);
  EXPECT_GE(s.x2, 2);
  for (const std::int32_t value : draws(r, g, 100)) {
    EXPECT_GE(value, 1);
    EXPECT_LE(value, 100);
  }
}

TEST(RandomTest, ImageWritesTheResiduesAndQ) {
  const range r(10);
  EXPECT_EQ(range::image(r.make_generator().gen_state).view(), " 8994001, 2070721, 47416679");
  EXPECT_EQ(range::image(state{-5, 0, 11, int_min, 0.0, 0.0}).view(), "-5, 0,-2147483648");
  EXPECT_EQ(range::image(state{int_min, int_min, 0, int_min, 0.0, 0.0}).view(),
            "-2147483648,-2147483648,-2147483648");
}

TEST(RandomTest, ValueReadsBackTheImageOfEveryStateMadeHere) {
  for (const std::int32_t n : {1, 10, 10000}) {
    const range r(n);
    std::vector<state> made;
    generator g = r.make_generator();
    made.push_back(random_int::range::save(g));
    for (const int steps : {1, 999, 4000}) {
      draws(r, g, steps);
      made.push_back(random_int::range::save(g));
    }
    for (const std::int32_t initiator : {0, 12345, int_min}) {
      r.reset(g, initiator);
      made.push_back(random_int::range::save(g));
      draws(r, g, 3);
      made.push_back(random_int::range::save(g));
    }
    r.reset(g);
    made.push_back(random_int::range::save(g));
    for (const state& s : made) {
      EXPECT_EQ(r.value(range::image(s)), s) << "n = " << n << ": " << range::image(s).view();
    }
  }
}

TEST(RandomTest, ValueRebuildsPAndTheScaleFromQ) {
  const range r(10);
  EXPECT_EQ(r.value("  +8994001 ,2070721  ,  047416679  "), default_state(r));
  EXPECT_EQ(r.value("5,7,31"), (state{5, 7, 63, 31, 63.0, 10.0 / (63.0 * 31.0)}));
  // The largest q whose p still fits.
  EXPECT_EQ(r.value("2,2,1073741823"),
            (state{2, 2, int_max, 1073741823, 2147483647.0, 10.0 / (2147483647.0 * 1073741823.0)}));
}

TEST(RandomTest, ValueRefusesWhatIsNotAStateItCouldHaveMade) {
  const char* const refused[] = {
      "",
      "   ",
      ",",
      ",,",
      " 8994001",                      // no comma
      " 8994001, 2070721",             // no second comma
      " 8994001, 2070721, 30",         // q <= 30
      " 1, 2070721, 47416679",         // x1 below 2
      " 8994001, 1, 47416679",         // x2 below 2
      " 94833359, 2070721, 47416679",  // x1 = p
      " 8994001, 47416679, 47416679",  // x2 = q
      " 8994001, 2070721, -47416679",
      " 8994001, 2070721, 1073741824",  // p = 2q + 1 wraps negative
      " 8994001, 2070721, 2147483647",
      ", 2070721, 47416679",  // empty field
      " 8994001,, 47416679",
      " 8994001, 2070721,",
      " 8994001,   , 47416679",         // spaces only
      " 8994001, 2070721, 4741667a",    // a letter
      " 8994001, 2070721, 2147483648",  // beyond 32 bits
      " 8994001, 2070721, 99999999999999999999999",
      "-2147483649, 2070721, 47416679",
      " 8994001, 2070721, 47416679,",  // a third comma
      " 8994001, 2070721, 47416679, 5",
      " + 8994001, 2070721, 47416679",  // the sign apart from the digits
      " --8994001, 2070721, 47416679",
      " 8994 001, 2070721, 47416679",
      "\t8994001, 2070721, 47416679",
      " 8994001, 2070721, 47416679\n",
      " 8994001; 2070721; 47416679",
      " 0x10, 2070721, 47416679",
      " 8_994_001, 2070721, 47416679",
  };
  const range r(10);
  for (const char* text : refused) {
    generator g = r.make_generator();
    r.random(g);
    const state before = random_int::range::save(g);
    EXPECT_FAILURE(constraint_error, r.reset(g, r.value(text))) << '"' << text << '"';
    EXPECT_EQ(r.save(g), before);
  }
  EXPECT_NO_FAILURE(
      static_cast<void>(r.value(" 94833358, 47416678, 47416679")));  // the largest residues
}

TEST(RandomTest, ValueReadsOnlyTheTextItIsGiven) {
  // Texts in buffers of exactly their length, so that a read past the end is caught by the
  // address sanitizer. Each position of the default image takes every byte value in turn.
  const range r(10);
  const std::string image(range::image(r.make_generator().gen_state).view());
  for (std::size_t length = 0; length <= image.size(); ++length) {
    for (std::size_t position = 0; position < length; ++position) {
      for (int byte = 0; byte < 256; ++byte) {
        const auto buffer = std::make_unique<char[]>(length);
        image.copy(buffer.get(), length);
        buffer[position] = static_cast<char>(byte);
        const std::string_view text(buffer.get(), length);
        const auto outcome = frame::handled([&] { static_cast<void>(r.value(text)); });
        ASSERT_TRUE(!outcome || *outcome == frame::failure_kind::constraint_error) << text;
      }
    }
  }
}

}  // namespace
