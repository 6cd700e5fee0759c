#include "registry.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <utility>

#include "lab/errors.hpp"

namespace velk_lab {

namespace {

// The table, and how many of its first records are velk's own.
struct table_of_methods {
  std::deque<method_record> records;
  std::size_t builtin = 0;
};

// velk's own methods come first, whenever the first record is added or read.
table_of_methods& table() {
  static table_of_methods methods;
  static bool builtin_added = false;
  if (!builtin_added) {
    builtin_added = true;
    register_builtin_methods();
    methods.builtin = methods.records.size();
  }
  return methods;
}

std::deque<method_record>& records() { return table().records; }

bool usable_name(std::string_view name) {
  return !name.empty() && name != "all" && std::none_of(name.begin(), name.end(), [](char c) {
    return c == ',' || c == ' ' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
}

}  // namespace

void register_method(method_record record) { records().push_back(std::move(record)); }

const std::deque<method_record>& all_methods() { return records(); }

bool builtin(const method_record& m) {
  const table_of_methods& methods = table();
  const auto at = std::find_if(methods.records.begin(), methods.records.end(),
                               [&](const method_record& r) { return &r == &m; });
  return static_cast<std::size_t>(at - methods.records.begin()) < methods.builtin;
}

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
