// Loaded into a program under test with LD_PRELOAD: closing a file whose path holds the text of
// VELK_CLOSE_FAILS_FOR closes it and then reports an input/output error, as a file system does
// when the last bytes written never reached the device. Every other close is the system's own.
#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using close_function = int (*)(int);

bool path_holds(int fd, const char* text) {
  std::array<char, 64> link{};
  std::snprintf(link.data(), link.size(), "/proc/self/fd/%d", fd);
  std::array<char, 4096> path{};
  const ssize_t length = ::readlink(link.data(), path.data(), path.size() - 1);
  return length > 0 && std::strstr(path.data(), text) != nullptr;
}

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int close(int fd) {
  // dlsym gives an object pointer that is the function's address.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  static const auto system_close = reinterpret_cast<close_function>(::dlsym(RTLD_NEXT, "close"));
  const char* text = std::getenv("VELK_CLOSE_FAILS_FOR");  // NOLINT(concurrency-mt-unsafe)
  const bool fails = text != nullptr && *text != '\0' && path_holds(fd, text);
  const int closed = system_close(fd);
  if (closed == 0 && fails) {
    errno = EIO;
    return -1;
  }
  return closed;
}
