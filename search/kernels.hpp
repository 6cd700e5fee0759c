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
// `key`, the key at `mid`, is smaller than `target`, bottom becomes mid + 1 and `counted` goes up
// by one; otherwise top becomes mid. The outcome is a coin toss, so nothing here jumps on it:
// both ends are set by conditional moves. On x86-64 they are written out, since compilers turn
// two selects on one condition into a jump; the keys are compared as unsigned numbers with their
// sign bits flipped, which orders them as signed ones do and leaves the outcome in the carry
// flag, where one add with carry counts it. Elsewhere masks do the same.
inline void narrow(key_type key, key_type target, std::size_t mid, std::size_t& bottom,
                   std::size_t& top, std::uint32_t& counted) {
  const std::size_t above = mid + 1;
#if defined(__x86_64__)
  constexpr std::uint32_t sign_bit = 0x80000000;
  const std::uint32_t biased_key = static_cast<std::uint32_t>(key) ^ sign_bit;
  const std::uint32_t biased_target = static_cast<std::uint32_t>(target) ^ sign_bit;
  asm("cmpl %[target], %[key]\n\t"
      "cmovb %[above], %[bottom]\n\t"
      "cmovae %[mid], %[top]\n\t"
      "adcl $0, %[counted]"
      : [bottom] "+r"(bottom), [top] "+r"(top), [counted] "+r"(counted)
      : [key] "r"(biased_key), [target] "r"(biased_target), [above] "r"(above), [mid] "r"(mid)
      : "cc");
#else
  const std::uint32_t smaller = key < target ? 1 : 0;
  const std::size_t mask = std::size_t{0} - smaller;
  bottom += (above - bottom) & mask;
  top -= (top - mid) & ~mask;
  counted += smaller;
#endif
}

}  // namespace velk_sr::kernels
