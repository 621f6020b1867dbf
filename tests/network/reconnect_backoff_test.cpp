// The reconnection waits of a whole network: shops that lost the broker at
// the same moment must not all come back at the same moments.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "network/reconnect_backoff.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;

TEST(ReconnectBackoffTest, TenThousandShopsLosingTheBrokerTogetherComeBackSpreadOverEachStep) {
  constexpr int kShops = 10000;
  std::vector<TReconnectBackoff> shops;
  for (int i = 0; i < kShops; ++i) shops.emplace_back(1000003ULL * i + 17);
  // Every shop's first, second ... seventh attempt after the loss.
  const std::vector<std::chrono::milliseconds> steps = {1s, 2s, 4s, 8s, 16s, 30s, 30s};
  for (const std::chrono::milliseconds step : steps) {
    std::vector<int> tenths(10, 0);
    for (TReconnectBackoff& shop : shops) {
      const std::chrono::milliseconds wait = shop.Next();
      ASSERT_GE(wait, step / 2) << step.count();
      ASSERT_LE(wait, step) << step.count();
      const auto tenth = (wait - step / 2) * 10 / (step - step / 2 + 1ms);
      ++tenths[static_cast<size_t>(tenth)];
    }
    // Spread evenly over the upper half of the step: each tenth of it takes
    // about a thousand shops, none bunch up.
    for (int count : tenths) {
      EXPECT_GT(count, kShops / 10 * 8 / 10) << step.count();
      EXPECT_LT(count, kShops / 10 * 12 / 10) << step.count();
    }
  }
  // Once connected again, the next loss starts over from the first step.
  shops[0].Reset();
  EXPECT_LE(shops[0].Next(), 1s);
  EXPECT_EQ(shops[0].Step(), 2s);
}

}  // namespace
}  // namespace quinterra
