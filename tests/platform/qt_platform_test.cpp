#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/qt_interval_timer.h"
#include "platform/ui_thread.h"

using namespace std::chrono_literals;

namespace quinterra {
namespace {

// Runs the event loop until done() holds or a generous bound passes; the
// bound only keeps a broken build from hanging, it measures nothing.
template <typename Done>
bool RunEventsUntil(Done done, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(bound, &loop, &QEventLoop::quit);
  if (!done()) loop.exec();
  return done();
}

// Timer tests compare the order of events, never their times: QTimer fires
// overdue timers in deadline order, so the order holds on a loaded machine.
class QtTimerFactoryTest : public ::testing::Test {
 protected:
  std::unique_ptr<IIntervalTimer> Timer(const std::string& name, std::chrono::milliseconds interval) {
    auto timer = factory_.CreateTimer();
    timer->SetInterval(interval);
    timer->OnTimer = [this, name] { events_.push_back(name); };
    return timer;
  }
  // Schedules action at `milliseconds` from now, logged as `name`.
  void At(int milliseconds, const std::string& name, std::function<void()> action = {}) {
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, [this, name, action] {
      events_.push_back(name);
      if (action) action();
    });
  }
  bool Logged(const std::string& name) const {
    return std::find(events_.begin(), events_.end(), name) != events_.end();
  }
  std::vector<std::string> Between(const std::string& first, const std::string& last) const {
    auto begin = std::find(events_.begin(), events_.end(), first);
    auto end = std::find(begin, events_.end(), last);
    return begin == events_.end() ? std::vector<std::string>{}
                                  : std::vector<std::string>(begin + 1, end);
  }

  QtTimerFactory factory_;
  std::vector<std::string> events_;
};

TEST_F(QtTimerFactoryTest, RepeatsOnTheUiThreadUntilDisabled) {
  auto repeating = Timer("repeating", 10ms);
  bool on_ui_thread = true;
  repeating->OnTimer = [&] {
    events_.push_back("repeating");
    on_ui_thread = on_ui_thread && QThread::currentThread() == qApp->thread();
    if (events_.size() == 3) repeating->SetEnabled(false);
  };
  auto never_enabled = Timer("never-enabled", 10ms);
  auto zero = Timer("zero", 0ms);  // enabled, but a zero interval never fires
  zero->SetEnabled(true);
  repeating->SetEnabled(true);
  At(200, "end");
  ASSERT_TRUE(RunEventsUntil([&] { return Logged("end"); }));
  EXPECT_EQ(events_, (std::vector<std::string>{"repeating", "repeating", "repeating", "end"}));
  EXPECT_TRUE(on_ui_thread);
  EXPECT_FALSE(repeating->Enabled());
  EXPECT_TRUE(zero->Enabled());
}

TEST_F(QtTimerFactoryTest, EnablingAnEnabledTimerKeepsItsPeriod) {
  auto timer = Timer("timer", 400ms);
  timer->SetEnabled(true);
  At(200, "poke", [&] { timer->SetEnabled(true); });
  At(500, "end");  // a restarted period would end at 600 or later
  ASSERT_TRUE(RunEventsUntil([&] { return Logged("end"); }));
  EXPECT_EQ(Between("poke", "end"), std::vector<std::string>{"timer"});
}

TEST_F(QtTimerFactoryTest, NewIntervalOfAnEnabledTimerRestartsThePeriod) {
  auto timer = Timer("timer", 400ms);
  timer->SetEnabled(true);
  At(200, "poke", [&] { timer->SetInterval(400ms); });
  At(500, "end");  // the kept period would have fired at 400
  ASSERT_TRUE(RunEventsUntil([&] { return Logged("end"); }));
  EXPECT_TRUE(Between("poke", "end").empty());
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 400ms);
}

TEST_F(QtTimerFactoryTest, AHandlerMayDestroyItsOwnTimer) {
  auto timer = factory_.CreateTimer();
  timer->SetInterval(10ms);
  timer->OnTimer = [&] { timer.reset(); };
  timer->SetEnabled(true);
  EXPECT_TRUE(RunEventsUntil([&] { return timer == nullptr; }));
}

TEST(RunOnUiThread, AWorkerWaitsUntilTheCallRanOnTheUiThread) {
  const std::thread::id ui_thread = std::this_thread::get_id();
  std::thread::id ran_on;
  bool ran = false;
  std::atomic<bool> ran_before_return{false};
  std::atomic<bool> worker_done{false};
  std::thread worker([&] {
    RunOnUiThread([&] {
      ran_on = std::this_thread::get_id();
      ran = true;
    });
    ran_before_return = ran;  // safe: the UI thread wrote it before releasing us
    worker_done = true;
  });
  const bool finished = RunEventsUntil([&] { return worker_done.load(); });
  worker.join();
  ASSERT_TRUE(finished);
  EXPECT_TRUE(ran_before_return);
  EXPECT_EQ(ran_on, ui_thread);
}

TEST(RunOnUiThread, RethrowsInTheWorkerWhatTheCallThrew) {
  std::atomic<bool> worker_done{false};
  std::string caught;
  std::thread worker([&] {
    try {
      RunOnUiThread([] { throw std::runtime_error("Cannot write file \"equipos.ini\""); });
    } catch (const std::runtime_error& error) {
      caught = error.what();
    }
    worker_done = true;
  });
  const bool finished = RunEventsUntil([&] { return worker_done.load(); });
  worker.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(caught, "Cannot write file \"equipos.ini\"");
}

TEST(RunOnUiThread, OnTheUiThreadRunsAtOnce) {
  int calls = 0;
  RunOnUiThread([&] { ++calls; });
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace quinterra

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
