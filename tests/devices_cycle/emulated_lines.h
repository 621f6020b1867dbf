#pragma once
// The device session's link, in process: serial ports and TCP endpoints
// with emulated panel devices on them. It opens, closes and carries bytes as
// the program's link layer does, with its log lines; answers travel back
// after a simulated latency, like bytes from a real link, never from within
// the send.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulator/panel_device.h"
#include "links/device_link.h"
#include "platform/simulated_clock.h"

namespace quinterra {
namespace cycle_test {

// One frame sent, with the link it went out on.
struct SentFrame {
  std::chrono::milliseconds At{0};
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

class EmulatedLines : public IDeviceLink {
 public:
  static constexpr std::chrono::milliseconds kLatency{2};

  explicit EmulatedLines(SimulatedClock& clock);

  LineDevice& AddSerialDevice(int com, int rate, const TPanelDeviceOptions& options);
  LineDevice& AddTcpDevice(const std::string& ip, int port, const TPanelDeviceOptions& options);
  // A TCP endpoint whose connection is started but never completes.
  void AddSilentTcpEndpoint(const std::string& ip, int port);

  // IDeviceLink.
  void OpenTcp(const std::string& address, int port) override;
  void OpenSerial(int com_number, int rate) override;
  void CloseLink() override;
  void SendToLink(const uint8_t* bytes, int count) override;
  bool SerialLinkAlive() const override { return link_open_ && link_serial_; }
  int SerialRate() const override { return link_rate_; }
  void SetSerialRate(int rate) override;

  // What the session did with the link.
  std::vector<std::string> opened;  // "serial 3 19200", "tcp 127.0.0.1 10001"
  int close_calls = 0;
  std::vector<int> rates_set;
  std::vector<SentFrame> sent;

  bool LinkOpen() const { return link_open_; }

 private:
  struct Pending {
    std::chrono::milliseconds Due{0};
    uint64_t Generation = 0;
    std::vector<uint8_t> Bytes;
    bool OpensLink = false;
  };

  void Say(const std::string& line);
  void Schedule(Pending pending);
  void Pump();

  SimulatedClock& clock_;
  std::unique_ptr<IIntervalTimer> pump_timer_;
  std::map<int, Line> serial_lines_;
  std::map<std::string, Line> tcp_lines_;

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
