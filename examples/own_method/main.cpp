// A search method of one's own measured beside velk's: a ternary search, which splits the range
// in three with two probes a step, counted, at 32 and 64 bits. Run with no options it measures
// itself beside binary1 and std-lower-bound; every option of velk works (--help lists them).
#include <velk/lab/lab.hpp>

#include <cstdint>
#include <span>
#include <vector>

namespace {

template <class Key>
class ternary {
 public:
  explicit ternary(std::span<const Key> keys) : keys_(keys) {}

  // Finds the first key not smaller than the target in [low, high): each step probes the keys a
  // third and two thirds of the way and keeps the third the target must lie in. Two ordering
  // tests a step and one equality test at the end.
  velk_lab::answer search(Key target, velk_lab::counter& counted) const {
    std::size_t low = 0;
    std::size_t high = keys_.size();
    while (high - low > 2) {
      const std::size_t third = (high - low) / 3;
      const std::size_t first = low + third;
      const std::size_t second = high - third - 1;
      ++counted;
      if (keys_[first] >= target) {
        high = first + 1;
        continue;
      }
      ++counted;
      if (keys_[second] >= target) {
        low = first + 1;
        high = second + 1;
      } else {
        low = second + 1;
      }
    }
    while (low < high) {  // one or two keys left
      ++counted;
      if (keys_[low] >= target) {
        break;
      }
      ++low;
    }
    if (low == keys_.size()) {
      return {false, 0};
    }
    ++counted;
    return {keys_[low] == target, static_cast<std::int64_t>(low) + 1};
  }

 private:
  std::span<const Key> keys_;
};

}  // namespace

int main(int argc, char** argv) {
  velk_lab::add_method<ternary>("ternary", "a ternary search of our own, counted");
  // With no options, this method beside velk's binary search and the standard library's.
  if (argc == 1) {
    const char* defaults[] = {argv[0], "--methods", "ternary,binary1,std-lower-bound"};
    return velk_lab::run(3, defaults);
  }
  return velk_lab::run(argc, argv);
}
