#pragma once
// SIGINT, SIGTERM and SIGHUP turned into a readable file descriptor (the self-pipe
// technique: the handler only writes a byte, nothing more is safe there), so
// that a poll() loop or an event loop ends cleanly between two events. One
// object per process.

namespace quinterra {

class TSignalPipe {
 public:
  // Installs the handlers; also ignores SIGPIPE, so that a peer or a reader
  // that leaves costs a write error rather than the program. A SIGINT or a
  // SIGHUP that was ignored when the program started (a background job of a
  // script, nohup) is left ignored.
  TSignalPipe();
  ~TSignalPipe();
  TSignalPipe(const TSignalPipe&) = delete;
  TSignalPipe& operator=(const TSignalPipe&) = delete;

  bool Ok() const { return read_fd_ >= 0; }
  // Readable once a signal has arrived.
  int Fd() const { return read_fd_; }
  // Empties the pipe, so that it is readable again only after a new signal.
  void Drain() const;
  // The last signal that arrived, or 0.
  int Received() const;

 private:
  int read_fd_ = -1;
  bool watch_interrupt_ = false;
  bool watch_hangup_ = false;
};

// "SIGINT", "SIGTERM", "SIGHUP", or "otra señal".
const char* SignalName(int signal_number);

}  // namespace quinterra
