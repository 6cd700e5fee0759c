// The integer image: a blank or a minus sign, then the decimal digits without leading zeros.
#pragma once

#include <cstdint>

#include "fixed_text.hpp"

namespace frame {

// Sign and ten digits at the most: "-2147483648".
using integer_image_text = fixed_text<11>;

// " 10" for 10, " 0" for 0, "-5" for -5, "-2147483648" for the most negative value.
constexpr integer_image_text integer_image(std::int32_t value) {
  char digits[10]{};
  int count = 0;
  // Digits are taken from the value on its own side of zero, so the most negative value needs
  // no magnitude that does not fit.
  std::int32_t rest = value;
  do {
    const std::int32_t digit = rest % 10;
    digits[count++] = static_cast<char>('0' + (digit < 0 ? -digit : digit));
    rest /= 10;
  } while (rest != 0);
  integer_image_text image;
  image.append(value < 0 ? '-' : ' ');
  while (count > 0) {
    image.append(digits[--count]);
  }
  return image;
}

}  // namespace frame
