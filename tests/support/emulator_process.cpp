#include "tests/support/emulator_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/fd_wait.h"

extern char** environ;

namespace quinterra::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

#ifdef QUINTERRA_EMULATOR_PATH
constexpr const char* kProgram = QUINTERRA_EMULATOR_PATH;
#else
constexpr const char* kProgram = "quinterra-emulator";
#endif

}  // namespace

int FreeTcpPort() {
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

EmulatorProcess::~EmulatorProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (stdout_fd_ >= 0) close(stdout_fd_);
  if (owns_stderr_file_) unlink(stderr_path_.c_str());
}

bool EmulatorProcess::Start(const std::vector<std::string>& arguments, const std::string& stderr_path) {
  if (pid_ > 0) return false;
  int stderr_fd = -1;
  std::string stderr_name = stderr_path;
  if (stderr_path.empty()) {
    char name[] = "/tmp/quinterra-emulator-stderr-XXXXXX";
    stderr_fd = mkstemp(name);
    stderr_name = name;
  } else {
    stderr_fd = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  int out[2];
  if (stderr_fd < 0 || pipe2(out, O_CLOEXEC) != 0) {
    if (stderr_fd >= 0) close(stderr_fd);
    return false;
  }
  if (owns_stderr_file_) unlink(stderr_path_.c_str());
  if (stdout_fd_ >= 0) close(stdout_fd_);
  stderr_path_ = stderr_name;
  owns_stderr_file_ = stderr_path.empty();
  buffer_.clear();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, stderr_fd, STDERR_FILENO);
  std::vector<std::string> strings = {kProgram};
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : strings) argv.push_back(text.data());
  argv.push_back(nullptr);
  const int failed = posix_spawn(&pid_, kProgram, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(stderr_fd);
  stdout_fd_ = out[0];
  if (failed) pid_ = -1;
  return !failed;
}

bool EmulatorProcess::StartAndAnnounce(const std::vector<std::string>& arguments,
                                       const std::string& stderr_path, milliseconds wait) {
  first_line_.clear();
  tcp_port_ = 0;
  pty_path_.clear();
  if (!Start(arguments, stderr_path)) return false;
  const std::optional<std::string> line = ReadLine(wait);
  if (!line) return false;
  first_line_ = *line;
  if (first_line_.rfind("TCP ", 0) == 0) {
    tcp_port_ = std::atoi(first_line_.c_str() + 4);
    return tcp_port_ > 0;
  }
  if (first_line_.rfind("PTY ", 0) == 0) {
    pty_path_ = first_line_.substr(4);
    return !pty_path_.empty();
  }
  return false;
}

std::optional<std::string> EmulatorProcess::ReadLine(milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  for (;;) {
    if (const size_t end = buffer_.find('\n'); end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    char chunk[256];
    if (stdout_fd_ < 0 || !ReadableBefore(stdout_fd_, deadline)) return std::nullopt;
    const ssize_t received = read(stdout_fd_, chunk, sizeof chunk);
    if (received <= 0) return std::nullopt;  // ended before the line was complete
    buffer_.append(chunk, size_t(received));
  }
}

void EmulatorProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

std::optional<int> EmulatorProcess::WaitExit(milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  while (pid_ > 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return std::nullopt;
}

std::string EmulatorProcess::Stderr() const {
  std::ifstream file(stderr_path_);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::optional<int> StartOnTcp(EmulatorProcess& process, const std::vector<std::string>& arguments) {
  // If someone takes the free port first, try another.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int port = FreeTcpPort();
    std::vector<std::string> all = {"--tcp", std::to_string(port)};
    all.insert(all.end(), arguments.begin(), arguments.end());
    if (!process.Start(all)) return std::nullopt;
    if (process.ReadLine() == "TCP " + std::to_string(port)) return port;
    process.WaitExit();
  }
  return std::nullopt;
}

std::optional<std::string> StartOnPty(EmulatorProcess& process, const std::vector<std::string>& arguments) {
  std::vector<std::string> all = {"--pty"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  if (!process.StartAndAnnounce(all) || process.PtyPath().empty()) return std::nullopt;
  return process.PtyPath();
}

}  // namespace quinterra::test
