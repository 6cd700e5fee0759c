// The context of a run: when, where, on what and how it was measured.
#pragma once

#include "lab/measure/plan.hpp"
#include "lab/measure/results.hpp"

namespace velk_lab {

// Reads the date, the host, the processor and the build, and records the plan's seed and
// timing settings and the command line as given (program name first).
run_context gather_context(int argc, const char* const* argv, const plan& measured);

}  // namespace velk_lab
