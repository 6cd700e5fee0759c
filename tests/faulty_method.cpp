// A program of one's own with a faulty search method, for the process-level tests. Its first
// argument names the fault and the method, which it registers under that name; the rest are
// velk's options, after `--methods` with that name:
//   wrong-answer   does not find key 7
//   found-absent   finds key 8, which is not among the odd keys, at position 5
//   over-bound     counts 3 comparisons for key 7, beyond its stated bound of 2
//   throws         throws an exception at key 7
//   binary1        (no fault but its name, which is one of velk's own)
// It is otherwise a sound search that counts one comparison, so that a run fails at the fault
// and nowhere else, whichever targets are drawn.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "lab/lab.hpp"

namespace {

std::string_view fault;

template <class Key>
class faulty {
 public:
  explicit faulty(std::span<const Key> keys) : keys_(keys) {}

  velk_lab::answer search(Key target, velk_lab::counter& counted) const {
    ++counted;
    const auto at = std::lower_bound(keys_.begin(), keys_.end(), target);
    const bool found = at != keys_.end() && *at == target;
    if (target == 7 && fault == "wrong-answer") {
      return {false, 0};
    }
    if (target == 8 && fault == "found-absent") {
      return {true, 5};
    }
    if (target == 7 && fault == "over-bound") {
      counted.add(2);
    }
    if (target == 7 && fault == "throws") {
      throw std::runtime_error("no way through at key 7");
    }
    return {found, found ? at - keys_.begin() + 1 : 0};
  }

  static std::int64_t bound(std::int64_t /*n*/) { return 2; }

 private:
  std::span<const Key> keys_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::span<char*> args(argv, static_cast<std::size_t>(argc));
  if (args.size() < 2) {
    std::fputs("usage: faulty_method FAULT [velk's options]\n", stderr);
    return 2;
  }
  fault = args[1];
  velk_lab::add_method<faulty>(fault, "a faulty method");
  std::vector<const char*> command{args[0], "--methods", args[1]};
  command.insert(command.end(), args.begin() + 2, args.end());
  return velk_lab::run(static_cast<int>(command.size()), command.data());
}
