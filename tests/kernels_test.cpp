// The scan kernels of sequential search: every kernel this processor supports gives the same
// searches as examining the entries one at a time, wherever the run lies in memory, and reads
// nothing outside it.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "search/algorithms.hpp"
#include "search/kernels.hpp"

namespace {

using velk_sr::key_type;
using velk_sr::list_entry;
using velk_sr::algorithms::counted_search;
using velk_sr::kernels::scan_kernel;

std::vector<scan_kernel> supported_kernels() {
  std::vector<scan_kernel> kernels;
  for (const scan_kernel& kernel : velk_sr::kernels::scan_kernels()) {
    if (velk_sr::kernels::supported(kernel)) {
      kernels.push_back(kernel);
    }
  }
  return kernels;
}

// Sequential search as it is defined: one entry at a time.
counted_search one_at_a_time(std::span<const list_entry> run, key_type target) {
  for (std::size_t i = 0; i < run.size(); ++i) {
    if (run[i].key == target) {
      const auto examined = static_cast<std::int32_t>(i + 1);
      return {true, examined, examined};
    }
  }
  const auto size = static_cast<std::int32_t>(run.size());
  return {false, size, size};
}

void expect_same_searches(std::span<const list_entry> run, const std::vector<key_type>& targets,
                          const std::string& where) {
  for (const scan_kernel& kernel : supported_kernels()) {
    for (const key_type target : targets) {
      const counted_search want = one_at_a_time(run, target);
      const counted_search got = velk_sr::algorithms::sequential(run, target, kernel);
      ASSERT_EQ(got.found, want.found) << kernel.name << ' ' << where << " target " << target;
      ASSERT_EQ(got.location, want.location) << kernel.name << ' ' << where << " target " << target;
      ASSERT_EQ(got.comparisons, want.comparisons)
          << kernel.name << ' ' << where << " target " << target;
    }
  }
}

// Entries at an address that is 4 modulo 64 (after `pad`) or 0 modulo 64; runs cut from them at
// each of the next eight entries start at every 4-byte offset within a 64-byte line.
template <std::size_t count>
struct alignas(64) shifted_entries {
  std::int32_t pad = 0;
  list_entry entries[count];
};
template <std::size_t count>
struct alignas(64) aligned_entries {
  list_entry entries[count];
};

// Keys 1, 3, 5, ...; each entry's info holds the next entry's key, so a kernel that looked at an
// info lane would find a key one entry too early.
template <std::size_t count>
void odd_keys_with_next_as_info(list_entry (&entries)[count]) {
  for (std::size_t i = 0; i < count; ++i) {
    entries[i].key = static_cast<key_type>(2 * i + 1);
    entries[i].info = static_cast<std::int32_t>(2 * i + 3);
  }
}

TEST(ScanKernels, TheWidestSupportedKernelIsChosenAndTheScalarOneIsLast) {
  const std::vector<scan_kernel> supported = supported_kernels();
  ASSERT_FALSE(supported.empty());
  EXPECT_EQ(velk_sr::kernels::chosen_scan_kernel().name, supported.front().name);
  EXPECT_EQ(velk_sr::kernels::scan_kernels().back().name, "scalar");
  EXPECT_EQ(supported.back().name, "scalar");
  std::cout << "kernels run here:";
  for (const scan_kernel& kernel : supported) {
    std::cout << ' ' << kernel.name;
  }
  std::cout << '\n';
}

TEST(ScanKernels, EveryKernelFindsTheFirstMatchOfRunsOfEveryLengthAndPlace) {
  constexpr std::size_t count = 160;
  auto shifted = std::make_unique<shifted_entries<count>>();
  auto aligned = std::make_unique<aligned_entries<count>>();
  odd_keys_with_next_as_info(shifted->entries);
  odd_keys_with_next_as_info(aligned->entries);
  std::vector<key_type> targets;
  for (key_type k = -1; k <= 2 * static_cast<key_type>(count) + 2; ++k) {
    targets.push_back(k);
  }
  for (const std::span<const list_entry> all : {std::span<const list_entry>(shifted->entries),
                                                std::span<const list_entry>(aligned->entries)}) {
    for (std::size_t start = 0; start < 8; ++start) {
      for (std::size_t length = 0; start + length <= 2 * 64 + 8; ++length) {
        expect_same_searches(
            all.subspan(start, length), targets,
            "start " + std::to_string(start) + " length " + std::to_string(length));
      }
    }
  }
}

TEST(ScanKernels, DuplicatesAndExtremeKeysGiveTheFirstMatch) {
  constexpr key_type most = std::numeric_limits<key_type>::max();
  constexpr key_type least = std::numeric_limits<key_type>::min();
  std::vector<list_entry> entries(100);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].key = (i % 3 == 0) ? least : (i % 3 == 1 ? most : static_cast<key_type>(i % 7));
    entries[i].info = most;
  }
  expect_same_searches(entries, {least, most, 0, 1, 6, 7, -1}, "mixed keys");
}

TEST(ScanKernels, LongRunsAreScannedToTheEnd) {
  // Far longer than a list: the lab scans arrays of many millions of entries.
  std::vector<list_entry> entries((std::size_t{1} << 21) + 5);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].key = static_cast<key_type>(i);
  }
  const auto last = static_cast<key_type>(entries.size() - 1);
  expect_same_searches(entries, {0, 1 << 20, last - 4, last, last + 1, -1}, "long run");
}

// A run that ends where an inaccessible page begins, or begins where one ends: a kernel that
// read a byte outside the run would fault.
TEST(ScanKernels, NoKernelReadsOutsideTheRun) {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* memory =
      ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  auto* bytes = static_cast<std::byte*>(memory);
  ASSERT_EQ(::mprotect(bytes, page, PROT_NONE), 0);
  ASSERT_EQ(::mprotect(bytes + 2 * page, page, PROT_NONE), 0);
  constexpr std::size_t most = 40;
  for (std::size_t length = 0; length <= most; ++length) {
    for (std::byte* first : {bytes + 2 * page - length * sizeof(list_entry), bytes + page}) {
      // Made in place in the memory that the test maps and unmaps.
      auto* entries = new (first) list_entry[length];  // NOLINT(cppcoreguidelines-owning-memory)
      for (std::size_t i = 0; i < length; ++i) {
        entries[i].key = static_cast<key_type>(2 * i + 1);
      }
      std::vector<key_type> targets;
      for (key_type k = 0; k <= 2 * static_cast<key_type>(length) + 1; ++k) {
        targets.push_back(k);
      }
      expect_same_searches(std::span<const list_entry>(entries, length), targets,
                           "length " + std::to_string(length) + " by a page's edge");
    }
  }
  ::munmap(memory, 3 * page);
}

}  // namespace
