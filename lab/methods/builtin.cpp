// velk's own methods, each a record made from a small class over the library's algorithms and
// registered as any program registers its own. Adding a method is its search in search/ and one
// class and one line here.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "lab/lab.hpp"
#include "lab/methods/models.hpp"
#include "lab/methods/registry.hpp"
#include "search/algorithms.hpp"
#include "search/btree.hpp"
#include "search/eytzinger.hpp"
#include "search/learned.hpp"
#include "search/modern.hpp"

namespace velk_lab {

namespace {

namespace algorithms = velk_sr::algorithms;

// The library's result as the lab takes it, its comparisons added to the counter.
answer counted(const algorithms::counted_search& result, counter& comparisons) {
  comparisons.add(result.comparisons);
  return {result.found, result.location};
}

std::int32_t size_of(std::span<const std::uint32_t> keys) {
  return static_cast<std::int32_t>(keys.size());
}
std::int32_t size_of(std::span<const std::uint64_t> keys) {
  return static_cast<std::int32_t>(keys.size());
}

// A batch form's results as the lab takes them. `search(targets, results)` is the library's
// lockstep search; its results are kept from one call to the next, one set for each thread, so
// that no batch pays for clearing them.
template <class Key, class Search>
void answer_all(std::span<const Key> targets, std::span<answer> answers, Search search) {
  thread_local std::array<algorithms::counted_search, most_batch> results;
  for (std::size_t from = 0; from < targets.size(); from += most_batch) {
    const std::size_t count = std::min(most_batch, targets.size() - from);
    search(targets.subspan(from, count), std::span(results).first(count));
    for (std::size_t i = 0; i < count; ++i) {
      answers[from + i] = {results[i].found, results[i].location};
    }
  }
}

// The bounds as the algorithms' headers give them, for the sizes the lab measures.
template <std::int32_t (*bound)(std::int32_t)>
std::int64_t bound_of(std::int64_t n) {
  return bound(static_cast<std::int32_t>(n));
}

// A method that searches the keys where they lie with one of the library's algorithms, counting
// as the algorithm counts. The methods below add their bound, model and rules to it.
template <class Key, algorithms::counted_search (*find)(std::span<const Key>, Key)>
class in_place {
 public:
  explicit in_place(std::span<const Key> keys) : keys_(keys) {}
  answer search(Key target, counter& c) const { return counted(find(keys_, target), c); }

 protected:
  [[nodiscard]] std::span<const Key> searched() const { return keys_; }

 private:
  std::span<const Key> keys_;
};

// A recursive search over the whole run, from position 1 to the last.
template <class Key,
          algorithms::counted_search (*find)(std::span<const Key>, Key, std::int32_t, std::int32_t)>
algorithms::counted_search whole(std::span<const Key> keys, Key target) {
  return find(keys, target, 1, size_of(keys));
}

template <class Key>
class sequential : public in_place<Key, algorithms::sequential<Key>> {
 public:
  using in_place<Key, algorithms::sequential<Key>>::in_place;
  static constexpr auto bound = bound_of<algorithms::sequential_bound>;
  static constexpr auto model = sequential_model;
  // One per key examined: up to the first match, or every key.
  static std::int64_t comparisons_at(std::int64_t position, std::int64_t n, bool found) {
    return found ? position : n;
  }
};

template <class Key>
class binary1 : public in_place<Key, algorithms::binary1<Key>> {
 public:
  using in_place<Key, algorithms::binary1<Key>>::in_place;
  static constexpr auto bound = bound_of<algorithms::binary1_bound>;
  static constexpr auto model = binary1_model;
};

template <class Key>
class recbinary1 : public in_place<Key, whole<Key, algorithms::recbinary1<Key>>> {
 public:
  using in_place<Key, whole<Key, algorithms::recbinary1<Key>>>::in_place;
  static constexpr auto bound = bound_of<algorithms::binary1_bound>;
  static constexpr auto model = binary1_model;
};

template <class Key>
class binary2 : public in_place<Key, algorithms::binary2<Key>> {
 public:
  using in_place<Key, algorithms::binary2<Key>>::in_place;
  static constexpr auto bound = bound_of<algorithms::binary2_bound>;
  static constexpr auto model = binary2_model;
  static constexpr bool any_occurrence = true;
};

template <class Key>
class recbinary2 : public in_place<Key, whole<Key, algorithms::recbinary2<Key>>> {
 public:
  using in_place<Key, whole<Key, algorithms::recbinary2<Key>>>::in_place;
  static constexpr auto bound = bound_of<algorithms::binary2_bound>;
  static constexpr auto model = binary2_model;
  static constexpr bool any_occurrence = true;
};

template <class Key>
class branchless : public in_place<Key, algorithms::branchless<Key>> {
 public:
  using in_place<Key, algorithms::branchless<Key>>::in_place;
  static constexpr auto bound = bound_of<algorithms::branchless_bound>;
  static constexpr auto model = branchless_model;
  // The same for every target.
  static std::int64_t comparisons_at(std::int64_t /*position*/, std::int64_t n, bool /*found*/) {
    return bound(n);
  }
};

template <class Key>
class eytzinger {
 public:
  explicit eytzinger(std::span<const Key> keys) : layout_(keys) {}
  answer search(Key target, counter& c) const {
    return counted(algorithms::eytzinger(layout_, target), c);
  }
  [[nodiscard]] std::size_t bytes() const { return bytes_for(layout_.size()); }
  static std::size_t bytes_for(std::int64_t n) {
    return algorithms::eytzinger_layout<Key>::bytes_for(static_cast<std::size_t>(n));
  }
  static constexpr auto bound = bound_of<algorithms::eytzinger_bound>;
  static constexpr auto model = eytzinger_model;

 protected:
  [[nodiscard]] const algorithms::eytzinger_layout<Key>& searched() const { return layout_; }

 private:
  algorithms::eytzinger_layout<Key> layout_;
};

template <class Key>
class btree {
 public:
  explicit btree(std::span<const Key> keys) : layout_(keys) {}
  [[nodiscard]] answer search(Key target) const {
    const algorithms::counted_search found = algorithms::btree_find(layout_, target);
    return {found.found, found.location};
  }
  answer search(Key target, counter& c) const {
    return counted(algorithms::btree(layout_, target), c);
  }
  [[nodiscard]] std::size_t bytes() const { return layout_.bytes(); }
  static std::size_t bytes_for(std::int64_t n) {
    return algorithms::btree_layout<Key>::bytes_for(static_cast<std::size_t>(n));
  }
  // No model: the record holds one for both key widths, and the count depends on the width.
  static constexpr auto bound = bound_of<algorithms::btree_bound<Key>>;

 protected:
  [[nodiscard]] const algorithms::btree_layout<Key>& searched() const { return layout_; }

 private:
  algorithms::btree_layout<Key> layout_;
};

// A method's batch form: the method, with a search of many targets at once that `together` makes
// in lockstep over what the method searches (its keys or its layout). One target at a time,
// where the stream is chained, it searches as the method does.
template <template <class> class Single, auto together>
struct batch_of {
  template <class Key>
  class method : public Single<Key> {
   public:
    using Single<Key>::Single;
    using Single<Key>::search;
    void search(std::span<const Key> targets, std::span<answer> answers) const {
      answer_all(targets, answers, [this](std::span<const Key> some, auto results) {
        together(this->searched(), some, results);
      });
    }
  };
};

constexpr auto branchless_together = [](const auto& keys, auto targets, auto results) {
  algorithms::branchless(keys, targets, results);
};
constexpr auto eytzinger_together = [](const auto& layout, auto targets, auto results) {
  algorithms::eytzinger(layout, targets, results);
};
constexpr auto btree_together = [](const auto& layout, auto targets, auto results) {
  algorithms::btree(layout, targets, results);
};

template <class Key>
class interpolation : public in_place<Key, algorithms::interpolation<Key>> {
 public:
  using in_place<Key, algorithms::interpolation<Key>>::in_place;
  static constexpr auto bound = bound_of<algorithms::interpolation_bound>;
};

template <class Key>
class exponential : public in_place<Key, algorithms::exponential<Key>> {
 public:
  using in_place<Key, algorithms::exponential<Key>>::in_place;
  static constexpr auto bound = bound_of<algorithms::exponential_bound>;
  static constexpr auto model = exponential_model;
};

template <class Key>
class learned {
 public:
  explicit learned(std::span<const Key> keys) : learned(keys, method_settings{}) {}
  learned(std::span<const Key> keys, const method_settings& settings)
      : index_(keys, settings.epsilon) {}
  answer search(Key target, counter& c) const {
    return counted(algorithms::learned(index_, target), c);
  }
  [[nodiscard]] std::size_t bytes() const { return index_.bytes(); }
  // The most at any epsilon: a window is never wider than the keys.
  static std::int64_t bound(std::int64_t n) {
    return algorithms::learned_bound(static_cast<std::int32_t>(n), n);
  }

 private:
  algorithms::learned_index<Key> index_;
};

// The baselines count nothing. They stay out of line like the library's algorithms, which live
// in another unit: inlined into the timed loop, they would save a call per search that the
// algorithms pay, and the difference would no longer be the cost of counting alone.
template <class Key>
[[gnu::noinline]] answer std_find_in(std::span<const Key> keys, Key target) {
  const auto at = std::find(keys.begin(), keys.end(), target);
  return {at != keys.end(), at - keys.begin() + 1};
}

template <class Key>
[[gnu::noinline]] answer std_lower_bound_in(std::span<const Key> keys, Key target) {
  const auto at = std::lower_bound(keys.begin(), keys.end(), target);
  return {at != keys.end() && *at == target, at - keys.begin() + 1};
}

template <class Key>
class std_find {
 public:
  explicit std_find(std::span<const Key> keys) : keys_(keys) {}
  [[nodiscard]] answer search(Key target) const { return std_find_in(keys_, target); }

 private:
  std::span<const Key> keys_;
};

template <class Key>
class std_lower_bound {
 public:
  explicit std_lower_bound(std::span<const Key> keys) : keys_(keys) {}
  [[nodiscard]] answer search(Key target) const { return std_lower_bound_in(keys_, target); }

 private:
  std::span<const Key> keys_;
};

}  // namespace

void register_builtin_methods() {
  add_method<sequential>("sequential", "examines the keys from the first, many at a time");
  add_method<binary1>("binary1", "halves the range to one key, then tests it for equality");
  add_method<recbinary1>("recbinary1", "binary1 written as a recursion");
  add_method<binary2>("binary2", "tests each probe for equality first and stops at a match");
  add_method<recbinary2>("recbinary2", "binary2 written as a recursion");
  add_method<branchless>("branchless", "halves a length without a branch, prefetching");
  add_method<eytzinger>("eytzinger", "descends the keys laid out breadth-first");
  add_method<btree>("btree",
                    "descends a B+ tree of 64-byte nodes, each searched by vector compares");
  add_method<batch_of<branchless, branchless_together>::method>(
      "branchless-batch", "branchless on a batch of targets in lockstep");
  add_method<batch_of<eytzinger, eytzinger_together>::method>(
      "eytzinger-batch", "eytzinger on a batch of targets in lockstep");
  add_method<batch_of<btree, btree_together>::method>("btree-batch",
                                                      "btree on a batch of targets in lockstep");
  add_method<interpolation>("interpolation", "probes where the target's value should lie");
  add_method<exponential>("exponential", "gallops from the front, then halves the bracket");
  add_method<learned>("learned",
                      "predicts the position by a piecewise-linear model, searches near it");
  add_method<std_find>("std-find", "std::find, an uncounted baseline");
  add_method<std_lower_bound>("std-lower-bound", "std::lower_bound, an uncounted baseline");
}

}  // namespace velk_lab
