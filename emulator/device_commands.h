#pragma once
// The request codes a panel device answers.
//
// The emulator keeps its own protocol tables (these codes, the memory areas
// and layouts of device_memory.h, its request scanner and answer encoder)
// instead of using the bus's: it is written from the command table alone, so
// that a mistake shared with the master cannot hide in the tests that run
// the two against each other. A test compares the two sets of tables.

#include <cstdint>

namespace quinterra {
namespace device_commands {

constexpr uint8_t kPing = 0x01;
constexpr uint8_t kInformation = 0x02;
constexpr uint8_t kMemoryRead = 0x03;
constexpr uint8_t kBuild = 0x04;
constexpr uint8_t kMemoryWrite = 0x10;
constexpr uint8_t kCheck = 0x30;
// An answer carries its request's code with this bit set.
constexpr uint8_t kAnswerBit = 0x80;

}  // namespace device_commands
}  // namespace quinterra
