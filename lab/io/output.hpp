// Delivering a report whole: to standard output, or to a file that holds either its old content
// or the whole report, never a part of it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velk_lab {

// Makes SIGINT, SIGTERM and SIGHUP remove the new files that are not yet in place before the
// process ends by that signal, as it would have without this; a file being replaced keeps its
// old content. A signal that was ignored when the process started stays ignored.
void remove_new_files_on_interrupt();

// Checks, before anything is measured, that a report could be written to `path`, given as
// `option`: not a folder; a device or a pipe that can be opened for writing; or a file the user
// may write (or none yet) in a folder that takes a new file. Refuses a file that standard error
// goes to, and the one standard output goes to when `report_on_standard_output`: replacing it
// would lose what is written there. Throws bad_input naming the option and the path.
void check_output_file(std::string_view option, const std::string& path,
                       bool report_on_standard_output);

// Whether `a` and `b` lead to the same file, after symbolic links, that a report replaces: a
// regular file or one not there yet, where one report would take the other's place. A device
// or a pipe takes both reports in turn, so it is not.
bool same_file(const std::string& a, const std::string& b);

// Reports on their way to files, all or nothing as far as the system allows. Each regular file
// (or one not there yet) is written whole, and made durable, into a new file beside its place
// when it is added; `write_in_place` writes the devices and pipes (/dev/null, a named pipe,
// standard output through /dev/stdout: they cannot be replaced) and `replace` then renames each
// new file into place, so that a file holds either its old content or the whole of its report.
// A symbolic link stays a link: the file it leads to is the one replaced. A file replaced keeps
// its permissions, and its owner and group where the process may give them; a new file gets the
// permissions a newly created file would (0666 less the umask). What is not in place is removed
// when this goes out of scope, or when the process is interrupted (see
// remove_new_files_on_interrupt).
class output_files {
 public:
  output_files();
  output_files(const output_files&) = delete;
  output_files& operator=(const output_files&) = delete;
  output_files(output_files&&) = delete;
  output_files& operator=(output_files&&) = delete;
  ~output_files();

  // Throws run_failure naming `path`, having removed the new file.
  void add(const std::string& path, std::string_view text);
  // Throws run_failure naming the path that failed.
  void write_in_place();
  // Throws run_failure naming the path that failed.
  void replace();

 private:
  struct staged;
  std::vector<std::unique_ptr<staged>> files_;
};

// Writes all of `text` to standard output. Throws run_failure when a write fails.
void write_standard_output(std::string_view text);

}  // namespace velk_lab
