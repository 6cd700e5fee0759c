// Delivering a report whole: to standard output, or to a file that appears complete or not at
// all.
#pragma once

#include <string>
#include <string_view>

namespace velk_lab {

// Checks, before anything is measured, that a report could be written to `path`: its folder
// takes a new file, and `path` is not a folder. Leaves nothing behind. Throws run_failure.
void check_output_file(const std::string& path);

// Writes `text` into a new file beside `path`, then renames it into place, so that `path`
// holds either its old content or the whole of `text`. The new file gets the permissions a
// newly created file would (0666 less the umask). Throws run_failure, having removed the new
// file.
void write_output_file(const std::string& path, std::string_view text);

// Writes all of `text` to standard output. Throws run_failure when a write fails.
void write_standard_output(std::string_view text);

}  // namespace velk_lab
