#pragma once
// Bounded waits on file descriptors, so that no test can hang on a silent peer.

#include <chrono>

namespace quinterra::test {

// Whether fd becomes readable (or reaches its end) before the deadline.
bool ReadableBefore(int fd, std::chrono::steady_clock::time_point deadline);

}  // namespace quinterra::test
