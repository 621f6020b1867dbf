#pragma once
// The record of what the panels showed, over one database connection
// (SQLite at a shop, SQLite or PostgreSQL at the office): events numbered
// and chained as they are appended, the display bytes of each image kept
// once, queries by time, by moment and by device, the chain's verification
// and the pruning of old events behind a checkpoint.
//
// One store per thread; several stores (in several processes) may share a
// database: appends and prunes take turns, readers never wait on them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/history_event.h"
#include "history/sql_connection.h"

namespace quinterra {

// Which events: times are UTC texts (history_time.h), either end included;
// empty texts are no bound, no condition.
struct THistoryFilter {
  std::string From, To;
  std::string Panel;    // "results", "jackpots"
  std::string Outcome;
  std::string Shop;     // only this shop's events ("" a shop's own)
};

// What a device held at a moment: the last event with an image at or
// before it, and a delivery that stopped half-way after it (which may have
// left part of other bytes).
struct TShownDevice {
  THistoryEvent Shown;
  std::optional<THistoryEvent> Later;
};

// What pruning kept the chain verifiable from.
struct THistoryCheckpoint {
  int64_t EventId = 0;   // the last event pruned
  std::string Chain;     // its chain (hexadecimal)
  std::string Time;      // its time
};

struct THistoryVerification {
  bool Holds = true;
  int64_t Events = 0;  // events checked
  // The first event that does not hold (or the one after a gap).
  std::optional<int64_t> FirstBroken;
  std::string Reason;  // in Spanish, for a person
};

class THistoryStore {
 public:
  // Creates what is missing of the schema; throws TSqlError.
  explicit THistoryStore(std::unique_ptr<ISqlConnection> connection);
  ~THistoryStore();

  // One transaction: the images not kept yet, then the events, numbered
  // and chained after the last one (their Id and Chain are filled in).
  // Nothing is kept when it throws TSqlError.
  void Append(std::vector<THistoryEvent>& events, const std::vector<THistoryImage>& images);

  std::vector<THistoryEvent> Events(const THistoryFilter& filter);
  int64_t EventCount();
  // The first event's time after (or at) utc; none when none follows.
  std::optional<std::string> NextEventTime(const std::string& utc);
  // The last event's time before utc; none when none comes before.
  std::optional<std::string> PreviousEventTime(const std::string& utc);
  std::optional<std::vector<uint8_t>> Image(const std::string& sha256);
  // Every (panel, device) of shop, and what each held at moment (UTC),
  // results first, then by device; devices with no image by then are left
  // out.
  std::vector<TShownDevice> ShownAt(const std::string& moment, const std::string& shop = {});

  std::optional<THistoryCheckpoint> Checkpoint();
  // Walks the chain from its start or the checkpoint, and every image's
  // bytes against its key.
  THistoryVerification Verify();
  // Removes the events before cutoff (UTC) and the images they alone used,
  // keeping the last removed event's chain as the checkpoint. The number
  // removed.
  int64_t PruneBefore(const std::string& cutoff);

  ISqlConnection& Connection() { return *connection_; }

 private:
  THistoryEvent ReadEvent(const ISqlRows& rows) const;

  std::unique_ptr<ISqlConnection> connection_;
};

}  // namespace quinterra
