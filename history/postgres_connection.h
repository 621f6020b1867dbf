#pragma once
// A connection to PostgreSQL through libpq: parameters and results in
// binary form (no quoting of any value), rows one at a time (single-row
// mode), so that a long history is never held whole in memory.

#include <memory>
#include <string>

#include "history/sql_connection.h"

struct pg_conn;

namespace quinterra {

class TPostgresConnection : public ISqlConnection {
 public:
  // conninfo: "postgresql://USER@HOST:PORT/DB" or libpq's key=value form.
  // Throws TSqlError when the server cannot be reached.
  explicit TPostgresConnection(const std::string& conninfo);
  ~TPostgresConnection() override;
  TPostgresConnection(const TPostgresConnection&) = delete;
  TPostgresConnection& operator=(const TPostgresConnection&) = delete;

  TSqlDialect Dialect() const override { return TSqlDialect::Postgres; }
  void Execute(const std::string& sql) override;
  std::unique_ptr<ISqlRows> Query(const std::string& sql,
                                  const std::vector<TSqlValue>& parameters) override;

 private:
  pg_conn* connection_ = nullptr;
};

}  // namespace quinterra
