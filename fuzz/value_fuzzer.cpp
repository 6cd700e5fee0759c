// Fuzz target: reading a generator state from a text of any bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/properties.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string violation = velk_fuzz::check_value_text(text);
  if (!violation.empty()) {
    std::fprintf(stderr, "property violated: %s\n", violation.c_str());
    std::abort();
  }
  return 0;
}
