#pragma once
// A PostgreSQL server of a test's own: initdb in a temporary folder, then
// postgres on a free loopback port with its socket in that folder, stopped
// by its process id and the folder removed when the object goes. The
// server refuses to run as root (CI runs as root): it is then started as
// the user postgres through runuser, the folder given to that user.

#include <sys/types.h>

#include <string>

namespace quinterra::test {

class PostgresServer {
 public:
  PostgresServer() = default;
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // False, with the reason in Failure(), when the server could not start
  // (for example when PostgreSQL is not installed).
  bool Start();
  // "postgresql://postgres@127.0.0.1:PORT/postgres".
  std::string Address() const;
  // A database of its own on this server (created when missing).
  std::string CreateDatabase(const std::string& name);
  const std::string& Failure() const { return failure_; }
  int Port() const { return port_; }

  // Where initdb and postgres are; empty when PostgreSQL is not installed.
  static std::string BinFolder();

 private:
  void Stop();

  std::string folder_;
  int port_ = 0;
  pid_t launcher_ = -1;  // postgres itself, or runuser above it
  std::string failure_;
};

}  // namespace quinterra::test
