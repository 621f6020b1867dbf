#pragma once
// The numbers of the device bus: command codes, memory areas, block states
// and transfer modes. Answers carry the request code with bit 7 set.

#include <chrono>
#include <cstdint>

namespace quinterra {
namespace bus {

// Request codes (bit 7 clear).
constexpr uint8_t kPing = 0x01;
constexpr uint8_t kInfo = 0x02;
constexpr uint8_t kMemoryRead = 0x03;
constexpr uint8_t kBuild = 0x04;
constexpr uint8_t kMemoryWrite = 0x10;
constexpr uint8_t kCheck = 0x30;

// P0 of a ping from Ping(); P4 of a keep-alive ping, echoed by its answer.
constexpr uint8_t kPingMarker = 0x0F;
constexpr uint8_t kKeepAliveMarker = 0x69;

// Bus base addresses of the three memory areas (24-bit addresses).
constexpr uint32_t kConfigBase = 0x000000;
constexpr uint32_t kDisplayBase = 0x100000;
constexpr uint32_t kDirectoryBase = 0x200000;

// Byte of the configuration image that holds the device's own address.
constexpr uint32_t kConfigAddressByte = 81;

// Block states.
constexpr uint8_t kBlockUntouched = 0;
constexpr uint8_t kBlockToRead = 11;
constexpr uint8_t kBlockReading = 12;
constexpr uint8_t kBlockDone = 13;
// A read-back asked for the block and got an answer that was not whole.
constexpr uint8_t kBlockUnread = 14;
constexpr uint8_t kBlockToWrite = 20;
constexpr uint8_t kBlockWriting = 21;

// Transfer modes.
constexpr uint8_t kTransferNone = 0;
constexpr uint8_t kTransferConfigRead = 2;
constexpr uint8_t kTransferDirectoryWrite = 5;
constexpr uint8_t kTransferDisplayWrite = 8;
// Reading back what was written; numbers the modes above leave free.
constexpr uint8_t kTransferDirectoryRead = 6;
constexpr uint8_t kTransferDisplayRead = 9;

// Periods of the engine's two timers, and how often each may run out.
constexpr std::chrono::milliseconds kKeepAlivePeriod{1800};
constexpr std::chrono::milliseconds kResponseTimeout{2500};
constexpr int kRetryCount = 5;

// Size of the device information record kept by the engine.
constexpr int kInfoRecordSize = 12;

}  // namespace bus
}  // namespace quinterra
