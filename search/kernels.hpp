// The machine kernels of the search algorithms, together in one place: the first-match scans
// behind sequential search, one for each instruction set, and the choice among them, made once
// from the processor's features.
#pragma once

#include <cstddef>
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

}  // namespace velk_sr::kernels
