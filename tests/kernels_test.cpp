// The scan kernels of sequential search: every kernel this processor supports gives the same
// searches as examining the entries one at a time, wherever the run lies in memory, and reads
// nothing outside it: for runs of list entries and of plain keys of 32 and 64 bits.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "search/algorithms.hpp"
#include "search/kernels.hpp"

namespace {

using velk_sr::key_type;
using velk_sr::list_entry;
using velk_sr::algorithms::counted_search;
using velk_sr::algorithms::key_type_of;
using velk_sr::kernels::scan_kernel;

template <class Entry>
std::vector<scan_kernel<Entry>> supported_kernels() {
  std::vector<scan_kernel<Entry>> kernels;
  for (const scan_kernel<Entry>& kernel : velk_sr::kernels::scan_kernels<Entry>()) {
    if (velk_sr::kernels::supported(kernel)) {
      kernels.push_back(kernel);
    }
  }
  return kernels;
}

// Sequential search as it is defined: one entry at a time.
template <class Entry>
counted_search one_at_a_time(std::span<const Entry> run, key_type_of<Entry> target) {
  for (std::size_t i = 0; i < run.size(); ++i) {
    if (velk_sr::algorithms::key_of(run[i]) == target) {
      const auto examined = static_cast<std::int32_t>(i + 1);
      return {true, examined, examined};
    }
  }
  const auto size = static_cast<std::int32_t>(run.size());
  return {false, size, size};
}

template <class Entry>
void expect_same_searches(std::span<const Entry> run,
                          const std::vector<key_type_of<Entry>>& targets,
                          const std::string& where) {
  for (const scan_kernel<Entry>& kernel : supported_kernels<Entry>()) {
    for (const key_type_of<Entry> target : targets) {
      const counted_search want = one_at_a_time(run, target);
      // The scan itself, which gives the size for no match: a match found outside the run
      // would not show in the search's result.
      const std::size_t first = kernel.scan(run, target);
      ASSERT_EQ(first, want.found ? static_cast<std::size_t>(want.location - 1) : run.size())
          << kernel.name << ' ' << where << " target " << target;
      ASSERT_TRUE(velk_sr::algorithms::sequential(run, target, kernel) == want)
          << kernel.name << ' ' << where << " target " << target;
    }
  }
}

// The entry with key `key` (converted to the key type); a list entry's info holds `info`, which no
// kernel may take for a key.
template <class Entry>
Entry entry_of(std::int64_t key, std::int32_t info = 0) {
  if constexpr (std::is_same_v<Entry, list_entry>) {
    return list_entry{static_cast<key_type>(key), info};
  } else {
    return static_cast<Entry>(key);
  }
}

// Targets converted to the key type: -1 is the greatest unsigned key.
template <class Entry>
std::vector<key_type_of<Entry>> targets_of(std::initializer_list<std::int64_t> values) {
  return {values.begin(), values.end()};
}
template <class Entry>
std::vector<key_type_of<Entry>> targets_from(std::int64_t first, std::int64_t last) {
  std::vector<key_type_of<Entry>> targets;
  for (std::int64_t v = first; v <= last; ++v) {
    targets.push_back(static_cast<key_type_of<Entry>>(v));
  }
  return targets;
}

// Entries at an address that is 4 modulo 64 (after `pad`; for 8-byte keys, 8 modulo 64) or 0
// modulo 64; runs cut from them at each of the entries of the next line start at every offset
// within a 64-byte line that the entry type can have.
template <class Entry, std::size_t count>
struct alignas(64) shifted_entries {
  std::int32_t pad = 0;
  Entry entries[count]{};
};
template <class Entry, std::size_t count>
struct alignas(64) aligned_entries {
  Entry entries[count]{};
};

// Keys 1, 3, 5, ...; a list entry's info holds the next entry's key, so a kernel that looked at
// an info lane would find a key one entry too early.
template <class Entry, std::size_t count>
void odd_keys_with_next_as_info(Entry (&entries)[count]) {
  for (std::size_t i = 0; i < count; ++i) {
    entries[i] =
        entry_of<Entry>(static_cast<std::int64_t>(2 * i + 1), static_cast<std::int32_t>(2 * i + 3));
  }
}

// Runs `check` on runs of list entries and of plain keys of 32 and 64 bits, naming each.
template <class Check>
void for_each_entry_type(Check check) {
  {
    SCOPED_TRACE("list entries");
    check(list_entry{});
  }
  {
    SCOPED_TRACE("32-bit keys");
    check(std::uint32_t{});
  }
  {
    SCOPED_TRACE("64-bit keys");
    check(std::uint64_t{});
  }
}

// All four are built on x86-64, and the two that every x86-64 processor runs are always
// supported; the widest supported one is chosen.
TEST(ScanKernels, EveryKernelIsBuiltAndTheWidestSupportedOneIsChosen) {
  for_each_entry_type([](auto entry) {
    using Entry = decltype(entry);
    std::vector<std::string_view> names;
    for (const scan_kernel<Entry>& kernel : velk_sr::kernels::scan_kernels<Entry>()) {
      names.push_back(kernel.name);
    }
#if defined(__x86_64__)
    EXPECT_EQ(names, (std::vector<std::string_view>{"avx512", "avx2", "sse2", "scalar"}));
#else
    EXPECT_EQ(names, (std::vector<std::string_view>{"scalar"}));
#endif
    const std::vector<scan_kernel<Entry>> supported = supported_kernels<Entry>();
    std::vector<std::string_view> supported_names;
    supported_names.reserve(supported.size());
    for (const scan_kernel<Entry>& kernel : supported) {
      supported_names.push_back(kernel.name);
    }
    ASSERT_FALSE(supported.empty());
    EXPECT_EQ(velk_sr::kernels::chosen_scan_kernel<Entry>().name, supported.front().name);
    EXPECT_EQ(supported.back().name, "scalar");
#if defined(__x86_64__)
    EXPECT_NE(std::find(supported_names.begin(), supported_names.end(), "sse2"),
              supported_names.end());
#endif
    std::cout << "kernels run here:";
    for (const std::string_view name : supported_names) {
      std::cout << ' ' << name;
    }
    std::cout << '\n';
  });
}

TEST(ScanKernels, EveryKernelFindsTheFirstMatchOfRunsOfEveryLengthAndPlace) {
  for_each_entry_type([](auto entry) {
    using Entry = decltype(entry);
    constexpr std::size_t count = 160;
    auto shifted = std::make_unique<shifted_entries<Entry, count>>();
    auto aligned = std::make_unique<aligned_entries<Entry, count>>();
    odd_keys_with_next_as_info(shifted->entries);
    odd_keys_with_next_as_info(aligned->entries);
    const auto targets = targets_from<Entry>(-1, 2 * static_cast<std::int64_t>(count) + 2);
    for (const std::span<const Entry> all :
         {std::span<const Entry>(shifted->entries), std::span<const Entry>(aligned->entries)}) {
      for (std::size_t start = 0; start < 64 / sizeof(Entry); ++start) {
        for (std::size_t length = 0; start + length <= 2 * 64 + 8; ++length) {
          expect_same_searches(
              all.subspan(start, length), targets,
              "start " + std::to_string(start) + " length " + std::to_string(length));
        }
      }
    }
  });
}

// Among the keys, some whose lower or upper half (16 bits of 32, 32 of 64) is that of a target
// and the other half not: a kernel that compared part of a key would match them.
TEST(ScanKernels, DuplicatesExtremesAndHalfMatchingKeysGiveTheFirstMatch) {
  for_each_entry_type([](auto entry) {
    using Entry = decltype(entry);
    using key = key_type_of<Entry>;
    constexpr int half = 4 * sizeof(key);
    constexpr key least = std::numeric_limits<key>::min();
    constexpr key most = std::numeric_limits<key>::max();
    constexpr key upper = key{1} << half;
    std::vector<Entry> entries(100);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const auto small = static_cast<key>(i % 7);
      const key keys[] = {least, most, small, static_cast<key>(small + upper),
                          static_cast<key>((small << half) + 1)};
      entries[i] = entry_of<Entry>(static_cast<std::int64_t>(keys[i % 5]),
                                   std::numeric_limits<std::int32_t>::max());
    }
    constexpr key six_above = key{6} << half;
    expect_same_searches<Entry>(entries,
                                {least, most, 0, 1, 6, 7, static_cast<key>(-1), six_above,
                                 six_above + 1, static_cast<key>(6 + upper)},
                                "mixed keys");
  });
}

TEST(ScanKernels, LongRunsAreScannedToTheEnd) {
  for_each_entry_type([](auto entry) {
    using Entry = decltype(entry);
    // Far longer than a list: the lab scans arrays of many millions of entries.
    std::vector<Entry> entries((std::size_t{1} << 21) + 5);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      entries[i] = entry_of<Entry>(static_cast<std::int64_t>(i));
    }
    const auto last = static_cast<std::int64_t>(entries.size() - 1);
    expect_same_searches<Entry>(
        entries, targets_of<Entry>({0, 1 << 20, last - 4, last, last + 1, -1}), "long run");
  });
}

// A run that ends where an inaccessible page begins, or begins where one ends: a kernel that
// read a byte outside the run would fault.
TEST(ScanKernels, NoKernelReadsOutsideTheRun) {
  for_each_entry_type([](auto entry) {
    using Entry = decltype(entry);
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    void* memory =
        ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* bytes = static_cast<std::byte*>(memory);
    ASSERT_EQ(::mprotect(bytes, page, PROT_NONE), 0);
    ASSERT_EQ(::mprotect(bytes + 2 * page, page, PROT_NONE), 0);
    constexpr std::size_t most = 40;
    for (std::size_t length = 0; length <= most; ++length) {
      for (std::byte* first : {bytes + 2 * page - length * sizeof(Entry), bytes + page}) {
        // Made in place in the memory that the test maps and unmaps.
        auto* entries = new (first) Entry[length];  // NOLINT(cppcoreguidelines-owning-memory)
        for (std::size_t i = 0; i < length; ++i) {
          entries[i] = entry_of<Entry>(static_cast<std::int64_t>(2 * i + 1));
        }
        expect_same_searches(std::span<const Entry>(entries, length),
                             targets_from<Entry>(0, 2 * static_cast<std::int64_t>(length) + 1),
                             "length " + std::to_string(length) + " by a page's edge");
      }
    }
    ::munmap(memory, 3 * page);
  });
}

}  // namespace
