// A short text built in place, in a buffer of fixed capacity: images and report lines are
// assembled in these, so that nothing is allocated on the heap.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "checks.hpp"

namespace frame {

template <std::size_t capacity>
class fixed_text {
 public:
  constexpr fixed_text() = default;
  constexpr explicit fixed_text(std::string_view text) { append(text); }

  // Appends `text`; more than the capacity holds is a constraint failure, never an overrun.
  constexpr fixed_text& append(std::string_view text) {
    check(text.size() <= capacity - length_);
    for (const char c : text) {
      chars_[length_++] = c;
    }
    return *this;
  }
  constexpr fixed_text& append(char c) { return append(std::string_view(&c, 1)); }

  [[nodiscard]] constexpr std::string_view view() const { return {chars_.data(), length_}; }
  // NOLINTNEXTLINE(google-explicit-constructor,hicpp-explicit-conversions)
  constexpr operator std::string_view() const { return view(); }
  [[nodiscard]] constexpr std::size_t size() const { return length_; }

 private:
  std::array<char, capacity> chars_{};
  std::size_t length_ = 0;
};

// Joins texts into one fixed_text of the given capacity.
template <std::size_t capacity, class... texts>
constexpr fixed_text<capacity> join(const texts&... parts) {
  fixed_text<capacity> joined;
  // String literals among the parts become views of their characters.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-bounds-array-to-pointer-decay)
  (joined.append(static_cast<std::string_view>(parts)), ...);
  return joined;
}

}  // namespace frame
