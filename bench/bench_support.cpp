#include "bench_support.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "random/random_int.hpp"

namespace velk_bench {

velk_sr::list& schedule_list() {
  static velk_sr::list l;
  static const bool filled = [] {
    for (std::int32_t i = 1; i <= velk_sr::key_cl::max_size; ++i) {
      l.data[i].key = 2 * i - 1;
    }
    return true;
  }();
  static_cast<void>(filled);
  return l;
}

std::vector<velk_sr::key_type> schedule_targets(std::int32_t n, half which) {
  const random_int::range ri_range(n);
  random_int::generator g = ri_range.make_generator();
  std::vector<velk_sr::key_type> targets;
  for (std::int32_t i = 1; i <= 2 * n; ++i) {
    const std::int32_t r = ri_range.random(g);
    if (i <= n && which == half::successful) {
      targets.push_back(2 * r - 1);
    } else if (i > n && which == half::unsuccessful) {
      targets.push_back(2 * r);
    }
  }
  return targets;
}

stdout_redirect::stdout_redirect(int target) : saved_(::dup(STDOUT_FILENO)) {
  std::cout.flush();
  static_cast<void>(std::fflush(stdout));
  if (saved_ < 0 || ::dup2(target, STDOUT_FILENO) < 0) {
    give_up(std::string("cannot redirect standard output: ") + std::strerror(errno));
  }
}

stdout_redirect::~stdout_redirect() {
  std::cout.flush();
  static_cast<void>(std::fflush(stdout));
  ::dup2(saved_, STDOUT_FILENO);
  ::close(saved_);
}

int dev_null() {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): open takes its mode as a vararg
  static const int descriptor = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (descriptor < 0) {
    give_up(std::string("cannot open /dev/null: ") + std::strerror(errno));
  }
  return descriptor;
}

std::string captured_stdout(const std::function<void()>& writer) {
  const int file = ::memfd_create("velk_bench_stdout", MFD_CLOEXEC);
  if (file < 0) {
    give_up(std::string("cannot make a file in memory: ") + std::strerror(errno));
  }
  {
    const stdout_redirect to_file(file);
    writer();
  }
  std::string text;
  std::array<char, 4096> buffer{};
  off_t offset = 0;
  ssize_t got = 0;
  while ((got = ::pread(file, buffer.data(), buffer.size(), offset)) > 0) {
    text.append(buffer.data(), static_cast<std::size_t>(got));
    offset += got;
  }
  ::close(file);
  return text;
}

void give_up(const std::string& message) {
  std::cerr << "velk_bench: " << message << '\n';
  std::exit(1);
}

}  // namespace velk_bench
