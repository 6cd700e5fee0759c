#include "output.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/core.h>
#include <array>
#include <cerrno>
#include <csignal>
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

// The signals that interrupt a run, and whose handler removes the new files first.
constexpr std::array interrupts{SIGINT, SIGTERM, SIGHUP};

sigset_t interrupt_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : interrupts) {
    sigaddset(&set, signal);
  }
  return set;
}

// Holds the interrupts back while it lives: one that arrives meanwhile is handled when it goes.
class interrupts_held {
 public:
  interrupts_held() {
    const sigset_t set = interrupt_set();
    ::pthread_sigmask(SIG_BLOCK, &set, &before_);
  }
  interrupts_held(const interrupts_held&) = delete;
  interrupts_held& operator=(const interrupts_held&) = delete;
  interrupts_held(interrupts_held&&) = delete;
  interrupts_held& operator=(interrupts_held&&) = delete;
  ~interrupts_held() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

 private:
  sigset_t before_{};
};

// A new file not yet in place, in the list that the interrupt handler removes. The list only
// changes while the interrupts are held back, so the handler never finds it half changed; its
// head is a plain pointer that nothing destroys, so that it stays readable until the end.
struct new_file_entry {
  const char* name = nullptr;
  new_file_entry* next = nullptr;
};

new_file_entry* new_files = nullptr;

void list_new_file(new_file_entry& entry) {
  entry.next = new_files;
  new_files = &entry;
}

void unlist_new_file(const new_file_entry& entry) {
  for (new_file_entry** at = &new_files; *at != nullptr; at = &(*at)->next) {
    if (*at == &entry) {
      *at = entry.next;
      return;
    }
  }
}

// Only async-signal-safe calls: the new files go, and the signal is raised again with its
// default action, which ends the process as the signal would have.
extern "C" void remove_new_files_and_end(int signal) {
  for (const new_file_entry* entry = new_files; entry != nullptr; entry = entry->next) {
    ::unlink(entry->name);
  }
  struct sigaction by_default {};
  by_default.sa_handler = SIG_DFL;
  ::sigaction(signal, &by_default, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  static_cast<void>(::raise(signal));
}

// Where a report for `path` goes.
struct destination {
  std::string file;  // `path`, or the file a symbolic link at `path` leads to when replaced
  bool replaced;     // a regular file, or none yet: written beside and renamed into place
  std::optional<struct stat> status;  // of what is there, after links
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

// What is at `path` is asked of the system, which follows every kind of link (/dev/stdout leads
// to a pipe by a link that no path spells); only a file to be replaced needs the chain walked,
// to find the folder its new file goes in.
destination destination_of(const std::string& path) {
  destination to{path, true, std::nullopt};
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    to.status = status;
    to.replaced = S_ISREG(status.st_mode);
  }
  if (to.replaced) {
    to.file = end_of_links(path);
  }
  return to;
}

bool is_folder(const destination& to) {
  return to.status.has_value() && S_ISDIR(to.status->st_mode);
}

// Whether `status` is the file open on `descriptor`.
bool open_on(const struct stat& status, int descriptor) {
  struct stat open {};
  return ::fstat(descriptor, &open) == 0 && open.st_dev == status.st_dev &&
         open.st_ino == status.st_ino;
}

// Whether the user may write `path`, as the process's effective user; errno says why not.
bool writable(const std::string& path, int how) {
  return ::faccessat(AT_FDCWD, path.c_str(), how, AT_EACCESS) == 0;
}

std::string folder_of(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : file.substr(0, slash);
}

// Gives the new file on `fd` the permissions of `target`, which it replaces, and its owner and
// group where the process may give them (set-user and set-group bits only with them); or, when
// there is none, those of a file newly created.
void take_permissions(int fd, const std::string& target, const std::string& shown) {
  struct stat old {};
  mode_t mode = 0;
  if (::stat(target.c_str(), &old) == 0) {
    mode = old.st_mode & 07777U;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      if (errno != EPERM) {
        cannot_write(in_quotes(shown), errno);
      }
      mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    }
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    constexpr mode_t created = 0666;
    mode = created & ~mask;
  }
  if (::fchmod(fd, mode) != 0) {
    cannot_write(in_quotes(shown), errno);
  }
}

// The name of a new file beside `file`, named after it and hidden, for mkostemp: ended by a null
// byte, with the six characters that it replaces.
std::vector<char> name_beside(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
  const std::string pattern = folder + "." + base + ".velk-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  return name;
}

// Creates the file that `name` asks for, open for writing, and lists it for the interrupt
// handler in one step that no interrupt can split.
int create_listed(std::vector<char>& name, new_file_entry& entry, const std::string& shown) {
  const interrupts_held held;
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    cannot_write(in_quotes(shown), errno);
  }
  entry.name = name.data();
  list_new_file(entry);
  return fd;
}

// A new file beside `file`, open for writing; removed again when this goes out of scope, or when
// the process is interrupted, unless it has been renamed into place. Failures name `shown`, the
// path as the user gave it.
class temporary_file {
 public:
  temporary_file(const std::string& file, std::string shown)
      : target_(file),
        shown_(std::move(shown)),
        name_(name_beside(file)),
        fd_(create_listed(name_, entry_, shown_)) {}
  temporary_file(const temporary_file&) = delete;
  temporary_file& operator=(const temporary_file&) = delete;
  temporary_file(temporary_file&&) = delete;
  temporary_file& operator=(temporary_file&&) = delete;
  ~temporary_file() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (entry_.name != nullptr) {
      const interrupts_held held;
      ::unlink(entry_.name);
      unlist_new_file(entry_);
    }
  }

  // Gives the file its permissions, writes `text` and makes it durable.
  void write(std::string_view text) {
    take_permissions(fd_, target_, shown_);
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
    const interrupts_held held;
    if (::rename(entry_.name, target_.c_str()) != 0) {
      cannot_write(in_quotes(shown_), errno);
    }
    unlist_new_file(entry_);
    entry_.name = nullptr;
  }

 private:
  std::string target_;
  std::string shown_;
  std::vector<char> name_;  // the name, ended by a null byte, that entry_ points into
  new_file_entry entry_;
  int fd_ = -1;
};

// A device or a pipe, written where it is: through standard output or standard error when it is
// theirs (a socket cannot be opened again by its name), otherwise opened by its name.
void write_where_it_is(const destination& to, const std::string& path, std::string_view text) {
  for (const int standard : {STDOUT_FILENO, STDERR_FILENO}) {
    if (to.status.has_value() && open_on(*to.status, standard)) {
      if (!frame::write_all(standard, text)) {
        cannot_write(in_quotes(path), errno);
      }
      return;
    }
  }
  // open takes a mode only when it creates a file, which it does not here.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
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

void remove_new_files_on_interrupt() {
  struct sigaction handled {};
  handled.sa_handler = remove_new_files_and_end;
  handled.sa_mask = interrupt_set();
  for (const int signal : interrupts) {
    struct sigaction before {};
    if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
      ::sigaction(signal, &handled, nullptr);
    }
  }
}

void check_output_file(std::string_view option, const std::string& path,
                       bool report_on_standard_output) {
  const auto refuse = [&](std::string_view why) {
    throw bad_input(fmt::format("{}: '{}' {}", option, path, why));
  };
  const auto cannot = [&](int error) {
    refuse(fmt::format("cannot be written: {}", std::strerror(error)));
  };
  const destination to = destination_of(path);
  if (is_folder(to)) {
    cannot(EISDIR);
  }
  if (!to.replaced) {
    if (!writable(path, W_OK)) {
      cannot(errno);
    }
    return;
  }
  if (to.status.has_value()) {
    if (open_on(*to.status, STDERR_FILENO)) {
      refuse(
          "is the file that standard error goes to; replacing it would lose what is written there");
    }
    if (report_on_standard_output && open_on(*to.status, STDOUT_FILENO)) {
      refuse("is the file that standard output goes to; replacing it would lose the report");
    }
    if (!writable(to.file, W_OK)) {
      cannot(errno);
    }
  }
  if (!writable(folder_of(to.file), W_OK | X_OK)) {
    cannot(errno);
  }
}

bool same_file(const std::string& a, const std::string& b) {
  const destination first = destination_of(a);
  const destination second = destination_of(b);
  if (first.status.has_value() && second.status.has_value()) {
    return first.replaced && first.status->st_dev == second.status->st_dev &&
           first.status->st_ino == second.status->st_ino;
  }
  if (first.status.has_value() || second.status.has_value()) {
    return false;
  }
  // Neither is there yet: the same name, once both are made absolute and plain, is one file.
  const auto resolved = [](const std::string& file) {
    std::error_code error;
    std::filesystem::path whole = std::filesystem::absolute(file, error);
    if (!error) {
      whole = std::filesystem::weakly_canonical(whole, error);
    }
    return error ? std::filesystem::path(file) : whole.lexically_normal();
  };
  return resolved(first.file) == resolved(second.file);
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
  if (is_folder(next->to)) {
    cannot_write(in_quotes(path), EISDIR);
  }
  if (next->to.replaced) {
    next->file.emplace(next->to.file, path);
    next->file->write(text);
  } else {
    next->text = text;
  }
  files_.push_back(std::move(next));
}

void output_files::write_in_place() {
  for (const std::unique_ptr<staged>& f : files_) {
    if (!f->to.replaced) {
      write_where_it_is(f->to, f->path, f->text);
    }
  }
}

void output_files::replace() {
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
