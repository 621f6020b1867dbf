#include "platform/signal_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace quinterra {
namespace {

int g_write_fd = -1;
volatile std::sig_atomic_t g_received = 0;

extern "C" void OnStopSignal(int signal_number) {
  const int saved = errno;
  g_received = signal_number;
  const char byte = 1;
  // Non-blocking: with the pipe full, a byte is already waiting.
  if (g_write_fd >= 0) (void)!write(g_write_fd, &byte, 1);
  errno = saved;
}

}  // namespace

TSignalPipe::TSignalPipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  read_fd_ = fds[0];
  g_write_fd = fds[1];
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  struct sigaction inherited {};
  sigaction(SIGINT, nullptr, &inherited);
  watch_interrupt_ = inherited.sa_handler != SIG_IGN;
  if (watch_interrupt_) sigaction(SIGINT, &action, nullptr);
  // A closed terminal (or its session's end) stops us as SIGTERM does;
  // under nohup it stays ignored.
  sigaction(SIGHUP, nullptr, &inherited);
  watch_hangup_ = inherited.sa_handler != SIG_IGN;
  if (watch_hangup_) sigaction(SIGHUP, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

TSignalPipe::~TSignalPipe() {
  if (watch_interrupt_) signal(SIGINT, SIG_DFL);
  if (watch_hangup_) signal(SIGHUP, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  if (read_fd_ >= 0) close(read_fd_);
  if (g_write_fd >= 0) close(g_write_fd);
  g_write_fd = -1;
}

void TSignalPipe::Drain() const {
  char bytes[64];
  while (read_fd_ >= 0 && read(read_fd_, bytes, sizeof bytes) > 0) {
  }
}

int TSignalPipe::Received() const { return g_received; }

const char* SignalName(int signal_number) {
  if (signal_number == SIGINT) return "SIGINT";
  if (signal_number == SIGTERM) return "SIGTERM";
  if (signal_number == SIGHUP) return "SIGHUP";
  return "otra señal";
}

}  // namespace quinterra
