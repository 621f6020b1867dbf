#include "tests/devices_cycle/fake_cycle_host.h"

#include <algorithm>

#include "devices/device_cycle_text.h"
#include "platform/number_text.h"

namespace quinterra {
namespace cycle_test {

using device_cycle_text::ParseDecimal;

FakeCycleHost::FakeCycleHost(SimulatedClock& clock, TComVornBus& engine)
    : clock_(clock), engine_(engine), pump_timer_(clock.CreateTimer()) {
  pump_timer_->SetInterval(1);
  pump_timer_->OnTimer = [this] { Pump(); };
  engine_.OnSend = [this](TComVornBus*, const uint8_t* bytes, int, int count) {
    SendToLink(bytes, count);
  };
}

FakeCycleHost::~FakeCycleHost() { engine_.OnSend = nullptr; }

void FakeCycleHost::Attach(TDeviceCycle& cycle) { cycle_ = &cycle; }

Line& FakeCycleHost::SerialLine(int com) { return serial_lines_[com]; }

Line& FakeCycleHost::TcpLine(const std::string& ip, int port) {
  return tcp_lines_[ip + ":" + std::to_string(port)];
}

LineDevice& FakeCycleHost::AddSerialDevice(int com, int rate, const TPanelDeviceOptions& options) {
  auto device = std::make_unique<LineDevice>();
  device->Device = std::make_unique<TPanelDeviceEmulator>(options);
  device->Rate = rate;
  Line& line = SerialLine(com);
  line.Devices.push_back(std::move(device));
  return *line.Devices.back();
}

LineDevice& FakeCycleHost::AddTcpDevice(const std::string& ip, int port,
                                        const TPanelDeviceOptions& options) {
  auto device = std::make_unique<LineDevice>();
  device->Device = std::make_unique<TPanelDeviceEmulator>(options);
  Line& line = TcpLine(ip, port);
  line.Devices.push_back(std::move(device));
  return *line.Devices.back();
}

void FakeCycleHost::AddSilentTcpEndpoint(const std::string& ip, int port) {
  TcpLine(ip, port).Tcp = TcpBehaviour::NeverConnects;
}

void FakeCycleHost::OpenLink(int kind, const std::string& address, const std::string& second) {
  if (kind == -1) kind = tcp_checked ? 2 : (serial_checked ? 1 : 0);
  if (kind == 2) {
    const std::string ip = address.empty() ? ip_text : address;
    int port = 0;
    if (!ParseDecimal(second.empty() ? port_text : second, &port)) port = 0;
    if (ip.empty() || port == 0) return;
    opened.push_back("tcp " + ip + " " + std::to_string(port));
    const std::string name = ip + ":" + std::to_string(port);
    auto found = tcp_lines_.find(name);
    link_line_ = found == tcp_lines_.end() ? nullptr : &found->second;
    link_name_ = name;
    link_serial_ = false;
    link_open_ = false;
    link_rate_ = 0;
    ++generation_;
    // A connection to nobody, or to an endpoint that never answers the
    // connect, reports nothing: only the cycle's own bound ends the wait.
    if (link_line_ != nullptr && link_line_->Tcp == TcpBehaviour::Connects) {
      Pending opening;
      opening.OpensLink = true;
      Schedule(opening);
    }
    return;
  }
  if (kind != 1) return;
  int com = 0;
  if (address.empty() || !ParseDecimal(address, &com)) com = NumberInText(com_text, 0);
  int rate = 0;
  if (!second.empty()) {
    ParseDecimal(second, &rate);
  } else if (rate_text != "Auto") {
    cycle_->RateIndex = -1;
    ParseDecimal(rate_text, &rate);
    log.push_back("{" + rate_text + "}");
  } else {
    cycle_->RateIndex = 0;
    rate = cycle_->RateList.empty() ? 9600 : cycle_->RateList[0];
    log.push_back("{" + std::to_string(rate) + "}");
  }
  opened.push_back("serial " + std::to_string(com) + " " + std::to_string(rate));
  ++generation_;
  auto found = serial_lines_.find(com);
  if (found == serial_lines_.end()) {
    link_line_ = nullptr;
    link_open_ = false;
    log.push_back("[ERROR]");
    cycle_->LinkFailed();
    return;
  }
  link_line_ = &found->second;
  link_name_ = "COM" + std::to_string(com);
  link_serial_ = true;
  link_open_ = true;
  link_rate_ = rate;
  log.push_back("[OK] COM" + std::to_string(com));
  cycle_->LinkOpened();
}

void FakeCycleHost::CloseLink() {
  ++close_calls;
  ++generation_;  // nothing of the old link arrives any more
  link_line_ = nullptr;
  link_open_ = false;
  link_serial_ = false;
  link_rate_ = 0;
}

void FakeCycleHost::SetSerialRate(int rate) {
  rates_set.push_back(rate);
  link_rate_ = rate;
}

void FakeCycleHost::SetControlsEnabled(bool enabled) {
  controls_enabled = enabled;
  controls_history.push_back(enabled);
}

int FakeCycleHost::Random(int n) {
  random_ranges.push_back(n);
  if (random_override) return random_override(n);
  return std::uniform_int_distribution<int>(0, n - 1)(random_);
}

std::vector<std::string> FakeCycleHost::RateAndPingLines() const {
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (line == "[Ping]" || (!line.empty() && line[0] == '{')) lines.push_back(line);
  }
  return lines;
}

void FakeCycleHost::SendToLink(const uint8_t* bytes, int count) {
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
      pending.Due = clock_.Now() + kLatencyMs + delay;
      Schedule(std::move(pending));
    };
    device->Device->ReceiveBytes(bytes, static_cast<size_t>(count));
  }
}

void FakeCycleHost::Schedule(Pending pending) {
  if (pending.Due == 0) pending.Due = clock_.Now() + kLatencyMs;
  pending.Generation = generation_;
  // Kept in due order; equal times keep their sending order.
  auto at = std::upper_bound(pending_.begin(), pending_.end(), pending.Due,
                             [](int64_t due, const Pending& p) { return due < p.Due; });
  pending_.insert(at, std::move(pending));
  pump_timer_->SetEnabled(true);
}

void FakeCycleHost::Pump() {
  while (!pending_.empty() && pending_.front().Due <= clock_.Now()) {
    Pending next = std::move(pending_.front());
    pending_.pop_front();
    if (next.Generation != generation_) continue;  // from a link closed since
    if (next.OpensLink) {
      link_open_ = true;
      log.push_back("[OK] " + link_name_.substr(0, link_name_.find(':')));
      cycle_->LinkOpened();
      continue;
    }
    // One byte at a time, as the window feeds the engine; a handler may close
    // the link in between, and then the rest is dropped.
    const uint64_t generation = generation_;
    for (uint8_t byte : next.Bytes) {
      if (generation != generation_) break;
      engine_.ReceiveByte(byte);
    }
  }
  if (pending_.empty()) pump_timer_->SetEnabled(false);
}

}  // namespace cycle_test
}  // namespace quinterra
