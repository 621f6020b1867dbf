#pragma once
// The two ways the emulated device meets a master: a TCP port on the loopback
// address, or a pseudo-terminal that a serial program opens like a COM port.

#include <string>

namespace quinterra {

struct TTcpListener {
  int Fd = -1;
  int Port = 0;  // the port actually bound (useful when 0 was asked)
  std::string Error;
};

// Listens on 127.0.0.1 only, with SO_REUSEADDR, non-blocking, backlog 1.
TTcpListener ListenOnLoopback(int port);

struct TPseudoTerminal {
  int Master = -1;  // non-blocking; what the device reads and writes
  int Slave = -1;   // held open so that a client closing its side causes no EIO
  std::string Path;
  std::string Error;
};

// Opens a pseudo-terminal and puts its terminal side in raw mode.
TPseudoTerminal OpenPseudoTerminal();

}  // namespace quinterra
