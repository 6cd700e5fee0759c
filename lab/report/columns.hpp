// The column table: every column a report can show, each once, with its name for scripts, its
// heading for people, how its cells are written and which formats show it. The table, csv,
// markdown and json reports and the page all read it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "lab/measure/results.hpp"

namespace velk_lab {

// A cell as data: nothing (an empty csv field, no json field), text, a count or a measurement.
using cell_value = std::variant<std::monostate, std::string, std::int64_t, double>;

// Which reports show a column.
enum audience : unsigned {
  for_people = 1U,  // the table, markdown and the page, under its heading
  for_csv = 2U,     // csv, under its name
  for_json = 4U,    // a field of each json entry, under its name
};

struct column {
  std::string_view name;     // for scripts: csv's header, json's field
  std::string_view heading;  // for people, with its unit
  bool numeric;              // aligned on the right for people
  unsigned shown;            // audiences
  cell_value (*value)(const row& r);
  std::string (*text)(const row& r);  // the cell for people
};

std::span<const column> columns();

// Whether `c` is shown to `who`.
inline bool shows(const column& c, audience who) { return (c.shown & who) != 0; }

}  // namespace velk_lab
