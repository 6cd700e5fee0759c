// Properties that the fuzz targets check on every input, and that the corpus replay test checks
// on every seed. Each check gives back an empty text when the property holds and a description
// of the violation otherwise; the fuzz targets abort on a violation, the test reports it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velk_fuzz {

// Reading a generator state from text, for a few ranges: `value` either raises the constraint
// failure or gives back the state that an independent reading of the text describes; that state
// reads back through `image` to itself and draws values inside its range.
std::string check_value_text(std::string_view text);

// The float image of a single with six digits and the duration image, from the bytes of one
// input: bytes 0..3 hold the single's bits and bytes 4..11 a signed 64-bit count, both
// little-endian (missing bytes read as zero, further bytes are ignored). The count is imaged as
// nanoseconds, and, folded into the range that fits, as whole milliseconds.
std::string check_images_input(std::span<const std::uint8_t> bytes);

// The parts of check_images_input, for one value each.
std::string check_float_image(float value);
std::string check_nanoseconds_image(std::int64_t nanoseconds);
std::string check_milliseconds_image(std::int64_t milliseconds);

// The most milliseconds whose count of nanoseconds fits in 64 bits.
inline constexpr std::int64_t max_milliseconds = INT64_MAX / 1'000'000;

// The references that the checks compare with, worked out without the code under test: the
// float image from the single's exact decimal expansion, the duration image from integer
// arithmetic on the count.
std::string reference_float_image(float value);
std::string reference_duration_image(std::int64_t nanoseconds);

}  // namespace velk_fuzz
