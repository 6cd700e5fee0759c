#include "output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/core.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include "lab/errors.hpp"

namespace velk_lab {

namespace {

[[noreturn]] void cannot_write(std::string_view what, int error) {
  throw run_failure(fmt::format("cannot write {}: {}", what, std::strerror(error)));
}

// Writes all of `text` to `fd`; gives the error number of a write that fails, or 0.
int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// A new file beside `path`, named after it and hidden, open for writing; removed again when
// this goes out of scope unless it has been renamed into place.
class temporary_file {
 public:
  explicit temporary_file(const std::string& path) : target_(path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "." + base + ".velk-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
      cannot_write(quoted(), errno);
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

  // Gives the file the permissions of a file newly created at `path`, writes `text`, makes it
  // durable and renames it into place.
  void keep_as_target(std::string_view text) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    constexpr mode_t created = 0666;
    if (::fchmod(fd_, created & ~mask) != 0) {
      cannot_write(quoted(), errno);
    }
    if (const int error = write_all(fd_, text); error != 0) {
      cannot_write(quoted(), error);
    }
    if (::fsync(fd_) != 0) {
      cannot_write(quoted(), errno);
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
      cannot_write(quoted(), errno);
    }
    if (::rename(name_.c_str(), target_.c_str()) != 0) {
      cannot_write(quoted(), errno);
    }
    name_.clear();
  }

 private:
  [[nodiscard]] std::string quoted() const { return "'" + target_ + "'"; }

  std::string target_;
  std::string name_;
  int fd_ = -1;
};

void refuse_folder(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    cannot_write("'" + path + "'", EISDIR);
  }
}

}  // namespace

void check_output_file(const std::string& path) {
  refuse_folder(path);
  const temporary_file probe(path);
}

void write_output_file(const std::string& path, std::string_view text) {
  refuse_folder(path);
  temporary_file file(path);
  file.keep_as_target(text);
}

void write_standard_output(std::string_view text) {
  if (const int error = write_all(STDOUT_FILENO, text); error != 0) {
    cannot_write("to standard output", error);
  }
}

}  // namespace velk_lab
