// The machine kernels of the search algorithms, together in one place: the first-match scans
// behind sequential search, one for each instruction set and entry type, and the choice among
// them, made once for each entry type from the processor's features; and the step of binary
// search that must not become a jump.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "entries.hpp"

namespace velk_sr::kernels {

using algorithms::key_type_of;
using algorithms::run_entry;

// The index (from 0) of the first entry of `run` whose key is `target`, or the size of `run` when
// no key is. Looks at the keys only, never at a list entry's info; reads nothing outside `run`.
// Any length.
template <run_entry Entry>
using scan_function = std::size_t (*)(std::span<const Entry> run, key_type_of<Entry> target);

// One scan kernel: its name ("avx512", "avx2", "sse2", "scalar") and its scan.
template <run_entry Entry>
struct scan_kernel {
  std::string_view name;
  scan_function<Entry> scan = nullptr;
};

// Every scan kernel built into this program for the entry type, the widest first and the scalar
// one last. On x86-64 that is all four; elsewhere only the scalar one.
template <run_entry Entry>
std::span<const scan_kernel<Entry>> scan_kernels();

// Whether this processor (and its operating system) can run the kernels of the instruction set
// named "avx512", "avx2", "sse2" or "scalar"; the scan kernels and the other searches' kernels
// bear these names.
bool instruction_set_supported(std::string_view name);

// Whether this processor (and its operating system) can run `kernel`.
template <run_entry Entry>
bool supported(const scan_kernel<Entry>& kernel);

// The widest kernel for the entry type that this processor supports; the choice is made at the
// first call and kept.
template <run_entry Entry>
const scan_kernel<Entry>& chosen_scan_kernel();

// Scans `run` with the kernel chosen for its entry type.
template <run_entry Entry>
std::size_t first_match(std::span<const Entry> run, key_type_of<Entry> target);

// One probe of binary search over the entries bottom..top (positions, from any origin): where
// `key`, the key at `mid`, is smaller than `target`, bottom becomes mid + 1 and `counted` goes up
// by one; otherwise top becomes mid. The outcome is a coin toss, so nothing here jumps on it:
// both ends are set by conditional moves. On x86-64 they are written out, since compilers turn
// two selects on one condition into a jump: the keys are compared as unsigned numbers of their
// own width (cmpl for 32 bits, cmpq for 64), which leaves the outcome in the carry flag, where
// one add with carry counts it. Elsewhere masks do the same.
template <class Key>
requires std::same_as<Key, std::uint32_t> || std::same_as<Key, std::uint64_t>
inline void narrow(Key key, Key target, std::size_t mid, std::size_t& bottom, std::size_t& top,
                   std::uint32_t& counted) {
  const std::size_t above = mid + 1;
#if defined(__x86_64__)
  // The registers of the operands give the width: cmp on two 32-bit registers is cmpl, on two
  // 64-bit ones cmpq.
  asm("cmp %[target], %[key]\n\t"
      "cmovb %[above], %[bottom]\n\t"
      "cmovae %[mid], %[top]\n\t"
      "adcl $0, %[counted]"
      : [bottom] "+r"(bottom), [top] "+r"(top), [counted] "+r"(counted)
      : [key] "r"(key), [target] "r"(target), [above] "r"(above), [mid] "r"(mid)
      : "cc");
#else
  const std::uint32_t smaller = key < target ? 1 : 0;
  const std::size_t mask = std::size_t{0} - smaller;
  bottom += (above - bottom) & mask;
  top -= (top - mid) & ~mask;
  counted += smaller;
#endif
}

// The same probe on signed keys: with their sign bits flipped, unsigned numbers are ordered as
// the signed ones were.
inline void narrow(key_type key, key_type target, std::size_t mid, std::size_t& bottom,
                   std::size_t& top, std::uint32_t& counted) {
  constexpr std::uint32_t sign_bit = 0x80000000;
  narrow(static_cast<std::uint32_t>(key) ^ sign_bit, static_cast<std::uint32_t>(target) ^ sign_bit,
         mid, bottom, top, counted);
}

// One step of halving a length: `upper` where `key`, the key just below it, is smaller than
// `target`, and `first` otherwise. Again a coin toss, and again a conditional move, written out on
// x86-64: compilers make the select a jump in some loops (over a group of searches) and at some
// optimisation levels.
template <class Key>
requires std::same_as<Key, std::uint32_t> || std::same_as<Key, std::uint64_t>
inline std::size_t kept_part(Key key, Key target, std::size_t first, std::size_t upper) {
#if defined(__x86_64__)
  asm("cmp %[target], %[key]\n\t"
      "cmovb %[upper], %[first]"
      : [first] "+r"(first)
      : [key] "r"(key), [target] "r"(target), [upper] "r"(upper)
      : "cc");
  return first;
#else
  return key < target ? upper : first;
#endif
}

// The same step on signed keys, their sign bits flipped as narrow's are.
inline std::size_t kept_part(key_type key, key_type target, std::size_t first, std::size_t upper) {
  constexpr std::uint32_t sign_bit = 0x80000000;
  return kept_part(static_cast<std::uint32_t>(key) ^ sign_bit,
                   static_cast<std::uint32_t>(target) ^ sign_bit, first, upper);
}

}  // namespace velk_sr::kernels
