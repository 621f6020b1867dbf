#pragma once
// The memory layouts a panel device may have, chosen from its information
// record: byte 0 is the model, byte 8 equal to 1 selects 256-byte blocks.

#include <cstdint>
#include <optional>

namespace quinterra {

struct MemoryLayout {
  uint32_t BlockSize = 0;
  uint32_t ConfigBlocks = 0;
  uint32_t DisplayBlocks = 0;
  uint32_t DirectoryBlocks = 0;
};

// The layout of a device, or nothing for a record that names none (the
// engine then keeps the layout it had).
std::optional<MemoryLayout> ChooseMemoryLayout(uint8_t model, uint8_t block_flag);

}  // namespace quinterra
