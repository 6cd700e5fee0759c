// The machine kernels of the search algorithms, together in one place: the first-match scans
// behind sequential search, one for each instruction set, and the choice among them, made once
// from the processor's features; and the step of binary search that must not become a jump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "velk_sr.hpp"

namespace velk_sr::kernels {

// The index (from 0) of the first entry of `run` whose key is `target`, or the size of `run` when
// no key is. Looks at the keys only, never at an entry's info; reads nothing outside `run`. Any
// length.
using scan_function = std::size_t (*)(std::span<const list_entry> run, key_type target);

// One scan kernel: its name ("avx512", "avx2", "sse2", "scalar") and its scan.
struct scan_kernel {
  std::string_view name;
  scan_function scan = nullptr;
};

// Every scan kernel built into this program, the widest first and the scalar one last. On x86-64
// that is all four; elsewhere only the scalar one.
std::span<const scan_kernel> scan_kernels();

// Whether this processor (and its operating system) can run `kernel`.
bool supported(const scan_kernel& kernel);

// The widest kernel this processor supports; the choice is made at the first call and kept.
const scan_kernel& chosen_scan_kernel();

// Scans `run` with the chosen kernel.
std::size_t first_match(std::span<const list_entry> run, key_type target);

// One probe of binary search over the entries bottom..top (positions, from any origin): where
// `key`, the key at `mid`, is smaller than `target`, bottom becomes mid + 1, and otherwise top
// becomes mid. Gives back 1 when the key was smaller, else 0. The outcome is a coin toss, so both
// ends are set by conditional moves; on x86-64 they are written out, since compilers turn two
// selects on one condition into a jump. Elsewhere masks do the same.
inline std::uint32_t narrow(key_type key, key_type target, std::size_t mid, std::size_t& bottom,
                            std::size_t& top) {
  const std::size_t above = mid + 1;
#if defined(__x86_64__)
  asm("cmpl %[target], %[key]\n\t"
      "cmovl %[above], %[bottom]\n\t"
      "cmovge %[mid], %[top]"
      : [bottom] "+r"(bottom), [top] "+r"(top)
      : [key] "r"(key), [target] "r"(target), [above] "r"(above), [mid] "r"(mid)
      : "cc");
  return key < target ? 1 : 0;
#else
  const std::uint32_t smaller = key < target ? 1 : 0;
  const std::size_t mask = std::size_t{0} - smaller;
  bottom += (above - bottom) & mask;
  top -= (top - mid) & ~mask;
  return smaller;
#endif
}

}  // namespace velk_sr::kernels
