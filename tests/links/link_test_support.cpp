#include "tests/links/link_test_support.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/profile_file.h"

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

namespace {

termios2 Settings(int fd) {
  termios2 t{};
  if (::ioctl(fd, TCGETS2, &t) != 0) throw std::runtime_error("TCGETS2");
  return t;
}

}  // namespace

int PtyPair::SlaveRate() const { return static_cast<int>(Settings(observer_).c_ospeed); }

TempConfig::TempConfig() {
  char pattern[] = "/tmp/quinterra-links-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
  folder_ = pattern;
}

TempConfig::~TempConfig() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

TComPortMap TempConfig::MapPorts(const std::vector<std::pair<int, std::string>>& ports) {
  {
    std::ofstream file(ConfigPath(), std::ios::binary | std::ios::trunc);
    file << "[Config]\r\nUltimo=\r\n[Puertos]\r\n";
    for (const auto& [number, path] : ports) file << "COM" << number << "=" << path << "\r\n";
  }
  TComPortMap map;
  map.ReadOverrides(TProfileFile(ConfigPath()));
  return map;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void RunEventsFor(std::chrono::milliseconds time) {
  WaitUntil([] { return false; }, time);
}

Watchdog::Watchdog(std::chrono::milliseconds limit, std::string what)
    : thread_([this, limit, what] {
        const Clock::time_point deadline = Clock::now() + limit;
        while (!disarmed_.load()) {
          if (Clock::now() >= deadline) {
            std::fprintf(stderr, "watchdog: %s did not finish in time (deadlock?)\n", what.c_str());
            std::fflush(stderr);
            std::_Exit(3);
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      }) {}

Watchdog::~Watchdog() {
  disarmed_.store(true);
  thread_.join();
}

uint32_t ScriptedDevice::Open(const std::string& path) {
  record_->open_calls.fetch_add(1);
  if (uint32_t error = record_->open_error.load()) return error;
  return inner_->Open(path);
}

uint32_t ScriptedDevice::Write(const uint8_t* bytes, int count, int timeout_ms, int* written) {
  record_->write_calls.fetch_add(1);
  if (count == 1) record_->one_byte_writes.fetch_add(1);
  record_->writing.store(true);
  if (int delay = record_->write_delay_ms.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  }
  uint32_t result;
  if (uint32_t error = record_->write_error.load()) {
    *written = 0;
    result = error;
  } else {
    result = inner_->Write(bytes, count, timeout_ms, written);
  }
  record_->writing.store(false);
  return result;
}

std::vector<uint8_t> Sequence(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

}  // namespace quinterra::test
