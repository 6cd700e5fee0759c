// Every method the lab can measure: velk's own, then those a program added with add_method, in
// the order they were added. The options, the help, `all`, the runner and the tests all read
// this one table.
#pragma once

#include <deque>
#include <string_view>

#include "lab/method_record.hpp"

namespace velk_lab {

// Every method. The records stay where they are for the rest of the run.
const std::deque<method_record>& all_methods();

// The method of that name, or none.
const method_record* find_method(std::string_view name);

// Throws run_failure naming the first method whose name another method has taken, or that is not
// a name the command line can give (empty, "all", or holding a comma, a blank or a control
// character).
void check_method_names();

// Adds velk's own methods through register_method; the table calls it once, before any other.
void register_builtin_methods();

}  // namespace velk_lab
