#pragma once
// Request frames built byte by byte, and answer frames taken apart, for the
// emulator tests. Deliberately independent of the bus engine's frame class.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "bus/crc16.h"

namespace quinterra::test {

using Bytes = std::vector<uint8_t>;

inline Bytes RequestFrame(uint8_t address, uint8_t command, std::initializer_list<uint8_t> param = {},
                          const Bytes& payload = {}) {
  Bytes frame = {address, command, 0, 0, 0, 0, 0};
  size_t i = 2;
  for (uint8_t p : param) frame[i++] = p;
  frame.push_back(static_cast<uint8_t>(payload.size() >> 8));
  frame.push_back(static_cast<uint8_t>(payload.size() & 0xFF));
  frame.insert(frame.end(), payload.begin(), payload.end());
  const uint16_t check = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(check >> 8));
  frame.push_back(static_cast<uint8_t>(check & 0xFF));
  return frame;
}

// Memory requests: P0..P2 the 24-bit address, P3..P4 the count.
inline Bytes ReadRequest(uint8_t address, uint32_t memory, uint16_t count) {
  return RequestFrame(address, 0x03,
                      {uint8_t(memory >> 16), uint8_t(memory >> 8), uint8_t(memory), uint8_t(count >> 8),
                       uint8_t(count)});
}
inline Bytes WriteRequest(uint8_t address, uint32_t memory, const Bytes& payload) {
  return RequestFrame(address, 0x10, {uint8_t(memory >> 16), uint8_t(memory >> 8), uint8_t(memory)}, payload);
}

struct Answer {
  uint8_t Address = 0;
  uint8_t Command = 0;
  uint8_t Param[5] = {};
  Bytes Payload;
  uint32_t MemoryAddress() const { return uint32_t(Param[0]) << 16 | uint32_t(Param[1]) << 8 | Param[2]; }
};

// The answer held exactly by bytes, if they are one intact frame.
inline std::optional<Answer> ParseAnswer(const Bytes& bytes) {
  if (bytes.size() < 11) return std::nullopt;
  const size_t length = size_t(bytes[7]) << 8 | bytes[8];
  if (bytes.size() != length + 11) return std::nullopt;
  const uint16_t check = uint16_t(bytes[length + 9] << 8 | bytes[length + 10]);
  if (Crc16(bytes.data(), length + 9) != check) return std::nullopt;
  Answer answer;
  answer.Address = bytes[0];
  answer.Command = bytes[1];
  for (int i = 0; i < 5; ++i) answer.Param[i] = bytes[2 + i];
  answer.Payload.assign(bytes.begin() + 9, bytes.begin() + 9 + long(length));
  return answer;
}

inline Bytes Pattern(size_t count, uint8_t seed) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(seed + i * 7);
  return bytes;
}

}  // namespace quinterra::test
