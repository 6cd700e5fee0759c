#include "frame.hpp"

#include <sys/mman.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>

#include "checks.hpp"
#include "failure.hpp"
#include "text_output.hpp"

namespace frame {

namespace {

int saved_argc = 0;
char** saved_argv = nullptr;

// A fault this close to the stack pointer is taken for the stack running out: the access that
// faults on exhaustion is a push, a call, or a store into the frame just made below it.
constexpr std::uintptr_t stack_fault_reach = std::uintptr_t{1024} * 1024;

failure_kind kind_of_fault(int signal, const siginfo_t* info, const void* context) {
  if (signal == SIGFPE) {
    return failure_kind::constraint_error;
  }
  if (signal == SIGSEGV) {
    const auto* machine = static_cast<const ucontext_t*>(context);
    const auto stack_pointer = static_cast<std::uintptr_t>(machine->uc_mcontext.gregs[REG_RSP]);
    // The faulting address is only compared with the stack pointer, as a number.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const std::uintptr_t distance =
        address > stack_pointer ? address - stack_pointer : stack_pointer - address;
    if (distance <= stack_fault_reach) {
      return failure_kind::storage_error;
    }
  }
  return failure_kind::program_error;
}

void fault_handler(int signal, siginfo_t* info, void* context) {
  report_unhandled(kind_of_fault(signal, info, context));
  ::_exit(1);
}

// The handler runs on a stack of its own, since the one that faulted may be exhausted. Its size
// is the system's minimum for a signal frame at run time, with ample room on top.
void give_handler_a_stack() {
  const auto minimum = ::sysconf(_SC_MINSIGSTKSZ);
  const std::size_t size =
      static_cast<std::size_t>(std::max<decltype(minimum)>(minimum, 0)) + std::size_t{64} * 1024;
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    raise_failure(failure_kind::storage_error);
  }
  stack_t alternate{};
  alternate.ss_sp = memory;
  alternate.ss_size = size;
  ::sigaltstack(&alternate, nullptr);
}

// Lets the stack grow to `stack_reserve`: the soft limit is raised when it is lower and the hard
// limit allows; the stack grows into the new room on demand.
void reserve_stack() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur >= static_cast<rlim_t>(stack_reserve)) {
    return;
  }
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY
                       ? static_cast<rlim_t>(stack_reserve)
                       : std::min(limit.rlim_max, static_cast<rlim_t>(stack_reserve));
  ::setrlimit(RLIMIT_STACK, &limit);
}

void init_units(std::initializer_list<unit_initializer> units) {
  record_cleanup(complete_partial_line);
  unbuffer_standard_streams();
  for (const unit_initializer initialize : units) {
    check(initialize != nullptr);
    initialize();
  }
}

}  // namespace

int argument_count() { return saved_argc; }
char** argument_vector() { return saved_argv; }

void install_fault_handler() {
  give_handler_a_stack();
  struct sigaction action {};
  action.sa_sigaction = fault_handler;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigfillset(&action.sa_mask);
  for (const int signal : {SIGFPE, SIGSEGV, SIGBUS, SIGILL, SIGTRAP}) {
    ::sigaction(signal, &action, nullptr);
  }
}

void finalize_units() {
  // On the normal road a line left incomplete is ended like any other, so a failing device
  // still raises the device error rather than passing for success.
  if (line_partly_written()) {
    put_line("");
  }
}

void run(int argc, char** argv, std::initializer_list<unit_initializer> units,
         main_procedure procedure) {
  install_fault_handler();
  static_cast<void>(::signal(SIGPIPE, SIG_IGN));
  reserve_stack();
  saved_argc = argc;
  saved_argv = argv;
  init_units(units);
  check(procedure != nullptr);
  procedure();
  finalize_units();
  std::exit(0);
}

}  // namespace frame
