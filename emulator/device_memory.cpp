#include "emulator/device_memory.h"

#include <algorithm>

namespace quinterra {

std::optional<TDeviceLayout> LayoutFor(int model, bool smallBlocks) {
  if (model == 10 && !smallBlocks) return TDeviceLayout{256, 1, 879, 16};
  if (model == 11 && !smallBlocks) return TDeviceLayout{256, 1, 767, 64};
  if (model == 10 && smallBlocks) return TDeviceLayout{128, 1, 383, 32};
  return std::nullopt;
}

TDeviceMemory::TDeviceMemory(const TDeviceLayout& layout, uint8_t address)
    : layout_(layout),
      config_(layout.ConfigSize(), 0xFF),
      display_(layout.DisplaySize(), 0xFF),
      directory_(layout.DirectorySize(), 0xFF) {
  if (config_.size() > kConfigAddressOffset) config_[kConfigAddressOffset] = address;
}

std::optional<TMemorySpan> TDeviceMemory::Locate(uint32_t address, uint32_t count) const {
  struct Range {
    TMemoryArea area;
    uint32_t base;
    uint32_t size;
  };
  const Range ranges[] = {{TMemoryArea::Config, kConfigBase, layout_.ConfigSize()},
                          {TMemoryArea::Display, kDisplayBase, layout_.DisplaySize()},
                          {TMemoryArea::Directory, kDirectoryBase, layout_.DirectorySize()}};
  for (const Range& range : ranges) {
    if (address < range.base || address - range.base >= range.size) continue;
    const uint32_t offset = address - range.base;
    // 64-bit sum: a count near 2^32 must not wrap back inside the area.
    if (static_cast<uint64_t>(offset) + count > range.size) return std::nullopt;
    return TMemorySpan{range.area, offset};
  }
  return std::nullopt;
}

bool TDeviceMemory::Write(uint32_t address, const uint8_t* bytes, size_t count) {
  if (count > UINT32_MAX) return false;
  const auto span = Locate(address, static_cast<uint32_t>(count));
  if (!span) return false;
  std::copy(bytes, bytes + count, Area(span->Area).begin() + span->Offset);
  return true;
}

bool TDeviceMemory::Read(uint32_t address, uint32_t count, std::vector<uint8_t>& out) const {
  const auto span = Locate(address, count);
  if (!span) return false;
  const auto& area = Area(span->Area);
  out.assign(area.begin() + span->Offset, area.begin() + span->Offset + count);
  return true;
}

std::vector<uint8_t>& TDeviceMemory::Area(TMemoryArea area) {
  switch (area) {
    case TMemoryArea::Config: return config_;
    case TMemoryArea::Display: return display_;
    case TMemoryArea::Directory: break;
  }
  return directory_;
}

const std::vector<uint8_t>& TDeviceMemory::Area(TMemoryArea area) const {
  return const_cast<TDeviceMemory*>(this)->Area(area);
}

}  // namespace quinterra
