#include "tests/links/link_test_support.h"

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/profile_file.h"

namespace quinterra::test {

using Clock = std::chrono::steady_clock;

TComPortMap TempConfig::MapPorts(const PortList& ports) {
  WritePortConfig(ConfigPath(), ports);
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
