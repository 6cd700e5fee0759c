#include "text_output.hpp"

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "failure.hpp"

namespace frame {

namespace {

// Whether the last byte that reached standard output left a line open. Only ever a plain flag,
// so that the failure path may read it from a signal handler.
volatile std::sig_atomic_t partial_line = 0;

// Waits until `descriptor` takes bytes again, after a write that would have blocked; false when
// it cannot be waited on.
bool wait_until_writable(int descriptor) {
  pollfd watched{descriptor, POLLOUT, 0};
  while (::poll(&watched, 1, -1) < 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

// The bytes still to write: up to two runs, the first with bytes left at `first`.
struct pending_runs {
  std::array<iovec, 2> runs{};
  std::size_t first = 0;

  [[nodiscard]] bool done() const { return first == runs.size(); }

  void skip_empty() {
    while (first < runs.size() && runs[first].iov_len == 0) {
      ++first;
    }
  }

  // Drops the `written` bytes that a write took; gives back the last of them.
  char drop(std::size_t written) {
    char last = '\n';
    while (written > 0) {
      iovec& run = runs[first];
      const std::size_t taken = written < run.iov_len ? written : run.iov_len;
      auto* const bytes = static_cast<char*>(run.iov_base);
      last = bytes[taken - 1];
      run.iov_base = bytes + taken;
      run.iov_len -= taken;
      written -= taken;
      skip_empty();
    }
    return last;
  }
};

// Writes `text` and then `ending` with one write when the device takes them whole, going on
// after a write that was interrupted, took only part of them, or would have blocked on a
// non-blocking descriptor. On standard output each write that takes bytes records whether its
// last byte left a line open. False when the device refuses a write.
bool write_joined(int descriptor, std::string_view text, std::string_view ending) {
  // writev only reads the runs; its structure has no const form.
  pending_runs pending{{
      iovec{const_cast<char*>(text.data()), text.size()},      // NOLINT(*-const-cast)
      iovec{const_cast<char*>(ending.data()), ending.size()},  // NOLINT(*-const-cast)
  }};
  pending.skip_empty();
  while (!pending.done()) {
    const ssize_t written = ::writev(descriptor, &pending.runs[pending.first],
                                     static_cast<int>(pending.runs.size() - pending.first));
    if (written > 0) {
      const char last = pending.drop(static_cast<std::size_t>(written));
      if (descriptor == STDOUT_FILENO) {
        partial_line = last != '\n' ? 1 : 0;
      }
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_until_writable(descriptor)) {
        return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

bool write_all(int descriptor, std::string_view text) { return write_joined(descriptor, text, {}); }

void put(std::string_view text) {
  if (!write_joined(STDOUT_FILENO, text, {})) {
    raise_failure(failure_kind::device_error);
  }
}

void put_line(std::string_view text) {
  if (!write_joined(STDOUT_FILENO, text, "\n")) {
    raise_failure(failure_kind::device_error);
  }
}

bool line_partly_written() { return partial_line != 0; }

void complete_partial_line() {
  if (partial_line != 0) {
    static_cast<void>(write_joined(STDOUT_FILENO, "\n", {}));
  }
}

void unbuffer_standard_streams() {
  // Unbuffered streams only lose speed, so a refusal here changes nothing that matters.
  static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
  static_cast<void>(std::setvbuf(stderr, nullptr, _IONBF, 0));
}

}  // namespace frame
