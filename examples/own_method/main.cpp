// A search method of one's own measured beside velk's: a ternary search, which splits the range
// in three with two probes a step, at 32 and 64 bits. Its one algorithm has two forms: the plain
// search, which is timed, and the counted one, which adds each key comparison to the lab's
// counter. The lab checks every answer, and every count against the bound the method states; the
// method has no model of its expected comparisons, so the lab finds them by searching each
// target of a half once.
//
// Run with no options, it measures the ternary search beside velk's binary1 and the standard
// library's std::lower_bound at 1000 and 1000000 keys, with 3 repetitions of at least 0.02 s:
// a few seconds in all. Given any option, it is velk's whole command line (`--help` lists it),
// with "ternary" among the methods: `own_method --methods ternary,eytzinger --sizes 10k`.
#include <velk/lab/lab.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace {

template <class Key>
class ternary {
 public:
  explicit ternary(std::span<const Key> keys) : keys_(keys) {}

  velk_lab::answer search(Key target) const {
    return find(target, [] {});
  }
  velk_lab::answer search(Key target, velk_lab::counter& counted) const {
    return find(target, [&counted] { ++counted; });
  }

  // The most comparisons one search of n keys counts: two for each step, which leaves at most a
  // third of the range, one for the key that may be left, and one for the test of equality.
  static std::int64_t bound(std::int64_t n) {
    std::int64_t comparisons = 1;
    for (; n > 1; n /= 3) {
      comparisons += 2;
    }
    return comparisons + n;
  }

 private:
  // The position of the first key not smaller than the target lies in [low, high] throughout;
  // each step probes the keys a third and two thirds of the way and keeps the part it lies in.
  // `count` is called once for each key compared with the target.
  template <class Count>
  [[nodiscard]] velk_lab::answer find(Key target, Count count) const {
    std::size_t low = 0;
    std::size_t high = keys_.size();
    while (high - low > 1) {
      const std::size_t first = low + (high - low) / 3;
      const std::size_t second = low + 2 * (high - low) / 3;
      count();
      if (keys_[first] >= target) {
        high = first;
        continue;
      }
      count();
      if (keys_[second] >= target) {
        low = first + 1;
        high = second;
      } else {
        low = second + 1;
      }
    }
    if (low < high) {
      count();
      if (keys_[low] < target) {
        ++low;
      }
    }
    if (low == keys_.size()) {
      return {false, 0};
    }
    count();
    if (keys_[low] != target) {
      return {false, 0};
    }
    return {true, static_cast<std::int64_t>(low) + 1};
  }

  std::span<const Key> keys_;
};

}  // namespace

int main(int argc, char** argv) {
  velk_lab::add_method<ternary>("ternary", "a ternary search of our own, two probes a step");
  if (argc > 1) {
    return velk_lab::run(argc, argv);
  }
  const char* const program = argc > 0 ? argv[0] : "own_method";
  const std::array defaults{program, "--methods=ternary,binary1,std-lower-bound", "--sizes=1k,1M",
                            "--repetitions=3", "--min-time=0.02"};
  return velk_lab::run(static_cast<int>(defaults.size()), defaults.data());
}
