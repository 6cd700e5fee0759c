// Runs a program as a child process and gives back what it wrote and how it ended, so that tests
// can check standard output, standard error and the exit status byte for byte.
#pragma once

#include <string>
#include <vector>

namespace velk_test {

// Where the child's standard output goes.
enum class stdout_to {
  pipe,         // captured
  dev_full,     // every write fails with "no space left"
  closed,       // descriptor 1 not open at all
  broken_pipe,  // a pipe whose reader has gone before the child starts
};

struct outcome {
  std::string out;  // standard output, when captured
  std::string err;  // standard error, always captured
  int exit_status;  // the exit status, or -1 when the child ended by a signal
  int signal;       // the signal that ended the child, or 0
};

outcome run_process(const std::vector<std::string>& argv, stdout_to where = stdout_to::pipe);

// The report that every failure writes to standard error.
inline std::string failure_report(const std::string& kind) { return "\nraised " + kind + "\n"; }

}  // namespace velk_test
