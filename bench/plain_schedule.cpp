#include "plain_schedule.hpp"

#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace velk_bench::plain {

namespace {

constexpr int max_size = 10000;
constexpr int sizes[] = {10, 100, 1000, 10000};

int keys[max_size];  // keys[i] is the key at position i + 1
int comparisons;     // the counter, one more at every key comparison

using method = bool (*)(int n, int target, int* location);

// The moduli of the generator, its starting residues, and their product.
constexpr std::int64_t p = 94833359;
constexpr std::int64_t q = 47416679;
constexpr std::int64_t start_x1 = 8994001;
constexpr std::int64_t start_x2 = 2070721;
constexpr double pq = 4496682942194761.0;

}  // namespace

generator::generator(int n)
    : x1_(start_x1), x2_(start_x2), n_(n), scale_(static_cast<double>(n) / pq) {}

int generator::draw() {
  x1_ = x1_ * x1_ % p;
  x2_ = x2_ * x2_ % q;
  std::int64_t temp = x2_ - x1_;
  if (temp < 0) {
    temp += q;
  }
  if (temp < 0) {
    temp += q;
  }
  const double tf =
      (static_cast<double>(temp) * static_cast<double>(p) + static_cast<double>(x1_)) * scale_ +
      1.5;
  if (tf > n_) {
    return 1;
  }
  // Halves away from zero, as the generator rounds: tf is never negative.
  return static_cast<int>(tf + 0.5);  // NOLINT(bugprone-incorrect-roundings)
}

void fill_keys() {
  for (int i = 0; i < max_size; ++i) {
    keys[i] = 2 * i + 1;
  }
}

void zero_counter() { comparisons = 0; }

bool sequential_search(int n, int target, int* location) {
  for (int i = 0; i < n; ++i) {
    ++comparisons;
    if (keys[i] == target) {
      *location = i + 1;
      return true;
    }
  }
  *location = n;
  return false;
}

// Narrows to one position without testing for equality, counting the probes whose key is
// smaller than the target and the final equality test.
bool binary_search(int n, int target, int* location) {
  int bottom = 1;
  int top = n;
  while (bottom < top) {
    const int mid = (bottom + top) / 2;
    if (keys[mid - 1] < target) {
      ++comparisons;
      bottom = mid + 1;
    } else {
      top = mid;
    }
  }
  if (top == 0) {
    return false;
  }
  ++comparisons;
  if (keys[top - 1] != target) {
    return false;
  }
  *location = top;
  return true;
}

namespace {

// The monotonic clock in whole milliseconds, as the real stopwatch reads it.
std::int64_t now_in_milliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// Formats one line as printf does and writes it with its line feed in one write.
template <class... values>
void put_line(const char* format, values... arguments) {
  std::array<char, 128> line{};
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): the plain way to format a report line
  const int length = std::snprintf(line.data(), line.size() - 1, format, arguments...);
  if (length < 0 || length >= static_cast<int>(line.size()) - 1) {
    std::abort();
  }
  line.at(static_cast<std::size_t>(length)) = '\n';
  if (write(STDOUT_FILENO, line.data(), static_cast<std::size_t>(length) + 1) != length + 1) {
    std::abort();
  }
}

// One test: n searches for keys in the list, then n for keys not in it, each half followed by
// its average and elapsed time. Gives back the two comparison totals.
std::array<int, 2> test(int n, method search) {
  generator g(n);
  std::array<int, 2> half_totals{};
  for (int half = 0; half < 2; ++half) {
    const bool successful = half == 0;
    comparisons = 0;
    const std::int64_t start = now_in_milliseconds();
    for (int i = 0; i < n; ++i) {
      const int r = g.draw();
      const int target = successful ? 2 * r - 1 : 2 * r;
      int location = 0;
      if (search(n, target, &location) != successful) {
        put_line(successful ? "Error: Key  %d not found." : "Error: Key  %d found improperly.",
                 target);
      }
    }
    const int total = comparisons;
    const std::int64_t elapsed = now_in_milliseconds() - start;
    const auto average =
        static_cast<float>(static_cast<long double>(total) / static_cast<long double>(n));
    put_line(" %s search:  %.5E comparisons.", successful ? "Successful" : "Unsuccessful",
             static_cast<double>(average));
    put_line(" The elapsed time to complete  %d searches is  %" PRId64 ".%09" PRId64, n,
             elapsed / 1000, elapsed % 1000 * 1000000);
    half_totals[half] = total;
  }
  return half_totals;
}

}  // namespace

totals run_schedule() {
  fill_keys();
  struct named_method {
    const char* heading;
    method search;
  };
  const named_method methods[] = {{"Sequential Searches: ", sequential_search},
                                  {"Binary Searches: ", binary_search}};
  totals all{};
  std::size_t next = 0;
  for (const named_method& m : methods) {
    put_line("%s", m.heading);
    for (const int n : sizes) {
      put_line("Size = %d ", n);
      for (const int total : test(n, m.search)) {
        all[next++] = total;
      }
    }
  }
  return all;
}

}  // namespace velk_bench::plain
