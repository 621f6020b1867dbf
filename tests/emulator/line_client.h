#pragma once
// The master's end of a link to the emulator program (TCP on 127.0.0.1 or
// its pseudo-terminal), speaking in frames. Every wait is bounded.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/emulator/request_bytes.h"
#include "tests/support/emulator_process.h"

namespace quinterra::test {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

class LineClient {
 public:
  ~LineClient();
  static std::unique_ptr<LineClient> ConnectTcp(int port);
  // Raw mode at 9600 bit/s.
  static std::unique_ptr<LineClient> OpenTerminal(const std::string& path);

  int Fd() const { return fd_; }
  bool Send(const Bytes& bytes);
  std::optional<Bytes> Read(size_t count, Milliseconds wait = 3s);
  // One frame as it arrived, read by its length field.
  std::optional<Bytes> ReadFrame(Milliseconds wait = 3s);
  std::optional<Answer> Ask(const Bytes& request, Milliseconds wait = 3s);
  // Nothing at all arrives within wait.
  bool StaysQuiet(Milliseconds wait);

 private:
  explicit LineClient(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace quinterra::test
