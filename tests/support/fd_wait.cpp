#include "tests/support/fd_wait.h"

#include <poll.h>

#include <cerrno>

namespace quinterra::test {

bool ReadableBefore(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd poll_fd{fd, POLLIN, 0};
    const int ready = poll(&poll_fd, 1, left > 0 ? static_cast<int>(left) : 0);
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

}  // namespace quinterra::test
