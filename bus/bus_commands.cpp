// The commands of the bus: ping, device information, build text and the
// link check, with what the engine does with each answer.

#include <algorithm>
#include <cstdio>

#include "bus/bus_engine.h"
#include "bus/crc16.h"

namespace quinterra {

bool TComVornBus::Ping() {
  const uint8_t param[5] = {bus::kPingMarker, 0, 0, 0, 0};
  return SendRequest(bus::kPing, param, nullptr, 0);
}

bool TComVornBus::RequestInfo() {
  const uint8_t param[5] = {0, 0, 0, 0, 0};
  return SendRequest(bus::kInfo, param, nullptr, 0);
}

bool TComVornBus::RequestBuild() {
  const uint8_t param[5] = {0, 0, 0, 0, 0};
  return SendRequest(bus::kBuild, param, nullptr, 0);
}

bool TComVornBus::CheckLink(const uint8_t* bytes, int count) {
  if (busy_) return false;
  if (count < 0 || (count > 0 && bytes == nullptr)) return false;
  check_expected_ = Crc16(bytes, static_cast<size_t>(count));
  const uint8_t param[5] = {0, 0, 0, 0, 0};
  return SendRequest(bus::kCheck, param, bytes, static_cast<size_t>(count));
}

void TComVornBus::PingAnswered(const Answer& answer) {
  if (answer.Param[4] == bus::kKeepAliveMarker) {
    keep_alive_left_ = retry_count_;
    return;
  }
  if (OnPong) OnPong(this, answer.Address);
}

void TComVornBus::InfoAnswered(const Answer& answer) {
  // A short record leaves no bytes of an earlier device behind.
  info_record_.fill(0);
  const size_t kept = std::min(answer.Payload.size(), info_record_.size());
  std::copy(answer.Payload.begin(), answer.Payload.begin() + kept, info_record_.begin());

  std::string text;
  char number[4];
  for (size_t i = 0; i < answer.Payload.size(); ++i) {
    if (i > 0) text += '.';
    std::snprintf(number, sizeof number, "%d", answer.Payload[i]);
    text += number;
  }
  version_text_ = std::move(text);

  FreshImages(answer.Address);
  if (OnInfo) OnInfo(this);
}

void TComVornBus::BuildAnswered(const Answer& answer) {
  const auto end = std::find(answer.Payload.begin(), answer.Payload.end(), 0);
  build_text_.assign(answer.Payload.begin(), end);
  if (OnBuild) OnBuild(this);
}

void TComVornBus::CheckAnswered(const Answer& answer) {
  const uint16_t answered = static_cast<uint16_t>(answer.Param[0] << 8 | answer.Param[1]);
  if (OnCheckResult) OnCheckResult(this, answered == check_expected_);
}

}  // namespace quinterra
