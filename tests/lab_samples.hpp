// What the lab's report tests share: a run's context with fixed values, whose every field the
// reports write.
#pragma once

#include "lab/measure/results.hpp"

namespace velk_test {

inline velk_lab::run_context sample_context() {
  velk_lab::run_context c;
  c.date = "2025-03-04T05:06:07+01:00";
  c.host = "lab-host";
  c.processor = "Some CPU @ 2.00GHz";
  c.cpus = 2;
  c.compiler = "GCC 12.2.0";
  c.build_type = "RelWithDebInfo";
  c.assertions = false;
  c.version = "1.0.0";
  c.seed = 42;
  c.repetitions = 3;
  c.min_time = 0.25;
  c.key_sets = {{"odd", 32, "32-bit keys 1, 3, ..., 2n - 1; targets as velk_ts draws them", {}}};
  c.command_line = {"velk",
                    "--seed",
                    "42",
                    "--sizes",
                    "10",
                    "--methods",
                    "binary1,std-lower-bound",
                    "--repetitions",
                    "3",
                    "--min-time",
                    "0.25",
                    "--output",
                    "my results.txt"};
  return c;
}

}  // namespace velk_test
