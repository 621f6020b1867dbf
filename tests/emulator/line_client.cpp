#include "tests/emulator/line_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace quinterra::test {

LineClient::~LineClient() {
  if (fd_ >= 0) close(fd_);
}

std::unique_ptr<LineClient> LineClient::ConnectTcp(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return nullptr;
  }
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  return std::unique_ptr<LineClient>(new LineClient(fd));
}

std::unique_ptr<LineClient> LineClient::OpenTerminal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B9600);
  tcsetattr(fd, TCSANOW, &settings);
  // Answers the device sent to an earlier client that never read them.
  tcflush(fd, TCIFLUSH);
  return std::unique_ptr<LineClient>(new LineClient(fd));
}

bool LineClient::Send(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd_, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

bool LineClient::ReadExactly(uint8_t* bytes, size_t count, std::chrono::steady_clock::time_point deadline) {
  size_t done = 0;
  while (done < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd fd{fd_, POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t received = read(fd_, bytes + done, count - done);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return false;
    done += static_cast<size_t>(received);
  }
  return true;
}

std::optional<Bytes> LineClient::ReadFrame(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  Bytes frame(9);
  if (!ReadExactly(frame.data(), 9, deadline)) return std::nullopt;
  const size_t length = size_t(frame[7]) << 8 | frame[8];
  frame.resize(9 + length + 2);
  if (!ReadExactly(frame.data() + 9, length + 2, deadline)) return std::nullopt;
  return frame;
}

std::optional<Bytes> LineClient::ReadBytes(size_t count, std::chrono::milliseconds wait) {
  Bytes bytes(count);
  if (!ReadExactly(bytes.data(), count, std::chrono::steady_clock::now() + wait)) return std::nullopt;
  return bytes;
}

std::optional<Answer> LineClient::Ask(const Bytes& request, std::chrono::milliseconds wait) {
  if (!Send(request)) return std::nullopt;
  const auto frame = ReadFrame(wait);
  if (!frame) return std::nullopt;
  return ParseAnswer(*frame);
}

bool LineClient::StaysQuiet(std::chrono::milliseconds wait) {
  pollfd fd{fd_, POLLIN, 0};
  return poll(&fd, 1, static_cast<int>(wait.count())) == 0;
}

}  // namespace quinterra::test
