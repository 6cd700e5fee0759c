// Fuzz target: reading a generator state from a text of any bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "fuzz/properties.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The fuzzer's own buffer, which ends where the input does, so that AddressSanitizer catches a
  // read past the end of the text (a copy in a std::string would have a terminator there).
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): char may alias any byte.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string violation = velk_fuzz::check_value_text(text);
  if (!violation.empty()) {
    std::cerr << "property violated: " << violation << std::endl;
    std::abort();
  }
  return 0;
}
