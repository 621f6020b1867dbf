#include "platform/simulated_clock.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace quinterra {
namespace {

using Firing = std::pair<std::string, int64_t>;

class SimulatedClockTest : public ::testing::Test {
 protected:
  std::unique_ptr<IIntervalTimer> Timer(const std::string& name, std::chrono::milliseconds interval) {
    auto timer = clock_.CreateTimer();
    timer->SetInterval(interval);
    timer->OnTimer = [this, name] { firings_.emplace_back(name, clock_.Now().count()); };
    return timer;
  }

  SimulatedClock clock_;
  std::vector<Firing> firings_;
};

TEST_F(SimulatedClockTest, FiresInDueOrderWithTiesInCreationOrder) {
  auto slow = Timer("slow", 250ms);
  auto fast = Timer("fast", 100ms);
  fast->SetEnabled(true);
  slow->SetEnabled(true);
  clock_.Advance(500ms);
  const std::vector<Firing> expected = {{"fast", 100}, {"fast", 200}, {"slow", 250},
                                        {"fast", 300}, {"fast", 400}, {"slow", 500},
                                        {"fast", 500}};
  EXPECT_EQ(firings_, expected);
  EXPECT_EQ(clock_.Now().count(), 500);
}

TEST_F(SimulatedClockTest, EnablingRestartsOnlyADisabledTimer) {
  auto timer = Timer("t", 100ms);
  timer->SetEnabled(true);
  clock_.Advance(60ms);
  timer->SetEnabled(true);  // already enabled: keeps its period
  clock_.Advance(40ms);
  ASSERT_EQ(firings_, (std::vector<Firing>{{"t", 100}}));

  timer->SetEnabled(false);
  clock_.Advance(30ms);
  timer->SetEnabled(true);  // a full new period from 130
  clock_.Advance(150ms);
  EXPECT_EQ(firings_, (std::vector<Firing>{{"t", 100}, {"t", 230}}));
}

TEST_F(SimulatedClockTest, NewIntervalOfAnEnabledTimerStartsAFullPeriod) {
  auto timer = Timer("t", 100ms);
  timer->SetEnabled(true);
  clock_.Advance(70ms);
  timer->SetInterval(100ms);
  clock_.Advance(130ms);
  EXPECT_EQ(firings_, (std::vector<Firing>{{"t", 170}}));
  EXPECT_EQ(timer->Interval(), 100ms);
}

TEST_F(SimulatedClockTest, HandlersMayStopAndStartTimers) {
  auto once = Timer("once", 50ms);
  auto later = Timer("later", 100ms);
  once->OnTimer = [&] {
    firings_.emplace_back("once", clock_.Now().count());
    once->SetEnabled(false);
    later->SetEnabled(true);
  };
  once->SetEnabled(true);
  clock_.Advance(400ms);
  EXPECT_EQ(firings_, (std::vector<Firing>{{"once", 50}, {"later", 150}, {"later", 250},
                                           {"later", 350}}));
}

TEST_F(SimulatedClockTest, DisabledOrZeroIntervalTimersNeverFire) {
  auto disabled = Timer("disabled", 10ms);
  auto zero = Timer("zero", 0ms);
  zero->SetEnabled(true);
  EXPECT_FALSE(clock_.FireNext(1000ms));
  EXPECT_TRUE(firings_.empty());
}

TEST_F(SimulatedClockTest, TimersMayOutliveTheClockAndDieFirst) {
  std::unique_ptr<IIntervalTimer> survivor;
  {
    SimulatedClock clock;
    survivor = clock.CreateTimer();
    auto short_lived = clock.CreateTimer();
    short_lived->SetEnabled(true);
  }
  survivor->SetEnabled(true);  // detached from the clock: harmless
  EXPECT_TRUE(survivor->Enabled());
}

}  // namespace
}  // namespace quinterra
