// Delivering a report whole: to standard output, or to a file that holds either its old content
// or the whole report, never a part of it.
#pragma once

#include <string>
#include <string_view>

namespace velk_lab {

// Writes all of `text` to the open file `fd`, going on after interruptions and partial writes.
// Gives 0, or the error number of the write that failed.
int write_all(int fd, std::string_view text);

// Checks, before anything is measured, that a report could be written to `path`: its folder
// takes a new file, and `path` is not a folder. Leaves nothing behind. Throws run_failure.
void check_output_file(const std::string& path);

// Writes `text` into a new file beside `path`, then renames it into place, so that `path`
// holds either its old content or the whole of `text`; the new file gets the permissions a
// newly created file would (0666 less the umask). A symbolic link stays a link: the file it
// leads to is the one replaced. A device or a pipe (/dev/null, a named pipe) cannot be
// replaced and is written in place. Throws run_failure, having removed the new file.
void write_output_file(const std::string& path, std::string_view text);

// Writes all of `text` to standard output. Throws run_failure when a write fails.
void write_standard_output(std::string_view text);

}  // namespace velk_lab
