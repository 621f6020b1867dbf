#include "history/history_store.h"

#include <algorithm>

#include "history/event_chain.h"
#include "history/history_columns.h"
#include "history/history_schema.h"
#include "history/sha256.h"

namespace quinterra {
namespace {

const std::string kSelectEvents = std::string("SELECT ") + kEventColumns + " FROM events ";

// Rolls back unless committed: an exception leaves no half batch behind.
class TWriteTransaction {
 public:
  explicit TWriteTransaction(ISqlConnection& connection) : connection_(connection) {
    BeginChainWrite(connection_);
  }
  ~TWriteTransaction() {
    if (committed_) return;
    try {
      connection_.Execute("ROLLBACK");
    } catch (const TSqlError&) {
    }
  }
  void Commit() {
    connection_.Execute("COMMIT");
    committed_ = true;
  }

 private:
  ISqlConnection& connection_;
  bool committed_ = false;
};

}  // namespace

THistoryStore::THistoryStore(std::unique_ptr<ISqlConnection> connection)
    : connection_(std::move(connection)) {
  CreateHistorySchema(*connection_);
}

THistoryStore::~THistoryStore() = default;

THistoryEvent THistoryStore::ReadEvent(const ISqlRows& rows) const { return EventOfRow(rows); }

void THistoryStore::Append(std::vector<THistoryEvent>& events,
                           const std::vector<THistoryImage>& images) {
  if (events.empty() && images.empty()) return;
  ISqlConnection& db = *connection_;
  TWriteTransaction transaction(db);
  int64_t last_id = 0;
  TDigest chain{};
  {
    std::unique_ptr<ISqlRows> rows = db.Query("SELECT id, chain FROM events ORDER BY id DESC LIMIT 1", {});
    std::vector<uint8_t> bytes;
    if (rows->Next()) {
      last_id = rows->Int(0);
      bytes = rows->Blob(1);
    } else {
      rows.reset();
      rows = db.Query("SELECT event_id, chain FROM checkpoint WHERE id = 1", {});
      if (rows->Next()) {
        last_id = rows->Int(0);
        bytes = rows->Blob(1);
      }
    }
    if (!bytes.empty() && bytes.size() != chain.size()) throw TSqlError("cadena del historial dañada");
    std::copy(bytes.begin(), bytes.end(), chain.begin());
  }
  for (const THistoryImage& image : images) {
    db.Run("INSERT INTO images(sha256, bytes) VALUES ($1, $2) ON CONFLICT DO NOTHING",
           {HashValue(image.Sha256), image.Bytes});
  }
  const std::string insert = "INSERT INTO events(" + std::string(kEventColumns) +
                             ") VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14)";
  std::vector<THistoryEvent> numbered = events;
  for (THistoryEvent& event : numbered) {
    event.Id = ++last_id;
    chain = NextChain(chain, event);
    event.Chain = HexText(chain);
    db.Run(insert, EventValues(event));
  }
  transaction.Commit();
  events = std::move(numbered);
}

std::vector<THistoryEvent> THistoryStore::Events(const THistoryFilter& filter) {
  std::vector<THistoryEvent> events;
  std::unique_ptr<ISqlRows> rows = connection_->Query(
      kSelectEvents +
          "WHERE ($1 = '' OR time >= $1) AND ($2 = '' OR time <= $2) AND ($3 = '' OR panel = $3) "
          "AND ($4 = '' OR outcome = $4) AND shop = $5 ORDER BY id",
      {filter.From, filter.To, filter.Panel, filter.Outcome, filter.Shop});
  while (rows->Next()) events.push_back(ReadEvent(*rows));
  return events;
}

int64_t THistoryStore::EventCount() {
  std::unique_ptr<ISqlRows> rows = connection_->Query("SELECT COUNT(*) FROM events", {});
  return rows->Next() ? rows->Int(0) : 0;
}

std::optional<std::string> THistoryStore::NextEventTime(const std::string& utc) {
  std::unique_ptr<ISqlRows> rows =
      connection_->Query("SELECT MIN(time) FROM events WHERE time >= $1", {utc});
  if (!rows->Next() || rows->IsNull(0)) return std::nullopt;
  return rows->Text(0);
}

std::optional<std::string> THistoryStore::PreviousEventTime(const std::string& utc) {
  std::unique_ptr<ISqlRows> rows =
      connection_->Query("SELECT MAX(time) FROM events WHERE time < $1", {utc});
  if (!rows->Next() || rows->IsNull(0)) return std::nullopt;
  return rows->Text(0);
}

std::optional<std::vector<uint8_t>> THistoryStore::Image(const std::string& sha256) {
  if (sha256.empty()) return std::nullopt;
  std::unique_ptr<ISqlRows> rows =
      connection_->Query("SELECT bytes FROM images WHERE sha256 = $1", {HashValue(sha256)});
  if (!rows->Next()) return std::nullopt;
  return rows->Blob(0);
}

std::vector<TShownDevice> THistoryStore::ShownAt(const std::string& moment, const std::string& shop) {
  ISqlConnection& db = *connection_;
  // The devices one index seek each, rather than a scan of a year: the next
  // device of the same panel, else the first of the next panel. (A row-value
  // comparison would seek on the panel alone and walk all its events.)
  std::vector<std::pair<std::string, std::string>> devices;
  auto next = [&db, &shop](const char* condition, const std::vector<TSqlValue>& after)
      -> std::optional<std::pair<std::string, std::string>> {
    std::vector<TSqlValue> parameters = {shop};
    parameters.insert(parameters.end(), after.begin(), after.end());
    std::unique_ptr<ISqlRows> rows =
        db.Query(std::string("SELECT panel, device FROM events WHERE shop = $1 AND ") + condition +
                     " ORDER BY shop, panel, device LIMIT 1",
                 parameters);
    if (!rows->Next()) return std::nullopt;
    return std::make_pair(rows->Text(0), rows->Text(1));
  };
  for (std::optional<std::pair<std::string, std::string>> found = next("panel >= $2", {std::string()});
       found;) {
    devices.push_back(*found);
    found = next("panel = $2 AND device > $3", {found->first, found->second});
    if (!found) found = next("panel > $2", {devices.back().first});
  }
  std::vector<TShownDevice> shown;
  for (const auto& [panel, device] : devices) {
    const std::vector<TSqlValue> key = {shop, panel, device, moment};
    std::unique_ptr<ISqlRows> rows = db.Query(
        kSelectEvents +
            "WHERE shop = $1 AND panel = $2 AND device = $3 AND time <= $4 AND "
            "image_sha256 IS NOT NULL ORDER BY shop DESC, panel DESC, device DESC, time DESC, "
            "id DESC LIMIT 1",
        key);
    if (!rows->Next()) continue;
    TShownDevice entry{ReadEvent(*rows), std::nullopt};
    rows.reset();  // one query at a time on a connection
    // Only a delivery that stopped half-way can have changed the bytes.
    rows = db.Query(kSelectEvents +
                        "WHERE shop = $1 AND panel = $2 AND device = $3 AND time <= $4 "
                        "AND time >= $5 AND kind = 'delivery' AND outcome = 'silent' "
                        "ORDER BY shop DESC, panel DESC, device DESC, time DESC, id DESC LIMIT 1",
                    {shop, panel, device, moment, entry.Shown.Time});
    if (rows->Next()) {
      THistoryEvent last = ReadEvent(*rows);
      if (last.Id != entry.Shown.Id) entry.Later = std::move(last);
    }
    shown.push_back(std::move(entry));
  }
  // The results panel first, as the panels stand.
  std::stable_sort(shown.begin(), shown.end(), [](const TShownDevice& a, const TShownDevice& b) {
    return a.Shown.Panel == kResultsPanelName && b.Shown.Panel != kResultsPanelName;
  });
  return shown;
}

std::optional<THistoryCheckpoint> THistoryStore::Checkpoint() {
  std::unique_ptr<ISqlRows> rows =
      connection_->Query("SELECT event_id, chain, time FROM checkpoint WHERE id = 1", {});
  if (!rows->Next()) return std::nullopt;
  const std::vector<uint8_t> chain = rows->Blob(1);
  return THistoryCheckpoint{rows->Int(0), HexText(chain.data(), chain.size()), rows->Text(2)};
}

}  // namespace quinterra
