#pragma once
// Answers built by hand (header bytes and Crc16, not TBusFrame) and an
// engine on a simulated clock that records everything it raises.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "bus/bus_engine.h"
#include "bus/crc16.h"
#include "platform/simulated_clock.h"

namespace quinterra::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes WireFrame(uint8_t address, uint8_t command, std::array<uint8_t, 5> param,
                       const Bytes& payload = {}) {
  Bytes out(9 + payload.size() + 2);
  const uint8_t header[9] = {address, command, param[0], param[1], param[2], param[3], param[4],
                             static_cast<uint8_t>(payload.size() >> 8), static_cast<uint8_t>(payload.size())};
  std::copy(header, header + 9, out.begin());
  std::copy(payload.begin(), payload.end(), out.begin() + 9);
  const uint16_t check = Crc16(out.data(), out.size() - 2);
  out[out.size() - 2] = static_cast<uint8_t>(check >> 8);
  out[out.size() - 1] = static_cast<uint8_t>(check);
  return out;
}

// Information record: model, then seven bytes, then the block-size flag.
inline Bytes InfoRecordOf(uint8_t model, uint8_t block_flag) {
  return {model, 0, 0, 0, 0, 0, 0, 0, block_flag};
}

struct Sent {
  int64_t At;
  Bytes Frame;
  int IsRequest;
};

class RecordingEngine {
 public:
  SimulatedClock Clock;
  TComVornBus Bus{Clock};
  std::vector<Sent> Sends;
  std::vector<std::string> Events;  // "name@ms"

  RecordingEngine() {
    Bus.OnSend = [this](TComVornBus* sender, const uint8_t* bytes, int is_request, int count) {
      EXPECT_EQ(sender, &Bus);
      Sends.push_back({Clock.Now().count(), Bytes(bytes, bytes + count), is_request});
    };
    Bus.OnInfo = [this](TComVornBus*) { Note("info"); };
    Bus.OnBuild = [this](TComVornBus*) { Note("build"); };
    Bus.OnPong = [this](TComVornBus*, uint8_t a) { Note("pong" + std::to_string(a)); };
    Bus.OnConnected = [this](TComVornBus*) { Note("connected"); };
    Bus.OnDisconnected = [this](TComVornBus*) { Note("disconnected"); };
    Bus.OnConfigRead = [this](TComVornBus*) { Note("configread"); };
    Bus.OnDirectoryWritten = [this](TComVornBus*) { Note("directorywritten"); };
    Bus.OnDisplayWritten = [this](TComVornBus*) { Note("displaywritten"); };
    Bus.OnDirectoryRead = [this](TComVornBus*, bool whole) { Note(whole ? "directoryread" : "directoryread-partial"); };
    Bus.OnDisplayRead = [this](TComVornBus*, bool whole) { Note(whole ? "displayread" : "displayread-partial"); };
    Bus.OnProgress = [this](TComVornBus*, uint32_t planned, uint32_t done) {
      Note("progress" + std::to_string(planned) + "/" + std::to_string(done));
    };
    Bus.OnTimeout = [this](TComVornBus*) { Note("timeout"); };
    Bus.OnCheckResult = [this](TComVornBus*, bool match) { Note(match ? "match" : "mismatch"); };
  }

  void Note(const std::string& name) { Events.push_back(name + "@" + std::to_string(Clock.Now().count())); }

  // Feeds bytes; returns how many completed frames.
  int Feed(const Bytes& bytes) {
    int frames = 0;
    for (uint8_t b : bytes) frames += Bus.ReceiveByte(b) ? 1 : 0;
    return frames;
  }

  // Answers the last request sent with its address (P0..P2) and payload.
  void AnswerLast(const Bytes& payload = {}, uint8_t from = 1) {
    const Bytes& request = Sends.back().Frame;
    Feed(WireFrame(from, request[1] | 0x80, {request[2], request[3], request[4], 0, 0}, payload));
  }

  std::vector<int64_t> SendTimes() const {
    std::vector<int64_t> times;
    for (const Sent& s : Sends) times.push_back(s.At);
    return times;
  }
};

}  // namespace quinterra::testing
