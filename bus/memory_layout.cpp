#include "bus/memory_layout.h"

namespace quinterra {

std::optional<MemoryLayout> ChooseMemoryLayout(uint8_t model, uint8_t block_flag) {
  if (block_flag == 1) {
    if (model == 10) return MemoryLayout{256, 1, 879, 16};
    if (model == 11) return MemoryLayout{256, 1, 767, 64};
    return std::nullopt;
  }
  // The 128-byte layout exists for model 10 only.
  if (model == 10) return MemoryLayout{128, 1, 383, 32};
  return std::nullopt;
}

}  // namespace quinterra
