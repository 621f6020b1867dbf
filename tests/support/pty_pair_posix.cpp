#include "tests/support/pty_pair.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace quinterra::test {

using Clock = std::chrono::steady_clock;

PtyPair::PtyPair() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname");
  slave_path_ = name;
  // A second handle on the slave, opened before the code under test makes
  // it exclusive, to read back the rate it applies.
  observer_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (observer_ < 0) throw std::runtime_error("pty slave");
}

PtyPair::~PtyPair() {
  if (observer_ >= 0) ::close(observer_);
  if (master_ >= 0) ::close(master_);
}

void PtyPair::WriteToSlave(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
  while (done < bytes.size() && Clock::now() < deadline) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 10);
    }
  }
  if (done < bytes.size()) throw std::runtime_error("pty master write");
}

std::vector<uint8_t> PtyPair::ReadFromSlave(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> bytes;
  const Clock::time_point deadline = Clock::now() + timeout;
  while (bytes.size() < count && Clock::now() < deadline) {
    uint8_t buffer[4096];
    const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n > 0) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    } else {
      pollfd p{master_, POLLIN, 0};
      ::poll(&p, 1, 5);
    }
  }
  return bytes;
}

int PtyPair::SlaveRate() const {
  termios2 settings{};
  if (::ioctl(observer_, TCGETS2, &settings) != 0) throw std::runtime_error("TCGETS2");
  return static_cast<int>(settings.c_ospeed);
}

bool RunningUnderWine() { return false; }

}  // namespace quinterra::test
