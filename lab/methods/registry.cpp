#include "registry.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <utility>

#include "lab/errors.hpp"

namespace velk_lab {

namespace {

// velk's own methods come first, whenever the first record is added or read.
std::deque<method_record>& records() {
  static std::deque<method_record> table;
  static bool builtin_added = false;
  if (!builtin_added) {
    builtin_added = true;
    register_builtin_methods();
  }
  return table;
}

bool usable_name(std::string_view name) {
  return !name.empty() && name != "all" && std::none_of(name.begin(), name.end(), [](char c) {
    return c == ',' || c == ' ' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
}

}  // namespace

void register_method(method_record record) { records().push_back(std::move(record)); }

const std::deque<method_record>& all_methods() { return records(); }

const method_record* find_method(std::string_view name) {
  const std::deque<method_record>& table = records();
  const auto at = std::find_if(table.begin(), table.end(),
                               [name](const method_record& m) { return m.name == name; });
  return at == table.end() ? nullptr : &*at;
}

void check_method_names() {
  const std::deque<method_record>& table = records();
  for (auto m = table.begin(); m != table.end(); ++m) {
    if (!usable_name(m->name)) {
      throw run_failure(fmt::format(
          "a method cannot be named '{}' (a name is not empty, not 'all', and holds no comma, "
          "blank or control character)",
          m->name));
    }
    if (std::any_of(table.begin(), m,
                    [&](const method_record& earlier) { return earlier.name == m->name; })) {
      throw run_failure(
          fmt::format("two methods are named '{}': a method's name must be its own", m->name));
    }
  }
}

}  // namespace velk_lab
