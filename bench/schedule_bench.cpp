// The pieces of a test besides the searches (one draw, each number image), and the whole
// schedule beside a plain implementation of it. Report lines go to /dev/null while timed.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#include "bench_support.hpp"
#include "driver/number_images.hpp"
#include "driver/velk_ts.hpp"
#include "frame/integer_image.hpp"
#include "plain_schedule.hpp"
#include "random/random_int.hpp"

namespace velk_bench {

namespace {

void random_draw(benchmark::State& state) {
  const random_int::range ri_range(10000);
  random_int::generator g = ri_range.make_generator();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own idiom
    benchmark::DoNotOptimize(ri_range.random(g));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(random_draw);

// The same draws from the plain program's generator, whose moduli are constants.
void plain_draw(benchmark::State& state) {
  plain::generator g(10000);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own idiom
    benchmark::DoNotOptimize(g.draw());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(plain_draw);

// Each image benchmark goes round a few values of the kind the report shows, read through
// DoNotOptimize so that none is formatted at compile time.
template <class value, std::size_t count>
void image_of_each(benchmark::State& state, const value (&values)[count], auto image) {
  std::size_t next = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own idiom
    value v = values[next];
    benchmark::DoNotOptimize(v);
    benchmark::DoNotOptimize(image(v));
    next = next + 1 == count ? 0 : next + 1;
  }
  state.SetItemsProcessed(state.iterations());
}

// Sizes and targets, as in the elapsed-time and error lines.
constexpr std::int32_t report_integers[] = {10, 100, 1000, 10000, 7, 19999, 8, 20000};

// The sixteen averages of the report.
constexpr float report_averages[] = {
    4.4F, 10.0F, 48.54F, 100.0F, 509.984F, 1000.0F, 5010.65576171875F, 10000.0F,
    2.3F, 3.3F,  4.24F,  4.23F,  5.923F,   5.917F,  7.4415F,           7.4621F};

// Elapsed times in whole milliseconds, as the stopwatch gives them.
constexpr frame::duration report_durations[] = {0,        1000000,   2000000,    16000000,
                                                50000000, 123000000, 1000000000, 2718000000};

void integer_image(benchmark::State& state) {
  image_of_each(state, report_integers, [](std::int32_t v) { return frame::integer_image(v); });
}
BENCHMARK(integer_image);

void float_image(benchmark::State& state) {
  image_of_each(state, report_averages, [](float v) { return velk_ts::float_image(v, 6); });
}
BENCHMARK(float_image);

void duration_image(benchmark::State& state) {
  image_of_each(state, report_durations,
                [](frame::duration v) { return velk_ts::duration_image(v); });
}
BENCHMARK(duration_image);

// The searches one schedule makes: for each of two methods and each size n, two halves of n.
std::int64_t searches_per_schedule() {
  constexpr std::int64_t methods_and_halves = 4;
  std::int64_t searches = 0;
  for (const std::int32_t n : schedule_sizes) {
    searches += methods_and_halves * n;
  }
  return searches;
}

void whole_schedule(benchmark::State& state) {
  const stdout_redirect to_null(dev_null());
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own idiom
    velk_ts::main_procedure();
  }
  state.SetItemsProcessed(state.iterations() * searches_per_schedule());
}
BENCHMARK(whole_schedule)->Unit(benchmark::kMillisecond);

void plain_schedule(benchmark::State& state) {
  const stdout_redirect to_null(dev_null());
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own idiom
    benchmark::DoNotOptimize(plain::run_schedule());
  }
  state.SetItemsProcessed(state.iterations() * searches_per_schedule());
}
BENCHMARK(plain_schedule)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace velk_bench
