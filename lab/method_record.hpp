// What the lab knows of a search method: the record that `add_method` makes from a method's class
// template, and the form in which the runner builds, searches and times it at one key width.
// Methods are written against lab.hpp; this header is what that one builds on.
#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velk_lab {

// What a search gives: whether the target is among the keys and, when it is, the position of its
// lowest occurrence, counting from 1 (the key at index i of the span is at position i + 1).
struct answer {
  bool found = false;
  std::int64_t position = 0;
};

// The comparisons a counted search makes: it adds one for each comparison its rule counts.
class counter {
 public:
  void add(std::int64_t comparisons) { value_ += comparisons; }
  counter& operator++() {
    ++value_;
    return *this;
  }
  [[nodiscard]] std::int64_t value() const { return value_; }

 private:
  std::int64_t value_ = 0;
};

// Comparisons summed over every target of a half, each searched once.
struct comparison_totals {
  std::int64_t successful = 0;
  std::int64_t unsuccessful = 0;

  friend bool operator==(const comparison_totals&, const comparison_totals&) = default;
};

// One search as the runner checks and counts it.
struct counted_answer {
  bool found = false;
  std::int64_t position = 0;
  std::int64_t comparisons = 0;  // 0 for a method that does not count
};

// What the command line tells the methods: the largest error a learned model may make, and how
// many targets a method with a batch form searches at once.
struct method_settings {
  std::int64_t epsilon = 32;
  std::size_t batch = 16;
};

// The most targets a batch form is given at once.
inline constexpr std::size_t most_batch = 256;

// A stream of targets for the timed searches, and one tally per target, to which each search
// adds its position when it finds the target and -1 when it does not: every result is kept, so
// that no search can be left out by the compiler, and checked once the clock has stopped.
// `batch` is the group a batch form takes, 1 to most_batch. A `chained` stream is searched one
// target after another, the index of each target depending on the answer to the one before, so
// that no two searches overlap: the time is that of a lone search.
template <class Key>
struct search_stream {
  std::span<const Key> targets;
  std::span<std::int64_t> tally;
  std::size_t batch = 16;
  bool chained = false;
};

// A method made ready on one run of ascending keys: its layout, if it builds one, is built.
template <class Key>
class prepared {
 public:
  prepared() = default;
  prepared(const prepared&) = delete;
  prepared& operator=(const prepared&) = delete;
  prepared(prepared&&) = delete;
  prepared& operator=(prepared&&) = delete;
  virtual ~prepared() = default;

  // The bytes of the layout the method built, 0 when it searches the keys as they are.
  [[nodiscard]] virtual std::size_t bytes() const = 0;
  // One search, with the comparisons of the counted form when the method has one.
  [[nodiscard]] virtual counted_answer search(Key target) const = 0;
  // `count` searches from index `start` of the stream on, going round to its beginning at the
  // end, each adding its result to the target's tally. The search is a direct call here; a
  // method with a batch form is given the targets in groups of the stream's batch.
  virtual void timed(const search_stream<Key>& stream, std::size_t start,
                     std::int64_t count) const = 0;
};

// The key widths of the lab.
template <class Key>
concept lab_key = std::same_as<Key, std::uint32_t> || std::same_as<Key, std::uint64_t>;

// A method is constructed from the keys, or from the keys and the command line's settings.
template <class M, class Key>
concept takes_settings = std::constructible_from < M,
        std::span<const Key>,
const method_settings& > ;
template <class M, class Key>
concept made_from_keys = std::constructible_from<M, std::span<const Key>> || takes_settings<M, Key>;

// What a method's class template gives at one key width. It is constructed from the keys, and
// from the command line's settings if it takes them (that is where a method builds a layout of
// its own), and searches them by one of two forms: the plain `search(target)` or the counted
// `search(target, counter)`, or both.
template <template <class> class Method, class Key>
concept method_at = lab_key<Key> && requires {
  typename Method<Key>;
} && made_from_keys<Method<Key>, Key> &&(
    requires(const Method<Key>& m, Key target) {
      { m.search(target) } -> std::same_as<answer>;
    } ||
    requires(const Method<Key>& m, Key target, counter& counted) {
      { m.search(target, counted) } -> std::same_as<answer>;
    });

template <class M, class Key>
concept has_plain_search = requires(const M& m, Key target) {
  { m.search(target) } -> std::same_as<answer>;
};
template <class M, class Key>
concept has_counted_search = requires(const M& m, Key target, counter& counted) {
  { m.search(target, counted) } -> std::same_as<answer>;
};
template <class M, class Key>
concept has_batch_search = requires(const M& m, std::span<const Key> targets,
                                    std::span<answer> answers) {
  { m.search(targets, answers) } -> std::same_as<void>;
};
template <class M>
concept builds_layout = requires(const M& m) {
  { m.bytes() } -> std::convertible_to<std::size_t>;
};
template <class M>
concept states_bound = requires(std::int64_t n) {
  { M::bound(n) } -> std::convertible_to<std::int64_t>;
};
template <class M>
concept estimates_bytes = requires(std::int64_t n) {
  { M::bytes_for(n) } -> std::convertible_to<std::size_t>;
};
template <class M>
concept finds_any_occurrence = M::any_occurrence;
template <class M>
concept counts_by_position = requires(std::int64_t position, std::int64_t n, bool found) {
  { M::comparisons_at(position, n, found) } -> std::convertible_to<std::int64_t>;
};
template <class M>
concept has_model = requires(std::int64_t n) {
  { M::model(n) } -> std::same_as<comparison_totals>;
};

// A method's class template at one key width, behind the runner's form.
template <class M, class Key>
class prepared_method final : public prepared<Key> {
 public:
  prepared_method(std::span<const Key> keys, const method_settings& settings)
      : method_(made(keys, settings)) {}

  [[nodiscard]] std::size_t bytes() const override {
    if constexpr (builds_layout<M>) {
      return static_cast<std::size_t>(method_.bytes());
    } else {
      return 0;
    }
  }

  [[nodiscard]] counted_answer search(Key target) const override {
    if constexpr (has_counted_search<M, Key>) {
      counter counted;
      const answer a = method_.search(target, counted);
      return {a.found, a.position, counted.value()};
    } else {
      const answer a = method_.search(target);
      return {a.found, a.position, 0};
    }
  }

  void timed(const search_stream<Key>& stream, std::size_t start,
             std::int64_t count) const override {
    if (stream.chained) {
      chained(stream, start, count);
    } else if constexpr (has_batch_search<M, Key>) {
      in_batches(stream, start, count);
    } else {
      const std::size_t length = stream.targets.size();
      std::size_t at = start;
      for (std::int64_t i = 0; i < count; ++i) {
        const answer a = one(stream.targets[at]);
        stream.tally[at] += a.found ? a.position : -1;
        at = at + 1 == length ? 0 : at + 1;
      }
    }
  }

 private:
  static M made(std::span<const Key> keys, const method_settings& settings) {
    if constexpr (takes_settings<M, Key>) {
      return M(keys, settings);
    } else {
      static_cast<void>(settings);
      return M(keys);
    }
  }

  // The stream in groups of `batch` targets, each group handed over where it lies in the stream
  // and copied only where it goes round the stream's end.
  void in_batches(const search_stream<Key>& stream, std::size_t start, std::int64_t count) const {
    const std::size_t length = stream.targets.size();
    std::array<Key, most_batch> round_the_end{};
    std::array<answer, most_batch> answers{};
    std::size_t at = start;
    for (std::int64_t left = count; left > 0;) {
      const std::size_t size = std::min(
          stream.batch, static_cast<std::size_t>(std::min<std::int64_t>(left, most_batch)));
      std::span<const Key> group = stream.targets.subspan(at, std::min(size, length - at));
      if (group.size() < size) {
        for (std::size_t j = 0; j < size; ++j) {
          round_the_end[j] = stream.targets[(at + j) % length];
        }
        group = std::span<const Key>(round_the_end.data(), size);
      }
      method_.search(group, std::span<answer>(answers.data(), size));
      for (std::size_t j = 0; j < size; ++j) {
        stream.tally[at] += answers[j].found ? answers[j].position : -1;
        at = at + 1 == length ? 0 : at + 1;
      }
      left -= static_cast<std::int64_t>(size);
    }
  }

  // Each target's index waits for the answer before it: a found position is at least 1 and
  // below 2^63, so `zero` is 0 for every answer, but the processor cannot know it before the
  // answer is there, and the empty assembly keeps the compiler from knowing it either.
  void chained(const search_stream<Key>& stream, std::size_t start, std::int64_t count) const {
    const std::size_t length = stream.targets.size();
    std::size_t at = start;
    for (std::int64_t i = 0; i < count; ++i) {
      const answer a = one(stream.targets[at]);
      stream.tally[at] += a.found ? a.position : -1;
      auto zero = static_cast<std::size_t>((static_cast<std::uint64_t>(a.position) >> 63U) &
                                           static_cast<std::uint64_t>(a.found));
      asm("" : "+r"(zero));
      at = at + 1 + zero == length ? 0 : at + 1 + zero;
    }
  }

  // The plain form when there is one: it is what a program would call.
  [[nodiscard]] answer one(Key target) const {
    if constexpr (has_plain_search<M, Key>) {
      return method_.search(target);
    } else {
      counter unused;
      return method_.search(target, unused);
    }
  }

  M method_;
};

template <class Key>
using prepare_function = std::unique_ptr<prepared<Key>> (*)(std::span<const Key> keys,
                                                            const method_settings& settings);

// Everything the lab knows of one method.
struct method_record {
  std::string name;
  std::string summary;
  bool counted = false;  // has a counted form; a method without one is an uncounted baseline
  bool builds = false;   // builds a layout of its own: its bytes and building time are reported
  bool batches = false;  // has a batch form, which the timing gives groups of targets
  // The most comparisons one search of n keys counts, for any keys and target; none: no bound.
  std::int64_t (*bound)(std::int64_t n) = nullptr;
  // The comparisons of searching each of n distinct keys once and one value above each once
  // (the keys 1, 3, ..., 2n - 1 with the targets 1..2n, or any keys with the same positions);
  // none: the lab searches every target once instead.
  comparison_totals (*model)(std::int64_t n) = nullptr;
  // What one search of n keys counts when its target's key lies at `position` (found) or would
  // lie there (the lowest position whose key is not smaller; n + 1 above every key), for a method
  // whose count depends on nothing else; none: the lab searches the targets.
  std::int64_t (*comparisons_at)(std::int64_t position, std::int64_t n, bool found) = nullptr;
  // The bytes of the layout it builds for n keys of 32 and of 64 bits, as far as they can be
  // known before building; none where the method does not say.
  std::size_t (*bytes_for_32)(std::int64_t n) = nullptr;
  std::size_t (*bytes_for_64)(std::int64_t n) = nullptr;
  // Whether a search may give any position of the target's key rather than the lowest.
  bool any_occurrence = false;
  prepare_function<std::uint32_t> prepare_32 = nullptr;  // none: no 32-bit form
  prepare_function<std::uint64_t> prepare_64 = nullptr;  // none: no 64-bit form

  [[nodiscard]] bool baseline() const { return !counted; }

  // The estimate of the layout's bytes for n keys of `bits` bits, or none.
  [[nodiscard]] std::optional<std::size_t> layout_bytes(int bits, std::int64_t n) const {
    const auto estimate = bits == 32 ? bytes_for_32 : bytes_for_64;
    return estimate == nullptr ? std::nullopt : std::optional<std::size_t>(estimate(n));
  }

  template <lab_key Key>
  [[nodiscard]] prepare_function<Key> prepare() const {
    if constexpr (std::same_as<Key, std::uint32_t>) {
      return prepare_32;
    } else {
      return prepare_64;
    }
  }
};

// The form of `Method` at width `Key`, or none where the method has no form at that width.
template <template <class> class Method, class Key>
constexpr prepare_function<Key> preparer() {
  if constexpr (method_at<Method, Key>) {
    return [](std::span<const Key> keys,
              const method_settings& settings) -> std::unique_ptr<prepared<Key>> {
      return std::make_unique<prepared_method<Method<Key>, Key>>(keys, settings);
    };
  } else {
    return nullptr;
  }
}

// The layout's bytes that `Method` states at width `Key`, or none.
template <template <class> class Method, class Key>
constexpr auto bytes_estimate() -> std::size_t (*)(std::int64_t) {
  if constexpr (method_at<Method, Key>) {
    if constexpr (estimates_bytes<Method<Key>>) {
      return [](std::int64_t n) { return static_cast<std::size_t>(Method<Key>::bytes_for(n)); };
    }
  }
  return nullptr;
}

// Names Method<Key> only when asked, so that a method without a form at one width can be chosen
// at the other.
template <template <class> class Method, class Key>
struct at_width {
  using type = Method<Key>;
};

// The record of `Method`. Its properties are read at whichever width it has a form.
template <template <class> class Method>
method_record record_of(std::string_view name, std::string_view summary) {
  static_assert(method_at<Method, std::uint32_t> || method_at<Method, std::uint64_t>,
                "a method is a class template over the key type, constructed from a "
                "std::span<const Key> of the keys (and the method_settings, if it takes them), "
                "with answer search(Key) const or "
                "answer search(Key, counter&) const at 32 or 64 bits");
  using key = std::conditional_t<method_at<Method, std::uint32_t>, std::uint32_t, std::uint64_t>;
  using any = typename at_width<Method, key>::type;
  method_record record;
  record.name = name;
  record.summary = summary;
  record.counted = has_counted_search<any, key>;
  record.builds = builds_layout<any>;
  record.batches = has_batch_search<any, key>;
  if constexpr (states_bound<any>) {
    record.bound = [](std::int64_t n) { return static_cast<std::int64_t>(any::bound(n)); };
  }
  if constexpr (has_model<any>) {
    record.model = [](std::int64_t n) { return any::model(n); };
  }
  if constexpr (counts_by_position<any>) {
    record.comparisons_at = [](std::int64_t position, std::int64_t n, bool found) {
      return static_cast<std::int64_t>(any::comparisons_at(position, n, found));
    };
  }
  record.bytes_for_32 = bytes_estimate<Method, std::uint32_t>();
  record.bytes_for_64 = bytes_estimate<Method, std::uint64_t>();
  record.any_occurrence = finds_any_occurrence<any>;
  record.prepare_32 = preparer<Method, std::uint32_t>();
  record.prepare_64 = preparer<Method, std::uint64_t>();
  return record;
}

// Adds a record to the lab's methods, after velk's own. A name that another method has is
// refused when the lab runs.
void register_method(method_record record);

}  // namespace velk_lab
