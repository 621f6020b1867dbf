#pragma once
// A device session on emulated lines under a simulated clock, with the link
// settings "Buscar" would take from the window, and the session's reports.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "bus/bus_engine.h"
#include "devices/device_session.h"
#include "platform/simulated_clock.h"
#include "tests/devices_cycle/emulated_lines.h"

namespace quinterra {
namespace cycle_test {

struct PanelReport {
  int Panel;
  bool Value;  // failed for a delivery, active for a check
  bool operator==(const PanelReport& other) const {
    return Panel == other.Panel && Value == other.Value;
  }
};

inline std::ostream& operator<<(std::ostream& out, const PanelReport& report) {
  return out << "{panel " << report.Panel << ", " << report.Value << "}";
}

inline DeviceRow Row(const std::string& number, const std::string& address,
                     const std::string& speed, const std::string& selected = "*",
                     const std::string& version = "10.0.0.0.0.0.0.0.1") {
  DeviceRow row;
  row.Number = number;
  row.LinkAddress = address;
  row.SpeedOrPort = speed;
  row.Version = version;
  row.Build = version.empty() ? "" : "EMU 1.0";
  row.Name = (number == "1" ? "Panel Resultados (" : "Panel Botes (") + address + ")";
  row.Selected = selected;
  return row;
}

inline TPanelDeviceOptions Device(uint8_t address) {
  TPanelDeviceOptions options;
  options.Address = address;
  return options;
}

inline TPanelPayload Payload(size_t size, uint8_t seed) {
  auto bytes = std::make_shared<std::vector<uint8_t>>(size);
  for (size_t i = 0; i < size; ++i) bytes->at(i) = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

using namespace std::chrono_literals;

class CycleBench : public ::testing::Test {
 protected:
  CycleBench() {
    session.OnPanelSent = [this](TDeviceSession*, TPanel panel, TPanelResult result) {
      sent.push_back({static_cast<int>(panel), result == TPanelResult::Failed});
    };
    session.OnPanelChecked = [this](TDeviceSession*, TPanel panel, bool active) {
      checked.push_back({static_cast<int>(panel), active});
    };
    session.OnLinkLost = [this](TDeviceSession*) { ++links_lost; };
    session.OnRunningChanged = [this](TDeviceSession*, TCycleKind, bool now) {
      running = now;
      running_history.push_back(now);
    };
    settings.Kind = TLinkKind::Serial;
    settings.IpAddress = "127.0.0.1";
    settings.TcpPort = "10001";
    settings.ComEntry = "COM3 - Communications Port";
    settings.Rate = "Auto";
  }

  bool Search() { return session.Search(settings); }
  // As "ENVIAR" does: the payloads handed over, then the delivery asked for.
  bool SendPanels(TPanelMode mode) {
    session.SetPayloads(results_payload, jackpots_payload);
    return session.SendPanels(mode);
  }
  std::vector<DeviceRow>& Rows() { return session.Rows(); }
  const std::vector<std::string>& Log() const { return session.LogLines(); }
  TCycleState State() const { return session.Cycle().State(); }
  const TCycleVariables& Vars() const { return session.Cycle().Variables(); }

  // Runs simulated time until Timer1 stops; returns the time taken.
  std::chrono::milliseconds RunUntilIdle(std::chrono::milliseconds limit = 120s) {
    const auto start = clock.Now();
    while (session.Timer1().Enabled() && clock.Now() - start < limit) clock.Advance(1ms);
    EXPECT_FALSE(session.Timer1().Enabled()) << "the cycle did not end within " << limit.count() << " ms";
    return clock.Now() - start;
  }

  // Runs until the cycle reaches a state (or the limit passes).
  bool RunUntilState(TCycleState state, std::chrono::milliseconds limit = 60s) {
    const auto start = clock.Now();
    while (State() != state && clock.Now() - start < limit) clock.Advance(1ms);
    return State() == state;
  }

  std::vector<SentFrame> FramesWithCommand(uint8_t command) const {
    std::vector<SentFrame> frames;
    for (const SentFrame& frame : host.sent) {
      if (frame.Command() == command) frames.push_back(frame);
    }
    return frames;
  }

  // The log without traffic, link and pong lines: rates and pings only.
  std::vector<std::string> RateAndPingLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : Log()) {
      if (line == "[Ping]" || (!line.empty() && line[0] == '{')) lines.push_back(line);
    }
    return lines;
  }

  SimulatedClock clock;
  EmulatedLines* lines_ = new EmulatedLines(clock);
  TDeviceSession session{clock, std::unique_ptr<IDeviceLink>(lines_), "", 12345};
  EmulatedLines& host = *lines_;
  TComVornBus& engine = session.Engine();
  TLinkSettings settings;
  TPanelPayload results_payload;
  TPanelPayload jackpots_payload;

  std::vector<PanelReport> sent;
  std::vector<PanelReport> checked;
  int links_lost = 0;
  bool running = false;
  std::vector<bool> running_history;
};

}  // namespace cycle_test
}  // namespace quinterra
