#include "network/reconnect_backoff.h"

#include <algorithm>

namespace quinterra {

TReconnectBackoff::TReconnectBackoff(uint64_t seed, std::chrono::milliseconds first,
                                     std::chrono::milliseconds last)
    : first_(first), last_(std::max(first, last)), step_(first), random_(seed) {}

std::chrono::milliseconds TReconnectBackoff::Next() {
  const int64_t step = step_.count();
  std::uniform_int_distribution<int64_t> upper_half(step - step / 2, step);
  const std::chrono::milliseconds wait(upper_half(random_));
  step_ = std::min(step_ * 2, last_);
  return wait;
}

}  // namespace quinterra
