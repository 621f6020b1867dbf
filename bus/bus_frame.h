#pragma once
// One bus frame: encodes an outgoing request and, fed one byte at a time,
// recognises an incoming answer.
//
// Wire layout: Address, Command, P0..P4, Length (big-endian, 0..512),
// Payload, then the two check bytes (CRC-16/MODBUS, low register byte
// first). There are no markers or escapes: frame boundaries come only from
// the recogniser's rules (address below 0x80, a known answer code, the
// length, the check).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quinterra {

class TBusFrame {
 public:
  static constexpr uint16_t kMaxPayload = 512;
  // Header (9 bytes) plus the two check bytes.
  static constexpr uint16_t kOverhead = 11;
  static constexpr uint8_t kAnswerBit = 0x80;

  TBusFrame() = default;

  // Running check bytes of the recogniser.
  uint8_t CrcFirst = 0;
  uint8_t CrcSecond = 0;
  uint8_t Address = 0;
  uint8_t Command = 0;
  uint8_t Param[5] = {0, 0, 0, 0, 0};
  uint16_t PayloadLength = 0;
  // Check value (first running byte * 256 + second) of the last encoding.
  uint16_t CheckValue = 0;
  std::vector<uint8_t> Payload;  // PayloadLength bytes
  std::vector<uint8_t> Encoded;  // the last encoded frame
  uint16_t EncodedLength = 0;
  // Recogniser state 0..11 (0: waiting for an address).
  uint32_t ReceiveState = 0;

  // Drops payload, encoding and any frame being recognised; zeroes the header.
  void Clear();
  // n <= 512: keeps the first min(n, old length) bytes, pads with zeros.
  // n > 512: nothing changes.
  void ResizePayload(size_t n);
  // count <= 512: the payload becomes a copy of the bytes. Otherwise, or
  // with no bytes to copy from, nothing changes.
  void SetPayload(size_t count, const uint8_t* bytes);
  // Builds Encoded, CheckValue and EncodedLength from the header and payload.
  void Encode();
  // The command without the answer bit: a request and its answer agree.
  uint8_t CommandCode() const { return Command & 0x7F; }

  // Feeds one received byte. True exactly when it completed a valid answer,
  // which then stands in Address, Command, Param, PayloadLength and Payload.
  bool ReceiveByte(uint8_t b);

  // The answer codes the recogniser accepts as a frame's second byte.
  static bool IsAnswerCode(uint8_t b);

 private:
  void Restart(uint8_t b);
  void Fold(uint8_t b);

  // The frame being recognised, kept apart from the last delivered one so a
  // dropped frame never disturbs it. Held per object: two recognisers (the
  // engine's and, say, an emulator's or a test's) must not share it.
  uint8_t header_[7] = {0, 0, 0, 0, 0, 0, 0};
  uint16_t length_ = 0;
  uint16_t received_ = 0;
  uint8_t first_check_byte_ = 0;
  std::vector<uint8_t> incoming_;
};

}  // namespace quinterra
