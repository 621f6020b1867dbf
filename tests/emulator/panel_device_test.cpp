// The emulated panel device in process: commands, memory areas, receiver
// resynchronisation and injected faults.

#include "emulator/panel_device.h"

#include <gtest/gtest.h>

#include "tests/emulator/request_bytes.h"

namespace quinterra::test {
namespace {

struct Device {
  explicit Device(TPanelDeviceOptions options = {}) : emulator(options) {
    emulator.OnAnswer = [this](TPanelDeviceEmulator&, const uint8_t* bytes, size_t count) {
      answers.emplace_back(bytes, bytes + count);
    };
    emulator.OnRequest = [this](TPanelDeviceEmulator&, const TDeviceRequest&, TRequestOutcome outcome) {
      outcomes.push_back(outcome);
    };
  }
  void Send(const Bytes& bytes) { emulator.ReceiveBytes(bytes.data(), bytes.size()); }
  // The single answer to one request, if any.
  std::optional<Answer> Ask(const Bytes& request) {
    answers.clear();
    Send(request);
    return answers.size() == 1 ? ParseAnswer(answers[0]) : std::nullopt;
  }

  TPanelDeviceEmulator emulator;
  std::vector<Bytes> answers;
  std::vector<TRequestOutcome> outcomes;
};

TPanelDeviceOptions Layout(int model, bool small, uint8_t address = 1) {
  TPanelDeviceOptions options;
  options.Model = model;
  options.SmallBlocks = small;
  options.Address = address;
  return options;
}

TEST(PanelDevice, AnswersEachCommandOfTheTable) {
  Device device;
  // The search ping and the keep-alive ping exactly as a master sends them.
  const auto search = device.Ask({0x01, 0x01, 0x0F, 0, 0, 0, 0, 0, 0, 0x39, 0xAC});
  const auto keep_alive = device.Ask({0x01, 0x01, 0, 0, 0, 0, 0x69, 0, 0, 0x16, 0xB0});
  ASSERT_TRUE(search && keep_alive);
  EXPECT_EQ(search->Command, 0x81);
  EXPECT_EQ(search->Param, (Bytes{0x0F, 0, 0, 0, 0}));
  EXPECT_EQ(keep_alive->Param, (Bytes{0, 0, 0, 0, 0x69}));

  device.Send({0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0x86, 0xB9});
  EXPECT_EQ(device.answers.back(), (Bytes{0x01, 0x82, 0, 0, 0, 0, 0, 0, 0x09, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x8F, 0xDF}));

  const auto build = device.Ask(RequestFrame(1, 0x04));
  ASSERT_TRUE(build);
  EXPECT_EQ(build->Payload, (Bytes{'E', 'M', 'U', ' ', '1', '.', '0', 0}));
  TPanelDeviceOptions long_text;
  long_text.BuildText = std::string(600, 'x');  // cut so that it and its zero fit one frame
  EXPECT_EQ(Device(long_text).Ask(RequestFrame(1, 0x04))->Payload.size(), 512u);

  const auto check = device.Ask(RequestFrame(1, 0x30, {}, {'a', 'b', 'c'}));
  ASSERT_TRUE(check);
  EXPECT_EQ(check->Command, 0xB0);
  EXPECT_EQ(check->Param, (Bytes{0x49, 0x57, 0, 0, 0}));

  std::vector<TMemoryArea> written;
  device.emulator.OnMemoryWritten = [&](TPanelDeviceEmulator&, TMemoryArea area) { written.push_back(area); };
  const Bytes block = Pattern(256, 3);
  const auto write = device.Ask(WriteRequest(1, 0x100100, block));
  ASSERT_TRUE(write);
  EXPECT_EQ(write->Command, 0x90);
  EXPECT_EQ(write->MemoryAddress(), 0x100100u);
  EXPECT_EQ(written, std::vector<TMemoryArea>{TMemoryArea::Display});
  const auto read = device.Ask(ReadRequest(1, 0x1000FF, 258));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Command, 0x83);
  EXPECT_EQ(read->MemoryAddress(), 0x1000FFu);
  Bytes around = {0xFF};
  around.insert(around.end(), block.begin(), block.end());
  around.push_back(0xFF);
  EXPECT_EQ(read->Payload, around);
}

TEST(PanelDevice, LayoutsSizeTheAreasAndTheInformationRecordNamesThem) {
  struct Case {
    int model;
    bool small;
    uint8_t flag;
    size_t block, display, directory;
  };
  for (const Case c : {Case{10, false, 1, 256, 225024, 4096}, Case{11, false, 1, 256, 196352, 16384},
                       Case{10, true, 0, 128, 49024, 4096}}) {
    Device device(Layout(c.model, c.small, 2));
    const auto info = device.Ask(RequestFrame(2, 0x02));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->Payload, (Bytes{uint8_t(c.model), 0, 0, 0, 0, 0, 0, 0, c.flag}));
    Bytes config(c.block, 0xFF);
    config[81] = 2;  // fresh memory is erased, apart from the device's address
    EXPECT_EQ(device.emulator.Config(), config);
    EXPECT_EQ(device.emulator.Display(), Bytes(c.display, 0xFF));
    EXPECT_EQ(device.emulator.Directory(), Bytes(c.directory, 0xFF));
    // The last block of each area is served, one byte further is not.
    const uint32_t display_end = 0x100000 + uint32_t(c.display);
    EXPECT_TRUE(device.Ask(WriteRequest(2, display_end - uint32_t(c.block), Bytes(c.block, 1))));
    EXPECT_FALSE(device.Ask(WriteRequest(2, display_end - uint32_t(c.block) + 1, Bytes(c.block, 1))));
    EXPECT_TRUE(device.Ask(ReadRequest(2, 0x200000 + uint32_t(c.directory) - 512, 512)));
    EXPECT_FALSE(device.Ask(ReadRequest(2, uint32_t(c.block), 1)));
  }
}

TEST(PanelDevice, RefusesWholeWhatFallsOutsideAnAreaOrCannotFitAnAnswer) {
  Device device;
  const uint32_t display_end = 0x100000 + 225024;
  for (const Bytes& request : {WriteRequest(1, display_end - 255, Pattern(256, 1)), WriteRequest(1, display_end, {1}),
                               WriteRequest(1, 0x000100, {1}), WriteRequest(1, 0x300000, {1}),
                               WriteRequest(1, 0xFFFFFF, Pattern(512, 1)), ReadRequest(1, 0x200FFF, 2),
                               ReadRequest(1, 0x0FFFFF, 1), ReadRequest(1, 0x100000, 513),
                               ReadRequest(1, 0x100000, 0xFFFF)}) {
    EXPECT_FALSE(device.Ask(request));
    EXPECT_EQ(device.outcomes.back(), TRequestOutcome::Refused);
  }
  for (uint8_t command : {0x00, 0x05, 0x11, 0x31, 0x7F}) {
    EXPECT_FALSE(device.Ask(RequestFrame(1, command)));
    EXPECT_EQ(device.outcomes.back(), TRequestOutcome::UnknownCommand);
  }
  EXPECT_EQ(device.emulator.Display(), Bytes(225024, 0xFF));  // nothing clipped in
  EXPECT_TRUE(device.Ask(ReadRequest(1, 0x100000, 512)));
}

TEST(PanelDevice, ReceiverFindsRequestsHoweverTheBytesArrive) {
  Device device;
  Bytes three = RequestFrame(1, 0x02);
  for (const Bytes& more : {RequestFrame(1, 0x01, {7}), WriteRequest(1, 0x200000, Pattern(32, 1))})
    three.insert(three.end(), more.begin(), more.end());
  for (uint8_t byte : three) device.emulator.ReceiveByte(byte);
  device.Send(three);
  ASSERT_EQ(device.answers.size(), 6u);
  EXPECT_EQ(device.answers[4][1], 0x81);

  // A frame for another device is skipped whole, even a ping hidden in its payload.
  EXPECT_FALSE(device.Ask(WriteRequest(2, 0x100000, RequestFrame(1, 0x01))));
  EXPECT_EQ(device.outcomes.back(), TRequestOutcome::OtherAddress);

  // High bytes and answers of other devices never delay a request.
  Bytes chatter = {0xFF, 0x80, 0x05, 0x85, 0x01, 0x82};
  const Bytes ping = RequestFrame(1, 0x01, {0x42});
  chatter.insert(chatter.end(), ping.begin(), ping.end());
  EXPECT_TRUE(device.Ask(chatter));
}

TEST(PanelDevice, ReceiverRecoversFromBrokenFramesWhenTheLineGoesQuiet) {
  Bytes corrupt = RequestFrame(1, 0x01, {1});
  corrupt[3] ^= 0x10;
  const std::vector<Bytes> noise = {corrupt,
                                    {0x01, 0x10, 0, 0, 0, 0, 0, 0x02, 0x01},      // length 513
                                    {0x01, 0x10, 0, 0, 0, 0, 0, 0x01, 0xF4},      // 500 bytes that never come
                                    {0x02, 0x81, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34}};
  for (const Bytes& junk : noise) {
    Device device;
    Bytes stream = junk;
    const Bytes ping = RequestFrame(1, 0x01, {0x42});
    stream.insert(stream.end(), ping.begin(), ping.end());
    device.Send(stream);
    // Without frame markers, noise may promise a length that swallows the
    // request behind it; the quiet after the request gives it back.
    device.emulator.LineIdle();
    EXPECT_FALSE(device.emulator.HasUnfinishedInput());
    ASSERT_EQ(device.answers.size(), 1u);
    EXPECT_EQ(device.answers[0][2], 0x42);
    EXPECT_TRUE(device.Ask(RequestFrame(1, 0x02)));
  }
  Device device;
  device.Send(Bytes{0x01, 0x02, 0, 0});
  device.emulator.ResetReceiver();  // a new connection forgets the half frame
  EXPECT_FALSE(device.emulator.HasUnfinishedInput());
}

TEST(PanelDevice, BytesFedFromInsideAnAnswerHandlerAreServedAfterTheCurrentInput) {
  TPanelDeviceEmulator device{TPanelDeviceOptions{}};
  std::vector<uint8_t> order;
  const Bytes second = RequestFrame(1, 0x01, {2});
  device.OnAnswer = [&](TPanelDeviceEmulator& self, const uint8_t* bytes, size_t) {
    order.push_back(bytes[2]);
    if (order.size() == 1) self.ReceiveBytes(second.data(), second.size());
  };
  Bytes input = RequestFrame(1, 0x01, {1});
  const Bytes third = RequestFrame(1, 0x01, {3});
  input.insert(input.end(), third.begin(), third.end());
  device.ReceiveBytes(input.data(), input.size());
  EXPECT_EQ(order, (std::vector<uint8_t>{1, 3, 2}));
}

TEST(PanelDeviceFaults, SilenceAndDroppedAnswers) {
  TPanelDeviceOptions options;
  options.SilentAfter = 2;
  Device silent(options);
  EXPECT_TRUE(silent.Ask(RequestFrame(1, 0x01)));
  EXPECT_TRUE(silent.Ask(RequestFrame(1, 0x02)));
  EXPECT_FALSE(silent.Ask(WriteRequest(1, 0x100000, {1, 2})));
  EXPECT_EQ(silent.outcomes.back(), TRequestOutcome::Silent);
  EXPECT_EQ(silent.emulator.Display()[0], 0xFF);  // a hung device stores nothing

  options = {};
  options.DropPercent = 100;
  Device dropping(options);
  EXPECT_FALSE(dropping.Ask(WriteRequest(1, 0x200000, {9, 8, 7})));
  EXPECT_EQ(dropping.outcomes.back(), TRequestOutcome::AnswerDropped);
  EXPECT_EQ(dropping.emulator.Directory()[1], 8);  // carried out all the same
}

TEST(PanelDeviceFaults, ACorruptedAnswerDiffersInOneInvertedByte) {
  TPanelDeviceOptions options;
  options.CorruptPercent = 100;
  Device corrupting(options), clean;
  for (uint16_t i = 0; i < 40; ++i) {
    const Bytes request = i % 2 ? RequestFrame(1, 0x02) : ReadRequest(1, 0x100000, i);
    corrupting.Send(request);
    clean.Send(request);
    const Bytes& bad = corrupting.answers.back();
    const Bytes& good = clean.answers.back();
    ASSERT_EQ(bad.size(), good.size());
    int differing = 0;
    for (size_t b = 0; b < bad.size(); ++b) differing += bad[b] == good[b] ? 0 : (bad[b] == uint8_t(~good[b]) ? 1 : 100);
    EXPECT_EQ(differing, 1);
    EXPECT_FALSE(ParseAnswer(bad));
  }
}

// 'A' answered, 'D' dropped, 'C' corrupted, one per request.
std::string FaultPattern(uint32_t seed, int drop, int corrupt) {
  TPanelDeviceOptions options;
  options.Seed = seed;
  options.DropPercent = drop;
  options.CorruptPercent = corrupt;
  Device device(options);
  for (int i = 0; i < 400; ++i) device.Send(RequestFrame(1, 0x01, {uint8_t(i)}));
  std::string pattern;
  for (TRequestOutcome outcome : device.outcomes)
    pattern += outcome == TRequestOutcome::Answered ? 'A' : outcome == TRequestOutcome::AnswerDropped ? 'D' : 'C';
  return pattern;
}

TEST(PanelDeviceFaults, PercentagesFollowTheSeedRepeatably) {
  const std::string pattern = FaultPattern(7, 30, 20);
  EXPECT_EQ(pattern, FaultPattern(7, 30, 20));
  EXPECT_NE(pattern, FaultPattern(8, 30, 20));
  EXPECT_EQ(FaultPattern(7, 0, 0), std::string(400, 'A'));
  // 30 % of 400 dropped, 20 % of the other 280 corrupted, within generous bounds.
  EXPECT_NEAR(std::count(pattern.begin(), pattern.end(), 'D'), 120, 40);
  EXPECT_NEAR(std::count(pattern.begin(), pattern.end(), 'C'), 56, 30);
}

}  // namespace
}  // namespace quinterra::test
