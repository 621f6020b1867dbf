#include "emulator/request_scanner.h"

#include "bus/crc16.h"

namespace quinterra {

bool TRequestScanner::Take(TDeviceRequest& request) {
  for (;;) {
    const size_t available = buffer_.size() - head_;
    if (available == 0) {
      Reset();
      return false;
    }
    const uint8_t* frame = buffer_.data() + head_;
    if (frame[0] >= 0x80) {  // not an address
      ++discarded_;
      Skip(1);
      continue;
    }
    if (available < 2) return false;
    if (frame[1] >= 0x80) {  // an answer code or noise, not a request
      ++discarded_;
      Skip(1);
      continue;
    }
    if (available < 9) return false;
    const size_t length = static_cast<size_t>(frame[7]) << 8 | frame[8];
    if (length > kMaxPayload) {
      ++discarded_;
      Skip(1);
      continue;
    }
    if (available < length + kFrameOverhead) return false;
    const uint16_t received = static_cast<uint16_t>(frame[length + 9] << 8 | frame[length + 10]);
    if (Crc16(frame, length + 9) != received) {
      ++discarded_;
      Skip(1);
      continue;
    }
    request.Address = frame[0];
    request.Command = frame[1];
    for (size_t i = 0; i < request.Param.size(); ++i) request.Param[i] = frame[2 + i];
    request.Payload.assign(frame + 9, frame + 9 + length);
    Skip(length + kFrameOverhead);
    return true;
  }
}

void TRequestScanner::AbandonUnfinished() {
  if (!HasUnfinished()) return;
  ++discarded_;
  Skip(1);
}

void TRequestScanner::Reset() {
  buffer_.clear();
  head_ = 0;
}

void TRequestScanner::Skip(size_t count) {
  head_ += count;
  // Compact now and then rather than on every byte; the buffer never holds
  // much more than one frame beyond head_.
  if (head_ >= buffer_.size()) {
    Reset();
  } else if (head_ >= 4096) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
}

}  // namespace quinterra
