#include "history/history_schema.h"

#include <memory>

namespace quinterra {
namespace {

// Every difference between the two dialects is here.
struct TDialectWords {
  const char* Bytes;       // a column of bytes
  const char* EventId;     // the events' key, numbered by the store
  const char* BeginWrite;  // the writer's transaction, taken at once
  const char* SchemaLock;  // the creation of the schema, one at a time
};

TDialectWords WordsOf(TSqlDialect dialect) {
  if (dialect == TSqlDialect::Postgres) {
    return {"BYTEA", "BIGINT PRIMARY KEY",
            "BEGIN; LOCK TABLE events IN SHARE ROW EXCLUSIVE MODE",
            "BEGIN; SELECT pg_advisory_xact_lock(2028120819)"};
  }
  // INTEGER PRIMARY KEY is SQLite's row number: no second index.
  return {"BLOB", "INTEGER PRIMARY KEY", "BEGIN IMMEDIATE", "BEGIN IMMEDIATE"};
}

void Replace(std::string& text, const std::string& word, const std::string& by) {
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + by.size()))
    text.replace(at, word.size(), by);
}

// @BYTES and @EVENT_ID are the dialect's words.
const char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS history_schema (version INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS images (
  sha256 @BYTES PRIMARY KEY,
  bytes @BYTES NOT NULL
);
CREATE TABLE IF NOT EXISTS events (
  id @EVENT_ID,
  time TEXT NOT NULL,
  source TEXT NOT NULL,
  shop TEXT NOT NULL,
  device TEXT NOT NULL,
  device_name TEXT NOT NULL,
  panel TEXT NOT NULL,
  kind TEXT NOT NULL,
  outcome TEXT NOT NULL,
  image_sha256 @BYTES REFERENCES images(sha256),
  document_sha256 @BYTES,
  version BIGINT,
  chain @BYTES NOT NULL,
  detail TEXT
);
CREATE INDEX IF NOT EXISTS events_time ON events(time);
CREATE INDEX IF NOT EXISTS events_device ON events(shop, panel, device, time);
CREATE TABLE IF NOT EXISTS checkpoint (
  id INTEGER PRIMARY KEY CHECK (id = 1),
  event_id BIGINT NOT NULL,
  chain @BYTES NOT NULL,
  time TEXT NOT NULL
);
)";

}  // namespace

std::string HistorySchema(TSqlDialect dialect) {
  const TDialectWords words = WordsOf(dialect);
  std::string schema = kSchema;
  Replace(schema, "@BYTES", words.Bytes);
  Replace(schema, "@EVENT_ID", words.EventId);
  return schema;
}

void CreateHistorySchema(ISqlConnection& connection) {
  connection.Execute(WordsOf(connection.Dialect()).SchemaLock);
  try {
    connection.Execute(HistorySchema(connection.Dialect()));
    std::unique_ptr<ISqlRows> rows = connection.Query("SELECT MAX(version) FROM history_schema", {});
    const bool has_version = rows->Next() && !rows->IsNull(0);
    const int64_t version = has_version ? rows->Int(0) : 0;
    rows.reset();
    if (version > kHistorySchemaVersion)
      throw TSqlError("el historial es de una versión posterior del programa (" +
                      std::to_string(version) + ")");
    if (!has_version) {
      connection.Run("INSERT INTO history_schema(version) VALUES ($1)",
                     {int64_t{kHistorySchemaVersion}});
    } else if (version < 2) {
      // Version 1 had no detail: its events keep an empty one, and their
      // chain stays as it was (an empty detail is not hashed).
      connection.Execute("ALTER TABLE events ADD COLUMN detail TEXT");
      connection.Run("UPDATE history_schema SET version = $1", {int64_t{kHistorySchemaVersion}});
    }
    connection.Execute("COMMIT");
  } catch (...) {
    try {
      connection.Execute("ROLLBACK");
    } catch (const TSqlError&) {
    }
    throw;
  }
}

void BeginChainWrite(ISqlConnection& connection) {
  connection.Execute(WordsOf(connection.Dialect()).BeginWrite);
}

}  // namespace quinterra
