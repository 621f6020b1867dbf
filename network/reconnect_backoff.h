#pragma once
// When to try the broker again after a connection failed or went away: a
// step of 1 s doubling to 30 s, each wait drawn at random from the upper
// half of its step. Ten thousand shops that lost the broker together (a
// restart) then come back spread over each step instead of all at the same
// moments, which a broker working through TLS handshakes on one thread,
// with a listen queue of a hundred, cannot take.

#include <chrono>
#include <cstdint>
#include <random>

namespace quinterra {

class TReconnectBackoff {
 public:
  explicit TReconnectBackoff(uint64_t seed, std::chrono::milliseconds first = std::chrono::seconds(1),
                             std::chrono::milliseconds last = std::chrono::seconds(30));

  // The wait before the next attempt; the step after it doubles.
  std::chrono::milliseconds Next();
  // Connected: the next loss starts again from the first step.
  void Reset() { step_ = first_; }
  std::chrono::milliseconds Step() const { return step_; }

 private:
  std::chrono::milliseconds first_, last_, step_;
  std::mt19937_64 random_;
};

}  // namespace quinterra
