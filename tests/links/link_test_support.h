#pragma once
// Helpers of the link tests: those of the serial port tests, bounded waits
// that keep the UI thread's events flowing and a watchdog for deadlocks.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/links/serial_test_support.h"

namespace quinterra::test {

// Runs the UI thread's events until done() or timeout; returns done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Runs the UI thread's events for a while.
void RunEventsFor(std::chrono::milliseconds time);

// Ends the process with a message if not disarmed in time: a deadlocked test
// must fail, not hang.
class Watchdog {
 public:
  Watchdog(std::chrono::milliseconds limit, std::string what);
  ~Watchdog();

 private:
  std::atomic<bool> disarmed_{false};
  std::thread thread_;
};

}  // namespace quinterra::test
