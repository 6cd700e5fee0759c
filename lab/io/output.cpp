#include "output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/core.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "frame/text_output.hpp"
#include "lab/errors.hpp"

namespace velk_lab {

namespace {

[[noreturn]] void cannot_write(std::string_view what, int error) {
  throw run_failure(fmt::format("cannot write {}: {}", what, std::strerror(error)));
}

std::string in_quotes(const std::string& path) { return "'" + path + "'"; }

// Where a report for `path` goes.
struct destination {
  std::string file;  // `path`, or the file a symbolic link at `path` leads to
  bool replaced;     // a regular file, or none yet: written beside and renamed into place
};

// The file a chain of symbolic links at `path` ends in, whether or not that file exists yet.
std::string end_of_links(const std::string& path) {
  constexpr int most_links = 40;  // as many as the system itself follows
  std::filesystem::path file = path;
  for (int links = 0; links < most_links; ++links) {
    std::error_code error;
    if (!std::filesystem::is_symlink(file, error)) {
      break;
    }
    const std::filesystem::path target = std::filesystem::read_symlink(file, error);
    if (error) {
      break;
    }
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  return file.string();
}

destination destination_of(const std::string& path) {
  destination to{end_of_links(path), true};
  struct stat status {};
  if (::stat(to.file.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) {
      cannot_write(in_quotes(path), EISDIR);
    }
    to.replaced = S_ISREG(status.st_mode);
  }
  return to;
}

// A new file beside `file`, named after it and hidden, open for writing; removed again when
// this goes out of scope unless it has been renamed into place. Failures name `shown`, the
// path as the user gave it.
class temporary_file {
 public:
  temporary_file(const std::string& file, std::string shown)
      : target_(file), shown_(std::move(shown)) {
    const std::size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::string pattern = folder + "." + base + ".velk-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
      cannot_write(in_quotes(shown_), errno);
    }
    name_.assign(name.data());
  }
  temporary_file(const temporary_file&) = delete;
  temporary_file& operator=(const temporary_file&) = delete;
  temporary_file(temporary_file&&) = delete;
  temporary_file& operator=(temporary_file&&) = delete;
  ~temporary_file() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!name_.empty()) {
      ::unlink(name_.c_str());
    }
  }

  // Gives the file the permissions of a file newly created, writes `text` and makes it durable.
  void write(std::string_view text) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    constexpr mode_t created = 0666;
    if (::fchmod(fd_, created & ~mask) != 0) {
      cannot_write(in_quotes(shown_), errno);
    }
    if (!frame::write_all(fd_, text)) {
      cannot_write(in_quotes(shown_), errno);
    }
    if (::fsync(fd_) != 0) {
      cannot_write(in_quotes(shown_), errno);
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
      cannot_write(in_quotes(shown_), errno);
    }
  }

  // Puts the written file in the place of the target.
  void rename_into_place() {
    if (::rename(name_.c_str(), target_.c_str()) != 0) {
      cannot_write(in_quotes(shown_), errno);
    }
    name_.clear();
  }

 private:
  std::string target_;
  std::string shown_;
  std::string name_;
  int fd_ = -1;
};

// A device or a pipe, written where it is.
void write_in_place(const destination& to, const std::string& path, std::string_view text) {
  // open takes a mode only when it creates a file, which it does not here.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
  const int fd = ::open(to.file.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    cannot_write(in_quotes(path), errno);
  }
  const int error = frame::write_all(fd, text) ? 0 : errno;
  const int closed = ::close(fd);
  if (error != 0 || closed != 0) {
    cannot_write(in_quotes(path), error != 0 ? error : errno);
  }
}

}  // namespace

void check_output_file(const std::string& path) {
  const destination to = destination_of(path);
  if (!to.replaced) {
    if (::access(to.file.c_str(), W_OK) != 0) {
      cannot_write(in_quotes(path), errno);
    }
    return;
  }
  const temporary_file probe(to.file, path);
}

bool same_file(const std::string& a, const std::string& b) {
  const auto resolved = [](const std::string& path) {
    std::error_code error;
    std::filesystem::path file = std::filesystem::absolute(end_of_links(path), error);
    if (!error) {
      file = std::filesystem::weakly_canonical(file, error);
    }
    return error ? std::filesystem::path(path) : file.lexically_normal();
  };
  const std::filesystem::path file = resolved(a);
  if (file != resolved(b)) {
    return false;
  }
  struct stat status {};
  return ::stat(file.c_str(), &status) != 0 || S_ISREG(status.st_mode);
}

// A report on its way: a new file written beside its place, or the text for a device.
struct output_files::staged {
  explicit staged(const std::string& shown) : path(shown), to(destination_of(shown)) {}
  std::string path;
  destination to;
  std::optional<temporary_file> file;  // when `to` is replaced
  std::string text;                    // when it is written in place
};

output_files::output_files() = default;
output_files::~output_files() = default;

void output_files::add(const std::string& path, std::string_view text) {
  auto next = std::make_unique<staged>(path);
  if (next->to.replaced) {
    next->file.emplace(next->to.file, path);
    next->file->write(text);
  } else {
    next->text = text;
  }
  files_.push_back(std::move(next));
}

void output_files::commit() {
  for (const std::unique_ptr<staged>& f : files_) {
    if (!f->to.replaced) {
      write_in_place(f->to, f->path, f->text);
    }
  }
  for (const std::unique_ptr<staged>& f : files_) {
    if (f->file.has_value()) {
      f->file->rename_into_place();
    }
  }
}

void write_standard_output(std::string_view text) {
  if (!frame::write_all(STDOUT_FILENO, text)) {
    cannot_write("to standard output", errno);
  }
}

}  // namespace velk_lab
