// The arrays that search layouts live in: each starts on a 64-byte line, and one of 2 MiB or more
// starts on a 2 MiB boundary with the system asked to back it with transparent huge pages, so
// that a search through a large layout misses the address translation caches less often. Each
// frees itself. And whether the system gave huge pages to a range of memory, for a run's context.
#pragma once

#include <concepts>
#include <cstddef>
#include <span>
#include <type_traits>

namespace velk_sr::memory {

// The bytes of a cache line, and of a transparent huge page on x86-64.
inline constexpr std::size_t line_bytes = 64;
inline constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;

// A block of `bytes` bytes on a 64-byte line; from huge_page_bytes on, on a 2 MiB boundary, its
// length rounded up to whole huge pages and advised as a candidate for huge pages (where the
// system refuses the advice, the block is used with ordinary pages). Its contents are not
// cleared. Throws std::bad_alloc when there is no memory for it. Moves; never copies.
class aligned_block {
 public:
  aligned_block() = default;
  explicit aligned_block(std::size_t bytes);
  aligned_block(const aligned_block&) = delete;
  aligned_block& operator=(const aligned_block&) = delete;
  aligned_block(aligned_block&& other) noexcept;
  aligned_block& operator=(aligned_block&& other) noexcept;
  ~aligned_block();

  [[nodiscard]] void* data() const { return data_; }
  [[nodiscard]] std::size_t bytes() const { return bytes_; }
  // Whether the block was mapped on its own and advised as a candidate for huge pages.
  [[nodiscard]] bool asked_for_huge_pages() const { return mapped_ != 0; }

 private:
  void release() noexcept;

  void* data_ = nullptr;
  std::size_t bytes_ = 0;
  std::size_t mapped_ = 0;  // the length mapped for a large block; 0 for one from the heap
};

// `size` elements of a type that any bytes may hold (the keys), in an aligned_block.
template <class T>
requires std::is_trivially_copyable_v<T> && std::is_trivially_default_constructible_v<T>
class aligned_array {
 public:
  aligned_array() = default;
  explicit aligned_array(std::size_t size) : block_(size * sizeof(T)), size_(size) {}

  [[nodiscard]] T* data() { return static_cast<T*>(block_.data()); }
  [[nodiscard]] const T* data() const { return static_cast<const T*>(block_.data()); }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::span<T> elements() { return {data(), size_}; }
  [[nodiscard]] std::span<const T> elements() const { return {data(), size_}; }
  [[nodiscard]] const aligned_block& block() const { return block_; }

 private:
  aligned_block block_;
  std::size_t size_ = 0;
};

// Whether the system backs memory with huge pages.
enum class huge_pages {
  given,      // some of the range lies in huge pages
  not_given,  // none of it does, or the system gives none to anyone
  unknown,    // the system does not say
};

// Whether the `bytes` bytes from `start` lie, at least in part, in transparent huge pages: from
// the AnonHugePages of the mappings that hold them in /proc/self/smaps; where that cannot be
// read, from the system's setting (/sys/kernel/mm/transparent_hugepage/enabled), which can only
// say that none are given. Pages are given when first written: ask after the range is filled.
huge_pages huge_pages_of(const void* start, std::size_t bytes);

}  // namespace velk_sr::memory
