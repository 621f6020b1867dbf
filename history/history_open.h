#pragma once
// Where a shop's record lives and how long it keeps events: historial.db in
// the work folder beside equipos.ini.

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

// The SQLite file at path. Throws TSqlError. (A PostgreSQL record is opened
// by history_database.h, whose library brings libpq: a shop's tools start
// without it.)
std::unique_ptr<THistoryStore> OpenHistory(const std::string& path);

// Removes the events older than days before now (none when days <= 0);
// the number removed. Throws TSqlError.
int64_t PruneHistory(THistoryStore& store, int days, TSystemTime now);

// What a recorder of the shop opens: the folder's record, pruned to the
// days config.ini keeps.
std::unique_ptr<THistoryStore> OpenShopHistory(const std::string& folder);

}  // namespace quinterra
