#pragma once
// The record's tables, written once for SQLite and PostgreSQL, and the few
// words in which the two differ.

#include <string>

#include "history/sql_connection.h"

namespace quinterra {

// The schema's version, kept in the file; a later one is refused, an
// earlier one brought up to date. 2: the events' detail.
inline constexpr int kHistorySchemaVersion = 2;

// The statements that create whatever is missing (idempotent).
std::string HistorySchema(TSqlDialect dialect);

// Creates the schema, with another process perhaps doing the same; throws
// TSqlError, or when the file holds a later schema.
void CreateHistorySchema(ISqlConnection& connection);

// Starts the one transaction that may add to or prune the chain: a second
// writer, of this process or another, waits until it ends.
void BeginChainWrite(ISqlConnection& connection);

}  // namespace quinterra
