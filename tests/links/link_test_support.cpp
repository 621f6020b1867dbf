#include "tests/links/link_test_support.h"

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QEventLoop>

namespace quinterra::test {

using Clock = std::chrono::steady_clock;

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

}  // namespace quinterra::test
