// Block transfer of device memory with the 256- and 128-byte layouts.

#include <gtest/gtest.h>

#include "bus/transfer_progress.h"
#include "bus_test_support.h"

namespace quinterra::testing {
namespace {

using Names = std::vector<std::string>;

struct Layout {
  uint8_t Model, Flag;
  uint32_t Block, Display, Directory;
};
const Layout kLayouts[] = {{10, 1, 256, 225024, 4096}, {11, 1, 256, 196352, 16384}, {10, 0, 128, 49024, 4096}};

// An engine that has taken in the information answer of device 1.
struct Identified : RecordingEngine {
  explicit Identified(const Layout& layout) {
    Bus.SetTarget(1);
    Bus.RequestInfo();
    AnswerLast(InfoRecordOf(layout.Model, layout.Flag));
    Events.clear();
    Sends.clear();
  }
  uint32_t AddressOf(size_t send) const {
    const Bytes& f = Sends.at(send).Frame;
    return uint32_t{f[2]} << 16 | uint32_t{f[3]} << 8 | f[4];
  }
};

class BusMemory : public ::testing::TestWithParam<Layout> {};
INSTANTIATE_TEST_SUITE_P(Layouts, BusMemory, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                           return "Model" + std::to_string(info.param.Model) + "Block" +
                                  std::to_string(info.param.Block);
                         });

TEST_P(BusMemory, InformationAnswerLaysOutFreshImages) {
  Identified e(GetParam());
  EXPECT_EQ(e.Bus.BlockSize(), GetParam().Block);
  EXPECT_EQ(e.Bus.DisplaySize(), GetParam().Display);
  EXPECT_EQ(e.Bus.DirectorySize(), GetParam().Directory);
  EXPECT_EQ(e.Bus.ConfigSize(), GetParam().Block);
  EXPECT_EQ(e.Bus.DisplayStates().size(), GetParam().Display / GetParam().Block);
  EXPECT_EQ(e.Bus.DisplayImage(), Bytes(GetParam().Display, 0xFF));
  EXPECT_EQ(e.Bus.ConfigImage()[81], 1);
  EXPECT_EQ(e.Bus.ConfigImage()[80], 0xFF);

  // A record that names no layout keeps this one, with fresh images.
  const Bytes bytes(40, 0x11);
  e.Bus.WriteDisplay(0, bytes.data(), 40);
  e.Bus.Stop();
  e.Bus.RequestInfo();
  e.AnswerLast(InfoRecordOf(11, 0), 2);
  EXPECT_EQ(e.Bus.BlockSize(), GetParam().Block);
  EXPECT_EQ(e.Bus.DisplayImage()[0], 0xFF);
  EXPECT_EQ(e.Bus.DisplayStates()[0], bus::kBlockUntouched);
  EXPECT_EQ(e.Bus.ConfigImage()[81], 2);
}

TEST_P(BusMemory, DirectoryRecordIsWrittenAsOneBlock) {
  Identified e(GetParam());
  const uint32_t block = GetParam().Block;
  const Bytes record(32, 0x5A);
  e.Bus.WriteDirectory(0, record.data(), 32);
  ASSERT_EQ(e.Sends.size(), 1u);
  Bytes expected_payload = record;
  expected_payload.resize(block, 0xFF);
  EXPECT_EQ(e.Sends[0].Frame, WireFrame(1, 0x10, {0x20, 0, 0, 0, 0}, expected_payload));
  e.AnswerLast();
  const std::string planned = std::to_string(block);
  EXPECT_EQ(e.Events, (Names{"progress" + planned + "/0@0", "progress" + planned + "/" + planned + "@0",
                             "directorywritten@0"}));
  EXPECT_EQ(e.Bus.DirectoryStates()[0], bus::kBlockDone);
  EXPECT_EQ(e.Bus.DirectoryStates()[1], bus::kBlockUntouched);
  EXPECT_EQ(e.Bus.TransferMode(), bus::kTransferNone);
}

TEST_P(BusMemory, DisplayWriteMarksOnlyTheBlocksItTouches) {
  Identified e(GetParam());
  const uint32_t block = GetParam().Block, size = GetParam().Display;
  const Bytes image(size + 1, 0x42);
  // Each says it sent nothing, so the caller need not wait for an answer.
  EXPECT_FALSE(e.Bus.WriteDisplay(0, image.data(), size + 1));         // one byte too many
  EXPECT_FALSE(e.Bus.WriteDisplay(0xFFFFFF00u, image.data(), 0x200));  // would wrap around
  EXPECT_FALSE(e.Bus.WriteDisplay(5, image.data(), 0));                // nothing to mark
  EXPECT_TRUE(e.Sends.empty());
  EXPECT_TRUE(e.Events.empty());
  EXPECT_EQ(e.Bus.DisplayImage()[5], 0xFF);

  EXPECT_TRUE(e.Bus.WriteDisplay(0, image.data(), 512));
  const size_t blocks = 512 / block;
  for (size_t i = 0; i < blocks; ++i) {
    ASSERT_EQ(e.Sends.size(), i + 1);
    EXPECT_EQ(e.AddressOf(i), 0x100000 + i * block);
    EXPECT_EQ(e.Sends[i].Frame.size(), block + 11);
    e.AnswerLast();
  }
  EXPECT_EQ(e.Sends.size(), blocks);
  EXPECT_EQ(e.Events.back(), "displaywritten@0");
  EXPECT_EQ(e.Bus.DoneBytes(), 512u);
  EXPECT_EQ(e.Bus.DisplayStates()[blocks], bus::kBlockUntouched);

  e.Bus.WriteDisplay(0, image.data(), size);  // exactly the whole area
  EXPECT_EQ(e.Bus.PlannedBytes(), size);
  EXPECT_EQ(e.Bus.DisplayStates().back(), bus::kBlockToWrite);
}

TEST_P(BusMemory, ConfigurationReadFillsTheImage) {
  Identified e(GetParam());
  const uint32_t block = GetParam().Block;
  e.Bus.ReadConfig();
  ASSERT_EQ(e.Sends.size(), 1u);
  EXPECT_EQ(e.Sends[0].Frame,
            WireFrame(1, 0x03, {0, 0, 0, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)}));
  Bytes content(block);
  for (uint32_t i = 0; i < block; ++i) content[i] = static_cast<uint8_t>(i);
  e.AnswerLast(content);
  EXPECT_EQ(e.Bus.ConfigImage(), content);
  EXPECT_EQ(e.Bus.ConfigStates()[0], bus::kBlockDone);
  EXPECT_EQ(e.Events.back(), "configread@0");
}

TEST_P(BusMemory, ReadingBackTakesWholeBlocksFromTheirOwnPlaceOnly) {
  Identified e(GetParam());
  const uint32_t block = GetParam().Block;
  const Bytes written(3 * block, 0x5A);
  ASSERT_TRUE(e.Bus.WriteDisplay(0, written.data(), 3 * block));
  for (int i = 0; i < 3; ++i) e.AnswerLast();
  e.Bus.Connect();  // repetitions run, as in a delivery
  e.Events.clear();
  e.Sends.clear();
  const Bytes held(block, 0x11);

  // The blocks that hold the bytes are read, one request each.
  EXPECT_FALSE(e.Bus.ReadDisplay(0, GetParam().Display + 1));
  ASSERT_TRUE(e.Bus.ReadDisplay(0, 3 * block));
  EXPECT_EQ(e.Bus.TransferMode(), bus::kTransferDisplayRead);
  ASSERT_EQ(e.Sends.size(), 1u);
  EXPECT_EQ(e.Sends[0].Frame,
            WireFrame(1, 0x03, {0x10, 0, 0, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)}));

  // A short answer on the middle block leaves that block unread and no
  // other: the last block's good answer does not sweep it up, and the
  // transfer ends not whole.
  e.AnswerLast(held);
  e.AnswerLast(Bytes(block / 2, 0x11));
  EXPECT_EQ(e.Bus.DisplayStates()[1], bus::kBlockUnread);
  e.AnswerLast(held);
  EXPECT_EQ(e.Bus.DisplayStates()[2], bus::kBlockDone);
  EXPECT_EQ(e.Events.back(), "displayread-partial@0");
  // What was read is kept apart from what was written: the written bytes
  // never stand in for a block the device did not send.
  EXPECT_EQ(e.Bus.DisplayImage()[block], 0x5A);
  EXPECT_EQ(e.Bus.DisplayReadBack()[block], 0x00);
  EXPECT_EQ(e.Bus.DisplayReadBack()[2 * block], 0x11);

  // A repeated answer for the first block arriving while the middle one is
  // asked for is not taken as its answer: the middle block waits for its
  // own, and the read ends whole.
  e.Events.clear();
  ASSERT_TRUE(e.Bus.ReadDisplay(0, 3 * block));
  e.AnswerLast(held);
  const Bytes first_again = WireFrame(1, 0x83, {0x10, 0, 0, 0, 0}, Bytes(block, 0x77));
  e.Feed(first_again);
  EXPECT_TRUE(e.Bus.Busy());
  EXPECT_EQ(e.Bus.DisplayStates()[1], bus::kBlockReading);
  EXPECT_EQ(e.Bus.DisplayReadBack()[0], 0x11);
  e.AnswerLast(held);
  e.AnswerLast(held);
  EXPECT_EQ(e.Events.back(), "displayread@0");
  EXPECT_EQ(e.Bus.DisplayReadBack(), Bytes(3 * block, 0x11));

  ASSERT_TRUE(e.Bus.ReadDirectory(0, 32));
  e.AnswerLast(Bytes(block, 0x22));
  EXPECT_EQ(e.Events.back(), "directoryread@0");
  EXPECT_EQ(e.Bus.DirectoryReadBack(), Bytes(block, 0x22));
}

TEST_P(BusMemory, AnswersNamingNoAreaAreNotReportedAsSuccess) {
  Identified e(GetParam());
  e.Bus.ReadConfig();
  e.Feed(WireFrame(1, 0x83, {0x7F, 0, 0, 0, 0}, {1, 2, 3}));
  EXPECT_EQ(e.Bus.DoneBytes(), GetParam().Block);  // counted, but not confirmed
  EXPECT_EQ(e.Bus.ConfigStates()[0], bus::kBlockReading);
  EXPECT_EQ(e.Bus.ConfigImage()[0], 0xFF);

  const Bytes record(32, 1);
  e.Bus.WriteDirectory(0, record.data(), 32);
  // The answer's length runs past the end of the directory area.
  const uint32_t end = 0x200000 + GetParam().Directory - 1;
  e.Feed(WireFrame(1, 0x90, {static_cast<uint8_t>(end >> 16), static_cast<uint8_t>(end >> 8),
                             static_cast<uint8_t>(end), 0, 0}, {0, 0}));
  EXPECT_EQ(e.Bus.DoneBytes(), 0u);
  EXPECT_EQ(e.Bus.TransferMode(), bus::kTransferNone);
  const std::string block = std::to_string(GetParam().Block);
  EXPECT_EQ(e.Events, (Names{"progress" + block + "/0@0", "progress" + block + "/" + block + "@0",
                             "progress" + block + "/0@0", "progress" + block + "/0@0"}));
}

TEST_P(BusMemory, RepeatedReadAnswersRunPastThePlanButTheShareShownStopsAtAHundred) {
  Identified e(GetParam());
  e.Bus.ReadConfig();
  EXPECT_EQ(ProgressPercent(e.Bus.PlannedBytes(), e.Bus.DoneBytes()), 0);
  for (int i = 0; i < 17; ++i) e.Feed(WireFrame(1, 0x83, {0, 0, 0, 0, 0}, {1}));
  EXPECT_EQ(e.Bus.DoneBytes(), 17 * GetParam().Block);
  EXPECT_EQ(ProgressPercent(e.Bus.PlannedBytes(), e.Bus.DoneBytes()), 100);
  EXPECT_EQ(ProgressPercent(0, 0), 0);
  EXPECT_EQ(ProgressPercent(3 * 256, 256), 33);
}

TEST(BusMemoryTransfer, NothingHappensBeforeTheFirstInformationAnswer) {
  RecordingEngine e;
  const Bytes bytes(32, 1);
  e.Bus.ReadConfig();
  e.Bus.WriteDirectory(0, bytes.data(), 32);
  e.Bus.WriteDisplay(0, bytes.data(), 0);
  EXPECT_TRUE(e.Sends.empty());
  EXPECT_TRUE(e.Events.empty());
}

TEST(BusMemoryTransfer, WriteAnswersWaitForTheTargetAndAStalledBlockStaysApart) {
  Identified e(kLayouts[0]);
  const Bytes bytes(600, 3);
  e.Bus.WriteDisplay(0, bytes.data(), 300);
  e.AnswerLast({}, 2);  // another device: not complete, the scan does not move
  EXPECT_EQ(e.Sends.size(), 1u);
  e.AnswerLast({}, 1);
  EXPECT_EQ(e.AddressOf(1), 0x100100u);

  // Asked while busy: the directory block is put in flight but never goes
  // out, so the transfer that ends next must not claim it written.
  e.Bus.WriteDirectory(0, bytes.data(), 32);
  EXPECT_EQ(e.Bus.DirectoryStates()[0], bus::kBlockWriting);
  EXPECT_EQ(e.Sends.size(), 2u);
  e.AnswerLast();
  EXPECT_EQ(e.Sends.size(), 2u);
  EXPECT_EQ(e.Events.back().rfind("progress", 0), 0u);
  // Asking again sends it.
  e.Bus.WriteDirectory(0, bytes.data(), 32);
  EXPECT_EQ(e.AddressOf(2), 0x200000u);
  e.AnswerLast();
  EXPECT_EQ(e.Events.back(), "directorywritten@0");
}

TEST(BusMemoryTransfer, ACompletionHandlerMayStartTheNextTransfer) {
  Identified e(kLayouts[2]);
  const Bytes record(32, 7), image(320, 8);
  e.Bus.OnDirectoryWritten = [&](TComVornBus* bus) { bus->WriteDisplay(0, image.data(), 320); };
  e.Bus.WriteDirectory(0, record.data(), 32);
  e.AnswerLast();
  EXPECT_EQ(e.Bus.TransferMode(), bus::kTransferDisplayWrite);
  for (int i = 0; i < 3; ++i) e.AnswerLast();
  EXPECT_EQ(e.Sends.size(), 4u);
  EXPECT_EQ(e.Events.back(), "displaywritten@0");
}

}  // namespace
}  // namespace quinterra::testing
