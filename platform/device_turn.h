#pragma once
// Whose turn it is on a folder's devices. The shop's program, quinterra-send
// and the network's agent may all drive the devices of one equipos.ini; a
// device answers one master at a time and a serial port opens once, so each
// takes the turn for one cycle and the others wait for it. The turn is a
// lock on a file beside equipos.ini ("equipos.lock"), held by an open file,
// so a program that dies gives it back at once.
//
// Not thread-safe; one object per session.

#include <string>

namespace quinterra {

class TDeviceTurn {
 public:
  // folder ends in a separator.
  explicit TDeviceTurn(std::string folder);
  ~TDeviceTurn();
  TDeviceTurn(const TDeviceTurn&) = delete;
  TDeviceTurn& operator=(const TDeviceTurn&) = delete;

  // Takes the turn without waiting: true when it is ours now (also when the
  // lock file cannot be made at all: a folder nobody else can write to
  // needs no turns, and the devices' own refusals still tell).
  bool TryTake();
  void Release();
  bool Held() const { return held_; }

 private:
  std::string path_;
  bool held_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace quinterra
