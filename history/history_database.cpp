#include "history/history_database.h"

#include "history/history_open.h"
#include "history/history_store.h"
#include "history/postgres_connection.h"

namespace quinterra {

std::unique_ptr<THistoryStore> OpenHistoryDatabase(const std::string& where) {
  if (where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0)
    return std::make_unique<THistoryStore>(std::make_unique<TPostgresConnection>(where));
  return OpenHistory(where);
}

}  // namespace quinterra
