// quinterra-pty-relay LINK: the Linux half of the serial tests of the Windows
// build under Wine, which cannot make pseudo-terminals itself. Wine's COM1 is
// set to LINK. For each connection on 127.0.0.1 this makes a fresh
// pseudo-terminal pair, points LINK at its slave, answers "+", and passes
// bytes both ways between the connection and the master until the
// connection closes; LINK then points at nothing again, so that no test can
// reach a terminal number that the system has handed to someone else.
//
// Prints its TCP port on the first line of its output. Ends when killed, or
// after --lifetime seconds (default 1800) so that it never outlives a run.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "quinterra-pty-relay: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// Replaces LINK in one step, so that Wine never finds it missing half-way.
void PointLink(const std::string& link, const std::string& target) {
  const std::string temporary = link + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0) Die("symlink " + temporary);
  if (::rename(temporary.c_str(), link.c_str()) != 0) Die("rename " + link);
}

// Appends what fd has to buffer; false when the other side has gone.
bool ReadInto(int fd, std::string& buffer, bool socket) {
  char chunk[4096];
  const ssize_t n = socket ? ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT) : ::read(fd, chunk, sizeof chunk);
  if (n > 0) buffer.append(chunk, static_cast<size_t>(n));
  if (n == 0) return !socket;
  return n > 0 || errno == EAGAIN || errno == EINTR || (!socket && errno == EIO);
}

// Writes what fits from buffer; false when the other side has gone.
bool WriteFrom(int fd, std::string& buffer, bool socket) {
  const ssize_t n = socket ? ::send(fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_NOSIGNAL)
                           : ::write(fd, buffer.data(), buffer.size());
  if (n > 0) buffer.erase(0, static_cast<size_t>(n));
  return n >= 0 || errno == EAGAIN || errno == EINTR;
}

void Serve(int client, const std::string& link) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) Die("posix_openpt");
  char slave[128];
  if (::ptsname_r(master, slave, sizeof slave) != 0) Die("ptsname");
  // Held open so that the slave keeps its settings and the master never
  // reads a hang-up between two opens by the test; raw until Wine sets it.
  const int observer = ::open(slave, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (observer < 0) Die(std::string("open ") + slave);
  termios raw{};
  if (::tcgetattr(observer, &raw) == 0) {
    ::cfmakeraw(&raw);
    ::tcsetattr(observer, TCSANOW, &raw);
  }
  PointLink(link, slave);
  int one = 1;
  ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  bool open = ::send(client, "+", 1, MSG_NOSIGNAL) == 1;

  std::string to_master, to_client;
  while (open) {
    pollfd fds[2] = {{client, 0, 0}, {master, 0, 0}};
    // Takes from a side only while what it sent before has been passed on.
    if (to_master.empty()) fds[0].events |= POLLIN;
    if (!to_client.empty()) fds[0].events |= POLLOUT;
    if (to_client.size() < (1u << 16)) fds[1].events |= POLLIN;
    if (!to_master.empty()) fds[1].events |= POLLOUT;
    if (::poll(fds, 2, 1000) < 0 && errno != EINTR) Die("poll");
    if (fds[0].revents & (POLLERR | POLLHUP)) open = false;
    if (fds[0].revents & POLLIN) open = open && ReadInto(client, to_master, true);
    if (fds[0].revents & POLLOUT) open = open && WriteFrom(client, to_client, true);
    if (fds[1].revents & POLLIN) ReadInto(master, to_client, false);
    if (fds[1].revents & POLLOUT) WriteFrom(master, to_master, false);
  }
  PointLink(link, link + ".none");
  ::close(observer);
  ::close(master);
  ::close(client);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quinterra-pty-relay LINK [--lifetime SECONDS]\n");
    return 2;
  }
  const std::string link = argv[1];
  long lifetime = 1800;
  if (argc >= 4 && std::string(argv[2]) == "--lifetime") lifetime = std::atol(argv[3]);
  std::signal(SIGPIPE, SIG_IGN);

  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    Die("listen on 127.0.0.1");
  }
  PointLink(link, link + ".none");
  std::printf("%d\n", ntohs(address.sin_port));
  std::fflush(stdout);

  const Clock::time_point end = Clock::now() + std::chrono::seconds(lifetime);
  while (Clock::now() < end) {
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 1000) <= 0) continue;
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) Serve(client, link);
  }
  return 0;
}
