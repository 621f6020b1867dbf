// The byte-by-byte recogniser of incoming answers (TBusFrame::ReceiveByte).

#include <utility>

#include "bus/bus_frame.h"
#include "bus/crc16.h"

namespace quinterra {
namespace {

enum State : uint32_t {
  kWaitAddress = 0,
  kWaitCommand = 1,
  kFirstParam = 2,  // 2..6 are P0..P4
  kLengthHigh = 7,
  kLengthLow = 8,
  kPayload = 9,
  kCheckFirst = 10,
  kCheckSecond = 11,
};

}  // namespace

bool TBusFrame::IsAnswerCode(uint8_t b) {
  return (b >= 0x81 && b <= 0x88) || b == 0x90 || b == 0x91 || b == 0x92 || b == 0xA0 || b == 0xB0;
}

void TBusFrame::Fold(uint8_t b) {
  CrcRunning crc{CrcFirst, CrcSecond};
  crc.Fold(b);
  CrcFirst = crc.first;
  CrcSecond = crc.second;
}

void TBusFrame::Restart(uint8_t b) {
  CrcFirst = 0xFF;
  CrcSecond = 0xFF;
  Fold(b);
  header_[0] = b;
}

bool TBusFrame::ReceiveByte(uint8_t b) {
  switch (ReceiveState) {
    case kWaitAddress:
      if (b < 0x80) {
        Restart(b);
        ReceiveState = kWaitCommand;
      }
      return false;
    case kWaitCommand:
      if (IsAnswerCode(b)) {
        Fold(b);
        header_[1] = b;
        ReceiveState = kFirstParam;
      } else if (b < 0x7F) {
        // A request echoed by the link, or noise: this byte may be the
        // address of the real answer.
        Restart(b);
      } else {
        ReceiveState = kWaitAddress;
      }
      return false;
    case kFirstParam:
    case kFirstParam + 1:
    case kFirstParam + 2:
    case kFirstParam + 3:
    case kFirstParam + 4:
      Fold(b);
      header_[ReceiveState] = b;
      ++ReceiveState;
      return false;
    case kLengthHigh:
      Fold(b);
      length_ = static_cast<uint16_t>(b << 8);
      ReceiveState = kLengthLow;
      return false;
    case kLengthLow:
      Fold(b);
      length_ = static_cast<uint16_t>(length_ | b);
      if (length_ > kMaxPayload) {
        ReceiveState = kWaitAddress;
      } else if (length_ == 0) {
        incoming_.clear();
        ReceiveState = kCheckFirst;
      } else {
        incoming_.resize(length_);
        received_ = 0;
        ReceiveState = kPayload;
      }
      return false;
    case kPayload:
      Fold(b);
      incoming_[received_++] = b;
      if (received_ == length_) ReceiveState = kCheckFirst;
      return false;
    case kCheckFirst:
      first_check_byte_ = b;
      ReceiveState = kCheckSecond;
      return false;
    case kCheckSecond: {
      ReceiveState = kWaitAddress;
      const uint16_t received = static_cast<uint16_t>(first_check_byte_ << 8 | b);
      const uint16_t computed = static_cast<uint16_t>(CrcFirst << 8 | CrcSecond);
      if (received != computed) return false;
      Address = header_[0];
      Command = header_[1];
      for (int i = 0; i < 5; ++i) Param[i] = header_[2 + i];
      PayloadLength = length_;
      // Swapping hands the buffer over without copying and keeps both
      // allocations for the frames to come.
      std::swap(Payload, incoming_);
      Payload.resize(length_);
      return true;
    }
    default:
      ReceiveState = kWaitAddress;
      return false;
  }
}

}  // namespace quinterra
