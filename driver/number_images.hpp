// The number images of the report: the float image of an average and the duration image of an
// elapsed time, both written by one real formatter that works in the 80-bit extended format.
// The integer image is frame::integer_image.
#pragma once

#include <limits>

#include "../frame/clock.hpp"
#include "../frame/fixed_text.hpp"

namespace velk_ts {

// The formatter rounds its extended-format intermediates as the 64-bit significand does; a
// narrower long double would give other digits.
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the 80-bit extended format");

// How the real formatter lays out a value: the width of the integer part (blanks pad it on the
// left), the number of digits after the point (at least one is written), and the width of the
// exponent, its sign included; an exponent width of 0 asks for the fixed form, without exponent.
struct real_layout {
  int integer_width = 1;
  int fraction_digits = 0;
  int exponent_width = 0;
};

// Room for every float and duration image. Each number of a layout lies in 0..real_text_capacity;
// another, or a text that would not fit, raises the constraint failure.
inline constexpr int real_text_capacity = 64;
using real_text = frame::fixed_text<real_text_capacity>;

// The text form of `value`, halves rounded away from zero at the last digit written. The
// exponent form holds 18 significant digits at the most and writes zeros after them; the fixed
// form writes zeros for the digits past the 18th. A non-negative value gets no sign, a negative
// one "-" (a negative zero too); not a number gives "NaN" and an infinity "+Inf" or "-Inf",
// either filled out with "*" to the width of the layout. A text longer than real_text holds (a
// huge value in fixed form) raises the constraint failure.
//
// The digits are not always exact. Each scaling step rounds to the 64-bit significand, and the
// powers of ten past 10^27 are rounded themselves, so the d digits formed (d <= 18) are those of
// the value times some 1 + e, rounded half up with one more rounding of under 1/32 of a unit. In
// the exponent form |e| < (2.6 + 1.4 k) 2^-64, where k counts the steps of 10^40 that scaling
// takes: none from 10^(d-41) to 10^(d+40), one more for each further factor of 10^40, and 124
// at the ends of the extended range, where |e| < 10^-17. The last digit formed thus lies within
// |e| 10^d + 0.54 units of the exact value: with 17 digits or fewer it is at most one unit from
// the correctly rounded digit; with 18 it is at most one unit off from 10^-23 to 10^58 (and
// then only for a value within 0.18 units of a half), and up to 10 units off at the ends of the
// extended range (3 or so in practice). Single-precision values at six digits are always exact.
// The fixed form takes up to two rounded steps more.
real_text real_image(long double value, real_layout layout);

// The float image takes 1 to 40 significant digits; more or fewer raise the constraint failure.
inline constexpr int max_float_digits = 40;

// A blank or a sign, a digit, the point, the other digits, "E", the exponent's sign and up to
// four digits (an extended value reaches 10^-4951).
using float_image_text = frame::fixed_text<max_float_digits + 10>;

// `value` with `digits` significant digits (at least two are written) in exponent form: a blank
// for a positive value or a zero with its sign bit clear, then "5.50000E+00" for 5.5 with 6.
// The report's averages are single-precision values, converted exactly.
float_image_text float_image(long double value, int digits);

// A blank or a sign, nineteen digits (a 64-bit count of nanoseconds) and the point.
using duration_image_text = frame::fixed_text<22>;

// `interval` in seconds with nine decimals and a blank before a non-negative one: " 0.016000000"
// for 16 ms, "-0.010000000" for -10 ms, " 1000.000000000" for 1000 s. Exact for every interval
// under 10^18 ns (about 31 years); longer ones keep 18 significant digits.
duration_image_text duration_image(frame::duration interval);

}  // namespace velk_ts
