// The two ways a run of the lab fails, told apart by their exit status.
#pragma once

#include <stdexcept>

namespace velk_lab {

// Input the lab refuses: an unknown option, or a value an option cannot take. The message names
// the option and the value. Exit status 2, and nothing is measured or written.
class bad_input : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure while running: memory that cannot be had, a search that gives a wrong result, output
// that cannot be written. Exit status 1, and no partial output is left.
class run_failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velk_lab
