#pragma once
// One quinterra-emulator process for a test: started with its arguments, its
// first line of output ("TCP <port>" or "PTY <path>") read with a bounded
// wait, its standard error kept in a file for the failure message, and the
// process killed when the object goes, whatever the test did.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace quinterra::e2e {

class EmulatorProcess {
 public:
  // stderr_path receives the emulator's --log lines and complaints.
  EmulatorProcess(const std::vector<std::string>& arguments, std::string stderr_path);
  ~EmulatorProcess();
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  // The process is running and announced its link.
  bool Started() const { return started_; }
  // What was announced: the TCP port or the pseudo-terminal path.
  int TcpPort() const { return tcp_port_; }
  const std::string& PtyPath() const { return pty_path_; }
  const std::string& FirstLine() const { return first_line_; }
  // The emulator's standard error so far.
  std::string ErrorOutput() const;

 private:
  bool ReadFirstLine(std::chrono::milliseconds wait);

  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string stderr_path_;
  std::string first_line_;
  int tcp_port_ = 0;
  std::string pty_path_;
  bool started_ = false;
};

}  // namespace quinterra::e2e
