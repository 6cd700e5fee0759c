#include "process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <array>
#include <cerrno>
#include <stdexcept>

namespace velk_test {

namespace {

void drain(int fd, std::string& into, bool& open) {
  std::array<char, 4096> chunk{};
  const ssize_t got = ::read(fd, chunk.data(), chunk.size());
  if (got > 0) {
    into.append(chunk.data(), static_cast<std::size_t>(got));
  } else if (got == 0 || errno != EINTR) {
    open = false;
  }
}

}  // namespace

outcome run_process(const std::vector<std::string>& argv, stdout_to where) {
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (where == stdout_to::broken_pipe) {
    ::close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) {
    throw std::runtime_error("fork failed");
  }
  if (child == 0) {
    // The child starts with the default disposition of SIGPIPE, whatever the test runner did.
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(err_pipe[1], STDERR_FILENO);
    switch (where) {
      case stdout_to::pipe:
      case stdout_to::broken_pipe:
        ::dup2(out_pipe[1], STDOUT_FILENO);
        break;
      case stdout_to::dev_full: {
        const int full = ::open("/dev/full", O_WRONLY);
        ::dup2(full, STDOUT_FILENO);
        ::close(full);
        break;
      }
      case stdout_to::closed:
        ::close(STDOUT_FILENO);
        break;
    }
    for (const int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
      if (fd > STDERR_FILENO) {
        ::close(fd);
      }
    }
    ::execv(args[0], args.data());
    ::_exit(127);
  }

  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  outcome result{};
  bool out_open = out_pipe[0] >= 0;
  bool err_open = true;
  while (out_open || err_open) {
    std::array<pollfd, 2> fds{pollfd{out_open ? out_pipe[0] : -1, POLLIN, 0},
                              pollfd{err_open ? err_pipe[0] : -1, POLLIN, 0}};
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      continue;
    }
    if (out_open && fds[0].revents != 0) {
      drain(out_pipe[0], result.out, out_open);
    }
    if (err_open && fds[1].revents != 0) {
      drain(err_pipe[0], result.err, err_open);
    }
  }
  if (out_pipe[0] >= 0) {
    ::close(out_pipe[0]);
  }
  ::close(err_pipe[0]);

  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

}  // namespace velk_test
