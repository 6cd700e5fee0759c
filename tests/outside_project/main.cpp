// Searches one key in a list of 100 odd keys with a counted binary search, under the program
// frame, and prints where it was found and how many comparisons that took.
#include <velk/frame/frame.hpp>
#include <velk/frame/integer_image.hpp>
#include <velk/frame/text_output.hpp>
#include <velk/search/velk_sr.hpp>

#include <cstdint>

namespace {

// Too big for a small stack, so it lives in static storage.
velk_sr::list keys;

void search_once() {
  for (std::int32_t i = 1; i <= 100; ++i) {
    keys.data[i].key = 2 * i - 1;
  }
  keys.count = 100;
  velk_sr::reset_counts();
  const velk_sr::search_result result = velk_sr::binary1search(keys, 77, false, 1);
  frame::put_line(frame::join<64>(
      result.found ? "found at" : "not found,", frame::integer_image(result.location), " after",
      frame::integer_image(velk_sr::get_counts().comparisons), " comparisons"));
}

}  // namespace

int main(int argc, char** argv) { frame::run(argc, argv, {velk_sr::initialize}, search_once); }
