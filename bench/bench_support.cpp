#include "bench_support.hpp"

#include <fcntl.h>
#include <unistd.h>

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

stdout_redirect::stdout_redirect(int target) {
  std::cout.flush();
  std::fflush(stdout);
  saved_ = ::dup(STDOUT_FILENO);
  if (saved_ < 0 || ::dup2(target, STDOUT_FILENO) < 0) {
    give_up(std::string("cannot redirect standard output: ") + std::strerror(errno));
  }
}

stdout_redirect::~stdout_redirect() {
  std::cout.flush();
  std::fflush(stdout);
  ::dup2(saved_, STDOUT_FILENO);
  ::close(saved_);
}

int dev_null() {
  static const int descriptor = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (descriptor < 0) {
    give_up(std::string("cannot open /dev/null: ") + std::strerror(errno));
  }
  return descriptor;
}

std::string captured_stdout(const std::function<void()>& writer) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) {
    give_up(std::string("cannot make a temporary file: ") + std::strerror(errno));
  }
  {
    const stdout_redirect to_file(::fileno(file));
    writer();
  }
  std::rewind(file);
  std::string text;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, got);
  }
  std::fclose(file);
  return text;
}

void give_up(const std::string& message) {
  std::cerr << "velk_bench: " << message << '\n';
  std::exit(1);
}

}  // namespace velk_bench
