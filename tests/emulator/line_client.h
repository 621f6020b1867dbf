#pragma once
// The master's end of a link to the emulator program, for tests: a TCP
// connection to 127.0.0.1 or the terminal side of its pseudo-terminal.
// Every read is bounded by a deadline.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "tests/emulator/request_bytes.h"

namespace quinterra::test {

using namespace std::chrono_literals;

class LineClient {
 public:
  ~LineClient();
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  static std::unique_ptr<LineClient> ConnectTcp(int port);
  // Opens the terminal in raw mode at 9600 bit/s unless told otherwise.
  static std::unique_ptr<LineClient> OpenTerminal(const std::string& path);

  int Fd() const { return fd_; }
  bool Send(const Bytes& bytes);
  // One answer frame as it arrived (header, payload, check bytes).
  std::optional<Bytes> ReadFrame(std::chrono::milliseconds wait = 3s);
  // Exactly count raw bytes.
  std::optional<Bytes> ReadBytes(size_t count, std::chrono::milliseconds wait = 3s);
  std::optional<Answer> Ask(const Bytes& request, std::chrono::milliseconds wait = 3s);
  // True when nothing at all arrives within wait.
  bool StaysQuiet(std::chrono::milliseconds wait);

 private:
  explicit LineClient(int fd) : fd_(fd) {}
  bool ReadExactly(uint8_t* bytes, size_t count, std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
};

}  // namespace quinterra::test
