#pragma once
// The cycle wired as the search window wires it: a simulated clock, the bus
// engine, Timer1, the fake window and the cycle, plus its reports.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"
#include "platform/simulated_clock.h"
#include "tests/devices_cycle/fake_cycle_host.h"

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

class CycleBench : public ::testing::Test {
 protected:
  CycleBench() {
    host.Attach(cycle);
    cycle.OnPanelSent = [this](int panel, bool failed) { sent.push_back({panel, failed}); };
    cycle.OnPanelChecked = [this](int panel, bool active) { checked.push_back({panel, active}); };
    cycle.OnLinkLost = [this] { ++links_lost; };
  }

  // Runs simulated time until Timer1 stops; returns the milliseconds taken.
  int64_t RunUntilIdle(int64_t limit_ms = 120000) {
    const int64_t start = clock.Now();
    while (timer1->Enabled() && clock.Now() - start < limit_ms) clock.Advance(1);
    EXPECT_FALSE(timer1->Enabled()) << "the cycle did not end within " << limit_ms << " ms";
    return clock.Now() - start;
  }

  // Runs until the cycle reaches a state (or the limit passes).
  bool RunUntilState(int state, int64_t limit_ms = 60000) {
    const int64_t start = clock.Now();
    while (cycle.CycleState != state && clock.Now() - start < limit_ms) clock.Advance(1);
    return cycle.CycleState == state;
  }

  std::vector<SentFrame> FramesWithCommand(uint8_t command) const {
    std::vector<SentFrame> frames;
    for (const SentFrame& frame : host.sent) {
      if (frame.Command() == command) frames.push_back(frame);
    }
    return frames;
  }

  SimulatedClock clock;
  TComVornBus engine{clock};
  std::unique_ptr<IIntervalTimer> timer1 = clock.CreateTimer();
  FakeCycleHost host{clock, engine};
  TDeviceCycle cycle{engine, *timer1, host};

  std::vector<PanelReport> sent;
  std::vector<PanelReport> checked;
  int links_lost = 0;
};

}  // namespace cycle_test
}  // namespace quinterra
