#include "frame.hpp"

#include <sys/mman.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <new>

#include "checks.hpp"
#include "failure.hpp"
#include "text_output.hpp"

namespace frame {

namespace {

int saved_argc = 0;
char** saved_argv = nullptr;

// The signals of the program's own faults, and abort.
constexpr int fault_signals[] = {SIGFPE, SIGSEGV, SIGBUS, SIGILL, SIGTRAP, SIGABRT};

// Where the stack stood when the fault handler was installed: the frames of the program lie
// below it, and so does all the room the stack may grow into.
std::uintptr_t stack_start = 0;

// How far beneath the lower of the stack pointer and the stack's limit a fault still counts as
// the stack running out: the gap that the system keeps below a stack (256 pages), which also
// covers the bytes a function stores just below the stack pointer.
constexpr std::uintptr_t stack_guard = std::uintptr_t{1024} * 1024;

// Set on the first entry to the fault handler, so that a fault in working out the kind of a fault
// does not try again.
volatile std::sig_atomic_t handling_fault = 0;

// Whether a fault at `address` is the stack running out: the address lies in the room the stack
// grows into, below where it started and no further down than the guard beneath the lower of
// the stack pointer and the stack's limit. The bytes of a frame too large for the stack lie
// between the stack pointer and the stack's start, however large it is, and a call or push that
// finds no room lies just below the stack pointer.
bool stack_ran_out(std::uintptr_t address, std::uintptr_t stack_pointer) {
  std::uintptr_t lowest = stack_pointer;
  rlimit limit{};
  // getrlimit is a plain system call, safe here.
  if (::getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur < stack_start) {
    lowest = std::min<std::uintptr_t>(lowest, stack_start - limit.rlim_cur);
  }
  lowest = lowest > stack_guard ? lowest - stack_guard : 0;
  return address >= lowest && address < stack_start;
}

failure_kind kind_of_fault(int signal, const siginfo_t* info, const void* context) {
  if (signal == SIGFPE) {
    return failure_kind::constraint_error;
  }
  if (signal == SIGSEGV) {
    const auto* machine = static_cast<const ucontext_t*>(context);
    const auto stack_pointer = static_cast<std::uintptr_t>(machine->uc_mcontext.gregs[REG_RSP]);
    // The faulting address is only compared with the stack's extent, as a number.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if (stack_ran_out(address, stack_pointer)) {
      return failure_kind::storage_error;
    }
  }
  return failure_kind::program_error;
}

// Whether the signal was sent (by kill, sigqueue, tgkill or raise) rather than raised by a fault:
// only a sent signal has a code of zero or less. Abort is the program's own way to end at a
// fault of its own, so an abort signal that the process sent itself counts as a fault.
bool sent_not_faulted(int signal, const siginfo_t* info) {
  return info->si_code <= 0 && !(signal == SIGABRT && info->si_pid == ::getpid());
}

// Ends the process by `signal` with the system's default action, as though no handler had been
// installed, so that the parent sees the signal it sent.
void end_by_default(int signal) {
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  sigset_t unblocked{};
  sigemptyset(&unblocked);
  sigaddset(&unblocked, signal);
  ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
  static_cast<void>(::raise(signal));
}

void fault_handler(int signal, siginfo_t* info, void* context) {
  if (sent_not_faulted(signal, info)) {
    end_by_default(signal);
    return;
  }
  failure_kind kind = failure_kind::program_error;
  if (handling_fault == 0) {
    handling_fault = 1;
    kind = kind_of_fault(signal, info, context);
  }
  // Keeps the first failure's report when this fault came while that failure was being reported.
  report_unhandled(kind);
  ::_exit(1);
}

// A C++ exception that leaves the main procedure or a noexcept function ends here instead of in
// the standard library's message: a request for memory that cannot be met is the storage
// failure, anything else the program failure.
[[noreturn]] void terminate_handler() {
  failure_kind kind = failure_kind::program_error;
  if (const std::exception_ptr escaping = std::current_exception()) {
    try {
      std::rethrow_exception(escaping);
    } catch (const std::bad_alloc&) {
      kind = failure_kind::storage_error;
    } catch (...) {  // NOLINT(bugprone-empty-catch): every other exception keeps the default
    }
  }
  report_unhandled(kind);
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
  // Only its address is kept, as a number.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  stack_start = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  give_handler_a_stack();
  struct sigaction action {};
  action.sa_sigaction = fault_handler;
  // A fault inside the handler's own work enters it again rather than ending the process
  // unreported, so the fault signals stay open while it runs; every other signal waits.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigfillset(&action.sa_mask);
  for (const int signal : fault_signals) {
    sigdelset(&action.sa_mask, signal);
  }
  for (const int signal : fault_signals) {
    ::sigaction(signal, &action, nullptr);
  }
  std::set_terminate(terminate_handler);
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
  // A write into a closed pipe, or past the file-size limit, then fails like any other write
  // and raises the device error, instead of ending the process by a signal.
  static_cast<void>(::signal(SIGPIPE, SIG_IGN));
  static_cast<void>(::signal(SIGXFSZ, SIG_IGN));
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
