// Runs a program as a child process and gives back what it wrote and how it ended, so that tests
// can check standard output, standard error and the exit status byte for byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace velk_test {

// Where the child's standard output goes.
enum class stdout_to {
  pipe,         // captured
  dev_full,     // every write fails with "no space left"
  closed,       // descriptor 1 not open at all
  broken_pipe,  // a pipe whose reader has gone before the child starts
  file,         // appended to the file named in `run_options::file`
  // A non-blocking pipe, already full when the child starts, read a little at a time with pauses
  // in between: the child's writes keep finding it full. Captured, without what filled it.
  full_nonblocking_pipe,
};

// How a test signals the child: kill (code SI_USER), sigqueue (SI_QUEUE) or tgkill (SI_TKILL).
enum class sent_by { kill, sigqueue, tgkill };

struct run_options {
  stdout_to where = stdout_to::pipe;
  std::string file;                   // stdout_to::file: the file, created when missing
  std::int64_t file_size_limit = -1;  // the child's RLIMIT_FSIZE in bytes; -1 leaves it be
  int signal = 0;  // when not 0, sent to the child once a whole line of its output arrived
  sent_by how = sent_by::kill;
  // When not empty, `signal` is sent instead `signal_delay` after the first file is created in
  // this folder (watched from before the child starts).
  std::string signal_on_file_in;
  std::chrono::microseconds signal_delay{0};
  int cpu_seconds = 0;  // when not 0, the child's RLIMIT_CPU, so that a hang ends by SIGXCPU
};

struct outcome {
  std::string out;  // standard output, when captured
  std::string err;  // standard error, always captured
  int exit_status;  // the exit status, or -1 when the child ended by a signal
  int signal;       // the signal that ended the child, or 0
};

// Every child starts with the default action for SIGPIPE and SIGXFSZ, no core files, and a stack
// limit of 8 MiB (the usual default, as far as the hard limit allows), whatever the test runner
// has; each closes every descriptor but the standard three.
outcome run_process(const std::vector<std::string>& argv, const run_options& options);
outcome run_process(const std::vector<std::string>& argv, stdout_to where = stdout_to::pipe);

// Starts `copies` children with the same arguments at once, then waits for them all.
std::vector<outcome> run_together(const std::vector<std::string>& argv, int copies,
                                  const run_options& options);

// The report that every failure writes to standard error.
inline std::string failure_report(const std::string& kind) { return "\nraised " + kind + "\n"; }

// A file name of its own for this test in the test framework's scratch folder; the file is
// removed when the value goes.
class scratch_file {
 public:
  explicit scratch_file(const std::string& name);
  ~scratch_file();
  scratch_file(const scratch_file&) = delete;
  scratch_file& operator=(const scratch_file&) = delete;
  scratch_file(scratch_file&&) = delete;
  scratch_file& operator=(scratch_file&&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] std::string contents() const;

 private:
  std::string path_;
};

// The lines of `text`, without their line feeds.
std::vector<std::string> lines_of(const std::string& text);

// The whole content of the file at `path`, byte for byte; empty when it cannot be read.
std::string contents_of(const std::string& path);

}  // namespace velk_test
