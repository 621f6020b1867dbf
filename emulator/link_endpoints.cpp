#include "emulator/link_endpoints.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace quinterra {
namespace {

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

TTcpListener ListenOnLoopback(int port) {
  TTcpListener listener;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    listener.Error = SystemError("socket");
    return listener;
  }
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    listener.Error = SystemError(("bind 127.0.0.1:" + std::to_string(port)).c_str());
    close(fd);
    return listener;
  }
  if (listen(fd, 1) != 0) {
    listener.Error = SystemError("listen");
    close(fd);
    return listener;
  }
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  listener.Fd = fd;
  listener.Port = ntohs(address.sin_port);
  return listener;
}

TPseudoTerminal OpenPseudoTerminal() {
  TPseudoTerminal pty;
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    pty.Error = SystemError("posix_openpt");
    return pty;
  }
  char path[256];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, path, sizeof path) != 0) {
    pty.Error = SystemError("pseudo-terminal setup");
    close(master);
    return pty;
  }
  const int slave = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    pty.Error = SystemError(path);
    close(master);
    return pty;
  }
  termios settings{};
  tcgetattr(slave, &settings);
  cfmakeraw(&settings);
  tcsetattr(slave, TCSANOW, &settings);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  pty.Master = master;
  pty.Slave = slave;
  pty.Path = path;
  return pty;
}

}  // namespace quinterra
