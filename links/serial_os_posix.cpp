// The POSIX serial device: termios2 (so that any rate can be set with BOTHER),
// non-blocking reads and writes, TIOCEXCL plus flock for an exclusive open
// (TIOCEXCL alone does not stop root), modem lines through TIOCMBIS/TIOCMBIC.
// Every OS call of the serial port lives in this file.

#include <asm/termbits.h>  // termios2; <termios.h> must not be included with it
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "links/serial_device.h"
#include "platform/errno_text.h"

namespace quinterra {
namespace {

using Clock = std::chrono::steady_clock;

// A device without modem lines (a pseudo-terminal, a virtual port) refuses
// these ioctls; setting its DTR or RTS is then a no-op, as on a virtual COM
// port of Windows.
bool NoModemLines(int error) { return error == ENOTTY || error == EINVAL; }

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

class PosixSerialDevice : public TSerialDevice {
 public:
  ~PosixSerialDevice() override {
    if (fd_ >= 0) Close();
  }

  TSerialError Open(const std::string& path) override {
    if (fd_ >= 0) Close();
    if (path.empty()) return OsError(ENOENT);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return OsError(errno);
    // flock first: a refused lock must leave the other owner's tty untouched.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = (errno == EWOULDBLOCK) ? EBUSY : errno;
      ::close(fd);
      return OsError(error);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
      const int error = errno;
      ::close(fd);
      return OsError(error);
    }
    fd_ = fd;
    return {};
  }

  bool IsOpen() const override { return fd_ >= 0; }

  TSerialError Close() override {
    if (fd_ < 0) return {};
    ::ioctl(fd_, TIOCNXCL);
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? TSerialError{} : OsError(errno);
  }

  TSerialError ApplyLineDefaults() override {
    termios2 t;
    if (TSerialError error = Get(&t)) return error;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~CRTSCTS;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;  // reads never wait
    t.c_cc[VTIME] = 0;
    if (TSerialError error = Set(t)) return error;
    if (TSerialError error = ModemLine(TIOCM_DTR, false)) return error;
    return ModemLine(TIOCM_RTS, false);
  }

  TSerialError SetBaudRate(int bits_per_second) override {
    termios2 t;
    if (TSerialError error = Get(&t)) return error;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(bits_per_second);
    t.c_ospeed = static_cast<speed_t>(bits_per_second);
    return Set(t);
  }

  TSerialError SetParity(TSerialParity parity) override {
    termios2 t;
    if (TSerialError error = Get(&t)) return error;
    tcflag_t bits = 0;
    switch (parity) {
      case TspNone: bits = 0; break;
      case TspOdd: bits = PARENB | PARODD; break;
      case TspEven: bits = PARENB; break;
      case TspMark: bits = PARENB | PARODD | CMSPAR; break;
      case TspSpace: bits = PARENB | CMSPAR; break;
      default: return Set(t);  // left as read
    }
    t.c_cflag = (t.c_cflag & ~(PARENB | PARODD | CMSPAR)) | bits;
    return Set(t);
  }

  TSerialError SetDataBits(TSerialDataBits bits) override {
    termios2 t;
    if (TSerialError error = Get(&t)) return error;
    tcflag_t size = 0;
    switch (bits) {
      case Tsd4Bits: return OsError(EINVAL);  // no UART driver here takes 4 bits
      case Tsd5Bits: size = CS5; break;
      case Tsd6Bits: size = CS6; break;
      case Tsd7Bits: size = CS7; break;
      case Tsd8Bits: size = CS8; break;
      default: return Set(t);
    }
    t.c_cflag = (t.c_cflag & ~CSIZE) | size;
    return Set(t);
  }

  TSerialError SetStopBits(TSerialStopBits bits) override {
    termios2 t;
    if (TSerialError error = Get(&t)) return error;
    switch (bits) {
      case Tssb1: t.c_cflag &= ~CSTOPB; break;
      // The UART sends 1.5 stop bits for CSTOPB at 5 data bits.
      case Tssb1p5:
      case Tssb2: t.c_cflag |= CSTOPB; break;
      default: break;
    }
    return Set(t);
  }

  TSerialError SetDtrFlow(TDtrFlow flow) override {
    // There is no DTR handshake in the termios driver; handshake keeps DTR
    // raised so that the device sees a terminal ready.
    return ModemLine(TIOCM_DTR, flow != TdfDisable);
  }

  TSerialError SetRtsFlow(TRtsFlow flow) override {
    termios2 t;
    if (TSerialError error = Get(&t)) return error;
    const bool handshake = flow == TrfHandshake;
    if (((t.c_cflag & CRTSCTS) != 0) != handshake) {
      if (handshake) {
        t.c_cflag |= CRTSCTS;
      } else {
        t.c_cflag &= ~CRTSCTS;
      }
      if (TSerialError error = Set(t)) return error;
    }
    if (handshake) return {};  // the driver drives RTS
    // Toggle has no driver support here; RTS then rests low between writes.
    return ModemLine(TIOCM_RTS, flow == TrfEnable);
  }

  TSerialError Read(uint8_t* buffer, int size, int* count) override {
    *count = 0;
    if (fd_ < 0) return OsError(EBADF);
    if (size <= 0) return {};
    const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(size));
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {};
      return SessionError(errno);
    }
    // A hung-up tty (its USB adapter pulled out, the other side of a
    // pseudo-terminal closed) reads 0 bytes for ever, as one with nothing
    // buffered does; only poll tells them apart. Its writes fail with EIO.
    if (n == 0) {
      pollfd p{fd_, POLLIN, 0};
      const bool hung_up = ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
      if (hung_up) return SessionError(EIO);
    }
    *count = static_cast<int>(n);
    return {};
  }

  TSerialError Write(const uint8_t* bytes, int count, int timeout_ms, int* written) override {
    *written = 0;
    if (fd_ < 0) return OsError(EBADF);
    const bool bounded = timeout_ms > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (*written < count) {
      const ssize_t n = ::write(fd_, bytes + *written, static_cast<size_t>(count - *written));
      if (n > 0) {
        *written += static_cast<int>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return SessionError(errno);
      // No room: wait for some, within what is left of the budget.
      const int wait = bounded ? RemainingMs(deadline) : -1;
      if (bounded && wait == 0) return {};  // out of time; not an error
      pollfd p{fd_, POLLOUT, 0};
      const int ready = ::poll(&p, 1, wait);
      if (ready < 0 && errno != EINTR) return SessionError(errno);
      if (ready == 0) return {};
    }
    return {};
  }

  TSerialError WaitTransmitEmpty(int timeout_ms) override {
    if (fd_ < 0) return OsError(EBADF);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      int queued = 0;
      if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) {
        return NoModemLines(errno) ? TSerialError{} : SessionError(errno);
      }
      if (queued == 0 || RemainingMs(deadline) == 0) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

 private:
  TSerialError Get(termios2* t) const {
    if (fd_ < 0) return OsError(EBADF);
    return ::ioctl(fd_, TCGETS2, t) == 0 ? TSerialError{} : SessionError(errno);
  }
  TSerialError Set(const termios2& t) const {
    if (fd_ < 0) return OsError(EBADF);
    return ::ioctl(fd_, TCSETS2, &t) == 0 ? TSerialError{} : SessionError(errno);
  }
  TSerialError ModemLine(int line, bool raised) const {
    if (fd_ < 0) return OsError(EBADF);
    if (::ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &line) == 0) return {};
    return NoModemLines(errno) ? TSerialError{} : SessionError(errno);
  }

  int fd_ = -1;
};

}  // namespace

std::unique_ptr<TSerialDevice> CreateNativeSerialDevice() {
  return std::make_unique<PosixSerialDevice>();
}

std::vector<int> DeviceSettableRates(const std::string& path, const std::vector<int>& rates) {
  PosixSerialDevice device;
  if (device.Open(path)) return {};
  device.Close();
  return rates;  // termios2 takes any rate
}

TSerialError OsError(uint32_t code) {
  switch (code) {
    case 0: return {};
    case ENOENT:
    case ENODEV:
    case ENXIO: return {TSerialErrorKind::NotFound, code};
    case EACCES: return {TSerialErrorKind::AccessDenied, code};
    case EBUSY: return {TSerialErrorKind::Busy, code};
    case EINVAL:
    case ENOTTY: return {TSerialErrorKind::Unsupported, code};
    default: return {TSerialErrorKind::Other, code};
  }
}

TSerialError SessionError(uint32_t code) {
  switch (code) {
    // What a hung-up tty answers, and what a device unplugged under its
    // driver's call does.
    case EIO:
    case ENXIO:
    case ENODEV: return {TSerialErrorKind::Gone, code};
    default: return OsError(code);
  }
}

}  // namespace quinterra
