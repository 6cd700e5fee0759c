// A program of one's own with a faulty search method, for the process-level tests. Its first
// argument names the fault, and the method it registers under that name; the rest are velk's
// options, after `--methods` with that name:
//   wrong-answer   does not find key 7
//   found-absent   finds key 8, which is not among the odd keys, at position 5
//   over-bound     counts 3 comparisons for key 7, beyond its stated bound of 2
//   throws         throws an exception at key 7
//   binary1        a method named as one of velk's own
// Each is otherwise a sound search that counts one comparison, so that a run fails at the fault
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

enum class fault { wrong_answer, found_absent, over_bound, throws };

template <class Key, fault F>
class faulty {
 public:
  explicit faulty(std::span<const Key> keys) : keys_(keys) {}

  velk_lab::answer search(Key target, velk_lab::counter& counted) const {
    ++counted;
    const auto at = std::lower_bound(keys_.begin(), keys_.end(), target);
    const bool found = at != keys_.end() && *at == target;
    const velk_lab::answer sound{found, found ? at - keys_.begin() + 1 : 0};
    if (F == fault::wrong_answer && target == 7) {
      return {false, 0};
    }
    if (F == fault::found_absent && target == 8) {
      return {true, 5};
    }
    if (F == fault::over_bound && target == 7) {
      counted.add(2);
    }
    if (F == fault::throws && target == 7) {
      throw std::runtime_error("no way through at key 7");
    }
    return sound;
  }

  static std::int64_t bound(std::int64_t /*n*/) { return 2; }

 private:
  std::span<const Key> keys_;
};

template <class Key>
using wrong_answer = faulty<Key, fault::wrong_answer>;
template <class Key>
using found_absent = faulty<Key, fault::found_absent>;
template <class Key>
using over_bound = faulty<Key, fault::over_bound>;
template <class Key>
using throws = faulty<Key, fault::throws>;

template <template <class> class Method>
void add_as(std::string_view name) {
  velk_lab::add_method<Method>(name, "a faulty method");
}

// A fault by the name that chooses it, and how its method is added under that name.
struct kind {
  std::string_view name;
  void (*adds)(std::string_view name);
};

constexpr kind kinds[] = {{"wrong-answer", add_as<wrong_answer>},
                          {"found-absent", add_as<found_absent>},
                          {"over-bound", add_as<over_bound>},
                          {"throws", add_as<throws>},
                          {"binary1", add_as<wrong_answer>}};

}  // namespace

int main(int argc, char** argv) {
  const std::span<char*> args(argv, static_cast<std::size_t>(argc));
  for (const kind& k : kinds) {
    if (args.size() >= 2 && k.name == args[1]) {
      k.adds(k.name);
      std::vector<const char*> command{args[0], "--methods", args[1]};
      command.insert(command.end(), args.begin() + 2, args.end());
      return velk_lab::run(static_cast<int>(command.size()), command.data());
    }
  }
  std::fputs(
      "usage: faulty_method wrong-answer|found-absent|over-bound|throws|binary1 [velk's options]\n",
      stderr);
  return 2;
}
