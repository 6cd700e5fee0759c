#include "kernels.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velk_sr::kernels {

namespace {

using algorithms::key_of;
using algorithms::run_key;
using entries = std::span<const list_entry>;

// Keys searched as they are, without an entry around them.
template <class Key>
concept plain_key = run_key<Key> && std::unsigned_integral<Key>;

template <run_entry Entry>
std::size_t scalar_scan(std::span<const Entry> run, key_type_of<Entry> target) {
  std::size_t i = 0;
  while (i < run.size() && key_of(run[i]) != target) {
    ++i;
  }
  return i;
}

#if defined(__x86_64__)

// The list entries' kernels read entries as pairs of 32-bit lanes: the key in the first, the info
// in the second.
static_assert(sizeof(key_type) == 4 && sizeof(list_entry) == 8 && offsetof(list_entry, key) == 0);

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
  return i + scalar_scan<list_entry>(run.subspan(i), target);
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
  return i + scalar_scan<list_entry>(run.subspan(i), target);
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

// The kernels for plain keys, each written once for keys of 32 and 64 bits: a vector holds
// `lanes` keys, and the key of each lane is compared whole.

// Four 128-bit vectors a block. SSE2 compares 32-bit lanes only: a 64-bit key matches where both
// of its halves do, the compare of each half ANDed with that of the other.
template <plain_key Key>
std::size_t sse2_scan(std::span<const Key> run, Key target) {
  constexpr std::size_t lanes = sizeof(__m128i) / sizeof(Key);
  const __m128i wanted = sizeof(Key) == 4 ? _mm_set1_epi32(static_cast<std::int32_t>(target))
                                          : _mm_set1_epi64x(static_cast<std::int64_t>(target));
  auto equal = [&](std::size_t i) {
    const __m128i halves = _mm_cmpeq_epi32(
        _mm_loadu_si128(static_cast<const __m128i*>(static_cast<const void*>(&run[i]))), wanted);
    if constexpr (sizeof(Key) == 4) {
      return halves;
    } else {
      return _mm_and_si128(halves, _mm_shuffle_epi32(halves, _MM_SHUFFLE(2, 3, 0, 1)));
    }
  };
  auto bits = [](__m128i equal_lanes) {
    if constexpr (sizeof(Key) == 4) {
      return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(equal_lanes)));
    } else {
      return static_cast<unsigned>(_mm_movemask_pd(_mm_castsi128_pd(equal_lanes)));
    }
  };
  std::size_t i = 0;
  for (; i + 4 * lanes <= run.size(); i += 4 * lanes) {
    const __m128i e0 = equal(i);
    const __m128i e1 = equal(i + lanes);
    const __m128i e2 = equal(i + 2 * lanes);
    const __m128i e3 = equal(i + 3 * lanes);
    const __m128i any = _mm_or_si128(_mm_or_si128(e0, e1), _mm_or_si128(e2, e3));
    if (_mm_movemask_epi8(any) != 0) {
      const unsigned matches =
          bits(e0) | bits(e1) << lanes | bits(e2) << 2 * lanes | bits(e3) << 3 * lanes;
      return i + static_cast<std::size_t>(__builtin_ctz(matches));
    }
  }
  for (; i + lanes <= run.size(); i += lanes) {
    const unsigned matches = bits(equal(i));
    if (matches != 0) {
      return i + static_cast<std::size_t>(__builtin_ctz(matches));
    }
  }
  return i + scalar_scan<Key>(run.subspan(i), target);
}

// Four 256-bit vectors a block, each key compared in a lane of its own width.
template <plain_key Key>
__attribute__((target("avx2"))) std::size_t avx2_scan(std::span<const Key> run, Key target) {
  constexpr std::size_t lanes = sizeof(__m256i) / sizeof(Key);
  const __m256i wanted = sizeof(Key) == 4 ? _mm256_set1_epi32(static_cast<std::int32_t>(target))
                                          : _mm256_set1_epi64x(static_cast<std::int64_t>(target));
  auto equal = [&](std::size_t i) __attribute__((target("avx2"))) {
    const __m256i keys =
        _mm256_loadu_si256(static_cast<const __m256i*>(static_cast<const void*>(&run[i])));
    if constexpr (sizeof(Key) == 4) {
      return _mm256_cmpeq_epi32(keys, wanted);
    } else {
      return _mm256_cmpeq_epi64(keys, wanted);
    }
  };
  auto bits = [](__m256i equal_lanes) __attribute__((target("avx2"))) {
    if constexpr (sizeof(Key) == 4) {
      return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(equal_lanes)));
    } else {
      return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(equal_lanes)));
    }
  };
  std::size_t i = 0;
  for (; i + 4 * lanes <= run.size(); i += 4 * lanes) {
    const __m256i e0 = equal(i);
    const __m256i e1 = equal(i + lanes);
    const __m256i e2 = equal(i + 2 * lanes);
    const __m256i e3 = equal(i + 3 * lanes);
    const __m256i any = _mm256_or_si256(_mm256_or_si256(e0, e1), _mm256_or_si256(e2, e3));
    if (_mm256_testz_si256(any, any) == 0) {
      const unsigned matches =
          bits(e0) | bits(e1) << lanes | bits(e2) << 2 * lanes | bits(e3) << 3 * lanes;
      return i + static_cast<std::size_t>(__builtin_ctz(matches));
    }
  }
  for (; i + lanes <= run.size(); i += lanes) {
    const unsigned matches = bits(equal(i));
    if (matches != 0) {
      return i + static_cast<std::size_t>(__builtin_ctz(matches));
    }
  }
  return i + scalar_scan<Key>(run.subspan(i), target);
}

// Four 512-bit vectors a block, the loads on 64-byte boundaries as for the list entries: the
// vectors are counted in lanes from the boundary at or below the first key, and the first and the
// last are read with masked loads, which touch no lane outside the run. A key is aligned to its
// own size, so every lane holds one key whole.
template <plain_key Key>
__attribute__((target("avx512f"))) std::size_t avx512_scan(std::span<const Key> run, Key target) {
  constexpr std::size_t lanes = vector_bytes / sizeof(Key);
  const __m512i wanted = sizeof(Key) == 4 ? _mm512_set1_epi32(static_cast<std::int32_t>(target))
                                          : _mm512_set1_epi64(static_cast<std::int64_t>(target));
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the address as a number
  const auto first_key = reinterpret_cast<std::uintptr_t>(run.data());
  const std::uintptr_t base = first_key & ~std::uintptr_t{vector_bytes - 1};
  const std::size_t head = (first_key - base) / sizeof(Key);  // lanes before the first key
  const std::size_t end = head + run.size();
  auto vector_at = [base](std::size_t lane) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
    return reinterpret_cast<const void*>(base + lane * sizeof(Key));
  };
  constexpr unsigned whole = (1U << lanes) - 1;
  // The lanes of the vector from lane `from` that lie inside the run.
  auto inside = [head, end](std::size_t from) {
    const std::size_t low = from < head ? head - from : 0;
    const std::size_t high = end - from < lanes ? end - from : lanes;
    return (whole >> (lanes - high)) & (whole << low);
  };
  // The lanes of the vector from lane `from` whose keys equal the target: of a vector wholly
  // inside the run, and of one that the run's first or last key lies in.
  auto matches = [&](std::size_t from) __attribute__((target("avx512f")))->unsigned {
    const __m512i keys = _mm512_load_si512(vector_at(from));
    if constexpr (sizeof(Key) == 4) {
      return _mm512_cmpeq_epi32_mask(keys, wanted);
    } else {
      return _mm512_cmpeq_epi64_mask(keys, wanted);
    }
  };
  auto matches_inside = [&](std::size_t from) __attribute__((target("avx512f")))->unsigned {
    if constexpr (sizeof(Key) == 4) {
      const auto in = static_cast<__mmask16>(inside(from));
      return _mm512_mask_cmpeq_epi32_mask(in, _mm512_maskz_loadu_epi32(in, vector_at(from)),
                                          wanted);
    } else {
      const auto in = static_cast<__mmask8>(inside(from));
      return _mm512_mask_cmpeq_epi64_mask(in, _mm512_maskz_loadu_epi64(in, vector_at(from)),
                                          wanted);
    }
  };
  std::size_t from = 0;
  if (head != 0) {
    const unsigned found = matches_inside(from);
    if (found != 0) {
      return static_cast<std::size_t>(__builtin_ctz(found)) - head;
    }
    from += lanes;
  }
  for (; from + 4 * lanes <= end; from += 4 * lanes) {
    const unsigned m0 = matches(from);
    const unsigned m1 = matches(from + lanes);
    const unsigned m2 = matches(from + 2 * lanes);
    const unsigned m3 = matches(from + 3 * lanes);
    if ((m0 | m1 | m2 | m3) != 0) {
      const std::uint64_t found = std::uint64_t{m0} | std::uint64_t{m1} << lanes |
                                  std::uint64_t{m2} << 2 * lanes | std::uint64_t{m3} << 3 * lanes;
      return from + static_cast<std::size_t>(__builtin_ctzll(found)) - head;
    }
  }
  for (; from + lanes <= end; from += lanes) {
    const unsigned found = matches(from);
    if (found != 0) {
      return from + static_cast<std::size_t>(__builtin_ctz(found)) - head;
    }
  }
  if (from < end) {
    const unsigned found = matches_inside(from);
    if (found != 0) {
      return from + static_cast<std::size_t>(__builtin_ctz(found)) - head;
    }
  }
  return run.size();
}

template <run_entry Entry>
constexpr std::array<scan_kernel<Entry>, 4> kernels{{{"avx512", avx512_scan},
                                                     {"avx2", avx2_scan},
                                                     {"sse2", sse2_scan},
                                                     {"scalar", scalar_scan<Entry>}}};

#else

template <run_entry Entry>
constexpr std::array<scan_kernel<Entry>, 1> kernels{{{"scalar", scalar_scan<Entry>}}};

#endif

template <run_entry Entry>
const scan_kernel<Entry>& widest_supported() {
  for (const scan_kernel<Entry>& kernel : kernels<Entry>) {
    if (supported(kernel)) {
      return kernel;
    }
  }
  return kernels<Entry>.back();
}

// The first scan of each entry type goes through here: it makes the choice, keeps it for every
// later scan and scans. A relaxed load of the kept pointer is a plain load, so a scan pays nothing
// more for the choice than the indirect call.
template <run_entry Entry>
std::size_t choose_and_scan(std::span<const Entry> run, key_type_of<Entry> target);
template <run_entry Entry>
std::atomic<scan_function<Entry>> chosen_scan{choose_and_scan<Entry>};

template <run_entry Entry>
std::size_t choose_and_scan(std::span<const Entry> run, key_type_of<Entry> target) {
  const scan_function<Entry> scan = chosen_scan_kernel<Entry>().scan;
  chosen_scan<Entry>.store(scan, std::memory_order_relaxed);
  return scan(run, target);
}

}  // namespace

bool instruction_set_supported(std::string_view name) {
#if defined(__x86_64__)
  // Safe to call at any time, also before the run-time library's own initialisers have run.
  __builtin_cpu_init();
  if (name == "avx512") {
    return __builtin_cpu_supports("avx512f");
  }
  if (name == "avx2") {
    return __builtin_cpu_supports("avx2");
  }
#endif
  // SSE2 is part of every x86-64 processor; the scalar kernel runs anywhere.
  return name == "sse2" || name == "scalar";
}

template <run_entry Entry>
std::span<const scan_kernel<Entry>> scan_kernels() {
  return kernels<Entry>;
}

template <run_entry Entry>
bool supported(const scan_kernel<Entry>& kernel) {
  return instruction_set_supported(kernel.name);
}

template <run_entry Entry>
const scan_kernel<Entry>& chosen_scan_kernel() {
  static const scan_kernel<Entry>& chosen = widest_supported<Entry>();
  return chosen;
}

template <run_entry Entry>
std::size_t first_match(std::span<const Entry> run, key_type_of<Entry> target) {
  return chosen_scan<Entry>.load(std::memory_order_relaxed)(run, target);
}

template std::span<const scan_kernel<list_entry>> scan_kernels();
template std::span<const scan_kernel<std::uint32_t>> scan_kernels();
template std::span<const scan_kernel<std::uint64_t>> scan_kernels();
template bool supported(const scan_kernel<list_entry>&);
template bool supported(const scan_kernel<std::uint32_t>&);
template bool supported(const scan_kernel<std::uint64_t>&);
template const scan_kernel<list_entry>& chosen_scan_kernel();
template const scan_kernel<std::uint32_t>& chosen_scan_kernel();
template const scan_kernel<std::uint64_t>& chosen_scan_kernel();
template std::size_t first_match(std::span<const list_entry>, key_type);
template std::size_t first_match(std::span<const std::uint32_t>, std::uint32_t);
template std::size_t first_match(std::span<const std::uint64_t>, std::uint64_t);

}  // namespace velk_sr::kernels
