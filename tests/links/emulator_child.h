#pragma once
// quinterra-emulator run as a child process for a test: its first line of
// standard output ("TCP <port>" or "PTY <path>") read with a bounded wait,
// and the process killed when the test ends, whatever happened.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quinterra::test {

class EmulatorChild {
 public:
  EmulatorChild() = default;
  ~EmulatorChild();
  EmulatorChild(const EmulatorChild&) = delete;
  EmulatorChild& operator=(const EmulatorChild&) = delete;

  // Starts the program with these arguments and returns its first line.
  std::optional<std::string> Start(const std::string& program, const std::vector<std::string>& arguments,
                                   std::chrono::milliseconds wait = std::chrono::seconds(10));

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
};

}  // namespace quinterra::test
