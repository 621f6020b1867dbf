// Arbitrary bytes into the answer recogniser and into the bus engine.
//
// The first input byte picks what the engine has just asked for and whether
// the rest is a raw byte stream or is cut into answers that get valid check
// bytes, so that answers of every kind reach their handlers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "bus/bus_engine.h"
#include "bus/bus_frame.h"
#include "platform/simulated_clock.h"

using namespace std::chrono_literals;

namespace {

using quinterra::SimulatedClock;
using quinterra::TBusFrame;
using quinterra::TComVornBus;

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckPayload(const TBusFrame& frame) {
  Require(frame.PayloadLength <= TBusFrame::kMaxPayload);
  Require(frame.Payload.size() == frame.PayloadLength);
}

void CheckDelivered(const TBusFrame& frame) {
  CheckPayload(frame);
  Require(frame.Address < 0x80);
  Require(TBusFrame::IsAnswerCode(frame.Command));
  Require(frame.ReceiveState == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  ++data;
  --size;

  TBusFrame frame;
  for (size_t i = 0; i < size; ++i) {
    if (frame.ReceiveByte(data[i])) CheckDelivered(frame);
    Require(frame.ReceiveState <= 11);
  }

  SimulatedClock clock;
  TComVornBus bus(clock);
  bus.OnSend = [](TComVornBus*, const uint8_t* bytes, int, int count) {
    Require(bytes != nullptr && count >= 11 && count <= 523);
  };
  // What the engine guarantees of its progress: a transfer starts at 0, and
  // each answer it takes in moves DoneBytes on by one block at most. Read
  // answers that keep coming after the transfer ended still count, so
  // DoneBytes may pass PlannedBytes; only the steps are bounded.
  uint32_t last_done = 0;
  size_t answers_taken = 0;
  size_t steps = 0;
  bus.OnProgress = [&](TComVornBus* b, uint32_t planned, uint32_t done) {
    Require(planned == 0 || planned % b->BlockSize() == 0);
    if (done != 0) {
      Require(done == last_done || done == last_done + b->BlockSize());
      ++steps;
    }
    last_done = done;
  };
  // A device with the layout of the choice, then the request of the choice.
  const uint8_t model = (choice & 1) ? 11 : 10;
  const uint8_t flag = (choice & 2) ? 1 : 0;
  const uint8_t record[9] = {model, 0, 0, 0, 0, 0, 0, 0, flag};
  TBusFrame answer;
  answer.Address = 1;
  answer.Command = 0x82;
  answer.SetPayload(sizeof record, record);
  answer.Encode();
  bus.SetTarget((choice & 4) ? 1 : 0);
  if (choice & 8) bus.Connect();
  bus.RequestInfo();
  for (uint16_t i = 0; i < answer.EncodedLength; ++i) bus.ReceiveByte(answer.Encoded[i]);
  static const uint8_t kCheck[3] = {'a', 'b', 'c'};
  static const uint8_t kImage[600] = {};
  switch ((choice >> 4) % 7) {
    case 0: bus.Ping(); break;
    case 1: bus.RequestInfo(); break;
    case 2: bus.RequestBuild(); break;
    case 3: bus.CheckLink(kCheck, 3); break;
    case 4: bus.ReadConfig(); break;
    case 5: bus.WriteDirectory(0, kImage, 32); break;
    default: bus.WriteDisplay(0, kImage, 600); break;
  }
  auto feed = [&](uint8_t b) {
    // The answer's handler may have sent the next request, which clears the
    // engine's recogniser: only the payload bounds hold here.
    if (bus.ReceiveByte(b)) {
      ++answers_taken;
      CheckPayload(bus.ReceiveFrame());
    }
    if (b == 0xFE) clock.Advance(2500ms);  // let the timers run now and then
  };
  if (choice & 0x80) {
    // Chunks of: address, code selector, P0..P4, payload length, payload.
    static const uint8_t kCodes[] = {0x81, 0x82, 0x83, 0x84, 0x90, 0xB0};
    size_t at = 0;
    while (at + 8 <= size) {
      TBusFrame made;
      made.Address = data[at] & 0x7F;
      made.Command = kCodes[data[at + 1] % sizeof kCodes];
      for (int i = 0; i < 5; ++i) made.Param[i] = data[at + 2 + i];
      const size_t length = std::min<size_t>(data[at + 7], size - at - 8);
      made.SetPayload(length, data + at + 8);
      made.Encode();
      for (uint16_t i = 0; i < made.EncodedLength; ++i) feed(made.Encoded[i]);
      at += 8 + length;
      if (data[at - 1] == 0xFE) clock.Advance(2500ms);
    }
  } else {
    for (size_t i = 0; i < size; ++i) feed(data[i]);
  }
  Require(steps <= answers_taken);
  return 0;
}
