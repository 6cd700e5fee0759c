// The process frame: start-up, the units' initialisation, the main procedure, shutdown, and the
// fault handler that turns processor and operating-system faults into failures.
#pragma once

#include <cstddef>
#include <initializer_list>

namespace frame {

using unit_initializer = void (*)();
using main_procedure = void (*)();

// Runs a whole program and ends the process. In order: installs the fault handler, ignores
// SIGPIPE and SIGXFSZ (a write into a closed pipe or past the file-size limit then fails like any
// other and raises the device error), gives the stack at least `stack_reserve` bytes, records the
// command line, makes the standard streams unbuffered, calls each unit's initialiser once in the
// order given, calls `procedure` once, completes a partly written line and exits with status 0. A
// failure anywhere ends the process with the failure report and status 1 instead.
[[noreturn]] void run(int argc, char** argv, std::initializer_list<unit_initializer> units,
                      main_procedure procedure);

// The stack the main procedure gets at least, when the system's hard limit allows it.
inline constexpr std::size_t stack_reserve = std::size_t{32} * 1024 * 1024;

// The command line as the process received it.
int argument_count();
char** argument_vector();

// Installs the fault handler on an alternate signal stack, taking the stack as it stands for the
// start of the stack. A fault of the program's own reports a failure and ends the process with
// status 1: SIGFPE the constraint failure; a SIGSEGV in the room the stack grows into (stack
// exhaustion, however large the frame that ran out) the storage failure; any other SIGSEGV,
// SIGBUS, SIGILL or SIGTRAP, and abort() (std::terminate too), the program failure. A fault inside
// that work keeps the first failure's report. A C++ exception that nothing catches gives the
// program failure, or the storage failure for memory that could not be had. One of these signals
// that was sent rather than raised by a fault (by kill, sigqueue or tgkill from another process,
// or by the program's own raise of any but SIGABRT) is no fault of the program: the process ends
// by that signal with its default action, as it would without the handler.
void install_fault_handler();

// Runs the clean-up of the units: ends a partly written line of standard output.
void finalize_units();

}  // namespace frame
