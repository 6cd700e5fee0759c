#include "key_options.hpp"

#include <fmt/core.h>
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "lab/cli/values.hpp"
#include "lab/errors.hpp"
#include "lab/measure/plan.hpp"

namespace velk_lab {

namespace {

constexpr std::string_view file_prefix = "file:";

std::string kind_names() {
  std::vector<std::string_view> names;
  for (const key_kind& kind : key_kinds()) {
    names.push_back(kind.name);
  }
  return fmt::format("{}", fmt::join(names, ", "));
}

key_set file_set(std::string_view path, std::optional<int> bits) {
  if (path.empty()) {
    refuse("--keys", file_prefix, "names no file (file:PATH)");
  }
  key_set set;
  set.file = read_key_file(std::string(path), bits.value_or(32));
  set.name = set.file->name;
  set.bits = set.file->bits;
  if (bits.has_value() && *bits != set.bits) {
    refuse("--key-bits", std::to_string(*bits),
           fmt::format("disagrees with file '{}', whose keys are {}-bit", path, set.bits));
  }
  return set;
}

void give_sizes(key_set& set, const std::optional<std::vector<std::int32_t>>& sizes,
                const std::vector<std::int32_t>& default_sizes) {
  if (set.file == nullptr) {
    set.sizes = sizes.value_or(default_sizes);
    return;
  }
  const std::int64_t held = set.file->count();
  if (!sizes.has_value()) {
    if (held > largest_size) {
      refuse("--keys", set.file->path,
             fmt::format("holds {} keys, more than the largest size of {}: give --sizes", held,
                         largest_size));
    }
    set.sizes = {static_cast<std::int32_t>(held)};
    return;
  }
  for (const std::int32_t n : *sizes) {
    if (n > held) {
      refuse("--sizes", std::to_string(n),
             fmt::format("is larger than the {} keys of file '{}'", held, set.file->path));
    }
  }
  set.sizes = *sizes;
}

}  // namespace

std::vector<key_set> key_sets_of(std::string_view list, std::optional<int> bits,
                                 const std::optional<std::vector<std::int32_t>>& sizes,
                                 const std::vector<std::int32_t>& default_sizes) {
  std::vector<key_set> sets;
  for (const std::string_view item : items_of(list)) {
    key_set set;
    if (item.substr(0, file_prefix.size()) == file_prefix) {
      set = file_set(item.substr(file_prefix.size()), bits);
    } else {
      const std::span<const key_kind> kinds = key_kinds();
      const auto kind = std::find_if(kinds.begin(), kinds.end(),
                                     [&](const key_kind& k) { return k.name == item; });
      if (kind == kinds.end()) {
        refuse("--keys", item,
               fmt::format("is not a key set (choose from {}, or file:PATH)", kind_names()));
      }
      set.kind = &*kind;
      set.name = std::string(kind->name);
      set.bits = bits.value_or(32);
    }
    if (std::any_of(sets.begin(), sets.end(),
                    [&](const key_set& other) { return other.name == set.name; })) {
      refuse("--keys", item, "is given twice");
    }
    give_sizes(set, sizes, default_sizes);
    sets.push_back(std::move(set));
  }
  return sets;
}

int key_bits_of(std::string_view text) {
  if (text != "32" && text != "64") {
    refuse("--key-bits", text, "is not a key width (32 or 64)");
  }
  return text == "32" ? 32 : 64;
}

double skew_of(std::string_view text) {
  double skew = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), skew);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(skew) || skew <= 0.0) {
    refuse("--skew", text, "is not a positive number (the exponent of a Zipf distribution)");
  }
  return skew;
}

std::string key_kinds_help() {
  std::string help = "comma-separated:";
  for (const key_kind& kind : key_kinds()) {
    help += fmt::format(" {} ({});", kind.name, kind.summary);
  }
  return help +
         " file:PATH (the keys of a file: the binary format of a 64-bit count and then the "
         "keys, 4 or 8 bytes each, little-endian, ascending, or one decimal key per line)";
}

}  // namespace velk_lab
