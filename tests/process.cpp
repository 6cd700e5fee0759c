#include "process.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace velk_test {

namespace {

// The pipe that a full non-blocking pipe starts as: one page, the least a pipe can hold.
constexpr int small_pipe = 4096;
// How the slow reader reads: this many bytes, then a pause.
constexpr std::size_t slow_read_bytes = 512;
constexpr std::chrono::milliseconds slow_read_pause{2};

// The stack limit every child starts with.
constexpr rlim_t child_stack_limit = rlim_t{8} * 1024 * 1024;

struct child {
  pid_t pid = -1;
  int out = -1;    // the read end of the standard output pipe, or -1
  int err = -1;    // the read end of the standard error pipe
  int watch = -1;  // an inotify descriptor on run_options::signal_on_file_in, or -1
};

void drain(int fd, std::string& into, bool& open, std::size_t most) {
  std::array<char, 4096> chunk{};
  const ssize_t got = ::read(fd, chunk.data(), std::min(chunk.size(), most));
  if (got > 0) {
    into.append(chunk.data(), static_cast<std::size_t>(got));
  } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
    open = false;
  }
}

// Fills a non-blocking pipe until it takes no more.
void fill(int fd) {
  const std::string filler(small_pipe, '#');
  while (::write(fd, filler.data(), filler.size()) > 0) {
  }
}

void set_limit(int resource, rlim_t soft) {
  rlimit limit{};
  ::getrlimit(resource, &limit);
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? soft : std::min(soft, limit.rlim_max);
  ::setrlimit(resource, &limit);
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void become(const std::vector<char*>& args, const run_options& options, int out_write,
                         int err_write) {
  ::signal(SIGPIPE, SIG_DFL);
  ::signal(SIGXFSZ, SIG_DFL);
  set_limit(RLIMIT_CORE, 0);
  set_limit(RLIMIT_STACK, child_stack_limit);
  if (options.file_size_limit >= 0) {
    set_limit(RLIMIT_FSIZE, static_cast<rlim_t>(options.file_size_limit));
  }
  if (options.cpu_seconds > 0) {
    set_limit(RLIMIT_CPU, static_cast<rlim_t>(options.cpu_seconds));
  }
  ::dup2(err_write, STDERR_FILENO);
  switch (options.where) {
    case stdout_to::pipe:
    case stdout_to::broken_pipe:
    case stdout_to::full_nonblocking_pipe:
      ::dup2(out_write, STDOUT_FILENO);
      break;
    case stdout_to::dev_full: {
      const int full = ::open("/dev/full", O_WRONLY);
      ::dup2(full, STDOUT_FILENO);
      break;
    }
    case stdout_to::file: {
      const int file = ::open(options.file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      ::dup2(file, STDOUT_FILENO);
      break;
    }
    case stdout_to::closed:
      ::close(STDOUT_FILENO);
      break;
  }
  ::close_range(STDERR_FILENO + 1, ~0U, 0);
  ::execv(args[0], args.data());
  ::_exit(127);
}

child start(const std::vector<std::string>& argv, const run_options& options) {
  std::array<int, 2> out_pipe{-1, -1};
  std::array<int, 2> err_pipe{-1, -1};
  if (::pipe2(out_pipe.data(), O_CLOEXEC) != 0 || ::pipe2(err_pipe.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (options.where == stdout_to::broken_pipe) {
    ::close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  if (options.where == stdout_to::full_nonblocking_pipe) {
    ::fcntl(out_pipe[1], F_SETPIPE_SZ, small_pipe);
    ::fcntl(out_pipe[1], F_SETFL, ::fcntl(out_pipe[1], F_GETFL) | O_NONBLOCK);
    fill(out_pipe[1]);
  }
  int watch = -1;
  if (!options.signal_on_file_in.empty()) {
    watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0 || ::inotify_add_watch(watch, options.signal_on_file_in.c_str(), IN_CREATE) < 0) {
      throw std::runtime_error("cannot watch " + options.signal_on_file_in);
    }
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    become(args, options, out_pipe[1], err_pipe[1]);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  return child{pid, out_pipe[0], err_pipe[0], watch};
}

void send(const child& c, const run_options& options) {
  switch (options.how) {
    case sent_by::kill:
      ::kill(c.pid, options.signal);
      break;
    case sent_by::sigqueue:
      ::sigqueue(c.pid, options.signal, sigval{0});
      break;
    case sent_by::tgkill:
      ::syscall(SYS_tgkill, c.pid, c.pid, options.signal);
      break;
  }
}

outcome finish(const child& c, const run_options& options) {
  const bool slow = options.where == stdout_to::full_nonblocking_pipe;
  outcome result{};
  bool out_open = c.out >= 0;
  bool err_open = true;
  bool signal_sent = options.signal == 0;
  while (out_open || err_open) {
    std::array<pollfd, 3> fds{pollfd{out_open ? c.out : -1, POLLIN, 0},
                              pollfd{err_open ? c.err : -1, POLLIN, 0},
                              pollfd{signal_sent ? -1 : c.watch, POLLIN, 0}};
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      continue;
    }
    if (!signal_sent && fds[2].revents != 0) {
      std::this_thread::sleep_for(options.signal_delay);
      send(c, options);
      signal_sent = true;
    }
    if (out_open && fds[0].revents != 0) {
      if (slow) {
        std::this_thread::sleep_for(slow_read_pause);
      }
      drain(c.out, result.out, out_open, slow ? slow_read_bytes : std::size_t{4096});
    }
    if (err_open && fds[1].revents != 0) {
      drain(c.err, result.err, err_open, 4096);
    }
    if (!signal_sent && c.watch < 0 && result.out.find('\n') != std::string::npos) {
      send(c, options);
      signal_sent = true;
    }
  }
  if (c.out >= 0) {
    ::close(c.out);
  }
  ::close(c.err);
  if (c.watch >= 0) {
    ::close(c.watch);
  }

  int status = 0;
  while (::waitpid(c.pid, &status, 0) < 0) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  if (slow) {
    // What filled the pipe before the child started comes first; it is not the child's.
    result.out.erase(0, result.out.find_first_not_of('#'));
  }
  return result;
}

}  // namespace

outcome run_process(const std::vector<std::string>& argv, const run_options& options) {
  return finish(start(argv, options), options);
}

outcome run_process(const std::vector<std::string>& argv, stdout_to where) {
  run_options options;
  options.where = where;
  return run_process(argv, options);
}

std::vector<outcome> run_together(const std::vector<std::string>& argv, int copies,
                                  const run_options& options) {
  std::vector<child> children;
  children.reserve(static_cast<std::size_t>(copies));
  for (int i = 0; i < copies; ++i) {
    children.push_back(start(argv, options));
  }
  std::vector<outcome> outcomes;
  outcomes.reserve(children.size());
  for (const child& c : children) {
    outcomes.push_back(finish(c, options));
  }
  return outcomes;
}

scratch_file::scratch_file(const std::string& name)
    : path_(::testing::TempDir() + "velk-" + std::to_string(::getpid()) + "-" + name) {
  ::unlink(path_.c_str());
}

scratch_file::~scratch_file() { ::unlink(path_.c_str()); }

std::string scratch_file::contents() const { return contents_of(path_); }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::string contents_of(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace velk_test
