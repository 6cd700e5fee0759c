#include "fuzz/properties.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>

#include "driver/number_images.hpp"
#include "frame/failure.hpp"
#include "random/random_int.hpp"

namespace velk_fuzz {
namespace {

using random_int::range;
using random_int::state;

// The ranges that every text is read for: the empty one, the smallest, the largest that the
// program uses and the largest there is. The range sets only the scale of the state read back.
constexpr std::int32_t checked_ranges[] = {0, 1, 10000, std::numeric_limits<std::int32_t>::max()};

// Draws made from each state read, to see that it gives values of its range.
constexpr int draws_per_state = 3;

// The text with every byte that is not printable ASCII written as \xNN, in quotes.
std::string quoted(std::string_view text) {
  constexpr std::string_view hex_digits = "0123456789ABCDEF";
  std::string escaped = "\"";
  for (const char c : text) {
    if (c >= ' ' && c <= '~' && c != '"' && c != '\\') {
      escaped += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      escaped += "\\x";
      escaped += hex_digits[byte / 16];
      escaped += hex_digits[byte % 16];
    }
  }
  return escaped + "\"";
}

// A double in hexadecimal scientific form, every bit shown.
std::string hex(double value) {
  std::array<char, 64> text{};
  auto* const end = std::to_chars(text.begin(), text.end(), value, std::chars_format::hex).ptr;
  return {text.begin(), end};
}

std::string shown(const state& s) {
  return "{x1 " + std::to_string(s.x1) + ", x2 " + std::to_string(s.x2) + ", p " +
         std::to_string(s.p) + ", q " + std::to_string(s.q) + ", fp " + hex(s.fp) + ", scl " +
         hex(s.scl) + "}";
}

std::string shown_failure(frame::failure_kind kind) { return std::string(printed_name(kind)); }

// One field of a state's text, read without the code under test: spaces, an optional sign right
// before the digits, at least one digit, spaces; the value must fit in 32 bits.
std::optional<std::int32_t> reference_field(std::string_view field) {
  const std::size_t first = field.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return std::nullopt;
  }
  std::string_view body = field.substr(first, field.find_last_not_of(' ') - first + 1);
  const bool negative = body.front() == '-';
  if (body.front() == '+' || body.front() == '-') {
    body.remove_prefix(1);
  }
  if (body.empty() ||
      !std::all_of(body.begin(), body.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), magnitude);
  if (error != std::errc() || end != body.data() + body.size()) {
    return std::nullopt;
  }
  const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  if (magnitude > limit) {
    return std::nullopt;
  }
  const auto signed_magnitude = static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(negative ? -signed_magnitude : signed_magnitude);
}

// The state that a text describes for the range 1..n, or nothing for a text that `value` must
// refuse: three fields split at the first two commas (the last field runs to the end), q of at
// least 31 with p = 2q + 1 inside 32 bits, x1 in 2..p-1 and x2 in 2..q-1.
std::optional<state> reference_state(std::string_view text, std::int32_t n) {
  const std::size_t first_comma = text.find(',');
  if (first_comma == std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t second_comma = text.find(',', first_comma + 1);
  if (second_comma == std::string_view::npos) {
    return std::nullopt;
  }
  const auto x1 = reference_field(text.substr(0, first_comma));
  const auto x2 = reference_field(text.substr(first_comma + 1, second_comma - first_comma - 1));
  const auto q = reference_field(text.substr(second_comma + 1));
  if (!x1 || !x2 || !q) {
    return std::nullopt;
  }
  const std::int64_t p = 2 * std::int64_t{*q} + 1;
  if (*q < 31 || p > std::numeric_limits<std::int32_t>::max() || *x1 < 2 || *x1 > p - 1 ||
      *x2 < 2 || *x2 > *q - 1) {
    return std::nullopt;
  }
  const auto p32 = static_cast<std::int32_t>(p);
  const double pq = static_cast<double>(p32) * static_cast<double>(*q);
  return state{*x1, *x2, p32, *q, static_cast<double>(p32), static_cast<double>(n) / pq};
}

std::string check_value_for_range(std::string_view text, std::int32_t n) {
  const range r(n);
  // Written out only for a violation: most inputs keep every property.
  auto where = [&] { return "value(" + quoted(text) + ") for n = " + std::to_string(n); };
  state read;
  const auto failure = frame::handled([&] { read = r.value(text); });
  const std::optional<state> expected = reference_state(text, n);
  if (failure) {
    if (*failure != frame::failure_kind::constraint_error) {
      return where() + " raised " + shown_failure(*failure);
    }
    if (expected) {
      return where() + " raised CONSTRAINT_ERROR, expected " + shown(*expected);
    }
    return {};
  }
  if (!expected) {
    return where() + " gave " + shown(read) + ", expected CONSTRAINT_ERROR";
  }
  if (read != *expected) {
    return where() + " gave " + shown(read) + ", expected " + shown(*expected);
  }

  const random_int::image_text image = range::image(read);
  state read_back;
  const auto back_failure = frame::handled([&] { read_back = r.value(image.view()); });
  if (back_failure) {
    return where() + ": its image " + quoted(image.view()) + " raised " +
           shown_failure(*back_failure);
  }
  if (read_back != read) {
    return where() + ": its image " + quoted(image.view()) + " read back as " + shown(read_back);
  }

  if (n < 1) {
    return {};
  }
  random_int::generator g = r.make_generator();
  range::reset(g, read);
  for (int i = 0; i < draws_per_state; ++i) {
    std::int32_t drawn = 0;
    const auto draw_failure = frame::handled([&] { drawn = r.random(g); });
    if (draw_failure) {
      return where() + ": draw " + std::to_string(i + 1) + " raised " +
             shown_failure(*draw_failure);
    }
    if (drawn < 1 || drawn > n) {
      return where() + ": draw " + std::to_string(i + 1) + " gave " + std::to_string(drawn);
    }
  }
  return {};
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "-d.dddddE+dd" with a blank for the minus of a value whose sign bit is clear, the first digit
// not zero unless the value is.
bool has_float_shape(std::string_view image, float value) {
  if (image.size() != 12) {
    return false;
  }
  const bool digits_in_place = is_digit(image[1]) && is_digit(image[3]) && is_digit(image[4]) &&
                               is_digit(image[5]) && is_digit(image[6]) && is_digit(image[7]) &&
                               is_digit(image[10]) && is_digit(image[11]);
  return image[0] == (std::signbit(value) ? '-' : ' ') && digits_in_place && image[2] == '.' &&
         image[8] == 'E' && (image[9] == '+' || image[9] == '-') &&
         ((image[1] == '0') == (value == 0));
}

std::uint64_t magnitude_of(std::int64_t count) {
  return count < 0 ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
}

constexpr std::uint64_t nanoseconds_per_second = 1'000'000'000;

// The count below which the duration image shows every nanosecond; above it, 18 significant
// digits and a zero.
constexpr std::uint64_t exact_duration_limit = 1'000'000'000'000'000'000;

// The text of an image, or the failure that making it raised.
struct image_outcome {
  std::string text;
  std::optional<frame::failure_kind> failure;
};

template <class image_function>
image_outcome outcome_of(image_function image) {
  image_outcome outcome;
  outcome.failure = frame::handled([&] { outcome.text = std::string(image().view()); });
  return outcome;
}

}  // namespace

std::string check_value_text(std::string_view text) {
  for (const std::int32_t n : checked_ranges) {
    std::string violation = check_value_for_range(text, n);
    if (!violation.empty()) {
      return violation;
    }
  }
  return {};
}

std::string reference_float_image(float value) {
  if (std::isnan(value)) {
    return "NaN********";
  }
  if (std::isinf(value)) {
    return value > 0 ? " +Inf*******" : "-Inf*******";
  }
  // A single's exact decimal expansion has at most 112 significant digits, so 151 of them show
  // it whole: the digit after the sixth then decides the rounding, a 5 or more rounding up.
  std::array<char, 200> expansion{};
  auto* const end =
      std::to_chars(expansion.begin(), expansion.end(), std::fabs(static_cast<double>(value)),
                    std::chars_format::scientific, 150)
          .ptr;
  const std::string_view text(expansion.begin(), end);
  std::string digits = std::string(1, text[0]) + std::string(text.substr(2, 5));
  const std::string_view exponent_text = text.substr(text.find('e') + 1);
  int exponent = 0;
  std::from_chars(exponent_text.begin() + (exponent_text.front() == '+' ? 1 : 0),
                  exponent_text.end(), exponent);
  if (text[7] >= '5') {
    int at = 5;
    while (at >= 0 && digits[static_cast<std::size_t>(at)] == '9') {
      digits[static_cast<std::size_t>(at--)] = '0';
    }
    if (at < 0) {
      digits.insert(0, "1");
      digits.pop_back();
      ++exponent;
    } else {
      ++digits[static_cast<std::size_t>(at)];
    }
  }
  const std::string exponent_digits = std::to_string(std::abs(exponent));
  return (std::signbit(value) ? "-" : " ") + digits.substr(0, 1) + "." + digits.substr(1) + "E" +
         (exponent < 0 ? "-" : "+") + (exponent_digits.size() < 2 ? "0" : "") + exponent_digits;
}

std::string reference_duration_image(std::int64_t nanoseconds) {
  const std::uint64_t magnitude = magnitude_of(nanoseconds);
  const std::string fraction = std::to_string(magnitude % nanoseconds_per_second);
  return (nanoseconds < 0 ? "-" : " ") + std::to_string(magnitude / nanoseconds_per_second) + "." +
         std::string(9 - fraction.size(), '0') + fraction;
}

std::string check_float_image(float value) {
  const std::string where = "float_image(" + hex(value) + ", 6)";
  const auto [image, failure] = outcome_of([&] { return velk_ts::float_image(value, 6); });
  if (failure) {
    return where + " raised " + shown_failure(*failure);
  }
  if (std::isfinite(value) && !has_float_shape(image, value)) {
    return where + " gave the misshapen " + quoted(image);
  }
  const std::string expected = reference_float_image(value);
  if (image != expected) {
    return where + " gave " + quoted(image) + ", expected " + quoted(expected);
  }
  return {};
}

std::string check_nanoseconds_image(std::int64_t nanoseconds) {
  const std::string where = "duration_image(" + std::to_string(nanoseconds) + ")";
  const auto [image, failure] = outcome_of([&] { return velk_ts::duration_image(nanoseconds); });
  if (failure) {
    return where + " raised " + shown_failure(*failure);
  }
  const std::string exact = reference_duration_image(nanoseconds);
  const std::uint64_t magnitude = magnitude_of(nanoseconds);
  if (magnitude < exact_duration_limit) {
    if (image != exact) {
      return where + " gave " + quoted(image) + ", expected " + quoted(exact);
    }
    return {};
  }
  // Past 10^18 ns: the same layout as the exact image, 18 significant digits and a zero, at most
  // one unit of the 18th digit away from the count.
  const std::size_t point = exact.find('.');
  bool shaped = image.size() == exact.size() && image[0] == exact[0] && image[point] == '.' &&
                image.back() == '0';
  std::string digits;
  for (std::size_t i = 1; shaped && i < image.size(); ++i) {
    if (i != point) {
      shaped = is_digit(image[i]);
      digits += image[i];
    }
  }
  std::uint64_t shown_count = 0;
  if (shaped) {
    std::from_chars(digits.data(), digits.data() + digits.size(), shown_count);
  }
  const std::uint64_t distance =
      shown_count > magnitude ? shown_count - magnitude : magnitude - shown_count;
  if (!shaped || distance > 10) {
    return where + " gave " + quoted(image) + ", too far from " + quoted(exact);
  }
  return {};
}

std::string check_milliseconds_image(std::int64_t milliseconds) {
  if (milliseconds < -max_milliseconds || milliseconds > max_milliseconds) {
    return std::to_string(milliseconds) + " ms has no 64-bit count of nanoseconds";
  }
  const std::int64_t nanoseconds = milliseconds * 1'000'000;
  const std::string where = "duration_image(" + std::to_string(milliseconds) + " ms)";
  const auto [image, failure] = outcome_of([&] { return velk_ts::duration_image(nanoseconds); });
  if (failure) {
    return where + " raised " + shown_failure(*failure);
  }
  // Whole milliseconds show exactly at every size: the digits past the 18th are zeros anyway.
  const std::string expected = reference_duration_image(nanoseconds);
  if (image != expected) {
    return where + " gave " + quoted(image) + ", expected " + quoted(expected);
  }
  return {};
}

std::string check_images_input(std::span<const std::uint8_t> bytes) {
  auto little_endian = [&](std::size_t from, std::size_t count) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < count && from + i < bytes.size(); ++i) {
      word |= std::uint64_t{bytes[from + i]} << (8 * i);
    }
    return word;
  };
  const auto single = std::bit_cast<float>(static_cast<std::uint32_t>(little_endian(0, 4)));
  const auto count = static_cast<std::int64_t>(little_endian(4, 8));
  const std::initializer_list<std::string> violations = {
      check_float_image(single), check_nanoseconds_image(count),
      check_milliseconds_image(count % (max_milliseconds + 1))};
  const auto* const first = std::find_if(violations.begin(), violations.end(),
                                         [](const std::string& v) { return !v.empty(); });
  return first == violations.end() ? std::string() : *first;
}

}  // namespace velk_fuzz
