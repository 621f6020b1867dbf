// The emulator keeps its own protocol tables so that a mistake shared with
// the bus cannot hide in the tests that run the two together; here the two
// sets are held side by side, so that neither drifts unnoticed.

#include <gtest/gtest.h>

#include "bus/bus_frame.h"
#include "bus/bus_protocol.h"
#include "bus/memory_layout.h"
#include "emulator/device_commands.h"
#include "emulator/device_memory.h"
#include "emulator/request_scanner.h"

namespace quinterra {
namespace {

TEST(DeviceTables, AgreeWithTheBusOnCodesAreasAndLayouts) {
  using namespace device_commands;
  EXPECT_EQ(kPing, bus::kPing);
  EXPECT_EQ(kInformation, bus::kInfo);
  EXPECT_EQ(kMemoryRead, bus::kMemoryRead);
  EXPECT_EQ(kBuild, bus::kBuild);
  EXPECT_EQ(kMemoryWrite, bus::kMemoryWrite);
  EXPECT_EQ(kCheck, bus::kCheck);
  for (uint8_t code : {kPing, kInformation, kMemoryRead, kBuild, kMemoryWrite, kCheck}) {
    EXPECT_TRUE(TBusFrame::IsAnswerCode(code | kAnswerBit)) << int(code);
  }

  EXPECT_EQ(kConfigBase, bus::kConfigBase);
  EXPECT_EQ(kDisplayBase, bus::kDisplayBase);
  EXPECT_EQ(kDirectoryBase, bus::kDirectoryBase);
  EXPECT_EQ(kConfigAddressOffset, bus::kConfigAddressByte);
  EXPECT_EQ(kMaxPayload, TBusFrame::kMaxPayload);

  for (const auto& [model, small_blocks] : {std::pair{10, false}, {11, false}, {10, true}}) {
    const std::optional<TDeviceLayout> device = LayoutFor(model, small_blocks);
    const std::optional<MemoryLayout> master =
        ChooseMemoryLayout(static_cast<uint8_t>(model), small_blocks ? 0 : 1);
    ASSERT_TRUE(device && master) << model;
    EXPECT_EQ(device->BlockSize, master->BlockSize);
    EXPECT_EQ(device->ConfigBlocks, master->ConfigBlocks);
    EXPECT_EQ(device->DisplayBlocks, master->DisplayBlocks);
    EXPECT_EQ(device->DirectoryBlocks, master->DirectoryBlocks);
  }
  EXPECT_FALSE(LayoutFor(11, true).has_value());
  EXPECT_FALSE(ChooseMemoryLayout(11, 0).has_value());
}

}  // namespace
}  // namespace quinterra
