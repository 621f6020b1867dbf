// The check sum, frame encoding and the answer recogniser.

#include <gtest/gtest.h>

#include <random>

#include "bus/bus_frame.h"
#include "bus_test_support.h"

namespace quinterra::testing {
namespace {

Bytes Encoded(uint8_t address, uint8_t command, std::array<uint8_t, 5> param, const Bytes& payload = {}) {
  TBusFrame frame;
  frame.Address = address;
  frame.Command = command;
  std::copy(param.begin(), param.end(), frame.Param);
  frame.SetPayload(payload.size(), payload.data());
  frame.Encode();
  EXPECT_EQ(frame.EncodedLength, payload.size() + 11);
  return frame.Encoded;
}

// Feeds bytes; returns the offsets of the bytes that completed a frame.
std::vector<size_t> FeedAll(TBusFrame& frame, const Bytes& bytes) {
  std::vector<size_t> ends;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (frame.ReceiveByte(bytes[i])) ends.push_back(i);
  }
  return ends;
}

const Bytes kInfoAnswer = {0x01, 0x82, 0, 0, 0, 0, 0, 0x00, 0x09, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x8F, 0xDF};

TEST(BusCheckSum, CheckValueOfTheNineDigitsGoesOnTheWireAs374B) {
  const Bytes digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc16(digits.data(), digits.size()), 0x374B);
  EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
}

TEST(BusFrameEncode, WorkedFramesByteForByte) {
  EXPECT_EQ(Encoded(1, 0x02, {0, 0, 0, 0, 0}), (Bytes{1, 2, 0, 0, 0, 0, 0, 0, 0, 0x86, 0xB9}));
  EXPECT_EQ(Encoded(1, 0x01, {0x0F, 0, 0, 0, 0}), (Bytes{1, 1, 0x0F, 0, 0, 0, 0, 0, 0, 0x39, 0xAC}));
  EXPECT_EQ(Encoded(1, 0x01, {0, 0, 0, 0, 0x69}), (Bytes{1, 1, 0, 0, 0, 0, 0x69, 0, 0, 0x16, 0xB0}));
  EXPECT_EQ(Encoded(1, 0x82, {0, 0, 0, 0, 0}, {0x0A, 0, 0, 0, 0, 0, 0, 0, 1}), kInfoAnswer);
  EXPECT_EQ(WireFrame(1, 0x82, {0, 0, 0, 0, 0}, {0x0A, 0, 0, 0, 0, 0, 0, 0, 1}), kInfoAnswer);
}

TEST(BusFramePayload, OversizedPayloadsChangeNothing) {
  TBusFrame frame;
  const Bytes big(513, 7), three = {1, 2, 3};
  frame.SetPayload(3, three.data());
  frame.ResizePayload(5);
  EXPECT_EQ(frame.Payload, (Bytes{1, 2, 3, 0, 0}));
  frame.ResizePayload(2);
  frame.ResizePayload(513);
  frame.SetPayload(513, big.data());
  EXPECT_EQ(frame.Payload, (Bytes{1, 2}));
  EXPECT_EQ(frame.PayloadLength, 2);
  frame.SetPayload(512, big.data());
  frame.Encode();
  EXPECT_EQ(frame.EncodedLength, 523);
}

TEST(BusRecogniser, DeliversTheWorkedAnswerOnItsLastByteOnly) {
  TBusFrame frame;
  EXPECT_EQ(FeedAll(frame, kInfoAnswer), std::vector<size_t>{kInfoAnswer.size() - 1});
  EXPECT_EQ(frame.Address, 1);
  EXPECT_EQ(frame.Command, 0x82);
  EXPECT_EQ(frame.CommandCode(), 0x02);
  EXPECT_EQ(frame.Payload, (Bytes{0x0A, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(BusRecogniser, FramingEdgeCases) {
  const Bytes empty = WireFrame(2, 0x81, {1, 2, 3, 4, 5});
  Bytes stream;
  stream.insert(stream.end(), {0x80, 0xFF, 0x90, 0xB0});      // high bytes while idle
  stream.insert(stream.end(), {0x00, 0x05, 0x7E, 0x33});      // restarts
  stream.insert(stream.end(), empty.begin(), empty.end());
  stream.insert(stream.end(), kInfoAnswer.begin(), kInfoAnswer.end());  // back to back
  TBusFrame frame;
  EXPECT_EQ(FeedAll(frame, stream), (std::vector<size_t>{8 + 10, 8 + 11 + 19}));
  EXPECT_EQ(frame.Address, 1);

  // An empty payload delivers no payload, replacing the previous one.
  frame.Clear();
  FeedAll(frame, kInfoAnswer);
  EXPECT_EQ(FeedAll(frame, empty).size(), 1u);
  EXPECT_EQ(frame.PayloadLength, 0);
  EXPECT_TRUE(frame.Payload.empty());
  EXPECT_EQ(frame.Param[4], 5);

  // 0x7F is an address when idle but drops a frame begun by another address.
  TBusFrame seven;
  EXPECT_EQ(FeedAll(seven, WireFrame(0x7F, 0x81, {})).size(), 1u);
  Bytes after_address = {0x05};
  const Bytes lost = WireFrame(0x7F, 0x81, {});
  after_address.insert(after_address.end(), lost.begin(), lost.end());
  EXPECT_TRUE(FeedAll(seven, after_address).empty());
}

TEST(BusRecogniser, OversizedLengthDropsAtTheSecondLengthByteAndScansOn) {
  TBusFrame frame;
  Bytes stream = {0x01, 0x83, 0, 0, 0, 0, 0, 0x02, 0x01};  // length 513
  EXPECT_TRUE(FeedAll(frame, stream).empty());
  EXPECT_EQ(frame.ReceiveState, 0u);
  stream.insert(stream.end(), kInfoAnswer.begin(), kInfoAnswer.end());
  TBusFrame fresh;
  EXPECT_EQ(FeedAll(fresh, stream).size(), 1u);
  EXPECT_EQ(fresh.PayloadLength, 9);

  const Bytes largest = WireFrame(3, 0x83, {}, Bytes(512, 0xEE));
  EXPECT_EQ(FeedAll(fresh, largest).size(), 1u);
  EXPECT_EQ(fresh.Payload, Bytes(512, 0xEE));
}

TEST(BusRecogniser, EverySingleCorruptedByteIsRejected) {
  for (size_t at = 0; at < kInfoAnswer.size(); ++at) {
    for (int mask = 1; mask < 256; ++mask) {
      Bytes bad = kInfoAnswer;
      bad[at] ^= static_cast<uint8_t>(mask);
      TBusFrame frame;
      ASSERT_TRUE(FeedAll(frame, bad).empty()) << "byte " << at << " mask " << mask;
    }
  }
}

TEST(BusRecogniser, EchoedRequestsAreNeverTakenForAnswers) {
  for (int command = 0; command < 0x7F; ++command) {
    for (const Bytes& payload : {Bytes{}, Bytes{'a', 'b', 'c'}, Bytes(300, 0x82)}) {
      TBusFrame frame;
      ASSERT_TRUE(FeedAll(frame, Encoded(1, static_cast<uint8_t>(command), {0x0F, 0, 0, 0, 0x69}, payload))
                      .empty())
          << command;
    }
  }
  // The echo of a ping ends in a state from which the answer is found.
  TBusFrame frame;
  Bytes stream = Encoded(1, 0x01, {0x0F, 0, 0, 0, 0});
  const Bytes pong = WireFrame(1, 0x81, {0x0F, 0, 0, 0, 0});
  stream.insert(stream.end(), pong.begin(), pong.end());
  EXPECT_EQ(FeedAll(frame, stream), std::vector<size_t>{stream.size() - 1});
}

TEST(BusRecogniser, TwoRecognisersDoNotDisturbEachOther) {
  TBusFrame a, b;
  const Bytes other = WireFrame(2, 0x84, {}, {'V', '1'});
  std::vector<size_t> ends_a, ends_b;
  for (size_t i = 0; i < kInfoAnswer.size(); ++i) {
    if (a.ReceiveByte(kInfoAnswer[i])) ends_a.push_back(i);
    if (i < other.size() && b.ReceiveByte(other[i])) ends_b.push_back(i);
  }
  EXPECT_EQ(ends_a.size(), 1u);
  EXPECT_EQ(ends_b.size(), 1u);
  EXPECT_EQ(a.Payload.size(), 9u);
  EXPECT_EQ(b.Payload, (Bytes{'V', '1'}));
}

const uint8_t kAnswerCodes[] = {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x90, 0x91, 0x92, 0xA0, 0xB0};

struct RandomAnswer {
  Bytes Wire;
  uint8_t Address, Command;
  std::array<uint8_t, 5> Param;
  Bytes Payload;
};

RandomAnswer MakeAnswer(std::mt19937& rng) {
  auto byte = [&] { return static_cast<uint8_t>(rng() & 0xFF); };
  RandomAnswer a;
  a.Address = static_cast<uint8_t>(rng() % 0x7F);  // 0x7F after noise is covered above
  a.Command = kAnswerCodes[rng() % sizeof kAnswerCodes];
  for (auto& p : a.Param) p = byte();
  a.Payload.resize(rng() % 4 == 0 ? rng() % 513 : rng() % 16);
  for (auto& p : a.Payload) p = byte();
  a.Wire = Encoded(a.Address, a.Command, a.Param, a.Payload);
  return a;
}

// Every delivery must be a well-checked frame lying in the stream; the true
// answer must be among them, whole, at its own last byte.
void ExpectDelivered(const Bytes& stream, size_t answer_end, const RandomAnswer& answer,
                     bool only_answer) {
  TBusFrame frame;
  bool found = false;
  for (size_t i = 0; i < stream.size(); ++i) {
    if (!frame.ReceiveByte(stream[i])) continue;
    const size_t length = frame.PayloadLength + 11u;
    ASSERT_LE(frame.PayloadLength, 512);
    ASSERT_EQ(frame.Payload.size(), frame.PayloadLength);
    ASSERT_GE(i + 1, length);
    const Bytes seen(stream.begin() + (i + 1 - length), stream.begin() + i + 1);
    ASSERT_EQ(Encoded(frame.Address, frame.Command,
                      {frame.Param[0], frame.Param[1], frame.Param[2], frame.Param[3], frame.Param[4]},
                      frame.Payload),
              seen);
    if (i == answer_end) {
      found = true;
      EXPECT_EQ(seen, answer.Wire);
    } else {
      EXPECT_FALSE(only_answer) << "unexpected frame ending at " << i;
    }
  }
  EXPECT_TRUE(found);
}

TEST(BusRecogniser, AnswerInRandomNoiseIsDeliveredIntact) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    const RandomAnswer answer = MakeAnswer(rng);
    // Even rounds: noise that never holds an address followed by an answer
    // code, so no frame can begin in it. Odd rounds: any noise, then a run
    // of 0xFF long enough to end whatever frame the noise began.
    const bool harmless = round % 2 == 0;
    Bytes stream;
    auto add_noise = [&] {
      for (size_t n = rng() % 64; n > 0; --n) {
        uint8_t b = static_cast<uint8_t>(rng());
        if (harmless && !stream.empty() && stream.back() < 0x80 && TBusFrame::IsAnswerCode(b)) b = 0xFF;
        stream.push_back(b);
      }
    };
    add_noise();
    if (!harmless) stream.insert(stream.end(), 530, 0xFF);
    stream.insert(stream.end(), answer.Wire.begin(), answer.Wire.end());
    const size_t answer_end = stream.size() - 1;
    add_noise();
    ExpectDelivered(stream, answer_end, answer, harmless);
    if (::testing::Test::HasFailure()) FAIL() << "round " << round;
  }
}

}  // namespace
}  // namespace quinterra::testing
