#include "text_output.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "failure.hpp"

namespace frame {

namespace {

// Whether the current line of standard output has text in it. Only ever a plain flag, so that
// the failure path may read it from a signal handler.
volatile bool partial_line = false;

}  // namespace

bool write_all(int descriptor, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(descriptor, text.data(), text.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void put(std::string_view text) {
  if (text.empty()) {
    return;
  }
  // Counted as written before the write: if only part of it reaches the device, shutdown still
  // ends that line.
  partial_line = true;
  if (!write_all(STDOUT_FILENO, text)) {
    raise_failure(failure_kind::device_error);
  }
}

void put_line(std::string_view text) {
  put(text);
  if (!write_all(STDOUT_FILENO, "\n")) {
    raise_failure(failure_kind::device_error);
  }
  partial_line = false;
}

bool line_partly_written() { return partial_line; }

void complete_partial_line() {
  if (partial_line) {
    partial_line = false;
    static_cast<void>(write_all(STDOUT_FILENO, "\n"));
  }
}

void unbuffer_standard_streams() {
  // Unbuffered streams only lose speed, so a refusal here changes nothing that matters.
  static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
  static_cast<void>(std::setvbuf(stderr, nullptr, _IONBF, 0));
}

}  // namespace frame
