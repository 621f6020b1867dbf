#pragma once
// CRC-16/MODBUS with the two byte tables of the Modbus reference algorithm.
//
// Two running bytes, both 0xFF at the start. The first running byte is the
// one transmitted first (the register's low byte). The "check value" used
// throughout the bus is first * 256 + second: 0x374B for "123456789", which
// goes on the wire as 37 4B.

#include <cstddef>
#include <cstdint>

namespace quinterra {

struct CrcRunning {
  uint8_t first = 0xFF;
  uint8_t second = 0xFF;

  // Folds one byte into the running check.
  void Fold(uint8_t byte);
  uint16_t CheckValue() const { return static_cast<uint16_t>(first << 8 | second); }
};

// The check value of count bytes.
uint16_t Crc16(const uint8_t* bytes, size_t count);

}  // namespace quinterra
