// The emulated panel device in process: commands, memory areas, receiver
// resynchronisation and injected faults.

#include "emulator/panel_device.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/emulator/request_bytes.h"

namespace quinterra {
namespace {

using test::Answer;
using test::Bytes;
using test::ParseAnswer;
using test::Pattern;
using test::ReadRequest;
using test::RequestFrame;
using test::WriteRequest;

class Device {
 public:
  explicit Device(TPanelDeviceOptions options = {}) : emulator(options) {
    emulator.OnAnswer = [this](TPanelDeviceEmulator&, const uint8_t* bytes, size_t count) {
      answers.emplace_back(bytes, bytes + count);
    };
    emulator.OnRequest = [this](TPanelDeviceEmulator&, const TDeviceRequest&, TRequestOutcome outcome) {
      outcomes.push_back(outcome);
    };
  }

  void Send(const Bytes& bytes) { emulator.ReceiveBytes(bytes.data(), bytes.size()); }

  // Sends one request and returns its single answer, if any.
  std::optional<Answer> Ask(const Bytes& request) {
    answers.clear();
    Send(request);
    if (answers.size() != 1) return std::nullopt;
    return ParseAnswer(answers[0]);
  }

  TPanelDeviceEmulator emulator;
  std::vector<Bytes> answers;
  std::vector<TRequestOutcome> outcomes;
};

TPanelDeviceOptions Options(int model, bool small, uint8_t address = 1) {
  TPanelDeviceOptions options;
  options.Model = model;
  options.SmallBlocks = small;
  options.Address = address;
  return options;
}

// --- Commands -------------------------------------------------------------

TEST(PanelDeviceCommands, PingEchoesAllFiveParameters) {
  Device device;
  // The ping of a search and the keep-alive ping, as the master puts them on the wire.
  device.Send({0x01, 0x01, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x39, 0xAC});
  device.Send({0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x69, 0x00, 0x00, 0x16, 0xB0});
  ASSERT_EQ(device.answers.size(), 2u);
  const auto search = ParseAnswer(device.answers[0]);
  const auto keep_alive = ParseAnswer(device.answers[1]);
  ASSERT_TRUE(search && keep_alive);
  EXPECT_EQ(search->Command, 0x81);
  EXPECT_EQ(search->Address, 0x01);
  EXPECT_EQ(search->Param[0], 0x0F);
  EXPECT_EQ(keep_alive->Param[4], 0x69);
  EXPECT_TRUE(search->Payload.empty());

  const auto any = device.Ask(RequestFrame(1, 0x01, {1, 2, 3, 4, 5}));
  ASSERT_TRUE(any);
  EXPECT_EQ(Bytes(any->Param, any->Param + 5), (Bytes{1, 2, 3, 4, 5}));
}

TEST(PanelDeviceCommands, InformationAnswerMatchesTheDocumentedBytes) {
  Device device;
  device.Send({0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x86, 0xB9});
  ASSERT_EQ(device.answers.size(), 1u);
  EXPECT_EQ(device.answers[0], (Bytes{0x01, 0x82, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x0A, 0x00,
                                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x8F, 0xDF}));
}

TEST(PanelDeviceCommands, InformationRecordNamesModelAndBlockSize) {
  struct Case {
    int model;
    bool small;
    uint8_t flag;
  };
  for (const Case c : {Case{10, false, 1}, Case{11, false, 1}, Case{10, true, 0}}) {
    Device device(Options(c.model, c.small, 2));
    const auto info = device.Ask(RequestFrame(2, 0x02));
    ASSERT_TRUE(info) << c.model;
    ASSERT_GE(info->Payload.size(), 9u);
    EXPECT_EQ(info->Address, 2);
    EXPECT_EQ(info->Payload[0], c.model);
    EXPECT_EQ(info->Payload[8], c.flag);
  }
}

TEST(PanelDeviceCommands, BuildTextEndsWithAZeroByteAndIsCutToOneFrame) {
  TPanelDeviceOptions options;
  options.BuildText = "V1 2024";
  Device device(options);
  const auto build = device.Ask(RequestFrame(1, 0x04));
  ASSERT_TRUE(build);
  EXPECT_EQ(build->Command, 0x84);
  EXPECT_EQ(build->Payload, (Bytes{'V', '1', ' ', '2', '0', '2', '4', 0}));

  options.BuildText = std::string(600, 'x');
  Device long_text(options);
  const auto cut = long_text.Ask(RequestFrame(1, 0x04));
  ASSERT_TRUE(cut);
  ASSERT_EQ(cut->Payload.size(), 512u);
  EXPECT_EQ(cut->Payload.back(), 0);
}

TEST(PanelDeviceCommands, CheckReturnsTheCheckValueOfThePayloadHighByteFirst) {
  Device device;
  const auto abc = device.Ask(RequestFrame(1, 0x30, {}, {'a', 'b', 'c'}));
  ASSERT_TRUE(abc);
  EXPECT_EQ(abc->Command, 0xB0);
  EXPECT_EQ(abc->Param[0], 0x49);
  EXPECT_EQ(abc->Param[1], 0x57);

  const auto digits = device.Ask(RequestFrame(1, 0x30, {}, {'1', '2', '3', '4', '5', '6', '7', '8', '9'}));
  ASSERT_TRUE(digits);
  EXPECT_EQ(digits->Param[0], 0x37);
  EXPECT_EQ(digits->Param[1], 0x4B);

  const auto empty = device.Ask(RequestFrame(1, 0x30));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Param[0], 0xFF);
  EXPECT_EQ(empty->Param[1], 0xFF);
}

TEST(PanelDeviceCommands, WriteStoresThePayloadAndReadReturnsIt) {
  Device device;
  std::vector<TMemoryArea> written;
  device.emulator.OnMemoryWritten = [&](TPanelDeviceEmulator&, TMemoryArea area) { written.push_back(area); };
  const Bytes block = Pattern(256, 3);
  const auto write = device.Ask(WriteRequest(1, 0x100100, block));
  ASSERT_TRUE(write);
  EXPECT_EQ(write->Command, 0x90);
  EXPECT_EQ(write->MemoryAddress(), 0x100100u);
  EXPECT_TRUE(write->Payload.empty());
  EXPECT_EQ(written, std::vector<TMemoryArea>{TMemoryArea::Display});
  EXPECT_EQ(Bytes(device.emulator.Display().begin() + 256, device.emulator.Display().begin() + 512), block);
  EXPECT_EQ(device.emulator.Display()[255], 0xFF);
  EXPECT_EQ(device.emulator.Display()[512], 0xFF);

  const auto read = device.Ask(ReadRequest(1, 0x100100, 256));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Command, 0x83);
  EXPECT_EQ(read->MemoryAddress(), 0x100100u);
  EXPECT_EQ(read->Payload, block);

  // An unaligned span inside the directory.
  ASSERT_TRUE(device.Ask(WriteRequest(1, 0x200005, {1, 2, 3})));
  const auto part = device.Ask(ReadRequest(1, 0x200004, 5));
  ASSERT_TRUE(part);
  EXPECT_EQ(part->Payload, (Bytes{0xFF, 1, 2, 3, 0xFF}));
}

// --- Memory areas ----------------------------------------------------------

TEST(PanelDeviceAreas, LayoutsGiveTheDocumentedAreaSizes) {
  struct Case {
    int model;
    bool small;
    size_t block, config, display, directory;
  };
  for (const Case c : {Case{10, false, 256, 256, 225024, 4096}, Case{11, false, 256, 256, 196352, 16384},
                       Case{10, true, 128, 128, 49024, 4096}}) {
    Device device(Options(c.model, c.small, 2));
    EXPECT_EQ(device.emulator.Layout().BlockSize, c.block);
    EXPECT_EQ(device.emulator.Config().size(), c.config);
    EXPECT_EQ(device.emulator.Display().size(), c.display);
    EXPECT_EQ(device.emulator.Directory().size(), c.directory);
    // Fresh memory is erased, apart from the address in configuration byte 81.
    for (size_t i = 0; i < c.config; ++i) {
      EXPECT_EQ(device.emulator.Config()[i], i == 81 ? 2 : 0xFF) << i;
    }
    EXPECT_EQ(std::count(device.emulator.Display().begin(), device.emulator.Display().end(), 0xFF),
              static_cast<long>(c.display));
  }
}

TEST(PanelDeviceAreas, SpansThatEndExactlyAtAnAreaEndAreServed) {
  Device device;  // model 10, 256-byte blocks
  const uint32_t display_end = 0x100000 + 225024;
  ASSERT_TRUE(device.Ask(WriteRequest(1, display_end - 256, Pattern(256, 9))));
  EXPECT_EQ(device.emulator.Display().back(), Pattern(256, 9).back());
  ASSERT_TRUE(device.Ask(ReadRequest(1, 0x200000 + 4096 - 512, 512)));
  const auto config = device.Ask(ReadRequest(1, 0, 256));
  ASSERT_TRUE(config);
  EXPECT_EQ(config->Payload[81], 1);
}

TEST(PanelDeviceAreas, RequestsOutsideOrAcrossAnAreaEndAreRefusedWhole) {
  Device device;
  const Bytes before = device.emulator.Display();
  const uint32_t display_end = 0x100000 + 225024;
  const std::vector<Bytes> refused = {
      WriteRequest(1, display_end - 255, Pattern(256, 1)),  // one byte past the end
      WriteRequest(1, display_end, {1}),                    // starts at the end
      WriteRequest(1, 0x000100, {1}),                       // past the configuration block
      WriteRequest(1, 0x300000, {1}),                       // no area there
      WriteRequest(1, 0xFFFFFF, Pattern(512, 1)),
      ReadRequest(1, 0x200000 + 4096 - 1, 2),
      ReadRequest(1, 0x0FFFFF, 1),
      ReadRequest(1, 0x100000, 513),  // more than one answer can carry
      ReadRequest(1, 0x100000, 0xFFFF),
  };
  for (const Bytes& request : refused) {
    device.answers.clear();
    device.outcomes.clear();
    device.Send(request);
    EXPECT_TRUE(device.answers.empty());
    ASSERT_EQ(device.outcomes.size(), 1u);
    EXPECT_EQ(device.outcomes[0], TRequestOutcome::Refused);
  }
  EXPECT_EQ(device.emulator.Display(), before);
  EXPECT_EQ(device.emulator.Config()[81], 1);
  // Still serving afterwards.
  EXPECT_TRUE(device.Ask(ReadRequest(1, 0x100000, 512)));
}

TEST(PanelDeviceAreas, SmallBlockLayoutEndsItsDisplayEarlier) {
  Device device(Options(10, true));
  EXPECT_TRUE(device.Ask(WriteRequest(1, 0x100000 + 49024 - 128, Pattern(128, 5))));
  EXPECT_FALSE(device.Ask(WriteRequest(1, 0x100000 + 49024 - 127, Pattern(128, 5))));
  EXPECT_FALSE(device.Ask(ReadRequest(1, 0x80, 1)));  // configuration is one 128-byte block
}

// --- Receiver --------------------------------------------------------------

TEST(PanelDeviceReceiver, RequestsSplitOrJoinedAreEachAnsweredOnce) {
  Device device;
  Bytes stream = RequestFrame(1, 0x02);
  const Bytes ping = RequestFrame(1, 0x01, {7});
  stream.insert(stream.end(), ping.begin(), ping.end());
  const Bytes write = WriteRequest(1, 0x200000, Pattern(32, 1));
  stream.insert(stream.end(), write.begin(), write.end());
  for (uint8_t byte : stream) device.emulator.ReceiveByte(byte);
  ASSERT_EQ(device.answers.size(), 3u);
  EXPECT_EQ(device.answers[0][1], 0x82);
  EXPECT_EQ(device.answers[1][1], 0x81);
  EXPECT_EQ(device.answers[2][1], 0x90);

  device.answers.clear();
  device.Send(stream);
  EXPECT_EQ(device.answers.size(), 3u);
}

TEST(PanelDeviceReceiver, NoiseAndBrokenFramesAreSkippedAndTheNextRequestFound) {
  Bytes corrupt = RequestFrame(1, 0x01, {1});
  corrupt[3] ^= 0x10;
  const Bytes oversize = {0x01, 0x10, 0, 0, 0, 0, 0, 0x02, 0x01};  // length 513
  const Bytes answer_from_other = {0x02, 0x81, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34};
  const std::vector<Bytes> junk = {{0xFF, 0x80, 0xAA}, corrupt, oversize, answer_from_other, {0x00, 0x7E, 0x05}};
  for (const Bytes& noise : junk) {
    Device device;
    Bytes stream = noise;
    const Bytes ping = RequestFrame(1, 0x01, {0x42});
    stream.insert(stream.end(), ping.begin(), ping.end());
    device.Send(stream);
    // Without frame markers, noise may promise a length that swallows the
    // request behind it; the quiet line after the request gives it back.
    device.emulator.LineIdle();
    ASSERT_EQ(device.answers.size(), 1u) << "after noise of " << noise.size() << " bytes";
    const auto answer = ParseAnswer(device.answers[0]);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Param[0], 0x42);
    EXPECT_GT(device.emulator.DiscardedBytes(), 0u);
    // The next request is heard at once.
    EXPECT_TRUE(device.Ask(RequestFrame(1, 0x02)));
  }
}

TEST(PanelDeviceReceiver, NoiseThatCannotStartAFrameNeverDelaysARequest) {
  Device device;
  // High bytes, and low bytes followed by answer codes (another device talking).
  Bytes stream = {0xFF, 0x80, 0xAA, 0x05, 0x85, 0x01, 0x90, 0x01, 0x82};
  const Bytes ping = RequestFrame(1, 0x01, {0x42});
  stream.insert(stream.end(), ping.begin(), ping.end());
  device.Send(stream);
  EXPECT_EQ(device.answers.size(), 1u);
}

TEST(PanelDeviceReceiver, FramesForOtherDevicesAreSkippedWhole) {
  Device device;
  // A write to device 2 whose payload happens to hold a ping to device 1:
  // the ping is data, not a request.
  const Bytes inner = RequestFrame(1, 0x01, {0x55});
  device.Send(WriteRequest(2, 0x100000, inner));
  EXPECT_TRUE(device.answers.empty());
  ASSERT_EQ(device.outcomes.size(), 1u);
  EXPECT_EQ(device.outcomes[0], TRequestOutcome::OtherAddress);
  EXPECT_EQ(device.emulator.Display()[0], 0xFF);
}

TEST(PanelDeviceReceiver, UnknownCommandsAreIgnored) {
  Device device;
  for (uint8_t command : {0x00, 0x05, 0x11, 0x20, 0x31, 0x7F}) {
    device.outcomes.clear();
    device.Send(RequestFrame(1, command));
    ASSERT_EQ(device.outcomes.size(), 1u);
    EXPECT_EQ(device.outcomes[0], TRequestOutcome::UnknownCommand) << int(command);
  }
  EXPECT_TRUE(device.answers.empty());
}

TEST(PanelDeviceReceiver, AQuietLineGivesUpAFrameThatNeverCompletes) {
  Device device;
  // Noise that looks like the start of a request with a 500-byte payload
  // swallows the real request behind it until the line goes quiet.
  Bytes stream = {0x01, 0x10, 0, 0, 0, 0, 0, 0x01, 0xF4};
  const Bytes ping = RequestFrame(1, 0x01, {0x33});
  stream.insert(stream.end(), ping.begin(), ping.end());
  device.Send(stream);
  EXPECT_TRUE(device.answers.empty());
  EXPECT_TRUE(device.emulator.HasUnfinishedInput());
  device.emulator.LineIdle();
  ASSERT_EQ(device.answers.size(), 1u);
  EXPECT_EQ(device.answers[0][2], 0x33);
  EXPECT_FALSE(device.emulator.HasUnfinishedInput());

  // ResetReceiver forgets a half-heard frame altogether.
  const Bytes info = RequestFrame(1, 0x02);
  device.Send(Bytes(info.begin(), info.begin() + 5));
  EXPECT_TRUE(device.emulator.HasUnfinishedInput());
  device.emulator.ResetReceiver();
  EXPECT_FALSE(device.emulator.HasUnfinishedInput());
  device.Send(info);
  EXPECT_EQ(device.answers.size(), 2u);
}

TEST(PanelDeviceReceiver, BytesFedFromInsideAnAnswerHandlerAreServedInOrder) {
  TPanelDeviceEmulator device{TPanelDeviceOptions{}};
  std::vector<uint8_t> order;
  const Bytes second = RequestFrame(1, 0x01, {2});
  device.OnAnswer = [&](TPanelDeviceEmulator& self, const uint8_t* bytes, size_t) {
    order.push_back(bytes[2]);
    if (order.size() == 1) self.ReceiveBytes(second.data(), second.size());
  };
  Bytes first_and_third = RequestFrame(1, 0x01, {1});
  const Bytes third = RequestFrame(1, 0x01, {3});
  first_and_third.insert(first_and_third.end(), third.begin(), third.end());
  device.ReceiveBytes(first_and_third.data(), first_and_third.size());
  EXPECT_EQ(order, (std::vector<uint8_t>{1, 3, 2}));
}

// --- Faults ----------------------------------------------------------------

TEST(PanelDeviceFaults, SilentAfterNAnswersNeitherAnswersNorActs) {
  TPanelDeviceOptions options;
  options.SilentAfter = 2;
  Device device(options);
  EXPECT_TRUE(device.Ask(RequestFrame(1, 0x01)));
  EXPECT_TRUE(device.Ask(RequestFrame(1, 0x02)));
  EXPECT_FALSE(device.Ask(WriteRequest(1, 0x100000, {1, 2})));
  EXPECT_EQ(device.emulator.Display()[0], 0xFF);
  EXPECT_TRUE(device.emulator.IsSilent());
  EXPECT_EQ(device.emulator.AnsweredFrames(), 2u);
  EXPECT_EQ(device.outcomes.back(), TRequestOutcome::Silent);

  options.SilentAfter = 0;
  Device mute(options);
  EXPECT_FALSE(mute.Ask(RequestFrame(1, 0x02)));
}

TEST(PanelDeviceFaults, DroppedAnswersStillCarryOutTheRequest) {
  TPanelDeviceOptions options;
  options.DropPercent = 100;
  Device device(options);
  EXPECT_FALSE(device.Ask(WriteRequest(1, 0x200000, {9, 8, 7})));
  EXPECT_EQ(device.outcomes.back(), TRequestOutcome::AnswerDropped);
  EXPECT_EQ(device.emulator.Directory()[1], 8);
  EXPECT_EQ(device.emulator.AnsweredFrames(), 1u);
}

TEST(PanelDeviceFaults, CorruptedAnswersDifferFromTheTrueAnswerInOneByte) {
  TPanelDeviceOptions options;
  options.CorruptPercent = 100;
  Device corrupting(options);
  Device clean;
  for (int i = 0; i < 50; ++i) {
    const Bytes request = i % 2 ? RequestFrame(1, 0x02) : ReadRequest(1, 0x100000, uint16_t(i));
    corrupting.answers.clear();
    clean.answers.clear();
    corrupting.Send(request);
    clean.Send(request);
    ASSERT_EQ(corrupting.answers.size(), 1u);
    ASSERT_EQ(clean.answers.size(), 1u);
    const Bytes& bad = corrupting.answers[0];
    const Bytes& good = clean.answers[0];
    ASSERT_EQ(bad.size(), good.size());
    size_t differing = 0;
    for (size_t b = 0; b < bad.size(); ++b) {
      if (bad[b] != good[b]) {
        ++differing;
        EXPECT_EQ(bad[b], uint8_t(~good[b]));
      }
    }
    EXPECT_EQ(differing, 1u);
    EXPECT_FALSE(ParseAnswer(bad)) << "a single inverted byte must break the check value";
  }
}

// The sequence of faults of a run: 'A' answered, 'D' dropped, 'C' corrupted.
std::string FaultPattern(uint32_t seed, int drop, int corrupt, int requests) {
  TPanelDeviceOptions options;
  options.Seed = seed;
  options.DropPercent = drop;
  options.CorruptPercent = corrupt;
  Device device(options);
  for (int i = 0; i < requests; ++i) device.Send(RequestFrame(1, 0x01, {uint8_t(i)}));
  std::string pattern;
  for (TRequestOutcome outcome : device.outcomes) {
    pattern += outcome == TRequestOutcome::Answered ? 'A' : outcome == TRequestOutcome::AnswerDropped ? 'D' : 'C';
  }
  return pattern;
}

TEST(PanelDeviceFaults, PercentagesFollowTheSeedRepeatably) {
  const std::string first = FaultPattern(7, 30, 20, 400);
  EXPECT_EQ(first, FaultPattern(7, 30, 20, 400));
  EXPECT_NE(first, FaultPattern(8, 30, 20, 400));
  const auto dropped = std::count(first.begin(), first.end(), 'D');
  const auto corrupted = std::count(first.begin(), first.end(), 'C');
  // 30 % of 400 and 20 % of the remaining 280, with generous bounds.
  EXPECT_GT(dropped, 80);
  EXPECT_LT(dropped, 160);
  EXPECT_GT(corrupted, 25);
  EXPECT_LT(corrupted, 90);
  EXPECT_EQ(FaultPattern(7, 0, 0, 50), std::string(50, 'A'));
}

// --- Options ---------------------------------------------------------------

TEST(PanelDeviceOptionsCheck, DevicesThatCannotExistAreRefused) {
  auto invalid = [](auto change) {
    TPanelDeviceOptions options;
    change(options);
    return !TPanelDeviceEmulator::ValidateOptions(options).empty();
  };
  EXPECT_TRUE(invalid([](auto& o) { o.Address = 0; }));
  EXPECT_TRUE(invalid([](auto& o) { o.Address = 128; }));
  EXPECT_TRUE(invalid([](auto& o) { o.Model = 12; }));
  EXPECT_TRUE(invalid([](auto& o) { o.Model = 11, o.SmallBlocks = true; }));
  EXPECT_TRUE(invalid([](auto& o) { o.DropPercent = 101; }));
  EXPECT_TRUE(invalid([](auto& o) { o.CorruptPercent = -1; }));
  EXPECT_TRUE(invalid([](auto& o) { o.DelayMs = -5; }));
  EXPECT_FALSE(invalid([](auto& o) { o.Address = 127; }));
  TPanelDeviceOptions bad;
  bad.Model = 9;
  EXPECT_THROW(TPanelDeviceEmulator{bad}, std::invalid_argument);
}

}  // namespace
}  // namespace quinterra
