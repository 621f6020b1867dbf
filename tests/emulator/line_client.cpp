#include "tests/emulator/line_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/fd_wait.h"

namespace quinterra::test {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

LineClient::~LineClient() { close(fd_); }

std::unique_ptr<LineClient> LineClient::ConnectTcp(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
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
  return std::unique_ptr<LineClient>(new LineClient(fd));
}

bool LineClient::Send(const Bytes& bytes) {
  return write(fd_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

std::optional<Bytes> LineClient::Read(size_t count, Milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  Bytes bytes(count);
  for (size_t done = 0; done < count;) {
    if (!ReadableBefore(fd_, deadline)) return std::nullopt;
    const ssize_t received = read(fd_, bytes.data() + done, count - done);
    if (received <= 0) return std::nullopt;
    done += size_t(received);
  }
  return bytes;
}

std::optional<Bytes> LineClient::ReadFrame(Milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  auto frame = Read(9, wait);
  if (!frame) return std::nullopt;
  const auto rest = Read((size_t((*frame)[7]) << 8 | (*frame)[8]) + 2, Milliseconds(MillisecondsLeft(deadline)));
  if (!rest) return std::nullopt;
  frame->insert(frame->end(), rest->begin(), rest->end());
  return frame;
}

std::optional<Answer> LineClient::Ask(const Bytes& request, Milliseconds wait) {
  const auto frame = Send(request) ? ReadFrame(wait) : std::nullopt;
  return frame ? ParseAnswer(*frame) : std::nullopt;
}

bool LineClient::StaysQuiet(Milliseconds wait) { return !ReadableBefore(fd_, Clock::now() + wait); }

}  // namespace quinterra::test
