#pragma once
// A search window stand-in for the device cycle: radio buttons and edit boxes
// as plain fields, a log, the device rows, and links that "open" in-process
// lines to emulated panel devices. Answers travel back after a simulated
// latency, like bytes from a real link, never from within the send.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"
#include "emulator/panel_device.h"
#include "platform/simulated_clock.h"

namespace quinterra {
namespace cycle_test {

// One frame the engine sent, with the link it went out on.
struct SentFrame {
  int64_t At = 0;
  std::string Link;  // "COM3" or "127.0.0.1:10001"
  int Rate = 0;      // serial rate, 0 for TCP
  std::vector<uint8_t> Bytes;
  uint8_t Address() const { return Bytes.size() > 0 ? Bytes[0] : 0; }
  uint8_t Command() const { return Bytes.size() > 1 ? Bytes[1] : 0; }
};

// An emulated device on a line, with what the line does to its answers.
struct LineDevice {
  std::unique_ptr<TPanelDeviceEmulator> Device;
  int Rate = 0;  // serial: hears only at this rate; 0 any rate
  // Milliseconds before an answer arrives, by the answer's bytes.
  std::function<int(const std::vector<uint8_t>&)> Delay;
  // Rewrites an answer before it travels (e.g. a wrong check value).
  std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> Rewrite;
};

enum class TcpBehaviour { Connects, NeverConnects };

struct Line {
  std::vector<std::unique_ptr<LineDevice>> Devices;
  TcpBehaviour Tcp = TcpBehaviour::Connects;
};

class FakeCycleHost : public IDeviceCycleHost {
 public:
  static constexpr int kLatencyMs = 2;

  FakeCycleHost(SimulatedClock& clock, TComVornBus& engine);
  ~FakeCycleHost() override;

  // The cycle to report link events to; also routes the engine's OnSend.
  void Attach(TDeviceCycle& cycle);

  LineDevice& AddSerialDevice(int com, int rate, const TPanelDeviceOptions& options);
  LineDevice& AddTcpDevice(const std::string& ip, int port, const TPanelDeviceOptions& options);
  // A TCP endpoint whose connection is started but never completes.
  void AddSilentTcpEndpoint(const std::string& ip, int port);

  // IDeviceCycleHost.
  void OpenLink(int kind, const std::string& address, const std::string& second) override;
  void CloseLink() override;
  bool TcpChecked() override { return tcp_checked; }
  bool SerialChecked() override { return serial_checked; }
  std::string IpText() override { return ip_text; }
  std::string PortText() override { return port_text; }
  std::string ComText() override { return com_text; }
  bool SerialWorkerAlive() override { return link_open_ && link_serial_; }
  int SerialRate() override { return link_rate_; }
  void SetSerialRate(int rate) override;
  void Log(const std::string& line) override { log.push_back(line); }
  void SetControlsEnabled(bool enabled) override;
  std::vector<DeviceRow>& Rows() override { return rows; }
  void RowsChanged() override { ++rows_changed; }
  int Random(int n) override;

  // The window's controls.
  bool tcp_checked = false;
  bool serial_checked = true;
  std::string ip_text = "127.0.0.1";
  std::string port_text = "10001";
  std::string com_text = "COM3 - Communications Port";
  std::string rate_text = "Auto";  // ComboBox2

  // What the cycle did.
  std::vector<std::string> log;
  std::vector<DeviceRow> rows;
  int rows_changed = 0;
  bool controls_enabled = true;
  std::vector<bool> controls_history;
  std::vector<std::string> opened;  // "serial 3 19200", "tcp 127.0.0.1 10001"
  int close_calls = 0;
  std::vector<int> rates_set;
  std::vector<SentFrame> sent;
  std::vector<int> random_ranges;
  // Replaces the pseudo-random source when set.
  std::function<int(int n)> random_override;

  bool LinkOpen() const { return link_open_; }
  // The log without traffic, link and pong lines: rates and pings only.
  std::vector<std::string> RateAndPingLines() const;

 private:
  struct Pending {
    int64_t Due = 0;
    uint64_t Generation = 0;
    std::vector<uint8_t> Bytes;
    bool OpensLink = false;
  };

  Line& SerialLine(int com);
  Line& TcpLine(const std::string& ip, int port);
  void SendToLink(const uint8_t* bytes, int count);
  void Schedule(Pending pending);
  void Pump();

  SimulatedClock& clock_;
  TComVornBus& engine_;
  TDeviceCycle* cycle_ = nullptr;
  std::unique_ptr<IIntervalTimer> pump_timer_;
  std::map<int, Line> serial_lines_;
  std::map<std::string, Line> tcp_lines_;
  std::mt19937 random_{12345};

  // The one link: which line, whether it is open (connected), its rate.
  Line* link_line_ = nullptr;
  std::string link_name_;
  bool link_serial_ = false;
  bool link_open_ = false;
  int link_rate_ = 0;
  uint64_t generation_ = 0;
  std::deque<Pending> pending_;
};

}  // namespace cycle_test
}  // namespace quinterra
