// The number images: the float image of an average, the duration image of an elapsed time and
// the real formatter behind both, checked digit for digit against exact integer arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "driver/number_images.hpp"
#include "failure_test_support.hpp"

namespace {

__extension__ using u128 = unsigned __int128;

using velk_ts::duration_image;
using velk_ts::float_image;
using velk_ts::real_image;
using velk_ts::real_layout;

constexpr long double inf = std::numeric_limits<long double>::infinity();
constexpr long double nan = std::numeric_limits<long double>::quiet_NaN();
constexpr std::int64_t ms = 1'000'000;
constexpr std::int64_t second = 1'000'000'000;

struct float_case {
  float value;
  const char* image;
};

TEST(FloatImage, WorkedValuesAndRoundingAtTheSixthDigit) {
  for (const float_case& c : {
           float_case{5.5F, " 5.50000E+00"},
           float_case{0.0F, " 0.00000E+00"},
           float_case{10000.0F, " 1.00000E+04"},
           float_case{1234.5F, " 1.23450E+03"},
           float_case{5000.0625F, " 5.00006E+03"},
           float_case{13.8F, " 1.38000E+01"},
           float_case{0.1F, " 1.00000E-01"},
           float_case{4.24F, " 4.24000E+00"},
           float_case{1.0F, " 1.00000E+00"},
           float_case{1234.125F, " 1.23413E+03"},  // a tie rounds up
           float_case{1234.1249F, " 1.23412E+03"},
           float_case{999999.5F, " 1.00000E+06"},  // rounding carries into a new power of ten
           float_case{999999.4F, " 9.99999E+05"},
           float_case{0.001F, " 1.00000E-03"},
           float_case{1.0e-10F, " 1.00000E-10"},
           float_case{3.0e38F, " 3.00000E+38"},
           float_case{-5.5F, "-5.50000E+00"},
           float_case{-1234.125F, "-1.23413E+03"},  // halves round away from zero
           float_case{-0.0F, "-0.00000E+00"},
       }) {
    EXPECT_EQ(float_image(c.value, 6).view(), c.image) << c.value;
  }
}

TEST(FloatImage, DigitsSetTheFractionAndAtLeastTwoAreWritten) {
  EXPECT_EQ(float_image(1234.5F, 3).view(), " 1.23E+03");
  EXPECT_EQ(float_image(1234.5F, 1).view(), " 1.2E+03");
  EXPECT_EQ(float_image(0.0F, 1).view(), " 0.0E+00");
  // Past the 18th significant digit only zeros follow.
  EXPECT_EQ(float_image(0.1F, 20).view(), " 1.0000000149011611900E-01");
  EXPECT_EQ(float_image(0.1F, 18).view(), " 1.00000001490116119E-01");
  EXPECT_FAILURE(constraint_error, float_image(1.0F, 0));
  EXPECT_FAILURE(constraint_error, float_image(1.0F, velk_ts::max_float_digits + 1));
  EXPECT_NO_FAILURE(float_image(-1.0e-4000L, velk_ts::max_float_digits));
  EXPECT_EQ(float_image(-1.0e-4000L, 6).view(), "-1.00000E-4000");
}

TEST(FloatImage, NotANumberAndInfinitiesFillTheWidthWithStars) {
  EXPECT_EQ(float_image(nan, 6).view(), "NaN********");
  EXPECT_EQ(float_image(inf, 6).view(), " +Inf*******");
  EXPECT_EQ(float_image(-inf, 6).view(), "-Inf*******");
}

TEST(DurationImage, SecondsWithNineDecimals) {
  struct duration_case {
    std::int64_t interval;
    const char* image;
  };
  for (const duration_case& c : {
           duration_case{0, " 0.000000000"},
           duration_case{16 * ms, " 0.016000000"},
           duration_case{50 * ms, " 0.050000000"},
           duration_case{1500 * ms, " 1.500000000"},
           duration_case{12'345'678'901, " 12.345678901"},
           duration_case{-10 * ms, "-0.010000000"},
           duration_case{1000 * second, " 1000.000000000"},
           duration_case{1, " 0.000000001"},
           duration_case{-1, "-0.000000001"},
           duration_case{86'400 * second - 1, " 86399.999999999"},
           // Past 10^18 ns only 18 significant digits are kept.
           duration_case{std::numeric_limits<std::int64_t>::max(), " 9223372036.854775810"},
           duration_case{std::numeric_limits<std::int64_t>::min(), "-9223372036.854775810"},
       }) {
    EXPECT_EQ(duration_image(c.interval).view(), c.image) << c.interval;
  }
}

TEST(RealImage, WidthsPadOnTheLeftAndTheExponentToItsWidth) {
  struct layout_case {
    long double value = 0;
    real_layout layout;
    const char* image = nullptr;
  };
  for (const layout_case& c : {
           layout_case{1234.5L, {6, 2, 0}, "  1234.50"},
           layout_case{-1234.5L, {6, 2, 0}, " -1234.50"},
           layout_case{-1234.5L, {2, 2, 0}, "-1234.50"},
           layout_case{0.25L, {3, 1, 0}, "  0.3"},
           layout_case{2.25L, {1, 0, 0}, "2.3"},  // no fraction still writes one digit
           layout_case{0.0L, {3, 2, 0}, "  0.00"},
           layout_case{-0.0L, {3, 2, 0}, " -0.00"},
           layout_case{1e-12L, {1, 9, 0}, "0.000000000"},
           layout_case{1e20L, {1, 2, 0}, "100000000000000000000.00"},
           layout_case{5.5L, {3, 5, 3}, "  5.50000E+00"},
           layout_case{-5.5L, {3, 5, 3}, " -5.50000E+00"},
           layout_case{5.5L, {1, 5, 4}, "5.50000E+000"},
           layout_case{5.5L, {1, 5, 1}, "5.50000E+0"},
           layout_case{
               1e-100L, {1, 2, 3}, "1.00E-100"},  // more digits when the exponent needs them
           layout_case{0.0L, {1, 5, 1}, "0.00000E+0"},
           layout_case{0.0L, {1, 5, 4}, "0.00000E+000"},
       }) {
    EXPECT_EQ(real_image(c.value, c.layout).view(), c.image) << c.image;
  }
}

TEST(RealImage, NotANumberAndInfinitiesInTheFixedForm) {
  EXPECT_EQ(real_image(nan, {1, 9, 0}).view(), "NaN********");
  EXPECT_EQ(real_image(inf, {1, 9, 0}).view(), "+Inf*******");
  EXPECT_EQ(real_image(-inf, {1, 9, 0}).view(), "-Inf*******");
  EXPECT_EQ(real_image(nan, {1, 0, 0}).view(), "NaN");  // never cut short
}

TEST(RealImage, ATextLongerThanItsBufferOrAnImpossibleLayoutFails) {
  EXPECT_FAILURE(constraint_error, real_image(1e100L, {1, 9, 0}));
  EXPECT_FAILURE(constraint_error, real_image(1.0L, {63, 2, 0}));
  EXPECT_FAILURE(constraint_error, real_image(std::numeric_limits<long double>::max(), {1, 2, 0}));
  // Layouts that no text could fit are refused before any digit is formed.
  EXPECT_FAILURE(constraint_error, real_image(std::numeric_limits<long double>::max(),
                                              {1, std::numeric_limits<int>::max(), 0}));
  EXPECT_FAILURE(constraint_error, real_image(1.0L, {-1, 2, 0}));
  EXPECT_FAILURE(constraint_error, real_image(1.0L, {1, 2, velk_ts::real_text_capacity + 1}));
}

long double ten_to_the(int n) {
  long double power = 1;
  while (n-- > 0) {
    power *= 10;
  }
  return power;
}

// The image of a positive single with six significant digits, halves rounded up, from the
// single's exact value M x 2^e scaled by a power of ten in 128-bit integers.
std::string exact_image(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const int biased = static_cast<int>(bits >> 23);
  const u128 significand = (bits & 0x7FFFFF) | (biased == 0 ? 0 : 0x800000);
  const int binary_exponent = (biased == 0 ? 1 : biased) - 150;
  // The 128-bit fractions below hold the singles these tests use (1e-3 and up) with room to
  // spare; far smaller ones would shift past the width.
  if (binary_exponent < -90) {
    return "(below the checked range)";
  }

  auto power_of_ten = [](int n) {
    u128 power = 1;
    while (n-- > 0) {
      power *= 10;
    }
    return power;
  };
  // value x 10^q = num / den; q is found so that 10^5 <= num / den < 10^6.
  for (int q = 0;;) {
    u128 num = significand;
    u128 den = 1;
    if (binary_exponent >= 0) {
      num <<= binary_exponent;
    } else {
      den <<= -binary_exponent;
    }
    if (q >= 0) {
      num *= power_of_ten(q);
    } else {
      den *= power_of_ten(-q);
    }
    if (num < power_of_ten(5) * den) {
      ++q;
    } else if (num >= power_of_ten(6) * den) {
      --q;
    } else {
      u128 digits = (2 * num + den) / (2 * den);
      int exponent = 5 - q;
      if (digits == power_of_ten(6)) {
        digits /= 10;
        ++exponent;
      }
      char image[32];
      const auto d = static_cast<unsigned>(digits);
      std::snprintf(image, sizeof image, " %u.%05uE%c%02d", d / 100000, d % 100000,
                    exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
      return image;
    }
  }
}

// Counts the singles whose float image differs from the exact one, and shows the first few.
int count_wrong_images(const std::vector<float>& values) {
  int wrong = 0;
  for (const float value : values) {
    const std::string expected = exact_image(value);
    const auto image = float_image(value, 6);
    if (image.view() != expected && ++wrong <= 10) {
      ADD_FAILURE() << std::hexfloat << value << ": " << image.view() << " instead of " << expected;
    }
  }
  return wrong;
}

TEST(FloatImageAgainstExactArithmetic, SinglesSpreadOverTheAverages) {
  const auto first = std::bit_cast<std::uint32_t>(1.0e-3F);
  const auto last = std::bit_cast<std::uint32_t>(1.0e4F);
  // An odd stride, so that the low bits of the significands vary too.
  const std::uint32_t stride = ((last - first) / 200'000) | 1;
  std::vector<float> values;
  for (std::uint32_t bits = first; bits <= last; bits += stride) {
    values.push_back(std::bit_cast<float>(bits));
  }
  values.push_back(1.0e4F);
  ASSERT_GE(values.size(), 100'000U);
  EXPECT_EQ(count_wrong_images(values), 0);
}

TEST(FloatImageAgainstExactArithmetic, EveryTieAtTheSixthDigit) {
  // A single lies halfway between two six-digit images when its value is (2D + 1) / 2 x 10^-q
  // with 10^5 <= D < 10^6: for q >= 0 that is j / 2^(q+1) with j odd and 2D + 1 = j x 5^q, and
  // for q < 0 it is (2D + 1) x 5^-q x 2^(-q-1), which a single holds while the odd part fits in
  // its 24 bits. These are all the ties there are: the least is 2^-10, just below 10^-3, and
  // the greatest lies below 2^25.
  std::vector<float> ties;
  std::uint64_t five_to_q = 1;
  for (int q = 0; q <= 9; ++q, five_to_q *= 5) {
    for (std::uint64_t j = 1; j * five_to_q < 2'000'000; j += 2) {
      if (j * five_to_q > 200'000) {
        ties.push_back(std::ldexp(static_cast<float>(j), -(q + 1)));
      }
    }
  }
  for (std::uint64_t five_to_minus_q = 5, two_to = 1; five_to_minus_q <= 25;
       five_to_minus_q *= 5, two_to *= 2) {
    for (std::uint64_t odd = 200'001; odd < 2'000'000 && odd * five_to_minus_q < (1U << 24);
         odd += 2) {
      ties.push_back(static_cast<float>(odd * five_to_minus_q * two_to));
    }
  }
  ASSERT_GT(ties.size(), 2'000'000U);
  EXPECT_EQ(count_wrong_images(ties), 0);
}

// The error of an exponent-form image of a positive extended value, in units of its last digit:
// the image less the exact value, from the C library's correctly rounded expansion to 12 digits
// more.
long double image_error_in_units(long double value, int digits) {
  constexpr int extra = 12;
  char exact[96];
  std::snprintf(exact, sizeof exact, "%.*Le", digits - 1 + extra, value);
  const std::string reference(exact);
  const std::string image(real_image(value, {1, digits - 1, 5}).view());
  auto significand = [](const std::string& text) {
    u128 whole = 0;
    for (const char c : text.substr(0, text.find_first_of("eE"))) {
      if (c >= '0' && c <= '9') {
        whole = whole * 10 + static_cast<unsigned>(c - '0');
      }
    }
    return whole;
  };
  auto exponent = [](const std::string& text) {
    return std::stoi(text.substr(text.find_first_of("eE") + 1));
  };
  u128 image_scaled = significand(image);
  for (int i = 0; i < extra; ++i) {
    image_scaled *= 10;
  }
  // A rounding that carried into the next power of ten moves an exponent up by one.
  u128 reference_scaled = significand(reference);
  for (int shift = exponent(image) - exponent(reference); shift != 0;
       shift > 0 ? --shift : ++shift) {
    (shift > 0 ? image_scaled : reference_scaled) *= 10;
  }
  const long double difference = image_scaled >= reference_scaled
                                     ? static_cast<long double>(image_scaled - reference_scaled)
                                     : -static_cast<long double>(reference_scaled - image_scaled);
  return difference / 1e12L;
}

// The steps of 10^40 that scaling a value of decimal exponent `exponent` to `digits` digits
// takes, as the header counts them, and one more for a value that rounding puts across a
// boundary.
int big_steps(int exponent, int digits) {
  const int up = digits - 41 - exponent;
  const int down = exponent - digits;
  const int steps = up > 0 ? (up + 39) / 40 : (down >= 0 ? down / 40 : 0);
  return steps + 1;
}

TEST(RealImageAgainstExactArithmetic, ExtendedValuesStayWithinTheStatedBound) {
  // Values over the whole extended range, subnormal ones included: 64 random significand bits
  // and a random exponent, from a simple sequence, and the ends of the range.
  std::vector<long double> values = {std::numeric_limits<long double>::max(),
                                     std::numeric_limits<long double>::min(),
                                     std::numeric_limits<long double>::denorm_min(),
                                     1e-23L,
                                     1e58L,
                                     0x1.fffffffffffffffep-1L};
  std::uint64_t state = 2024;
  auto next = [&state] {
    state = state * 6364136223846793005U + 1442695040888963407U;
    return state;
  };
  for (int i = 0; i < 40'000; ++i) {
    const std::uint64_t significand = next() | (std::uint64_t{1} << 63);
    const int exponent = static_cast<int>(next() >> 33) % (16384 + 16446) - 16446;
    values.push_back(std::ldexp(static_cast<long double>(significand), exponent - 63));
  }
  for (const int digits : {15, 17, 18}) {
    int outside = 0;
    long double largest = 0;
    for (const long double value : values) {
      char exact[32];
      std::snprintf(exact, sizeof exact, "%.0Le", value);
      const int exponent = std::stoi(std::string(exact).substr(std::string(exact).find('e') + 1));
      const long double bound =
          (2.6L + 1.4L * big_steps(exponent, digits)) * 0x1p-64L * ten_to_the(digits) + 0.54L;
      const long double error = std::fabs(image_error_in_units(value, digits));
      largest = std::max(largest, error);
      if (error > bound && ++outside <= 10) {
        ADD_FAILURE() << std::hexfloat << value << " at " << digits << " digits: " << error
                      << " units off, bound " << bound;
      }
    }
    EXPECT_EQ(outside, 0) << digits << " digits";
    // Fewer than 18 digits are at most one unit from the correctly rounded digit.
    if (digits < 18) {
      EXPECT_LT(largest, 1.5L) << digits << " digits";
    }
  }
}

TEST(DurationImageAgainstExactArithmetic, WholeMillisecondsAndNanosecondCounts) {
  auto exact = [](std::int64_t interval) {
    const std::uint64_t magnitude = interval < 0 ? 0 - static_cast<std::uint64_t>(interval)
                                                 : static_cast<std::uint64_t>(interval);
    char image[32];
    std::snprintf(image, sizeof image, "%c%llu.%09llu", interval < 0 ? '-' : ' ',
                  static_cast<unsigned long long>(magnitude / second),
                  static_cast<unsigned long long>(magnitude % second));
    return std::string(image);
  };
  std::vector<std::int64_t> intervals;
  // Every millisecond of the first minute, then a spread up to a day and beyond.
  for (std::int64_t t = -1000 * ms; t <= 60'000 * ms; t += ms) {
    intervals.push_back(t);
  }
  for (std::int64_t t = 60'000 * ms; t <= 100 * 86'400LL * second; t += 86'400'017 * ms / 1000) {
    intervals.push_back(t);
  }
  // Nanosecond counts of every size below 10^18, from a simple sequence.
  std::uint64_t state = 12345;
  for (int i = 0; i < 200'000; ++i) {
    state = state * 6364136223846793005U + 1442695040888963407U;
    const std::uint64_t magnitude = (state >> 1) % (std::uint64_t{1} << (1 + i % 60));
    const auto t = static_cast<std::int64_t>(magnitude % 1'000'000'000'000'000'000U);
    intervals.push_back(i % 2 == 0 ? t : -t);
  }
  int wrong = 0;
  for (const std::int64_t t : intervals) {
    if (duration_image(t).view() != exact(t) && ++wrong <= 10) {
      ADD_FAILURE() << t << ": " << duration_image(t).view() << " instead of " << exact(t);
    }
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
