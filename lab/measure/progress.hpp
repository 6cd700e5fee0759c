// The progress line: one line on standard error, rewritten in place while the lab runs, shown
// only when standard error is a terminal.
#pragma once

#include <chrono>
#include <string_view>

namespace velk_lab {

class progress {
 public:
  // Shown or not; `on_standard_error` decides from the terminal.
  explicit progress(bool shown) : shown_(shown) {}
  static progress on_standard_error();

  progress(const progress&) = delete;
  progress& operator=(const progress&) = delete;
  progress(progress&&) = delete;
  progress& operator=(progress&&) = delete;
  // Clears the line, so that whatever follows on standard error starts on a clean line.
  ~progress();

  // Whether a new line would be shown now: the line is shown and the last one is a tenth of a
  // second old. Cheap enough to ask before every search of an untimed pass.
  bool due();

  // Replaces the line with `line`, cut to the terminal's width. Nothing when not shown.
  void show(std::string_view line);

  // Removes the line.
  void clear();

 private:
  bool shown_;
  bool visible_ = false;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace velk_lab
