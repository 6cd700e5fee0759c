#include "velk_ts.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "driver/number_images.hpp"
#include "frame/fixed_text.hpp"
#include "frame/integer_image.hpp"
#include "frame/text_output.hpp"
#include "random/random_int.hpp"

namespace velk_ts {

namespace {

using velk_sr::key_cl;
using velk_sr::key_type;

// Significant digits of the averages in the report.
constexpr int average_digits = 6;

// Room for the longest report line.
constexpr std::size_t line_capacity = 96;

enum class half { successful, unsuccessful };

struct test_size {
  std::int32_t size;
  std::string_view heading;
};

constexpr test_size schedule[] = {
    {10, "Size = 10 "}, {100, "Size = 100 "}, {1000, "Size = 1000 "}, {10000, "Size = 10000 "}};

// The average of `comparisons` over `searches`, as the single nearest to the exact quotient. The
// quotient is formed in the extended format: two 31-bit integers divided there cannot round onto
// a midpoint between two singles unless the quotient is that midpoint, so rounding on to single
// precision gives the nearest single.
float average_of(std::int32_t comparisons, std::int32_t searches) {
  return static_cast<float>(static_cast<long double>(comparisons) /
                            static_cast<long double>(searches));
}

void write_error_line(half which, key_type target) {
  const std::string_view outcome = which == half::successful ? " not found." : " found improperly.";
  frame::put_line(frame::join<line_capacity>("Error: Key ", frame::integer_image(target), outcome));
}

void write_summary(half which, float average, std::int32_t searchcount, frame::duration how_long) {
  const std::string_view label =
      which == half::successful ? " Successful search: " : " Unsuccessful search: ";
  frame::put_line(
      frame::join<line_capacity>(label, float_image(average, average_digits), " comparisons."));
  frame::put_line(frame::join<line_capacity>(" The elapsed time to complete ",
                                             frame::integer_image(searchcount), " searches is ",
                                             duration_image(how_long)));
}

// One half of a test: n searches for keys in the list, or n for keys not in it.
void run_half(half which, const velk_sr::list& l, velk_sr::searchmethod look,
              const random_int::range& ri_range, random_int::generator& g) {
  const std::int32_t searchcount = key_cl::listsize(l);
  velk_sr::reset_counts();
  if (key_cl::listempty(l)) {
    write_summary(which, 0.0F, searchcount, velk_sr::get_counts().interval);
    return;
  }
  bool found = false;
  velk_sr::position location;
  for (std::int32_t i = 1; i <= searchcount; ++i) {
    const std::int32_t r = ri_range.random(g);
    const key_type target = which == half::successful ? 2 * r - 1 : 2 * r;
    frame::check(look != nullptr);
    const velk_sr::search_result result = look(l, target, found, location);
    found = result.found;
    location = result.location;
    if (found != (which == half::successful)) {
      write_error_line(which, target);
    }
  }
  const velk_sr::counts measured = velk_sr::get_counts();
  write_summary(which, average_of(measured.comparisons, searchcount), searchcount,
                measured.interval);
}

}  // namespace

void testsearch(const velk_sr::list& l, velk_sr::searchmethod look) {
  const random_int::range ri_range(key_cl::listsize(l));
  random_int::generator g = ri_range.make_generator();
  run_half(half::successful, l, look, ri_range, g);
  run_half(half::unsuccessful, l, look, ri_range, g);
}

void main_procedure() {
  velk_sr::list search_list;
  for (std::int32_t i = 1; i <= key_cl::max_size; ++i) {
    search_list.data[i].key = 2 * i - 1;
  }
  struct method {
    std::string_view heading;
    velk_sr::searchmethod look;
  };
  for (const method& m : {method{"Sequential Searches: ", velk_sr::sequentialsearch},
                          method{"Binary Searches: ", velk_sr::binary1search}}) {
    frame::put_line(m.heading);
    for (const test_size& t : schedule) {
      frame::put_line(t.heading);
      search_list.count = t.size;
      testsearch(search_list, m.look);
    }
  }
}

}  // namespace velk_ts
