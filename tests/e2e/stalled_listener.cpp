#include "tests/e2e/stalled_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quinterra::e2e {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

int BoundPort(int fd) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  return ntohs(bound.sin_port);
}

}  // namespace

StalledListener::StalledListener() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  sockaddr_in address = Loopback(0);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
  if (::listen(listener_, 0) != 0) return;
  const int port = BoundPort(listener_);
  if (port == 0) return;

  // The one connection the backlog holds; once it is established the queue
  // is full.
  filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (filler_ < 0) return;
  address = Loopback(port);
  if (::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
  port_ = port;
}

StalledListener::~StalledListener() {
  if (filler_ >= 0) ::close(filler_);
  if (listener_ >= 0) ::close(listener_);
}

int RefusingPort() {
  // Bind a free port, then let it go: nothing listens there afterwards.
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address = Loopback(0);
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) port = BoundPort(fd);
  ::close(fd);
  return port;
}

}  // namespace quinterra::e2e
