#pragma once
// The little of a database the record needs, so that its statements are
// written once for SQLite and PostgreSQL: statements with parameters $1..$n,
// rows read one at a time, and the dialect for the few words that differ
// (history_schema.cpp says which).
//
// A connection is used by one thread at a time; a query's rows must be
// read, or let go, before the next query on the same connection.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace quinterra {

enum class TSqlDialect { Sqlite, Postgres };

// No value (NULL), a whole number, a text or bytes.
using TSqlValue = std::variant<std::monostate, int64_t, std::string, std::vector<uint8_t>>;

// What the database refused or could not do, with its own words.
class TSqlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ISqlRows {
 public:
  virtual ~ISqlRows() = default;
  // Moves to the next row; false after the last. Throws TSqlError.
  virtual bool Next() = 0;
  virtual bool IsNull(int column) const = 0;
  virtual int64_t Int(int column) const = 0;
  virtual std::string Text(int column) const = 0;
  virtual std::vector<uint8_t> Blob(int column) const = 0;
};

class ISqlConnection {
 public:
  virtual ~ISqlConnection() = default;
  virtual TSqlDialect Dialect() const = 0;
  // Statements without parameters, separated by semicolons.
  virtual void Execute(const std::string& sql) = 0;
  // One statement; its rows as they come. Throws TSqlError.
  virtual std::unique_ptr<ISqlRows> Query(const std::string& sql,
                                          const std::vector<TSqlValue>& parameters) = 0;
  // One statement whose rows, if any, are not wanted.
  void Run(const std::string& sql, const std::vector<TSqlValue>& parameters) {
    std::unique_ptr<ISqlRows> rows = Query(sql, parameters);
    while (rows->Next()) {
    }
  }
};

}  // namespace quinterra
