#include "key_files.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>
#include <system_error>

#include "lab/errors.hpp"

namespace velk_lab {

namespace {

constexpr std::size_t count_bytes = 8;

[[noreturn]] void refuse(const std::string& path, std::string_view why) {
  throw bad_input(fmt::format("--keys: file '{}' {}", path, why));
}

std::uint64_t fnv1a(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325;
  for (const char c : bytes) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
  }
  return hash;
}

std::string whole_file(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    refuse(path, fmt::format("cannot be read: {}", std::strerror(EISDIR)));
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    refuse(path, fmt::format("cannot be read: {}", std::strerror(errno)));
  }
  std::string bytes;
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0) {
    refuse(path, "cannot be read: it is not a regular file");
  }
  in.seekg(0, std::ios::beg);
  bytes.resize(static_cast<std::size_t>(length));
  if (!in.read(bytes.data(), length)) {
    refuse(path, "cannot be read whole");
  }
  return bytes;
}

// A little-endian unsigned number of `size` bytes at `at`.
std::uint64_t little_endian(std::string_view bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = size; i-- > 0;) {
    value = (value << 8U) | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

// Whether the bytes read as text: printable ASCII, tabs and line breaks only. A binary file's
// count has a zero byte unless it is 2^56 or more, so no binary file of a believable length
// passes; a text file with a line that is no key passes, so that the line can be named.
bool looks_like_text(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) {
    return (c >= ' ' && c <= '~') || c == '\n' || c == '\r' || c == '\t';
  });
}

// A line as an error message quotes it: whole when short, else its start.
std::string quoted_line(std::string_view line) {
  constexpr std::size_t most = 40;
  return line.size() <= most
             ? fmt::format("'{}'", line)
             : fmt::format("'{}...' ({} characters)", line.substr(0, most), line.size());
}

bool ends_with(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

template <class Key>
void check_ascending(const std::string& path, std::span<const Key> keys) {
  const auto out_of_order = std::is_sorted_until(keys.begin(), keys.end());
  if (out_of_order != keys.end()) {
    const auto position = out_of_order - keys.begin() + 1;
    refuse(path, fmt::format("is not in ascending order: the key at position {} ({}) is smaller "
                             "than the one before it ({})",
                             position, *out_of_order, *(out_of_order - 1)));
  }
}

template <class Key>
std::vector<Key> binary_keys(const std::string& path, std::string_view bytes, std::uint64_t count) {
  std::vector<Key> keys(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    keys[i] = static_cast<Key>(little_endian(bytes, count_bytes + i * sizeof(Key), sizeof(Key)));
  }
  check_ascending<Key>(path, keys);
  return keys;
}

template <class Key>
std::vector<Key> text_keys(const std::string& path, std::string_view bytes) {
  std::vector<Key> keys;
  std::size_t line_number = 0;
  while (!bytes.empty()) {
    ++line_number;
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      line.remove_prefix(1);
    }
    if (line.empty() && bytes.empty()) {
      break;  // the line feed that ends the last line
    }
    Key key = 0;
    const auto [stop, error] = std::from_chars(line.data(), line.data() + line.size(), key);
    if (line.empty() || error != std::errc() || stop != line.data() + line.size()) {
      refuse(path, fmt::format("line {} is not a {}-bit key: {}", line_number, 8 * sizeof(Key),
                               quoted_line(line)));
    }
    keys.push_back(key);
  }
  if (keys.empty()) {
    refuse(path, "holds no keys");
  }
  check_ascending<Key>(path, keys);
  return keys;
}

}  // namespace

std::shared_ptr<const key_file> read_key_file(const std::string& path, int text_bits) {
  auto file = std::make_shared<key_file>();
  file->path = path;
  const std::size_t slash = path.rfind('/');
  file->name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string bytes = whole_file(path);
  if (bytes.empty()) {
    refuse(path, "is empty");
  }
  file->checksum = fnv1a(bytes);
  const bool named_32 = ends_with(file->name, "_uint32");
  const bool named_64 = ends_with(file->name, "_uint64");
  if (!named_32 && !named_64 && looks_like_text(bytes)) {
    file->text = true;
    file->bits = text_bits;
    if (text_bits == 32) {
      file->keys32 = text_keys<std::uint32_t>(path, bytes);
    } else {
      file->keys64 = text_keys<std::uint64_t>(path, bytes);
    }
    return file;
  }
  if (bytes.size() < count_bytes) {
    refuse(path,
           fmt::format("is {} bytes long, too short for the count of its keys", bytes.size()));
  }
  const std::uint64_t count = little_endian(bytes, 0, count_bytes);
  const std::uint64_t payload = bytes.size() - count_bytes;
  const auto holds = [&](std::uint64_t width) {
    return count <= payload / width && count * width == payload;
  };
  if (named_32 || named_64) {
    file->bits = named_32 ? 32 : 64;
  } else {
    file->bits = holds(4) ? 32 : 64;
  }
  if (!holds(static_cast<std::uint64_t>(file->bits / 8))) {
    refuse(path, fmt::format("is {} bytes long, which disagrees with its count of {} keys "
                             "(8 + {} times the count)",
                             bytes.size(), count,
                             named_32 || named_64 ? fmt::format("{}", file->bits / 8)
                                                  : std::string("4 or 8")));
  }
  if (count == 0) {
    refuse(path, "holds no keys");
  }
  if (file->bits == 32) {
    file->keys32 = binary_keys<std::uint32_t>(path, bytes, count);
  } else {
    file->keys64 = binary_keys<std::uint64_t>(path, bytes, count);
  }
  return file;
}

template <class Key>
std::string key_file_bytes(std::span<const Key> keys) {
  std::string bytes(count_bytes + keys.size() * sizeof(Key), '\0');
  const auto put = [&](std::size_t at, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xffU);
    }
  };
  put(0, keys.size(), count_bytes);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    put(count_bytes + i * sizeof(Key), keys[i], sizeof(Key));
  }
  return bytes;
}

template std::string key_file_bytes(std::span<const std::uint32_t>);
template std::string key_file_bytes(std::span<const std::uint64_t>);

}  // namespace velk_lab
