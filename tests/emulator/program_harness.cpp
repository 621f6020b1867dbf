#include "tests/emulator/program_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace quinterra::test {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for fd to become readable before the deadline.
bool Readable(int fd, Clock::time_point deadline) {
  for (;;) {
    pollfd poll_fd{fd, POLLIN, 0};
    const int ready = poll(&poll_fd, 1, MillisecondsLeft(deadline));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
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
  char stderr_name[] = "/tmp/quinterra-emulator-stderr-XXXXXX";
  const int stderr_fd = mkstemp(stderr_name);
  int out[2];
  if (stderr_fd < 0 || pipe2(out, O_CLOEXEC) != 0) return false;
  if (!stderr_path_.empty()) unlink(stderr_path_.c_str());
  if (stdout_fd_ >= 0) close(stdout_fd_);
  stderr_path_ = stderr_name;
  buffer_.clear();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, stderr_fd, STDERR_FILENO);
  std::vector<std::string> strings = {QUINTERRA_EMULATOR_PATH};
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : strings) argv.push_back(text.data());
  argv.push_back(nullptr);
  const int failed = posix_spawn(&pid_, QUINTERRA_EMULATOR_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(stderr_fd);
  stdout_fd_ = out[0];
  if (failed) pid_ = -1;
  return !failed;
}

std::optional<std::string> EmulatorProcess::ReadLine(Milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  for (;;) {
    if (const size_t end = buffer_.find('\n'); end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    char chunk[256];
    if (!Readable(stdout_fd_, deadline)) return std::nullopt;
    const ssize_t received = read(stdout_fd_, chunk, sizeof chunk);
    if (received <= 0) return std::nullopt;
    buffer_.append(chunk, size_t(received));
  }
}

void EmulatorProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

std::optional<int> EmulatorProcess::WaitExit(Milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  while (pid_ > 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(5ms);
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
  for (int attempt = 0; attempt < 5; ++attempt) {
    // A port that was free a moment ago; if someone takes it first, try another.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    const std::string port = std::to_string(ntohs(address.sin_port));
    std::vector<std::string> all = {"--tcp", port};
    all.insert(all.end(), arguments.begin(), arguments.end());
    if (!process.Start(all)) return std::nullopt;
    if (process.ReadLine() == "TCP " + port) return std::stoi(port);
    process.WaitExit();
  }
  return std::nullopt;
}

std::optional<std::string> StartOnPty(EmulatorProcess& process, const std::vector<std::string>& arguments) {
  std::vector<std::string> all = {"--pty"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  const auto line = process.Start(all) ? process.ReadLine() : std::nullopt;
  if (!line || line->rfind("PTY ", 0) != 0) return std::nullopt;
  return line->substr(4);
}

LineClient::~LineClient() { close(fd_); }

std::unique_ptr<LineClient> LineClient::ConnectTcp(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return nullptr;
  }
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  return std::unique_ptr<LineClient>(new LineClient(fd));
}

std::unique_ptr<LineClient> LineClient::OpenTerminal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B9600);
  tcsetattr(fd, TCSANOW, &settings);
  return std::unique_ptr<LineClient>(new LineClient(fd));
}

bool LineClient::Send(const Bytes& bytes) {
  return write(fd_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

std::optional<Bytes> LineClient::Read(size_t count, Milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  Bytes bytes(count);
  for (size_t done = 0; done < count;) {
    if (!Readable(fd_, deadline)) return std::nullopt;
    const ssize_t received = read(fd_, bytes.data() + done, count - done);
    if (received <= 0) return std::nullopt;
    done += size_t(received);
  }
  return bytes;
}

std::optional<Bytes> LineClient::ReadFrame(Milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  auto frame = Read(9, wait);
  if (!frame) return std::nullopt;
  const auto rest = Read((size_t((*frame)[7]) << 8 | (*frame)[8]) + 2, Milliseconds(MillisecondsLeft(deadline)));
  if (!rest) return std::nullopt;
  frame->insert(frame->end(), rest->begin(), rest->end());
  return frame;
}

std::optional<Answer> LineClient::Ask(const Bytes& request, Milliseconds wait) {
  const auto frame = Send(request) ? ReadFrame(wait) : std::nullopt;
  return frame ? ParseAnswer(*frame) : std::nullopt;
}

bool LineClient::StaysQuiet(Milliseconds wait) { return !Readable(fd_, Clock::now() + wait); }

}  // namespace quinterra::test
