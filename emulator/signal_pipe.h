#pragma once
// SIGINT and SIGTERM turned into a readable file descriptor (the self-pipe
// technique), so that a poll() loop ends cleanly between two events.

namespace quinterra {

class TSignalPipe {
 public:
  // Installs the handlers; also ignores SIGPIPE, so that a master that leaves
  // mid-answer costs a write error rather than the program.
  TSignalPipe();
  ~TSignalPipe();
  TSignalPipe(const TSignalPipe&) = delete;
  TSignalPipe& operator=(const TSignalPipe&) = delete;

  bool Ok() const { return read_fd_ >= 0; }
  // Readable once a signal has arrived.
  int Fd() const { return read_fd_; }
  // The signal that arrived, or 0.
  int Received() const;

 private:
  int read_fd_ = -1;
};

}  // namespace quinterra
