#pragma once
// quinterra-emulator as a child process of a test: started with its
// arguments, its output read line by line with a bounded wait, its standard
// error kept in a file for failure messages, and the process killed when the
// object goes, whatever the test did.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quinterra::test {

class EmulatorProcess {
 public:
  EmulatorProcess() = default;
  ~EmulatorProcess();
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  // Starts the program. Its standard error goes to stderr_path, or to a file
  // of its own (removed with the object) when none is given.
  bool Start(const std::vector<std::string>& arguments, const std::string& stderr_path = {});
  // Starts it and reads the link it announces on its first line,
  // "TCP <port>" or "PTY <path>"; false if it announced none in time.
  bool StartAndAnnounce(const std::vector<std::string>& arguments, const std::string& stderr_path = {},
                        std::chrono::milliseconds wait = std::chrono::seconds(10));
  const std::string& FirstLine() const { return first_line_; }
  int TcpPort() const { return tcp_port_; }
  const std::string& PtyPath() const { return pty_path_; }

  // The next line of standard output, without its end of line.
  std::optional<std::string> ReadLine(std::chrono::milliseconds wait = std::chrono::seconds(5));
  void Signal(int signal_number);
  // The exit status (-1: killed by a signal), or nothing if still running.
  std::optional<int> WaitExit(std::chrono::milliseconds wait = std::chrono::seconds(5));
  // The standard error so far.
  std::string Stderr() const;

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string buffer_;
  std::string stderr_path_;
  bool owns_stderr_file_ = false;
  std::string first_line_;
  int tcp_port_ = 0;
  std::string pty_path_;
};

// "--tcp <a free port>" plus arguments; the port once the program listens
// on exactly that port.
std::optional<int> StartOnTcp(EmulatorProcess& process, const std::vector<std::string>& arguments);
// "--pty" plus arguments; the terminal's path.
std::optional<std::string> StartOnPty(EmulatorProcess& process, const std::vector<std::string>& arguments);

// A loopback port that was free a moment ago.
int FreeTcpPort();

}  // namespace quinterra::test
