#pragma once
// The device's receiver: finds request frames in the bytes heard on the line.
//
// A request is Address (bit 7 clear), Command (bit 7 clear), P0..P4, a
// big-endian Length of at most 512, the payload, and the check value of
// everything before it, high byte first. There are no frame markers, so the
// receiver resynchronises by sliding: when a candidate frame proves impossible
// (a byte with bit 7 set where an address or command should be, a length above
// 512, a wrong check value) only its first byte is given up and the bytes
// after it are examined again. A good request that follows noise is therefore
// still found, as long as the noise did not promise a length that the line
// never delivers; for that case the owner calls AbandonUnfinished() once the
// line has been quiet for a while.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quinterra {

constexpr size_t kFrameOverhead = 11;
constexpr size_t kMaxPayload = 512;

struct TDeviceRequest {
  uint8_t Address = 0;
  uint8_t Command = 0;
  std::array<uint8_t, 5> Param{};
  std::vector<uint8_t> Payload;

  // P0..P2, most significant first.
  uint32_t MemoryAddress() const {
    return static_cast<uint32_t>(Param[0]) << 16 | static_cast<uint32_t>(Param[1]) << 8 | Param[2];
  }
  // P3..P4, most significant first.
  uint16_t Count() const { return static_cast<uint16_t>(Param[3] << 8 | Param[4]); }
};

class TRequestScanner {
 public:
  void Push(uint8_t byte) { buffer_.push_back(byte); }

  // Takes the next complete, intact request out of the bytes pushed so far.
  bool Take(TDeviceRequest& request);

  // Bytes are held that have not completed a request yet.
  bool HasUnfinished() const { return head_ < buffer_.size(); }

  // The line went quiet in the middle of a candidate frame: that candidate can
  // no longer complete, so its first byte is given up. Call Take() again, and
  // repeat both until HasUnfinished() is false, to find any request that the
  // abandoned candidate had swallowed.
  void AbandonUnfinished();

  // Forgets everything held (a new connection starts a new byte stream).
  void Reset();

  // Bytes given up as noise since construction.
  uint64_t DiscardedBytes() const { return discarded_; }

 private:
  void Skip(size_t count);

  std::vector<uint8_t> buffer_;
  size_t head_ = 0;
  uint64_t discarded_ = 0;
};

}  // namespace quinterra
