#pragma once
// The three memory areas of a panel device and the block layouts they come in.
//
// The areas sit at fixed 24-bit bus addresses; their sizes follow the device
// model and block size reported in the information record. A fresh device
// holds 0xFF everywhere (erased flash), except its own address in byte 81 of
// the configuration block, which the device owner sets before use.
//
// These tables are the emulator's own, not the bus's, on purpose: see
// device_commands.h.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quinterra {

enum class TMemoryArea { Config, Display, Directory };

constexpr uint32_t kConfigBase = 0x000000;
constexpr uint32_t kDisplayBase = 0x100000;
constexpr uint32_t kDirectoryBase = 0x200000;
// Where the configuration block keeps the device's bus address.
constexpr size_t kConfigAddressOffset = 81;

struct TDeviceLayout {
  uint32_t BlockSize = 0;
  uint32_t ConfigBlocks = 0;
  uint32_t DisplayBlocks = 0;
  uint32_t DirectoryBlocks = 0;

  uint32_t ConfigSize() const { return ConfigBlocks * BlockSize; }
  uint32_t DisplaySize() const { return DisplayBlocks * BlockSize; }
  uint32_t DirectorySize() const { return DirectoryBlocks * BlockSize; }
};

// Model 10 with 256-byte blocks: 1/879/16; model 11: 1/767/64;
// model 10 with 128-byte blocks: 1/383/32. No other combination exists.
std::optional<TDeviceLayout> LayoutFor(int model, bool smallBlocks);

// A span of device memory named by bus address.
struct TMemorySpan {
  TMemoryArea Area;
  uint32_t Offset;  // from the start of the area
};

class TDeviceMemory {
 public:
  TDeviceMemory(const TDeviceLayout& layout, uint8_t address);

  const TDeviceLayout& Layout() const { return layout_; }

  // The area that holds all count bytes from address, if one does. A span that
  // starts outside every area or runs past its area's end is not accessible.
  std::optional<TMemorySpan> Locate(uint32_t address, uint32_t count) const;

  // Both refuse (and change nothing) when Locate does.
  bool Write(uint32_t address, const uint8_t* bytes, size_t count);
  bool Read(uint32_t address, uint32_t count, std::vector<uint8_t>& out) const;

  std::vector<uint8_t>& Area(TMemoryArea area);
  const std::vector<uint8_t>& Area(TMemoryArea area) const;

 private:
  TDeviceLayout layout_;
  std::vector<uint8_t> config_;
  std::vector<uint8_t> display_;
  std::vector<uint8_t> directory_;
};

}  // namespace quinterra
