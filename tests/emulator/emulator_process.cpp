#include "tests/emulator/emulator_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace quinterra::test {
namespace {

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace

EmulatorProcess::~EmulatorProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (stdout_fd_ >= 0) close(stdout_fd_);
  if (!stderr_path_.empty()) unlink(stderr_path_.c_str());
}

bool EmulatorProcess::Start(const std::vector<std::string>& arguments) {
  if (pid_ > 0) return false;
  if (stdout_fd_ >= 0) close(stdout_fd_);
  stdout_fd_ = -1;
  stdout_buffer_.clear();
  if (!stderr_path_.empty()) unlink(stderr_path_.c_str());
  char stderr_template[] = "/tmp/quinterra-emulator-stderr-XXXXXX";
  const int stderr_fd = mkstemp(stderr_template);
  if (stderr_fd < 0) return false;
  stderr_path_ = stderr_template;
  int out[2];
  if (pipe(out) != 0) {
    close(stderr_fd);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, stderr_fd, STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> argv_strings = {QUINTERRA_EMULATOR_PATH};
  argv_strings.insert(argv_strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argv_strings) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int result = posix_spawn(&pid_, QUINTERRA_EMULATOR_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(stderr_fd);
  if (result != 0) {
    pid_ = -1;
    close(out[0]);
    return false;
  }
  stdout_fd_ = out[0];
  return true;
}

std::optional<std::string> EmulatorProcess::ReadLine(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const size_t end = stdout_buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = stdout_buffer_.substr(0, end);
      stdout_buffer_.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || stdout_fd_ < 0) return std::nullopt;
    pollfd fd{stdout_fd_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[256];
    const ssize_t received = read(stdout_fd_, chunk, sizeof chunk);
    if (received <= 0) return std::nullopt;  // the program closed its output
    stdout_buffer_.append(chunk, static_cast<size_t>(received));
  }
}

void EmulatorProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

std::optional<int> EmulatorProcess::WaitExit(std::chrono::milliseconds wait) {
  if (pid_ <= 0) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(5ms);
  }
}

std::string EmulatorProcess::Stderr() const {
  std::ifstream file(stderr_path_);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::optional<int> StartOnFreeTcpPort(EmulatorProcess& process, const std::vector<std::string>& arguments) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int port = FreeLoopbackPort();
    std::vector<std::string> all = {"--tcp", std::to_string(port)};
    all.insert(all.end(), arguments.begin(), arguments.end());
    if (!process.Start(all)) return std::nullopt;
    const auto line = process.ReadLine();
    if (line && *line == "TCP " + std::to_string(port)) return port;
    process.WaitExit(2s);  // taken by someone else meanwhile: try another
  }
  return std::nullopt;
}

std::optional<std::string> StartOnPty(EmulatorProcess& process, const std::vector<std::string>& arguments) {
  std::vector<std::string> all = {"--pty"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  if (!process.Start(all)) return std::nullopt;
  const auto line = process.ReadLine();
  if (!line || line->rfind("PTY ", 0) != 0) return std::nullopt;
  return line->substr(4);
}

FinishedRun RunToEnd(const std::vector<std::string>& arguments, std::chrono::milliseconds wait) {
  EmulatorProcess process;
  FinishedRun run;
  if (!process.Start(arguments)) return run;
  const auto status = process.WaitExit(wait);
  run.Status = status.value_or(-2);
  while (const auto line = process.ReadLine(100ms)) run.Out += *line + "\n";
  run.Err = process.Stderr();
  return run;
}

}  // namespace quinterra::test
