#include "tests/e2e/emulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

extern char** environ;

namespace quinterra::e2e {

EmulatorProcess::EmulatorProcess(const std::vector<std::string>& arguments, std::string stderr_path)
    : stderr_path_(std::move(stderr_path)) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderr_path_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> strings = {QUINTERRA_EMULATOR_PATH};
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  const int result = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  stdout_fd_ = out[0];
  if (result != 0) {
    pid_ = -1;
    return;
  }
  if (!ReadFirstLine(std::chrono::seconds(10))) return;
  if (first_line_.rfind("TCP ", 0) == 0) {
    tcp_port_ = std::atoi(first_line_.c_str() + 4);
    started_ = tcp_port_ > 0;
  } else if (first_line_.rfind("PTY ", 0) == 0) {
    pty_path_ = first_line_.substr(4);
    started_ = !pty_path_.empty();
  }
}

EmulatorProcess::~EmulatorProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (stdout_fd_ >= 0) ::close(stdout_fd_);
}

bool EmulatorProcess::ReadFirstLine(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{stdout_fd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char c;
    if (::read(stdout_fd_, &c, 1) != 1) return false;  // ended before announcing its link
    if (c == '\n') return true;
    first_line_ += c;
  }
  return false;
}

std::string EmulatorProcess::ErrorOutput() const {
  std::ifstream in(stderr_path_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace quinterra::e2e
