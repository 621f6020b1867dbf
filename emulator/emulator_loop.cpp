#include "emulator/emulator_loop.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <ostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "emulator/memory_dump.h"
#include "emulator/pty_rate.h"
#include "platform/signal_pipe.h"

namespace quinterra {
namespace {

std::string Hex(const uint8_t* bytes, size_t count, size_t limit = 24) {
  std::string text;
  char cell[4];
  for (size_t i = 0; i < count && i < limit; ++i) {
    std::snprintf(cell, sizeof cell, i ? " %02X" : "%02X", bytes[i]);
    text += cell;
  }
  if (count > limit) text += " ... (" + std::to_string(count) + " bytes)";
  return text;
}

}  // namespace

TEmulatorLoop::TEmulatorLoop(const TEmulatorOptions& options, std::ostream& out, std::ostream& log)
    : options_(options), out_(out), log_(log), device_(options.Device) {
  device_.OnAnswer = [this](TPanelDeviceEmulator&, const uint8_t* bytes, size_t count) {
    const auto delay = std::chrono::milliseconds(options_.Device.DelayMs);
    Clock::time_point due = Clock::now() + delay;
    if (options_.LineTime) {
      // The answer is whole at the master once its last byte has crossed.
      due = std::max(due, line_out_free_) + static_cast<long>(count) * ByteTime();
      line_out_free_ = due;
    }
    pending_.push_back({due, std::vector<uint8_t>(bytes, bytes + count)});
    if (options_.Log) {
      log_ << "[tx] " << Hex(bytes, count);
      if (delay.count() > 0) log_ << " (in " << delay.count() << " ms)";
      log_ << std::endl;
    }
  };
  device_.OnRequest = [this](TPanelDeviceEmulator&, const TDeviceRequest& request, TRequestOutcome outcome) {
    if (!options_.Log) return;
    log_ << "[rx] address " << int(request.Address) << " command " << Hex(&request.Command, 1) << " P "
         << Hex(request.Param.data(), 5) << " length " << request.Payload.size() << ": " << OutcomeName(outcome)
         << std::endl;
  };
  device_.OnMemoryWritten = [this](TPanelDeviceEmulator&, TMemoryArea) { dump_needed_ = true; };
}

TEmulatorLoop::~TEmulatorLoop() {
  if (listener_.Fd >= 0) close(listener_.Fd);
  if (options_.UsePty) {
    if (pty_.Master >= 0) close(pty_.Master);
    if (pty_.Slave >= 0) close(pty_.Slave);
  } else if (link_ >= 0) {
    close(link_);
  }
}

bool TEmulatorLoop::OpenLink() {
  if (options_.UsePty) {
    pty_ = OpenPseudoTerminal();
    if (!pty_.Error.empty()) {
      log_ << "quinterra-emulator: " << pty_.Error << std::endl;
      return false;
    }
    link_ = pty_.Master;
    out_ << "PTY " << pty_.Path << std::endl;
  } else {
    listener_ = ListenOnLoopback(options_.TcpPort);
    if (!listener_.Error.empty()) {
      log_ << "quinterra-emulator: " << listener_.Error << std::endl;
      return false;
    }
    out_ << "TCP " << listener_.Port << std::endl;
  }
  return true;
}

int TEmulatorLoop::Run() {
  TSignalPipe signals;
  if (!signals.Ok()) {
    log_ << "quinterra-emulator: cannot watch for signals: " << std::strerror(errno) << std::endl;
    return 1;
  }
  if (!options_.DumpDir.empty()) {
    if (mkdir(options_.DumpDir.c_str(), 0777) != 0 && errno != EEXIST) {
      log_ << "quinterra-emulator: cannot create " << options_.DumpDir << ": " << std::strerror(errno) << std::endl;
      return 1;
    }
    const std::string error = DumpDeviceMemory(options_.DumpDir, device_);
    if (!error.empty()) {
      log_ << "quinterra-emulator: " << error << std::endl;
      return 1;
    }
  }
  if (!OpenLink()) return 1;

  for (;;) {
    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = {signals.Fd(), POLLIN, 0};
    const nfds_t listener_index = count;
    if (listener_.Fd >= 0 && link_ < 0) fds[count++] = {listener_.Fd, POLLIN, 0};
    const nfds_t link_index = count;
    if (link_ >= 0) fds[count++] = {link_, short(POLLIN | (unsent_.empty() ? 0 : POLLOUT)), 0};

    const int ready = poll(fds, count, PollTimeout(Clock::now()));
    if (ready < 0 && errno != EINTR) {
      log_ << "quinterra-emulator: poll: " << std::strerror(errno) << std::endl;
      return 1;
    }
    if (signals.Received() != 0) break;
    if (ready > 0) {
      if (listener_index < count && fds[listener_index].fd == listener_.Fd && fds[listener_index].revents)
        Accept();
      else if (link_index < count && fds[link_index].revents & (POLLIN | POLLHUP | POLLERR))
        ReadInput();
    }
    const Clock::time_point now = Clock::now();
    if (device_.HasUnfinishedInput() && now - last_input_ >= kLineIdleGap) {
      if (options_.Log) log_ << "[rx] line quiet in mid-frame: unfinished frame given up" << std::endl;
      device_.LineIdle();
    }
    HearDueBytes(now);
    // The files must be current before the master can see the write's answer.
    if (dump_needed_) Dump();
    SendDueAnswers(now);
    Flush();
  }
  if (options_.Log) log_ << "[stop] signal " << signals.Received() << std::endl;
  return 0;
}

void TEmulatorLoop::Accept() {
  const int fd = accept4(listener_.Fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;  // the caller gave up meanwhile; poll again
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  link_ = fd;
  device_.ResetReceiver();
  last_input_ = Clock::now();
  if (options_.Log) log_ << "[tcp] master connected" << std::endl;
}

void TEmulatorLoop::ReadInput() {
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t received = read(link_, buffer, sizeof buffer);
    if (received > 0) {
      HandleInput(buffer, static_cast<size_t>(received));
      if (link_ < 0) return;
      continue;
    }
    if (received < 0 && errno == EINTR) continue;
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // End of stream or a failure: on TCP the master has gone. The pseudo-terminal
    // cannot end while we hold its terminal side, so there is nothing to close.
    if (!options_.UsePty) CloseConnection(received == 0 ? "master left" : std::strerror(errno));
    return;
  }
}

void TEmulatorLoop::HandleInput(const uint8_t* bytes, size_t count) {
  last_input_ = Clock::now();
  if (options_.Baud) {
    const auto rate = TerminalRate(pty_.Master);
    if (!rate || *rate != *options_.Baud) {
      // At another rate the device's receiver hears only noise.
      device_.ResetReceiver();
      if (options_.Log) {
        log_ << "[pty] line at " << (rate ? std::to_string(*rate) : std::string("?")) << " bps, not "
             << *options_.Baud << ": " << count << " bytes heard as noise" << std::endl;
      }
      return;
    }
  }
  if (options_.LineTime) {
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < count; ++i) {
      line_in_free_ = std::max(line_in_free_, now) + ByteTime();
      arriving_.emplace_back(line_in_free_, bytes[i]);
    }
    return;
  }
  const uint64_t discarded = device_.DiscardedBytes();
  device_.ReceiveBytes(bytes, count);
  if (options_.Log && device_.DiscardedBytes() != discarded) {
    log_ << "[rx] " << device_.DiscardedBytes() - discarded << " bytes of noise skipped" << std::endl;
  }
}

void TEmulatorLoop::CloseConnection(const char* why) {
  close(link_);
  link_ = -1;
  pending_.clear();
  unsent_.clear();
  device_.ResetReceiver();
  if (options_.Log) log_ << "[tcp] " << why << std::endl;
}

void TEmulatorLoop::SendDueAnswers(Clock::time_point now) {
  while (!pending_.empty() && pending_.front().Due <= now) {
    std::vector<uint8_t>& bytes = pending_.front().Bytes;
    if (link_ < 0) {
      // Nobody to tell.
    } else if (unsent_.size() + bytes.size() > kMaxUnsentBytes) {
      if (options_.Log) log_ << "[tx] master not reading: answer of " << bytes.size() << " bytes lost" << std::endl;
    } else {
      unsent_.insert(unsent_.end(), bytes.begin(), bytes.end());
    }
    pending_.pop_front();
  }
}

void TEmulatorLoop::Flush() {
  while (link_ >= 0 && !unsent_.empty()) {
    const ssize_t sent = options_.UsePty ? write(link_, unsent_.data(), unsent_.size())
                                         : send(link_, unsent_.data(), unsent_.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      unsent_.erase(unsent_.begin(), unsent_.begin() + sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;
    } else if (options_.UsePty) {
      unsent_.clear();
      return;
    } else {
      CloseConnection(std::strerror(errno));
      return;
    }
  }
}

int TEmulatorLoop::PollTimeout(Clock::time_point now) const {
  Clock::time_point wake = Clock::time_point::max();
  if (!pending_.empty()) wake = pending_.front().Due;
  if (!arriving_.empty()) wake = std::min(wake, arriving_.front().first);
  if (device_.HasUnfinishedInput()) wake = std::min(wake, last_input_ + kLineIdleGap);
  if (wake == Clock::time_point::max()) return -1;
  if (wake <= now) return 0;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
  return static_cast<int>(std::min<long long>(wait, 60 * 60 * 1000));
}

TEmulatorLoop::Clock::duration TEmulatorLoop::ByteTime() const {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
      10'000'000'000LL / std::max<uint32_t>(1, options_.Baud.value_or(1))));
}

void TEmulatorLoop::HearDueBytes(Clock::time_point now) {
  std::vector<uint8_t> heard;
  while (!arriving_.empty() && arriving_.front().first <= now) {
    heard.push_back(arriving_.front().second);
    arriving_.pop_front();
  }
  if (heard.empty()) return;
  last_input_ = now;
  device_.ReceiveBytes(heard.data(), heard.size());
}

void TEmulatorLoop::Dump() {
  dump_needed_ = false;
  const std::string error = DumpDeviceMemory(options_.DumpDir, device_);
  // Always reported: the operator asked for the files.
  if (!error.empty()) log_ << "quinterra-emulator: " << error << std::endl;
}

}  // namespace quinterra
