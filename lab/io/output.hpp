// Delivering a report whole: to standard output, or to a file that holds either its old content
// or the whole report, never a part of it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velk_lab {

// Checks, before anything is measured, that a report could be written to `path`: its folder
// takes a new file, and `path` is not a folder. Leaves nothing behind. Throws run_failure.
void check_output_file(const std::string& path);

// Whether `a` and `b` lead to the same file, after symbolic links, that a report replaces: a
// regular file or one not there yet, where one report would take the other's place. A device
// or a pipe takes both reports in turn, so it is not.
bool same_file(const std::string& a, const std::string& b);

// Reports on their way to files, all or nothing as far as the system allows. Each regular file
// (or one not there yet) is written whole, and made durable, into a new file beside its place
// when it is added; `commit` then writes the devices and pipes in place (/dev/null, a named
// pipe: they cannot be replaced) and renames each new file into place, so that a file holds
// either its old content or the whole of its report. A symbolic link stays a link: the file it
// leads to is the one replaced. A new file gets the permissions a newly created file would
// (0666 less the umask). What is not committed is removed when this goes out of scope.
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
  void commit();

 private:
  struct staged;
  std::vector<std::unique_ptr<staged>> files_;
};

// Writes all of `text` to standard output. Throws run_failure when a write fails.
void write_standard_output(std::string_view text);

}  // namespace velk_lab
