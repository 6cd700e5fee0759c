#include "progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstddef>
#include <string>

#include "frame/text_output.hpp"

namespace velk_lab {

namespace {

constexpr auto refresh = std::chrono::milliseconds(100);

// Progress is a courtesy: a write that fails is not worth ending a measurement for.
void write_error_text(std::string_view text) {
  static_cast<void>(frame::write_all(STDERR_FILENO, text));
}

// The columns a line may take without wrapping, which would defeat the carriage return.
std::size_t terminal_width() {
  winsize size{};
  constexpr std::size_t fallback = 80;
  // ioctl is the system's one way to ask a terminal its size.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
    return fallback;
  }
  return size.ws_col;
}

}  // namespace

progress progress::on_standard_error() { return progress(::isatty(STDERR_FILENO) == 1); }

progress::~progress() { clear(); }

bool progress::due() {
  return shown_ && (!visible_ || std::chrono::steady_clock::now() - last_ >= refresh);
}

void progress::show(std::string_view line) {
  if (!shown_) {
    return;
  }
  const std::size_t width = terminal_width() - 1;
  std::string text = "\r";
  text.append(line.substr(0, width));
  text.append("\x1b[K");
  write_error_text(text);
  visible_ = true;
  last_ = std::chrono::steady_clock::now();
}

void progress::clear() {
  if (visible_) {
    write_error_text("\r\x1b[K");
    visible_ = false;
  }
}

}  // namespace velk_lab
