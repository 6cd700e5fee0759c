// Key files: the common binary format of sorted keys (a little-endian unsigned 64-bit count, then
// that many keys of 4 or 8 bytes, little-endian, ascending, duplicates allowed; the width named
// by a `_uint32` or `_uint64` suffix of the file's name, or else told by its length), and text
// files of one decimal key per line.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velk_lab {

struct key_file {
  std::string path;                   // as given
  std::string name;                   // the file's own name, without its folders
  int bits = 32;                      // the width of its keys
  bool text = false;                  // one decimal key per line, rather than the binary format
  std::uint64_t checksum = 0;         // FNV-1a, 64 bits, of the file's bytes
  std::vector<std::uint32_t> keys32;  // the keys, at 32 bits
  std::vector<std::uint64_t> keys64;  // or at 64

  [[nodiscard]] std::int64_t count() const {
    return static_cast<std::int64_t>(bits == 32 ? keys32.size() : keys64.size());
  }
};

// Reads and checks the file at `path`, whole. A text file's keys are of `text_bits` bits. Throws
// bad_input naming the file and what is wrong with it: it cannot be read, is empty, has a length
// that disagrees with its count, holds a line that is not a key of the width, or holds keys that
// are not ascending (naming the first position out of order).
std::shared_ptr<const key_file> read_key_file(const std::string& path, int text_bits);

// The bytes of `keys` in the binary format.
template <class Key>
std::string key_file_bytes(std::span<const Key> keys);

}  // namespace velk_lab
