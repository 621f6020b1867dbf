// The Windows side of a pseudo-terminal pair: a connection to
// quinterra-pty-relay, which holds the master on the Linux side.

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/pty_pair.h"

namespace quinterra::test {
namespace {

using Clock = std::chrono::steady_clock;

SOCKET Socket(uintptr_t relay) { return static_cast<SOCKET>(relay); }

bool ReadableWithin(SOCKET socket, std::chrono::milliseconds wait) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval limit{static_cast<long>(wait.count() / 1000), static_cast<long>(wait.count() % 1000) * 1000};
  return ::select(0, &readable, nullptr, nullptr, &limit) > 0;
}

}  // namespace

PtyPair::PtyPair() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  const char* port = std::getenv("QUINTERRA_PTY_RELAY");
  if (!started || port == nullptr) {
    throw std::runtime_error("no pseudo-terminal relay: run these tests through scripts/test-windows.sh");
  }
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = ::htons(static_cast<u_short>(std::atoi(port)));
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  if (socket == INVALID_SOCKET ||
      ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (socket != INVALID_SOCKET) ::closesocket(socket);
    throw std::runtime_error("pseudo-terminal relay unreachable");
  }
  BOOL no_delay = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
  relay_ = static_cast<uintptr_t>(socket);
  // The relay answers once COM1 names the new pair's slave.
  char ready = 0;
  if (!ReadableWithin(socket, std::chrono::seconds(5)) || ::recv(socket, &ready, 1, 0) != 1 || ready != '+') {
    ::closesocket(socket);
    throw std::runtime_error("pseudo-terminal relay gave no pair");
  }
  slave_path_ = "\\\\.\\COM1";
}

PtyPair::~PtyPair() { ::closesocket(Socket(relay_)); }

void PtyPair::WriteToSlave(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const int n = ::send(Socket(relay_), reinterpret_cast<const char*>(bytes.data()) + done,
                         static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) throw std::runtime_error("pseudo-terminal relay write");
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> PtyPair::ReadFromSlave(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> bytes;
  const Clock::time_point deadline = Clock::now() + timeout;
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !ReadableWithin(Socket(relay_), left)) break;
    char buffer[4096];
    const int n = ::recv(Socket(relay_), buffer, static_cast<int>(std::min(sizeof buffer, count - bytes.size())), 0);
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

bool RunningUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace quinterra::test
