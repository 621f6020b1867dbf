#include "bus/bus_frame.h"

#include <algorithm>

#include "bus/crc16.h"

namespace quinterra {

void TBusFrame::Clear() {
  Address = 0;
  Command = 0;
  std::fill(std::begin(Param), std::end(Param), 0);
  PayloadLength = 0;
  CheckValue = 0;
  EncodedLength = 0;
  ReceiveState = 0;
  Payload.clear();
  Encoded.clear();
  incoming_.clear();
  received_ = 0;
  length_ = 0;
}

void TBusFrame::ResizePayload(size_t n) {
  if (n > kMaxPayload) return;
  Payload.resize(n, 0);
  PayloadLength = static_cast<uint16_t>(n);
}

void TBusFrame::SetPayload(size_t count, const uint8_t* bytes) {
  if (count > kMaxPayload) return;
  if (count > 0 && bytes == nullptr) return;
  Payload.assign(bytes, bytes + count);
  PayloadLength = static_cast<uint16_t>(count);
}

void TBusFrame::Encode() {
  // PayloadLength and Payload are public; never read past what is there.
  const size_t length = std::min<size_t>(PayloadLength, Payload.size());
  PayloadLength = static_cast<uint16_t>(length);
  Encoded.resize(length + kOverhead);
  uint8_t* out = Encoded.data();
  out[0] = Address;
  out[1] = Command;
  std::copy(std::begin(Param), std::end(Param), out + 2);
  out[7] = static_cast<uint8_t>(length >> 8);
  out[8] = static_cast<uint8_t>(length & 0xFF);
  std::copy(Payload.begin(), Payload.begin() + length, out + 9);
  CheckValue = Crc16(out, length + 9);
  out[length + 9] = static_cast<uint8_t>(CheckValue >> 8);
  out[length + 10] = static_cast<uint8_t>(CheckValue & 0xFF);
  EncodedLength = static_cast<uint16_t>(length + kOverhead);
}

}  // namespace quinterra
