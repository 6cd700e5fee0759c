#include "driver/number_images.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "frame/checks.hpp"
#include "frame/integer_image.hpp"

namespace velk_ts {
namespace {

// 10^0 .. 10^40, each the nearest extended value (the compiler rounds decimal literals to
// nearest). Up to 10^27 they are exact.
constexpr frame::checked_array<long double, 0, 40> powers_of_ten = [] {
  constexpr long double nearest[] = {
      1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L,
      1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L,
      1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L, 1e28L, 1e29L, 1e30L, 1e31L, 1e32L,
      1e33L, 1e34L, 1e35L, 1e36L, 1e37L, 1e38L, 1e39L, 1e40L,
  };
  frame::checked_array<long double, 0, 40> powers;
  int m = 0;
  for (const long double power : nearest) {
    powers[m++] = power;
  }
  return powers;
}();

long double ten_to(int m) { return powers_of_ten[m]; }

// The most digits that the formatter forms from the value; the rest are zeros.
constexpr int max_formed_digits = 18;

// A magnitude on its way to digits: `x` times 10^`s` is the value being written.
struct scaled {
  long double x;
  int s;
};

// The most steps of 10^40 that scaling takes: the extended format reaches from about 10^-4951 to
// 10^4932, and no finite value in it lies more than 124 such steps from the digits wanted. Only
// a value that the arithmetic takes for an infinity or a zero although the checks before did not
// (an emulated processor that computes in fewer bits) could ask for more; it is refused.
constexpr int max_big_steps = 125;

// Brings a magnitude below 10^(width-1) up into 10^(width-1) <= x < 10^width: big steps of
// 10^40 first, then a bisection for the last power.
scaled scale_up(scaled v, int width) {
  const long double low = ten_to(width - 1);
  const long double high = ten_to(width);
  for (int step = 0; v.x * ten_to(40) < low; ++step) {
    frame::check(step < max_big_steps);
    v = {v.x * ten_to(40), v.s - 40};
  }
  int lo = 1;
  int hi = 40;
  while (true) {
    const int m = (lo + hi) / 2;
    const long double y = v.x * ten_to(m);
    if (y < low) {
      if (lo >= hi) {
        return {y * 10.0L, v.s - (m + 1)};
      }
      lo = m + 1;
    } else if (y >= high) {
      if (lo >= hi) {
        return {y / 10.0L, v.s - (m - 1)};
      }
      hi = m - 1;
    } else {
      return {y, v.s - m};
    }
  }
}

// The mirror image of scale_up, for a magnitude at or above 10^width.
scaled scale_down(scaled v, int width) {
  const long double low = ten_to(width - 1);
  const long double high = ten_to(width);
  for (int step = 0; v.x / ten_to(40) >= high; ++step) {
    frame::check(step < max_big_steps);
    v = {v.x / ten_to(40), v.s + 40};
  }
  int lo = 1;
  int hi = 40;
  while (true) {
    const int m = (lo + hi) / 2;
    const long double y = v.x / ten_to(m);
    if (y < low) {
      if (lo >= hi) {
        return {y * 10.0L, v.s + (m - 1)};
      }
      hi = m - 1;
    } else if (y >= high) {
      if (lo >= hi) {
        return {y / 10.0L, v.s + (m + 1)};
      }
      lo = m + 1;
    } else {
      return {y, v.s + m};
    }
  }
}

// Brings the magnitude to `width` digits before the point and rounds it, halves upwards, to a
// whole number of `width` digits (one more power of ten when rounding carries out).
scaled scale_and_round(scaled v, int width) {
  if (v.x < ten_to(width - 1)) {
    v = scale_up(v, width);
  } else if (v.x >= ten_to(width)) {
    v = scale_down(v, width);
  }
  v.x = v.x + 0.5L;
  if (v.x >= ten_to(width)) {
    v = {v.x / 10.0L, v.s + 1};
  }
  return v;
}

// The digits of a value, as the formatter forms them: up to 19 digits, then `zeros` more.
struct digit_string {
  frame::fixed_text<max_formed_digits + 1> digits;
  int zeros = 0;

  [[nodiscard]] int length() const { return static_cast<int>(digits.size()) + zeros; }
  [[nodiscard]] char at(int index) const {
    return index < static_cast<int>(digits.size()) ? digits.view()[static_cast<std::size_t>(index)]
                                                   : '0';
  }
};

// The whole part of a non-negative magnitude, in decimal without leading zeros. Scaling leaves
// at most 19 digits; anything that could not be converted is refused rather than guessed at.
digit_string convert(long double x) {
  frame::check(x < 0x1p64L);
  auto whole = static_cast<std::uint64_t>(x);
  char reversed[std::numeric_limits<std::uint64_t>::digits10 + 1];
  std::size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  digit_string formed;
  while (count > 0) {
    formed.digits.append(reversed[--count]);
  }
  return formed;
}

void append_repeated(real_text& text, char c, int count) {
  for (int i = 0; i < count; ++i) {
    text.append(c);
  }
}

// The blanks and the sign that fill `width` characters before the digits: only a minus sign
// is ever written.
void append_blanks_and_sign(real_text& text, char sign, int width) {
  if (sign == '-') {
    append_repeated(text, ' ', width - 1);
    text.append('-');
  } else {
    append_repeated(text, ' ', width);
  }
}

// "NaN" or a signed "Inf", with "*" up to the width that a number in this layout would take.
real_text not_finite_image(std::string_view word, real_layout layout) {
  const int width = layout.exponent_width > 0
                        ? layout.integer_width + layout.fraction_digits + layout.exponent_width + 2
                        : layout.integer_width + layout.fraction_digits + 1;
  real_text text(word);
  append_repeated(text, '*', width - static_cast<int>(word.size()));
  return text;
}

real_text zero_image(char sign, int fraction, real_layout layout) {
  real_text text;
  append_blanks_and_sign(text, sign, layout.integer_width - 1);
  text.append("0.");
  append_repeated(text, '0', fraction);
  if (layout.exponent_width > 0) {
    text.append("E+");
    append_repeated(text, '0', std::max(layout.exponent_width - 1, 1));
  }
  return text;
}

// d.ddd...E+ee: `fraction` + 1 significant digits, the first before the point.
real_text exponent_image(char sign, long double magnitude, int fraction, real_layout layout) {
  scaled v{magnitude, 0};
  digit_string formed;
  if (fraction + 1 <= max_formed_digits) {
    v = scale_and_round(v, fraction + 1);
    formed = convert(v.x);
  } else {
    v = scale_and_round(v, max_formed_digits);
    formed = convert(v.x);
    formed.zeros = fraction + 1 - max_formed_digits;
    v.s -= formed.zeros;
  }
  const int exponent = v.s + fraction;

  real_text text;
  append_blanks_and_sign(text, sign, layout.integer_width - 1);
  text.append(formed.at(0));
  text.append('.');
  for (int i = 1; i < formed.length(); ++i) {
    text.append(formed.at(i));
  }
  text.append('E');
  text.append(exponent >= 0 ? '+' : '-');
  // The integer image of the magnitude, less its leading blank.
  const frame::integer_image_text magnitude_image = frame::integer_image(std::abs(exponent));
  const std::string_view magnitude_digits = magnitude_image.view().substr(1);
  append_repeated(text, '0', layout.exponent_width - 1 - static_cast<int>(magnitude_digits.size()));
  text.append(magnitude_digits);
  return text;
}

// The digits of magnitude x 10^fraction, rounded half up to a whole number, the point set
// `fraction` digits from the right.
real_text fixed_image(char sign, long double magnitude, int fraction, real_layout layout) {
  scaled v{magnitude, 0};
  digit_string formed;
  int k = fraction;
  while (true) {
    if (v.x >= ten_to(max_formed_digits)) {
      v = scale_and_round(v, max_formed_digits);
      formed = convert(v.x);
      formed.zeros = v.s + k;
      break;
    }
    if (k == 0) {
      formed = convert(v.x + 0.5L);
      break;
    }
    if (k > 39) {
      v.x = v.x * ten_to(40);
      k -= 40;
    } else {
      v.x = v.x * ten_to(k);
      k = 0;
    }
  }

  real_text text;
  const int length = formed.length();
  if (length <= fraction) {
    append_blanks_and_sign(text, sign, layout.integer_width - 1);
    text.append("0.");
    append_repeated(text, '0', fraction - length);
    for (int i = 0; i < length; ++i) {
      text.append(formed.at(i));
    }
  } else {
    const int whole_digits = length - fraction;
    append_blanks_and_sign(text, sign, layout.integer_width - whole_digits);
    for (int i = 0; i < length; ++i) {
      if (i == whole_digits) {
        text.append('.');
      }
      text.append(formed.at(i));
    }
  }
  return text;
}

}  // namespace

real_text real_image(long double value, real_layout layout) {
  // No wider layout could be written; the bound also keeps the counts of zeros far from overflow.
  auto fits = [](int width) { return width >= 0 && width <= real_text_capacity; };
  frame::check(fits(layout.integer_width) && fits(layout.fraction_digits) &&
               fits(layout.exponent_width));
  const int fraction = std::max(layout.fraction_digits, 1);
  if (std::isnan(value)) {
    return not_finite_image("NaN", layout);
  }
  if (std::isinf(value)) {
    return not_finite_image(value > 0 ? "+Inf" : "-Inf", layout);
  }
  if (value == 0) {
    return zero_image(std::signbit(value) ? '-' : '+', fraction, layout);
  }
  const char sign = value > 0 ? '+' : '-';
  const long double magnitude = value > 0 ? value : -value;
  return layout.exponent_width > 0 ? exponent_image(sign, magnitude, fraction, layout)
                                   : fixed_image(sign, magnitude, fraction, layout);
}

float_image_text float_image(long double value, int digits) {
  frame::check(digits >= 1 && digits <= max_float_digits);
  float_image_text image;
  if (value > 0 || (value == 0 && !std::signbit(value))) {
    image.append(' ');
  }
  image.append(
      real_image(value, {.integer_width = 1, .fraction_digits = digits - 1, .exponent_width = 3}));
  return image;
}

duration_image_text duration_image(frame::duration interval) {
  // The extended value nearest to 10^-9; the count converts exactly, the product rounds once.
  constexpr long double seconds_per_nanosecond = 1e-9L;
  const long double seconds = static_cast<long double>(interval) * seconds_per_nanosecond;
  duration_image_text image;
  if (seconds >= 0) {
    image.append(' ');
  }
  image.append(
      real_image(seconds, {.integer_width = 1, .fraction_digits = 9, .exponent_width = 0}));
  return image;
}

}  // namespace velk_ts
