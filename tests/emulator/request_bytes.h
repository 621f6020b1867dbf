#pragma once
// Request frames built byte by byte and answers taken apart, for the emulator
// tests; deliberately independent of the bus engine's frame class.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "bus/crc16.h"

namespace quinterra::test {

using Bytes = std::vector<uint8_t>;

inline Bytes RequestFrame(uint8_t address, uint8_t command, std::initializer_list<uint8_t> param = {},
                          const Bytes& payload = {}) {
  Bytes frame(payload.size() + 11);
  frame[0] = address;
  frame[1] = command;
  std::copy(param.begin(), param.end(), frame.begin() + 2);
  frame[7] = uint8_t(payload.size() >> 8);
  frame[8] = uint8_t(payload.size());
  std::copy(payload.begin(), payload.end(), frame.begin() + 9);
  const uint16_t check = Crc16(frame.data(), payload.size() + 9);
  frame[payload.size() + 9] = uint8_t(check >> 8);
  frame[payload.size() + 10] = uint8_t(check);
  return frame;
}
inline Bytes ReadRequest(uint8_t address, uint32_t memory, uint16_t count) {
  return RequestFrame(address, 0x03,
                      {uint8_t(memory >> 16), uint8_t(memory >> 8), uint8_t(memory), uint8_t(count >> 8), uint8_t(count)});
}
inline Bytes WriteRequest(uint8_t address, uint32_t memory, const Bytes& payload) {
  return RequestFrame(address, 0x10, {uint8_t(memory >> 16), uint8_t(memory >> 8), uint8_t(memory)}, payload);
}

struct Answer {
  uint8_t Address = 0, Command = 0;
  Bytes Param, Payload;
  uint32_t MemoryAddress() const { return uint32_t(Param[0]) << 16 | uint32_t(Param[1]) << 8 | Param[2]; }
};

// The answer held by bytes, if they are exactly one intact frame.
inline std::optional<Answer> ParseAnswer(const Bytes& bytes) {
  if (bytes.size() < 11) return std::nullopt;
  const size_t length = size_t(bytes[7]) << 8 | bytes[8];
  if (bytes.size() != length + 11 || Crc16(bytes.data(), length + 9) != (bytes[length + 9] << 8 | bytes[length + 10]))
    return std::nullopt;
  return Answer{bytes[0], bytes[1], Bytes(bytes.begin() + 2, bytes.begin() + 7),
                Bytes(bytes.begin() + 9, bytes.begin() + 9 + long(length))};
}

inline Bytes Pattern(size_t count, uint8_t seed) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(seed + i * 7);
  return bytes;
}

// An area holding bytes from offset 0 and erased memory after them.
inline Bytes Written(const Bytes& bytes, size_t area_size) {
  Bytes area(area_size, 0xFF);
  std::copy(bytes.begin(), bytes.end(), area.begin());
  return area;
}

}  // namespace quinterra::test
