#pragma once
// A pseudo-terminal pair standing in for a serial device. The test keeps the
// master, a raw byte pipe that never blocks; the code under test opens the
// slave as its serial device.
//
// A Windows test under Wine cannot make one: quinterra-pty-relay (a Linux
// program, tests/support/pty_relay_main.cpp) makes a fresh pair for each
// connection to it, points Wine's COM1 at the slave and passes the master's
// bytes over the connection. QUINTERRA_PTY_RELAY names its TCP port on
// 127.0.0.1, and SlavePath() is then \\.\COM1.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quinterra::test {

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slave_path_; }
  void WriteToSlave(const std::vector<uint8_t>& bytes);
  // Reads what the slave side sent until count bytes came or timeout passed.
  std::vector<uint8_t> ReadFromSlave(size_t count, std::chrono::milliseconds timeout);
#ifndef _WIN32
  // The rate the slave side is set to. (Parity and data bits cannot be
  // checked here: a pseudo-terminal forces 8 bits without parity.)
  int SlaveRate() const;
#endif

 private:
#ifdef _WIN32
  uintptr_t relay_;  // the socket to quinterra-pty-relay
#else
  int master_ = -1;
  int observer_ = -1;
#endif
  std::string slave_path_;
};

// A Windows program run by Wine, whose serial ports differ from Windows' own.
bool RunningUnderWine();

}  // namespace quinterra::test
