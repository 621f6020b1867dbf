#pragma once
// Where a record lives and how long it keeps events: a shop's historial.db
// in the work folder beside equipos.ini; at the office (later), a file or a
// PostgreSQL database named by a postgresql:// address.

#include <memory>
#include <string>

#include "history/history_time.h"

namespace quinterra {

class THistoryStore;

inline constexpr const char* kHistoryFileName = "historial.db";
// config.ini: [Historial] Conservar=DÍAS; 0 keeps every event.
inline constexpr const char* kHistorySection = "Historial";
inline constexpr const char* kRetentionKey = "Conservar";
inline constexpr int kDefaultRetentionDays = 400;

// folder ends in a separator.
inline std::string HistoryPath(const std::string& folder) { return folder + kHistoryFileName; }
int HistoryRetentionDays(const std::string& folder);

// "postgresql://..." (or "postgres://...") opens PostgreSQL; anything else
// is an SQLite file. Throws TSqlError.
std::unique_ptr<THistoryStore> OpenHistory(const std::string& where);

// Removes the events older than days before now (none when days <= 0);
// the number removed. Throws TSqlError.
int64_t PruneHistory(THistoryStore& store, int days, TSystemTime now);

// What a recorder of the shop opens: the folder's record, pruned to the
// days config.ini keeps.
std::unique_ptr<THistoryStore> OpenShopHistory(const std::string& folder);

}  // namespace quinterra
