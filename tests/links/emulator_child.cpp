#include "tests/links/emulator_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quinterra::test {

EmulatorChild::~EmulatorChild() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (stdout_fd_ >= 0) ::close(stdout_fd_);
}

std::optional<std::string> EmulatorChild::Start(const std::string& program,
                                                const std::vector<std::string>& arguments,
                                                std::chrono::milliseconds wait) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<std::string> strings = {program};
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  const int result = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  stdout_fd_ = out[0];
  if (result != 0) {
    pid_ = -1;
    return std::nullopt;
  }

  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{stdout_fd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char c;
    if (::read(stdout_fd_, &c, 1) != 1) return std::nullopt;  // ended early
    if (c == '\n') return line;
    line += c;
  }
  return std::nullopt;
}

}  // namespace quinterra::test
