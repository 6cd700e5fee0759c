#include "aligned_array.hpp"

#include <sys/mman.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace velk_sr::memory {

namespace {

constexpr std::size_t rounded_up(std::size_t bytes, std::size_t to) {
  return (bytes + to - 1) / to * to;
}

// A mapping of its own, so that it can start on a huge page's boundary and the advice covers it
// and nothing else: a huge page more than the block is mapped, and what lies outside the aligned
// block is given back.
void* mapped_on_huge_page(std::size_t length) {
  const std::size_t reserved = length + huge_page_bytes;
  void* const mapping =
      ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    throw std::bad_alloc();
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the address as a number
  const auto from = reinterpret_cast<std::uintptr_t>(mapping);
  const std::uintptr_t aligned = rounded_up(from, huge_page_bytes);
  const std::size_t head = aligned - from;
  const std::size_t tail = reserved - head - length;
  // NOLINTBEGIN(performance-no-int-to-ptr,cppcoreguidelines-pro-type-reinterpret-cast)
  if (head != 0) {
    ::munmap(mapping, head);
  }
  if (tail != 0) {
    ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  }
  void* const block = reinterpret_cast<void*>(aligned);
  // NOLINTEND(performance-no-int-to-ptr,cppcoreguidelines-pro-type-reinterpret-cast)
  // Refused where the system gives no huge pages: the block then has ordinary ones.
  static_cast<void>(::madvise(block, length, MADV_HUGEPAGE));
  return block;
}

// A number at the front of `text` in the given base; 0 when there is none.
std::uint64_t number_at(std::string_view text, int base) {
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value, base);
  return value;
}

// What the system's setting says of huge pages: none where it gives them to no one.
huge_pages by_setting() {
  std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string modes;
  if (!std::getline(setting, modes)) {
    return huge_pages::unknown;
  }
  return modes.find("[never]") != std::string::npos ? huge_pages::not_given : huge_pages::unknown;
}

}  // namespace

aligned_block::aligned_block(std::size_t bytes) : bytes_(bytes) {
  if (bytes >= huge_page_bytes) {
    mapped_ = rounded_up(bytes, huge_page_bytes);
    data_ = mapped_on_huge_page(mapped_);
  } else if (bytes != 0) {
    data_ = ::operator new (bytes, std::align_val_t{line_bytes});
  }
}

aligned_block::aligned_block(aligned_block&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

aligned_block& aligned_block::operator=(aligned_block&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

aligned_block::~aligned_block() { release(); }

void aligned_block::release() noexcept {
  if (mapped_ != 0) {
    ::munmap(data_, mapped_);
  } else if (data_ != nullptr) {
    ::operator delete (data_, std::align_val_t{line_bytes});
  }
  data_ = nullptr;
  bytes_ = 0;
  mapped_ = 0;
}

// Each mapping in smaps opens with a line "start-end perms offset device inode [path]" (the
// addresses in hexadecimal) and goes on with lines "Name:   value kB".
huge_pages huge_pages_of(const void* start, std::size_t bytes) {
  std::ifstream smaps("/proc/self/smaps");
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the address as a number
  const auto first = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t end = first + bytes;
  constexpr std::string_view counted = "AnonHugePages:";
  bool inside = false;
  bool seen = false;
  std::uint64_t huge_kilobytes = 0;
  for (std::string read; std::getline(smaps, read);) {
    const std::string_view line = read;
    const std::size_t dash = line.find('-');
    const std::size_t space = line.find(' ');
    if (dash != std::string_view::npos && dash < space) {
      const std::uint64_t from = number_at(line, 16);
      const std::uint64_t to = number_at(line.substr(dash + 1), 16);
      inside = from < end && first < to;
      seen = seen || inside;
    } else if (inside && line.starts_with(counted)) {
      const std::size_t digits = line.find_first_not_of(' ', counted.size());
      if (digits != std::string_view::npos) {
        huge_kilobytes += number_at(line.substr(digits), 10);
      }
    }
  }
  if (!seen) {
    return by_setting();
  }
  return huge_kilobytes != 0 ? huge_pages::given : huge_pages::not_given;
}

}  // namespace velk_sr::memory
