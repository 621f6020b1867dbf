#include "tests/support/postgres_server.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/emulator_process.h"

extern char** environ;

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Starts program with arguments, output into log; its process id or -1.
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& log) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  const int status = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return status == 0 ? pid : -1;
}

// The exit status, or -1 when it did not end within wait.
int WaitFor(pid_t pid, std::chrono::milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    if (Clock::now() > deadline) return -1;
    std::this_thread::sleep_for(20ms);
  }
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string PostgresServer::BinFolder() {
  const std::filesystem::path root = "/usr/lib/postgresql";
  std::error_code error;
  std::string newest;
  for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
    if (std::filesystem::exists(entry.path() / "bin" / "postgres") &&
        std::filesystem::exists(entry.path() / "bin" / "initdb") &&
        (entry.path() / "bin").string() > newest)
      newest = (entry.path() / "bin").string();
  }
  return newest;
}

bool PostgresServer::Start() {
  const std::string bin = BinFolder();
  if (bin.empty()) {
    failure_ = "PostgreSQL no está instalado (/usr/lib/postgresql/*/bin/postgres)";
    return false;
  }
  char name[] = "/tmp/quinterra-pg-XXXXXX";
  if (!mkdtemp(name)) {
    failure_ = "no temporary folder";
    return false;
  }
  folder_ = name;
  const std::string data = folder_ + "/data", log = folder_ + "/log.txt";
  std::vector<std::string> as_user;
  if (geteuid() == 0) {
    const passwd* user = getpwnam("postgres");
    if (!user) {
      failure_ = "no user postgres to run the server as";
      return false;
    }
    if (chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0) {
      failure_ = "cannot give " + folder_ + " to postgres";
      return false;
    }
    as_user = {"runuser", "-u", "postgres", "--"};
  }
  std::vector<std::string> initdb = as_user;
  for (const char* part : {"/initdb", "-D"}) initdb.push_back(part[0] == '/' ? bin + part : part);
  initdb.insert(initdb.end(), {data, "-A", "trust", "-U", "postgres", "-E", "UTF8", "--locale=C", "--no-sync"});
  const pid_t setup = Spawn(initdb, log);
  if (setup < 0 || WaitFor(setup, 120s) != 0) {
    failure_ = "initdb failed: " + ReadText(log);
    return false;
  }
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreeTcpPort();
    std::vector<std::string> server = as_user;
    server.insert(server.end(), {bin + "/postgres", "-D", data, "-p", std::to_string(port_), "-k", folder_,
                                 "-c", "listen_addresses=127.0.0.1", "-c", "fsync=off"});
    launcher_ = Spawn(server, log);
    const auto deadline = Clock::now() + 30s;
    while (Clock::now() < deadline) {
      if (PQping(Address().c_str()) == PQPING_OK) return true;
      int status = 0;
      if (waitpid(launcher_, &status, WNOHANG) == launcher_) break;  // the port was taken meanwhile
      std::this_thread::sleep_for(50ms);
    }
    Stop();
  }
  failure_ = "postgres did not start: " + ReadText(log);
  return false;
}

std::string PostgresServer::Address() const {
  return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/postgres";
}

std::string PostgresServer::CreateDatabase(const std::string& name) {
  PGconn* connection = PQconnectdb(Address().c_str());
  PGresult* result = PQexec(connection, ("CREATE DATABASE " + name).c_str());
  PQclear(result);
  PQfinish(connection);
  return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/" + name;
}

void PostgresServer::Stop() {
  if (launcher_ <= 0) return;
  // The postmaster's own id is the first line of postmaster.pid; runuser
  // may stand between it and us.
  pid_t postmaster = launcher_;
  const std::string pid_text = ReadText(folder_ + "/data/postmaster.pid");
  if (!pid_text.empty() && pid_text != std::to_string(launcher_)) {
    // Only a child of ours: the file may be stale.
    const pid_t named = static_cast<pid_t>(std::atol(pid_text.c_str()));
    const std::string stat = ReadText("/proc/" + std::to_string(named) + "/stat");
    const size_t end = stat.rfind(')');
    if (end != std::string::npos && std::atol(stat.c_str() + end + 4) == launcher_) postmaster = named;
  }
  kill(postmaster, SIGINT);  // fast shutdown
  if (WaitFor(launcher_, 20s) < 0) {
    kill(postmaster, SIGKILL);
    kill(launcher_, SIGKILL);
    WaitFor(launcher_, 5s);
  }
  launcher_ = -1;
}

PostgresServer::~PostgresServer() {
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

}  // namespace quinterra::test
