#include "tests/devices_cycle/emulated_lines.h"

#include <algorithm>

namespace quinterra {
namespace cycle_test {

using namespace std::chrono_literals;

EmulatedLines::EmulatedLines(SimulatedClock& clock)
    : clock_(clock), pump_timer_(clock.CreateTimer()) {
  pump_timer_->SetInterval(1ms);
  pump_timer_->OnTimer = [this] { Pump(); };
}

LineDevice& EmulatedLines::AddSerialDevice(int com, int rate, const TPanelDeviceOptions& options) {
  auto device = std::make_unique<LineDevice>();
  device->Device = std::make_unique<TPanelDeviceEmulator>(options);
  device->Rate = rate;
  Line& line = serial_lines_[com];
  line.Devices.push_back(std::move(device));
  return *line.Devices.back();
}

LineDevice& EmulatedLines::AddTcpDevice(const std::string& ip, int port,
                                        const TPanelDeviceOptions& options) {
  auto device = std::make_unique<LineDevice>();
  device->Device = std::make_unique<TPanelDeviceEmulator>(options);
  Line& line = tcp_lines_[ip + ":" + std::to_string(port)];
  line.Devices.push_back(std::move(device));
  return *line.Devices.back();
}

void EmulatedLines::AddSilentTcpEndpoint(const std::string& ip, int port) {
  tcp_lines_[ip + ":" + std::to_string(port)].Tcp = TcpBehaviour::NeverConnects;
}

void EmulatedLines::Say(const std::string& line) {
  if (OnLog) OnLog(line);
}

void EmulatedLines::OpenTcp(const std::string& address, int port) {
  if (address.empty() || port <= 0 || port > 65535) return;
  CloseLink();
  opened.push_back("tcp " + address + " " + std::to_string(port));
  const std::string name = address + ":" + std::to_string(port);
  auto found = tcp_lines_.find(name);
  link_line_ = found == tcp_lines_.end() ? nullptr : &found->second;
  link_name_ = name;
  // A connection to nobody, or to an endpoint that never answers the
  // connect, reports nothing: only the cycle's own bound ends the wait.
  if (link_line_ != nullptr && link_line_->Tcp == TcpBehaviour::Connects) {
    Pending opening;
    opening.OpensLink = true;
    Schedule(opening);
  }
}

void EmulatedLines::OpenSerial(int com_number, int rate) {
  CloseLink();
  opened.push_back("serial " + std::to_string(com_number) + " " + std::to_string(rate));
  auto found = serial_lines_.find(com_number);
  if (found == serial_lines_.end()) {
    Say("[ERROR]");
    if (OnLinkFailed) OnLinkFailed();
    return;
  }
  link_line_ = &found->second;
  link_name_ = "COM" + std::to_string(com_number);
  link_serial_ = true;
  link_open_ = true;
  link_rate_ = rate;
  Say("[OK] COM" + std::to_string(com_number));
  if (OnLinkOpened) OnLinkOpened();
}

void EmulatedLines::CloseLink() {
  ++close_calls;
  ++generation_;  // nothing of the old link arrives any more
  link_line_ = nullptr;
  link_open_ = false;
  link_serial_ = false;
  link_rate_ = 0;
}

void EmulatedLines::SetSerialRate(int rate) {
  rates_set.push_back(rate);
  link_rate_ = rate;
}

void EmulatedLines::SendToLink(const uint8_t* bytes, int count) {
  if (!link_open_ || link_line_ == nullptr) return;
  SentFrame frame;
  frame.At = clock_.Now();
  frame.Link = link_name_;
  frame.Rate = link_serial_ ? link_rate_ : 0;
  frame.Bytes.assign(bytes, bytes + count);
  sent.push_back(frame);
  for (auto& line_device : link_line_->Devices) {
    if (link_serial_ && line_device->Rate != 0 && line_device->Rate != link_rate_) continue;
    LineDevice* device = line_device.get();
    device->Device->OnAnswer = [this, device](TPanelDeviceEmulator&, const uint8_t* answer,
                                              size_t answer_count) {
      Pending pending;
      pending.Bytes.assign(answer, answer + answer_count);
      if (device->Rewrite) pending.Bytes = device->Rewrite(pending.Bytes);
      const int delay = device->Delay ? device->Delay(pending.Bytes) : 0;
      pending.Due = clock_.Now() + kLatency + std::chrono::milliseconds(delay);
      Schedule(std::move(pending));
    };
    device->Device->ReceiveBytes(bytes, static_cast<size_t>(count));
  }
}

void EmulatedLines::Schedule(Pending pending) {
  if (pending.Due == 0ms) pending.Due = clock_.Now() + kLatency;
  pending.Generation = generation_;
  // Kept in due order; equal times keep their sending order.
  auto at = std::upper_bound(
      pending_.begin(), pending_.end(), pending.Due,
      [](std::chrono::milliseconds due, const Pending& p) { return due < p.Due; });
  pending_.insert(at, std::move(pending));
  pump_timer_->SetEnabled(true);
}

void EmulatedLines::Pump() {
  while (!pending_.empty() && pending_.front().Due <= clock_.Now()) {
    Pending next = std::move(pending_.front());
    pending_.pop_front();
    if (next.Generation != generation_) continue;  // from a link closed since
    if (next.OpensLink) {
      link_open_ = true;
      Say("[OK] " + link_name_.substr(0, link_name_.find(':')));
      if (OnLinkOpened) OnLinkOpened();
      continue;
    }
    // As the link layer hands them on; a handler may close the link in
    // between, and then the rest is dropped.
    const uint64_t generation = generation_;
    for (uint8_t byte : next.Bytes) {
      if (generation != generation_) break;
      if (OnReceived) OnReceived(&byte, 1);
    }
  }
  if (pending_.empty()) pump_timer_->SetEnabled(false);
}

}  // namespace cycle_test
}  // namespace quinterra
