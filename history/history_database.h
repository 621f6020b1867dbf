#pragma once
// A record wherever it is named: a postgresql:// (or postgres://) address
// opens PostgreSQL, anything else an SQLite file.

#include <memory>
#include <string>

namespace quinterra {

class THistoryStore;

// Throws TSqlError.
std::unique_ptr<THistoryStore> OpenHistoryDatabase(const std::string& where);

}  // namespace quinterra
