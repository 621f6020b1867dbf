#pragma once
// The share of a memory transfer that is done, for a person to read.
//
// DoneBytes grows by one block per answer the engine takes in, and read
// answers that keep arriving after a transfer has finished still count: it
// can pass PlannedBytes. What a progress bar shows must still stop at 100 %.

#include <algorithm>
#include <cstdint>

namespace quinterra {

// 0 to 100; 0 when nothing is planned.
inline int ProgressPercent(uint64_t planned, uint64_t done) {
  if (planned == 0) return 0;
  return static_cast<int>(std::min<uint64_t>(100, done * 100 / planned));
}

}  // namespace quinterra
