// Nanoseconds per search: the five search routines at the schedule's four sizes, each half (keys
// in the list, keys not in it) apart, on a long stream of fresh targets drawn before the timing,
// so that the branch predictor cannot learn them. Beside them, on the same list and the same
// targets: the uncounted yardsticks (the best vectorised scans and the best branch-free binary
// search we know how to write), the standard library's std::find and std::lower_bound, and the
// plain program's own searches.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "search_bench.hpp"

#include "bench_support.hpp"
#include "plain_schedule.hpp"
#include "random/random_int.hpp"
#include "search/velk_sr.hpp"

namespace velk_bench {

namespace {

using velk_sr::key_type;
using velk_sr::list;
using velk_sr::list_entry;
using velk_sr::position;
using velk_sr::search_result;

using entries = std::span<const list_entry>;

// Searches per stream: far more than a predictor keeps, and each search of the stream is timed
// once per pass.
constexpr std::size_t stream_length = std::size_t{1} << 16;

// Searches between two resets of the counters: a long run would carry them past their limits, a
// batch stays far below them. A stream is a whole number of batches.
constexpr std::size_t batch = 256;
static_assert(stream_length % batch == 0);

// What a yardstick gives back: the index (from 0) of the entry found, or none.
search_result found_at(std::size_t index, std::size_t size, position location) {
  if (index >= size) {
    return {false, location};
  }
  return {true, static_cast<std::int32_t>(index + 1)};
}

[[gnu::noinline]] search_result std_find(const list& l, key_type target, bool /*found*/,
                                         position location) {
  const entries run = l.data.run(1, l.count);
  const auto match = std::ranges::find(run, target, &list_entry::key);
  return found_at(static_cast<std::size_t>(match - run.begin()), run.size(), location);
}

[[gnu::noinline]] search_result std_lower_bound(const list& l, key_type target, bool /*found*/,
                                                position location) {
  const entries run = l.data.run(1, l.count);
  const auto first_not_smaller = std::ranges::lower_bound(run, target, {}, &list_entry::key);
  if (first_not_smaller == run.end() || first_not_smaller->key != target) {
    return {false, location};
  }
  return found_at(static_cast<std::size_t>(first_not_smaller - run.begin()), run.size(), location);
}

// binary1's own probes, (bottom + top) / 2 keeping the lower half with the probe, made without a
// branch on the comparison and with nothing counted: what binary1search would cost if counting
// and the list's face were free. Both ends are set by conditional moves written out, since the
// compiler turns two selects on one condition into a jump; the keys are compared with their sign
// bits flipped, as unsigned numbers, since the moves then read the carry flag alone, which made
// this loop the fastest of the forms we tried here.
[[gnu::noinline]] search_result uncounted_binary1_probes(const list& l, key_type target,
                                                         bool /*found*/, position location) {
  const entries run = l.data.run(1, l.count);
  if (run.empty()) {
    return {false, location};
  }
  // As in binary1: the probes every search makes run in a loop whose length depends on the size
  // alone, and the last one is made only where two entries are left.
  std::size_t bottom = 0;
  std::size_t top = run.size() - 1;
  for (int probes = static_cast<int>(std::bit_width(run.size() - 1)) - 1; probes > 0; --probes) {
    const std::size_t mid = (bottom + top) / 2;
    const std::size_t above = mid + 1;
#if defined(__x86_64__)
    constexpr std::uint32_t sign_bit = 0x80000000;
    const std::uint32_t biased_key = static_cast<std::uint32_t>(run[mid].key) ^ sign_bit;
    const std::uint32_t biased_target = static_cast<std::uint32_t>(target) ^ sign_bit;
    asm("cmpl %[target], %[key]\n\t"
        "cmovb %[above], %[bottom]\n\t"
        "cmovae %[mid], %[top]"
        : [bottom] "+r"(bottom), [top] "+r"(top)
        : [key] "r"(biased_key), [target] "r"(biased_target), [above] "r"(above), [mid] "r"(mid)
        : "cc");
#else
    const std::size_t mask = run[mid].key < target ? ~std::size_t{0} : 0;
    bottom += (above - bottom) & mask;
    top -= (top - mid) & ~mask;
#endif
  }
  bottom += (run[bottom].key < target ? 1U : 0U) & (bottom < top ? 1U : 0U);
  return run[bottom].key == target ? found_at(bottom, run.size(), location)
                                   : search_result{false, location};
}

// The classic branch-free binary search: the range shrinks by a length that depends on the size
// alone, so the loop never waits on a comparison, and the only select becomes a conditional
// move. It keeps the first entry whose key is not smaller than the target.
[[gnu::noinline]] search_result branchless_lower_bound(const list& l, key_type target,
                                                       bool /*found*/, position location) {
  const entries run = l.data.run(1, l.count);
  if (run.empty()) {
    return {false, location};
  }
  std::size_t first = 0;
  std::size_t length = run.size();
  while (length > 1) {
    const std::size_t half = length / 2;
    first = run[first + half - 1].key < target ? first + half : first;
    length -= half;
  }
  first += run[first].key < target ? 1 : 0;
  if (first == run.size() || run[first].key != target) {
    return {false, location};
  }
  return found_at(first, run.size(), location);
}

[[gnu::noinline]] search_result plain_sequential(const list& l, key_type target, bool /*found*/,
                                                 position location) {
  int at = 0;
  if (!plain::sequential_search(l.count, target, &at)) {
    return {false, location};
  }
  return {true, at};
}

[[gnu::noinline]] search_result plain_binary(const list& l, key_type target, bool /*found*/,
                                             position location) {
  int at = 0;
  if (!plain::binary_search(l.count, target, &at)) {
    return {false, location};
  }
  return {true, at};
}

#if defined(__x86_64__)

// The address of entry `i` as the vector loads take it.
const void* address_of(entries run, std::size_t i) { return run.data() + i; }

// The fastest uncounted scans we could write for each instruction set, on the same entries:
// blocks of 32 entries (AVX-512, the keys compared under a mask of the key lanes) and of 16
// (AVX2, each entry compared as a 64-bit lane with its info cleared), the rest one at a time.
[[gnu::noinline, gnu::target("avx512f")]] search_result vector_scan_avx512(const list& l,
                                                                           key_type target,
                                                                           bool /*found*/,
                                                                           position location) {
  const entries run = l.data.run(1, l.count);
  const __m512i wanted = _mm512_set1_epi32(target);
  constexpr __mmask16 key_lanes = 0x5555;
  std::size_t i = 0;
  for (; i + 32 <= run.size(); i += 32) {
    const __mmask16 m0 =
        _mm512_mask_cmpeq_epi32_mask(key_lanes, _mm512_loadu_si512(address_of(run, i)), wanted);
    const __mmask16 m1 =
        _mm512_mask_cmpeq_epi32_mask(key_lanes, _mm512_loadu_si512(address_of(run, i + 8)), wanted);
    const __mmask16 m2 = _mm512_mask_cmpeq_epi32_mask(
        key_lanes, _mm512_loadu_si512(address_of(run, i + 16)), wanted);
    const __mmask16 m3 = _mm512_mask_cmpeq_epi32_mask(
        key_lanes, _mm512_loadu_si512(address_of(run, i + 24)), wanted);
    if ((m0 | m1 | m2 | m3) != 0) {
      const std::uint64_t matches = std::uint64_t{m0} | std::uint64_t{m1} << 16U |
                                    std::uint64_t{m2} << 32U | std::uint64_t{m3} << 48U;
      return found_at(i + static_cast<std::size_t>(__builtin_ctzll(matches)) / 2, run.size(),
                      location);
    }
  }
  for (; i < run.size() && run[i].key != target; ++i) {
  }
  return found_at(i, run.size(), location);
}

[[gnu::noinline, gnu::target("avx2")]] search_result vector_scan_avx2(const list& l,
                                                                      key_type target,
                                                                      bool /*found*/,
                                                                      position location) {
  const entries run = l.data.run(1, l.count);
  const __m256i wanted = _mm256_set1_epi64x(static_cast<std::uint32_t>(target));
  const __m256i key_bits = _mm256_set1_epi64x(0xffffffff);
  std::size_t i = 0;
  for (; i + 16 <= run.size(); i += 16) {
    __m256i equal[4];
    for (std::size_t v = 0; v < 4; ++v) {
      const __m256i four =
          _mm256_loadu_si256(static_cast<const __m256i*>(address_of(run, i + 4 * v)));
      equal[v] = _mm256_cmpeq_epi64(_mm256_and_si256(four, key_bits), wanted);
    }
    const __m256i any =
        _mm256_or_si256(_mm256_or_si256(equal[0], equal[1]), _mm256_or_si256(equal[2], equal[3]));
    if (_mm256_testz_si256(any, any) == 0) {
      unsigned matches = 0;
      for (std::size_t v = 0; v < 4; ++v) {
        matches |= static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(equal[v])))
                   << (4 * v);
      }
      return found_at(i + static_cast<std::size_t>(__builtin_ctz(matches)), run.size(), location);
    }
  }
  for (; i < run.size() && run[i].key != target; ++i) {
  }
  return found_at(i, run.size(), location);
}

#endif

// The targets of one half for the first n entries, `stream_length` of them: r drawn over 1..n
// by a new generator, as the test procedure draws them (its first n are the schedule's own),
// and 2r - 1 for keys in the list or 2r for keys not in it.
std::vector<key_type> fresh_targets(std::int32_t n, half which) {
  const random_int::range ri_range(n);
  random_int::generator g = ri_range.make_generator();
  std::vector<key_type> targets;
  targets.reserve(stream_length);
  for (std::size_t i = 0; i < stream_length; ++i) {
    const std::int32_t r = ri_range.random(g);
    targets.push_back(which == half::successful ? 2 * r - 1 : 2 * r);
  }
  return targets;
}

// The list of the schedule, holding its first n entries.
list& list_of_size(std::int32_t n) {
  list& l = schedule_list();
  l.count = n;
  plain::fill_keys();
  return l;
}

// One batch of searches by `look`, from `first` on, the counters reset before it; found and
// location go back in as the test procedure hands them on.
void search_batch(velk_sr::searchmethod look, const list& l, const key_type* first, bool& found,
                  position& location) {
  velk_sr::cc = 0;
  plain::zero_counter();
  for (std::size_t i = 0; i < batch; ++i) {
    const search_result result = look(l, first[i], found, location);
    benchmark::DoNotOptimize(result);
    found = result.found;
    location = result.location;
  }
}

// Runs `look` over the stream, one search per iteration, going on where the last batch stopped.
void search_stream(benchmark::State& state, velk_sr::searchmethod look, std::int32_t n,
                   half which) {
  const list& l = list_of_size(n);
  const std::vector<key_type> targets = fresh_targets(n, which);
  std::size_t next = 0;
  bool found = false;
  position location;
  while (state.KeepRunningBatch(batch)) {
    search_batch(look, l, &targets[next], found, location);
    next = next + batch == targets.size() ? 0 : next + batch;
  }
  state.SetItemsProcessed(state.iterations());
}

struct named_method {
  const char* name;
  velk_sr::searchmethod look;
  bool (*runs_here)();
};

bool anywhere() { return true; }

#if defined(__x86_64__)
bool with_avx512() { return __builtin_cpu_supports("avx512f"); }
bool with_avx2() { return __builtin_cpu_supports("avx2"); }
#endif

const named_method methods[] = {
    {"sequentialsearch", velk_sr::sequentialsearch, anywhere},
#if defined(__x86_64__)
    {"vector_scan_avx512", vector_scan_avx512, with_avx512},
    {"vector_scan_avx2", vector_scan_avx2, with_avx2},
#endif
    {"std::find", std_find, anywhere},
    {"plain_sequential", plain_sequential, anywhere},
    {"binary1search", velk_sr::binary1search, anywhere},
    {"uncounted_binary1_probes", uncounted_binary1_probes, anywhere},
    {"branchless_lower_bound", branchless_lower_bound, anywhere},
    {"std::lower_bound", std_lower_bound, anywhere},
    {"plain_binary", plain_binary, anywhere},
    {"recbinary1search", velk_sr::recbinary1search, anywhere},
    {"binary2search", velk_sr::binary2search, anywhere},
    {"recbinary2search", velk_sr::recbinary2search, anywhere},
};

// The value below which `share` of the sorted `values` lie.
double quantile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(
      std::lround(share * static_cast<double>(values.size() - 1)))];
}

}  // namespace

bool paired_rounds(const std::vector<std::string>& names, std::int32_t n, int rounds) {
  std::vector<const named_method*> chosen;
  for (const std::string& name : names) {
    const auto* m = std::find_if(std::begin(methods), std::end(methods),
                                 [&](const named_method& each) { return name == each.name; });
    if (m == std::end(methods) || !m->runs_here()) {
      std::cerr << "velk_bench: no routine \"" << name << "\" runs here\n";
      return false;
    }
    chosen.push_back(m);
  }
  const list& l = list_of_size(n);
  const std::vector<key_type> streams[] = {fresh_targets(n, half::successful),
                                           fresh_targets(n, half::unsuccessful)};
  std::vector<std::vector<double>> times(chosen.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t m = 0; m < chosen.size(); ++m) {
      // Both halves, each search timed once: nanoseconds per search.
      double total = 0;
      for (const std::vector<key_type>& targets : streams) {
        bool found = false;
        position location;
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < targets.size(); i += batch) {
          search_batch(chosen[m]->look, l, &targets[i], found, location);
        }
        const std::chrono::duration<double, std::nano> spent =
            std::chrono::steady_clock::now() - start;
        total += spent.count() / static_cast<double>(targets.size() * 2);
      }
      times[m].push_back(total);
    }
  }
  std::cout << rounds << " rounds at size " << n << ", both halves, fresh targets; ratios to "
            << chosen[0]->name << " within each round\n"
            << std::setw(26) << "" << std::setw(10) << "ns median" << std::setw(10) << "ratio"
            << std::setw(10) << "10%" << std::setw(10) << "90%" << '\n';
  for (std::size_t m = 0; m < chosen.size(); ++m) {
    std::vector<double> ratios(times[m].size());
    std::transform(times[m].begin(), times[m].end(), times[0].begin(), ratios.begin(),
                   std::divides<>());
    std::cout << std::left << std::setw(26) << chosen[m]->name << std::right << std::fixed
              << std::setprecision(2) << std::setw(10) << quantile(times[m], 0.5)
              << std::setprecision(3) << std::setw(10) << quantile(ratios, 0.5) << std::setw(10)
              << quantile(ratios, 0.1) << std::setw(10) << quantile(ratios, 0.9) << '\n';
  }
  return true;
}

void register_search_benchmarks() {
  for (const named_method& m : methods) {
    if (!m.runs_here()) {
      continue;
    }
    for (const std::int32_t n : schedule_sizes) {
      for (const half which : {half::successful, half::unsuccessful}) {
        const std::string name = std::string(m.name) + "/" + std::to_string(n) +
                                 (which == half::successful ? "/successful" : "/unsuccessful");
        benchmark::RegisterBenchmark(name.c_str(), search_stream, m.look, n, which);
      }
    }
  }
}

}  // namespace velk_bench
