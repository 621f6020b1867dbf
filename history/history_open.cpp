#include "history/history_open.h"

#include "history/history_store.h"
#include "history/sqlite_connection.h"
#include "platform/profile_file.h"

namespace quinterra {

int HistoryRetentionDays(const std::string& folder) {
  return TProfileFile(folder + "config.ini")
      .ReadInteger(kHistorySection, kRetentionKey, kDefaultRetentionDays);
}

std::unique_ptr<THistoryStore> OpenHistory(const std::string& path) {
  return std::make_unique<THistoryStore>(std::make_unique<TSqliteConnection>(path));
}

int64_t PruneHistory(THistoryStore& store, int days, TSystemTime now) {
  if (days <= 0) return 0;
  return store.PruneBefore(UtcText(now - std::chrono::hours(24) * days));
}

std::unique_ptr<THistoryStore> OpenShopHistory(const std::string& folder) {
  std::unique_ptr<THistoryStore> store = OpenHistory(HistoryPath(folder));
  PruneHistory(*store, HistoryRetentionDays(folder), std::chrono::system_clock::now());
  return store;
}

}  // namespace quinterra
