#include "bus/crc16.h"

#include <array>

namespace quinterra {
namespace {

// The reference tables, derived at compile time from the reflected
// polynomial 0xA001: the first table holds each byte's low result byte,
// the second its high result byte.
struct CrcTables {
  std::array<uint8_t, 256> high{};
  std::array<uint8_t, 256> low{};
};

constexpr CrcTables MakeTables() {
  CrcTables tables;
  for (unsigned index = 0; index < 256; ++index) {
    unsigned crc = index;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    tables.high[index] = static_cast<uint8_t>(crc & 0xFF);
    tables.low[index] = static_cast<uint8_t>(crc >> 8);
  }
  return tables;
}

constexpr CrcTables kTables = MakeTables();
static_assert(kTables.high[1] == 0xC1 && kTables.low[1] == 0xC0, "Modbus reference table");

}  // namespace

void CrcRunning::Fold(uint8_t byte) {
  const uint8_t index = byte ^ first;
  first = kTables.high[index] ^ second;
  second = kTables.low[index];
}

uint16_t Crc16(const uint8_t* bytes, size_t count) {
  CrcRunning crc;
  for (size_t i = 0; i < count; ++i) crc.Fold(bytes[i]);
  return crc.CheckValue();
}

}  // namespace quinterra
