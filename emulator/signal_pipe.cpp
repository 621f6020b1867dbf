#include "emulator/signal_pipe.h"

#include <csignal>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quinterra {
namespace {

int g_write_fd = -1;
volatile std::sig_atomic_t g_received = 0;

extern "C" void OnStopSignal(int signal_number) {
  const int saved = errno;
  g_received = signal_number;
  const char byte = 1;
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
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

TSignalPipe::~TSignalPipe() {
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  if (read_fd_ >= 0) close(read_fd_);
  if (g_write_fd >= 0) close(g_write_fd);
  g_write_fd = -1;
}

int TSignalPipe::Received() const { return g_received; }

}  // namespace quinterra
