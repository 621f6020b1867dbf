#pragma once
// The emulator program's event loop: one poll() over the stop signals, the
// link (a TCP listener and its one connection, or a pseudo-terminal) and the
// answer timer. Single-threaded; the device is only touched from here.

#include <chrono>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <vector>

#include "emulator/emulator_options.h"
#include "emulator/link_endpoints.h"
#include "emulator/panel_device.h"

namespace quinterra {

class TEmulatorLoop {
 public:
  using Clock = std::chrono::steady_clock;

  // A frame that has stopped arriving for this long is given up (see
  // TPanelDeviceEmulator::LineIdle): well above any gap inside one frame,
  // well below the master's 2.5 s repetition.
  static constexpr std::chrono::milliseconds kLineIdleGap{250};
  // Answers waiting for a master that does not read are dropped beyond this.
  static constexpr size_t kMaxUnsentBytes = 64 * 1024;

  TEmulatorLoop(const TEmulatorOptions& options, std::ostream& out, std::ostream& log);
  ~TEmulatorLoop();
  TEmulatorLoop(const TEmulatorLoop&) = delete;
  TEmulatorLoop& operator=(const TEmulatorLoop&) = delete;

  // Opens the link, prints its line ("TCP <port>" or "PTY <path>"), and serves
  // until SIGINT or SIGTERM. Returns the exit status.
  int Run();

 private:
  struct PendingAnswer {
    Clock::time_point Due;
    std::vector<uint8_t> Bytes;
  };

  bool OpenLink();
  void Accept();
  void ReadInput();
  void HandleInput(const uint8_t* bytes, size_t count);
  void CloseConnection(const char* why);
  void SendDueAnswers(Clock::time_point now);
  void Flush();
  int PollTimeout(Clock::time_point now) const;
  void Dump();
  // With --line-time: how long one byte is on the line.
  Clock::duration ByteTime() const;
  void HearDueBytes(Clock::time_point now);

  TEmulatorOptions options_;
  std::ostream& out_;
  std::ostream& log_;
  TPanelDeviceEmulator device_;
  TTcpListener listener_;
  TPseudoTerminal pty_;
  int link_ = -1;  // the connection, or the pseudo-terminal's master side
  std::deque<PendingAnswer> pending_;
  // With --line-time: bytes still on their way in, each with the moment it
  // has arrived; and the moment the line out is free again.
  std::deque<std::pair<Clock::time_point, uint8_t>> arriving_;
  Clock::time_point line_in_free_{};
  Clock::time_point line_out_free_{};
  std::vector<uint8_t> unsent_;
  Clock::time_point last_input_{};
  bool dump_needed_ = false;
};

}  // namespace quinterra
