// The chain walked again, and the pruning that keeps it walkable.

#include <algorithm>

#include "history/event_chain.h"
#include "history/history_columns.h"
#include "history/history_schema.h"
#include "history/history_store.h"
#include "history/sha256.h"

namespace quinterra {

THistoryVerification THistoryStore::Verify() {
  ISqlConnection& db = *connection_;
  THistoryVerification result;
  auto broken = [&result](int64_t id, std::string reason) {
    result.Holds = false;
    result.FirstBroken = id;
    result.Reason = std::move(reason);
    return result;
  };
  TDigest chain{};
  int64_t expected = 1;
  if (const std::optional<THistoryCheckpoint> checkpoint = Checkpoint()) {
    const std::optional<std::vector<uint8_t>> bytes = HexBytes(checkpoint->Chain);
    if (!bytes || bytes->size() != chain.size())
      return broken(checkpoint->EventId + 1, "el punto de control está dañado");
    std::copy(bytes->begin(), bytes->end(), chain.begin());
    expected = checkpoint->EventId + 1;
  }
  // Images first: an event's image whose bytes were changed is as altered
  // as the event. Few, so held while the events are walked.
  std::vector<std::string> bad_images;
  {
    std::unique_ptr<ISqlRows> rows = db.Query("SELECT sha256, bytes FROM images", {});
    while (rows->Next()) {
      const std::vector<uint8_t> key = rows->Blob(0);
      if (HexText(Sha256(rows->Blob(1))) != HexText(key.data(), key.size()))
        bad_images.push_back(HexText(key.data(), key.size()));
    }
  }
  std::unique_ptr<ISqlRows> rows =
      db.Query(std::string("SELECT ") + kEventColumns + " FROM events ORDER BY id", {});
  while (rows->Next()) {
    const THistoryEvent event = EventOfRow(*rows);
    if (event.Id != expected) {
      const std::string missing =
          event.Id - expected == 1
              ? "falta el evento " + std::to_string(expected)
              : "faltan los eventos " + std::to_string(expected) + " a " + std::to_string(event.Id - 1);
      return broken(event.Id, missing + ", antes del " + std::to_string(event.Id));
    }
    chain = NextChain(chain, event);
    if (HexText(chain) != event.Chain)
      return broken(event.Id, "el evento " + std::to_string(event.Id) + " fue alterado");
    if (std::find(bad_images.begin(), bad_images.end(), event.ImageSha256) != bad_images.end())
      return broken(event.Id, "la imagen del evento " + std::to_string(event.Id) + " fue alterada");
    ++result.Events;
    ++expected;
  }
  return result;
}

int64_t THistoryStore::PruneBefore(const std::string& cutoff) {
  ISqlConnection& db = *connection_;
  BeginChainWrite(db);
  try {
    int64_t last = 0;
    {
      std::unique_ptr<ISqlRows> rows =
          db.Query("SELECT MAX(id) FROM events WHERE time < $1", {cutoff});
      if (rows->Next() && !rows->IsNull(0)) last = rows->Int(0);
    }
    int64_t removed = 0;
    if (last > 0) {
      std::vector<uint8_t> chain;
      std::string time;
      {
        std::unique_ptr<ISqlRows> rows =
            db.Query("SELECT chain, time, (SELECT COUNT(*) FROM events WHERE id <= $1) "
                     "FROM events WHERE id = $1",
                     {last});
        if (!rows->Next()) throw TSqlError("evento " + std::to_string(last) + " no encontrado");
        chain = rows->Blob(0);
        time = rows->Text(1);
        removed = rows->Int(2);
      }
      // Only a prefix goes, so that the chain still runs from the checkpoint.
      db.Run("DELETE FROM events WHERE id <= $1", {last});
      db.Run("INSERT INTO checkpoint(id, event_id, chain, time) VALUES (1, $1, $2, $3) "
             "ON CONFLICT (id) DO UPDATE SET event_id = excluded.event_id, "
             "chain = excluded.chain, time = excluded.time",
             {last, chain, time});
      db.Run("DELETE FROM images WHERE sha256 NOT IN "
             "(SELECT image_sha256 FROM events WHERE image_sha256 IS NOT NULL)",
             {});
    }
    db.Execute("COMMIT");
    return removed;
  } catch (...) {
    try {
      db.Execute("ROLLBACK");
    } catch (const TSqlError&) {
    }
    throw;
  }
}

}  // namespace quinterra
