#pragma once
// The emulator program run as a child process for a test: started with
// posix_spawn, its first line of standard output read with a bounded wait,
// and killed when the test ends, whatever happened.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quinterra::test {

using namespace std::chrono_literals;

class EmulatorProcess {
 public:
  EmulatorProcess() = default;
  ~EmulatorProcess();
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  // Starts the program; standard error goes to a file (see Stderr()).
  bool Start(const std::vector<std::string>& arguments);
  // The first line of standard output, without its end of line.
  std::optional<std::string> ReadLine(std::chrono::milliseconds wait = 5s);
  // Sends a signal.
  void Signal(int signal_number);
  // The exit status once the program has ended, -1 for a death by signal, or
  // nothing if it did not end in time.
  std::optional<int> WaitExit(std::chrono::milliseconds wait = 5s);
  std::string Stderr() const;
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string stdout_buffer_;
  std::string stderr_path_;
};

// Starts the program on a TCP port ("--tcp" plus arguments), retrying with
// another free port if the one picked was taken meanwhile. Returns the port.
std::optional<int> StartOnFreeTcpPort(EmulatorProcess& process, const std::vector<std::string>& arguments);

// Starts the program with "--pty" plus arguments. Returns the terminal's path.
std::optional<std::string> StartOnPty(EmulatorProcess& process, const std::vector<std::string>& arguments);

// A program run to its end: exit status and both outputs.
struct FinishedRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};
FinishedRun RunToEnd(const std::vector<std::string>& arguments, std::chrono::milliseconds wait = 5s);

}  // namespace quinterra::test
