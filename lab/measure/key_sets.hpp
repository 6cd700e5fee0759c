// The key sets a run searches: the kinds the lab makes itself, each one entry of a table, and the
// keys of files. Each gives the ascending keys of any size of the run.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lab/measure/key_files.hpp"
#include "lab/method_record.hpp"
#include "search/aligned_array.hpp"

namespace velk_lab {

// A kind of keys that the lab makes: `make` fills the span with its n keys of the width, in
// ascending order, from the seed (0 when none is given) where it draws.
struct key_kind {
  std::string_view name;
  std::string_view summary;
  bool drawn;    // whether its keys come from the seed
  bool repeats;  // whether its keys may repeat or lie next to each other
  void (*make32)(std::span<std::uint32_t> keys, std::int64_t seed);
  void (*make64)(std::span<std::uint64_t> keys, std::int64_t seed);
};

std::span<const key_kind> key_kinds();

// One key set of a run: a kind of the table, or a file.
struct key_set {
  std::string name;                      // as the rows name it: the kind, or the file's own name
  int bits = 32;                         // the width of its keys
  const key_kind* kind = nullptr;        // for a kind the lab makes
  std::shared_ptr<const key_file> file;  // for a file
  std::vector<std::int32_t> sizes;       // the sizes the run measures it at

  // The size a run measures unless told: a file's key count, none for a kind.
  [[nodiscard]] std::int64_t whole_size() const { return file ? file->count() : 0; }
};

// The keys of `set` at size n: made for a kind; for a file of N keys, those at the positions
// floor(i N / n) for i = 0..n - 1, which are all of them when n is N. `owned` (on huge pages where
// they are 2 MiB or more and the system allows) holds them unless
// they are the file's own, which the result then points into. Throws run_failure when memory
// cannot be had.
template <lab_key Key>
std::span<const Key> keys_of(const key_set& set, std::int32_t n, std::int64_t seed,
                             velk_sr::memory::aligned_array<Key>& owned);

// Whether the targets of `set` at size n, when no skew is asked for, are the ones velk_ts draws:
// for the odd kind, and for a file whose keys at that size are exactly 1, 3, ..., 2n - 1. The
// other kinds get the lab's own draws even where their keys happen to be those (dense at size 1).
bool draws_as_velk_ts(const key_set& set, std::int32_t n);

}  // namespace velk_lab
