#pragma once
// A connection to an SQLite file through its C API: write-ahead log, so
// that the program, the agent and quinterra-send read and write the same
// file at once; a busy timeout, so that a writer waits for another's
// transaction instead of failing; full synchronisation, so that a committed
// event survives a power cut.

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "history/sql_connection.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quinterra {

class TSqliteConnection : public ISqlConnection {
 public:
  // Opens (creating it when missing) the file at path; throws TSqlError.
  explicit TSqliteConnection(const std::string& path,
                             std::chrono::milliseconds busy_timeout = std::chrono::seconds(10));
  ~TSqliteConnection() override;
  TSqliteConnection(const TSqliteConnection&) = delete;
  TSqliteConnection& operator=(const TSqliteConnection&) = delete;

  TSqlDialect Dialect() const override { return TSqlDialect::Sqlite; }
  void Execute(const std::string& sql) override;
  std::unique_ptr<ISqlRows> Query(const std::string& sql,
                                  const std::vector<TSqlValue>& parameters) override;

 private:
  [[noreturn]] void Fail(const std::string& doing);

  sqlite3* db_ = nullptr;
  // Prepared once: the same few statements run for every event.
  std::map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace quinterra
