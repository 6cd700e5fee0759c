// Fuzz target: the float image of any single and the duration image of any count, from the
// layout that velk_fuzz::check_images_input describes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <span>
#include <string>

#include "fuzz/properties.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string violation = velk_fuzz::check_images_input(std::span(data, size));
  if (!violation.empty()) {
    std::cerr << "property violated: " << violation << std::endl;
    std::abort();
  }
  return 0;
}
