#include "kernels.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velk_sr::kernels {

namespace {

using entries = std::span<const list_entry>;

// The vector kernels read entries as pairs of 32-bit lanes: the key in the first, the info in the
// second.
static_assert(sizeof(key_type) == 4 && sizeof(list_entry) == 8 && offsetof(list_entry, key) == 0);

std::size_t scalar_scan(entries run, key_type target) {
  std::size_t i = 0;
  while (i < run.size() && run[i].key != target) {
    ++i;
  }
  return i;
}

#if defined(__x86_64__)

// The address of entry `i` as the vector loads take it.
const void* at(entries run, std::size_t i) { return run.data() + i; }

// Two entries per 128-bit vector, eight per block. The four comparisons are narrowed to one
// 16-bit mask, one bit per lane; the keys are the even lanes.
std::size_t sse2_scan(entries run, key_type target) {
  const __m128i wanted = _mm_set1_epi32(target);
  auto equal = [&](std::size_t i) {
    return _mm_cmpeq_epi32(_mm_loadu_si128(static_cast<const __m128i*>(at(run, i))), wanted);
  };
  constexpr unsigned key_lanes = 0x5555;
  std::size_t i = 0;
  for (; i + 8 <= run.size(); i += 8) {
    const __m128i low = _mm_packs_epi32(equal(i), equal(i + 2));
    const __m128i high = _mm_packs_epi32(equal(i + 4), equal(i + 6));
    const auto matches =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high))) & key_lanes;
    if (matches != 0) {
      return i + static_cast<std::size_t>(__builtin_ctz(matches)) / 2;
    }
  }
  return i + scalar_scan(run.subspan(i), target);
}

// Four entries per 256-bit vector, sixteen per block. Each entry is compared as one 64-bit lane
// with its info bits cleared, so a match sets exactly the lanes of matching entries.
__attribute__((target("avx2"))) std::size_t avx2_scan(entries run, key_type target) {
  const __m256i wanted = _mm256_set1_epi64x(static_cast<std::uint32_t>(target));
  const __m256i key_bits = _mm256_set1_epi64x(0xffffffff);
  auto equal = [&](std::size_t i) __attribute__((target("avx2"))) {
    const __m256i four = _mm256_loadu_si256(static_cast<const __m256i*>(at(run, i)));
    return _mm256_cmpeq_epi64(_mm256_and_si256(four, key_bits), wanted);
  };
  auto bits = [](__m256i lanes) __attribute__((target("avx2"))) {
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(lanes)));
  };
  std::size_t i = 0;
  for (; i + 16 <= run.size(); i += 16) {
    const __m256i e0 = equal(i);
    const __m256i e1 = equal(i + 4);
    const __m256i e2 = equal(i + 8);
    const __m256i e3 = equal(i + 12);
    const __m256i any = _mm256_or_si256(_mm256_or_si256(e0, e1), _mm256_or_si256(e2, e3));
    if (_mm256_testz_si256(any, any) == 0) {
      const unsigned matches = bits(e0) | bits(e1) << 4U | bits(e2) << 8U | bits(e3) << 12U;
      return i + static_cast<std::size_t>(__builtin_ctz(matches));
    }
  }
  for (; i + 4 <= run.size(); i += 4) {
    const unsigned matches = bits(equal(i));
    if (matches != 0) {
      return i + static_cast<std::size_t>(__builtin_ctz(matches));
    }
  }
  return i + scalar_scan(run.subspan(i), target);
}

// Eight entries per 512-bit vector, the loads on 64-byte boundaries: a load
// that straddles two cache lines costs two, and this scan is bound by how fast lines arrive. So
// the vectors are counted from the boundary at or below the first entry; the first and the last
// are read with masked loads, which touch no lane outside the run. The entries are at least
// 4-byte aligned, so the keys are the even lanes of every vector, or the odd ones.
constexpr std::size_t vector_bytes = 64;
constexpr std::size_t lane_bytes = 4;
constexpr unsigned all_lanes = 0xffff;

__attribute__((target("avx512f"))) std::size_t avx512_scan(entries run, key_type target) {
  const __m512i wanted = _mm512_set1_epi32(target);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the address as a number
  const auto first_entry = reinterpret_cast<std::uintptr_t>(run.data());
  const std::uintptr_t base = first_entry & ~std::uintptr_t{vector_bytes - 1};
  const std::size_t head = first_entry - base;  // bytes before the first entry
  const std::size_t end = head + run.size() * sizeof(list_entry);
  const __mmask16 key_lanes = (head / lane_bytes) % 2 == 0 ? 0x5555 : 0xaaaa;
  auto vector_at = [base](std::size_t offset) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
    return reinterpret_cast<const void*>(base + offset);
  };
  // The entry whose key is in the lowest lane set in `matches`, of the vectors from `offset`.
  auto entry_of = [head](std::size_t offset, std::uint64_t matches) {
    return (offset + lane_bytes * static_cast<std::size_t>(__builtin_ctzll(matches)) - head) /
           sizeof(list_entry);
  };
  // The lanes of the vector at `offset` that lie inside the run.
  auto inside = [head, end](std::size_t offset) {
    const std::size_t from = offset < head ? (head - offset) / lane_bytes : 0;
    const std::size_t to = std::min(end - offset, vector_bytes) / lane_bytes;
    return static_cast<__mmask16>((all_lanes >> (16 - to)) & (all_lanes << from));
  };
  std::size_t offset = 0;
  if (head != 0) {
    const __mmask16 lanes = inside(offset);
    const __mmask16 matches = _mm512_mask_cmpeq_epi32_mask(
        key_lanes & lanes, _mm512_maskz_loadu_epi32(lanes, vector_at(offset)), wanted);
    if (matches != 0) {
      return entry_of(offset, matches);
    }
    offset += vector_bytes;
  }
  // Four vectors, 32 entries, a round: one test of the four masks together decides whether to
  // look closer.
  for (; offset + 4 * vector_bytes <= end; offset += 4 * vector_bytes) {
    const __mmask16 m0 =
        _mm512_mask_cmpeq_epi32_mask(key_lanes, _mm512_load_si512(vector_at(offset)), wanted);
    const __mmask16 m1 = _mm512_mask_cmpeq_epi32_mask(
        key_lanes, _mm512_load_si512(vector_at(offset + vector_bytes)), wanted);
    const __mmask16 m2 = _mm512_mask_cmpeq_epi32_mask(
        key_lanes, _mm512_load_si512(vector_at(offset + 2 * vector_bytes)), wanted);
    const __mmask16 m3 = _mm512_mask_cmpeq_epi32_mask(
        key_lanes, _mm512_load_si512(vector_at(offset + 3 * vector_bytes)), wanted);
    if ((m0 | m1 | m2 | m3) != 0) {
      const std::uint64_t matches = std::uint64_t{m0} | std::uint64_t{m1} << 16U |
                                    std::uint64_t{m2} << 32U | std::uint64_t{m3} << 48U;
      return entry_of(offset, matches);
    }
  }
  for (; offset + vector_bytes <= end; offset += vector_bytes) {
    const __mmask16 matches =
        _mm512_mask_cmpeq_epi32_mask(key_lanes, _mm512_load_si512(vector_at(offset)), wanted);
    if (matches != 0) {
      return entry_of(offset, matches);
    }
  }
  if (offset < end) {
    const __mmask16 lanes = inside(offset);
    const __mmask16 matches = _mm512_mask_cmpeq_epi32_mask(
        key_lanes & lanes, _mm512_maskz_loadu_epi32(lanes, vector_at(offset)), wanted);
    if (matches != 0) {
      return entry_of(offset, matches);
    }
  }
  return run.size();
}

constexpr std::array<scan_kernel, 4> kernels{
    {{"avx512", avx512_scan}, {"avx2", avx2_scan}, {"sse2", sse2_scan}, {"scalar", scalar_scan}}};

#else

constexpr std::array<scan_kernel, 1> kernels{{{"scalar", scalar_scan}}};

#endif

const scan_kernel& widest_supported() {
  for (const scan_kernel& kernel : kernels) {
    if (supported(kernel)) {
      return kernel;
    }
  }
  return kernels.back();
}

// The first scan goes through here: it makes the choice, keeps it for every later scan and
// scans. A relaxed load of the kept pointer is a plain load, so a scan pays nothing more for the
// choice than the indirect call.
std::size_t choose_and_scan(entries run, key_type target);
std::atomic<scan_function> chosen_scan{choose_and_scan};

std::size_t choose_and_scan(entries run, key_type target) {
  const scan_function scan = chosen_scan_kernel().scan;
  chosen_scan.store(scan, std::memory_order_relaxed);
  return scan(run, target);
}

}  // namespace

std::span<const scan_kernel> scan_kernels() { return kernels; }

bool supported(const scan_kernel& kernel) {
#if defined(__x86_64__)
  // Safe to call at any time, also before the run-time library's own initialisers have run.
  __builtin_cpu_init();
  if (kernel.name == "avx512") {
    return __builtin_cpu_supports("avx512f");
  }
  if (kernel.name == "avx2") {
    return __builtin_cpu_supports("avx2");
  }
#endif
  // SSE2 is part of every x86-64 processor; the scalar kernel runs anywhere.
  return kernel.name == "sse2" || kernel.name == "scalar";
}

const scan_kernel& chosen_scan_kernel() {
  static const scan_kernel& chosen = widest_supported();
  return chosen;
}

std::size_t first_match(std::span<const list_entry> run, key_type target) {
  return chosen_scan.load(std::memory_order_relaxed)(run, target);
}

}  // namespace velk_sr::kernels
