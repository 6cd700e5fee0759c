// A small program for the process-level tests: each case writes some output and then fails in
// its own way, so that a test can check the report and the exit status of the whole process.
#include <cstdint>
#include <limits>
#include <string_view>

#include "frame/text_output.hpp"
#include "search/velk_sr.hpp"

namespace {

velk_sr::list probe_list;

void fill(std::int32_t n) {
  for (std::int32_t i = 1; i <= n; ++i) {
    probe_list.data[i].key = 2 * i - 1;
  }
  probe_list.count = n;
}

void recbinary1_on_empty_bounds() {
  fill(10);
  frame::put_line("first line");
  frame::put_line("second line");
  velk_sr::recbinary1(probe_list, 5, 0, 0);
}

void count_past_the_limit() {
  fill(1);
  frame::put_line("before the count");
  velk_sr::cc = std::numeric_limits<std::int32_t>::max();
  velk_sr::sequentialsearch(probe_list, 1, false, 1);
}

void no_failure() { frame::put_line("all well"); }

}  // namespace

int main(int argc, char** argv) {
  const std::string_view which = argc > 1 ? argv[1] : "";
  if (which == "recbinary1-zero") {
    recbinary1_on_empty_bounds();
  } else if (which == "count-overflow") {
    count_past_the_limit();
  } else if (which == "none") {
    no_failure();
  } else {
    return 2;
  }
  return 0;
}
