// The arrays of the search layouts: on a 64-byte line, and from 2 MiB on, on a 2 MiB boundary,
// mapped on their own and advised for huge pages; each frees itself, and moves without copying.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "search/aligned_array.hpp"

namespace {

namespace memory = velk_sr::memory;

std::uintptr_t address(const void* p) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the address as a number
  return reinterpret_cast<std::uintptr_t>(p);
}

TEST(AlignedArrays, LargeOnesStartOnAHugePageAndSmallOnesOnALine) {
  struct size_case {
    std::size_t elements;
    std::size_t alignment;
    bool asked;
  };
  for (const size_case c :
       {size_case{1, memory::line_bytes, false}, size_case{1000, memory::line_bytes, false},
        size_case{memory::huge_page_bytes / 8 - 1, memory::line_bytes, false},
        size_case{memory::huge_page_bytes / 8, memory::huge_page_bytes, true},
        size_case{memory::huge_page_bytes / 4 + 3, memory::huge_page_bytes, true}}) {
    memory::aligned_array<std::uint64_t> array(c.elements);
    EXPECT_EQ(address(array.data()) % c.alignment, 0U) << c.elements;
    EXPECT_EQ(array.block().asked_for_huge_pages(), c.asked) << c.elements;
    EXPECT_EQ(array.block().bytes(), c.elements * 8);
    // Every element is there to be written and read back.
    std::fill(array.elements().begin(), array.elements().end(), std::uint64_t{7});
    EXPECT_EQ(array.elements().back(), 7U);
  }
}

TEST(AlignedArrays, AnEmptyOneHoldsNothing) {
  const memory::aligned_array<std::uint32_t> empty(0);
  EXPECT_EQ(empty.data(), nullptr);
  EXPECT_TRUE(empty.elements().empty());
}

TEST(AlignedArrays, MovingHandsOverTheBlock) {
  memory::aligned_block from(memory::huge_page_bytes);
  void* const data = from.data();
  memory::aligned_block to(std::move(from));
  EXPECT_EQ(to.data(), data);
  EXPECT_TRUE(to.asked_for_huge_pages());
  EXPECT_EQ(from.data(), nullptr);  // NOLINT(bugprone-use-after-move,hicpp-invalid-access-moved)
  memory::aligned_block small(100);
  small = std::move(to);
  EXPECT_EQ(small.data(), data);
  EXPECT_EQ(small.bytes(), memory::huge_page_bytes);
}

// Whether huge pages are given depends on the system and on its free memory, but a mapping of
// this process is always listed, so the answer is known.
TEST(AlignedArrays, TheSystemSaysWhetherABlockHasHugePages) {
  memory::aligned_array<std::uint32_t> array(2 * memory::huge_page_bytes / 4);
  std::fill(array.elements().begin(), array.elements().end(), 1U);
  EXPECT_NE(memory::huge_pages_of(array.data(), array.block().bytes()),
            memory::huge_pages::unknown);
}

}  // namespace
