#pragma once
// The emulator program as a child process of a test, and the master's end of
// a link to it (TCP on 127.0.0.1 or its pseudo-terminal). Every wait is
// bounded; the child is killed when its handle goes, whatever happened.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/emulator/request_bytes.h"

namespace quinterra::test {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

class EmulatorProcess {
 public:
  ~EmulatorProcess();
  // Starts the program; its standard error goes to a file (Stderr()).
  bool Start(const std::vector<std::string>& arguments);
  // The next line of standard output, without its end of line.
  std::optional<std::string> ReadLine(Milliseconds wait = 5s);
  void Signal(int signal_number);
  // The exit status (-1: killed by a signal), or nothing if still running.
  std::optional<int> WaitExit(Milliseconds wait = 5s);
  std::string Stderr() const;

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string buffer_;
  std::string stderr_path_;
};

// "--tcp <a free port>" plus arguments; the port once the program listens.
std::optional<int> StartOnTcp(EmulatorProcess& process, const std::vector<std::string>& arguments);
// "--pty" plus arguments; the terminal's path.
std::optional<std::string> StartOnPty(EmulatorProcess& process, const std::vector<std::string>& arguments);

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
