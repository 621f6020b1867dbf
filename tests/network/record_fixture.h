#pragma once
// What the office's record tests share: a shop's state as the agent reports
// it, a signed publication, and a record built by hand in an SQLite file
// (events at chosen minutes, as the office's recorder writes them).

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "network/office_record.h"
#include "network/publication.h"
#include "network/shop_state.h"
#include "tests/support/temp_folder.h"

namespace quinterra::test {

// The record's minute zero: 2026-03-02 00:00 UTC.
TSystemTime Minute(double minutes);

// A publication of version with items varied by version, signed by key.
struct TSignedDocument {
  TPublication Publication;
  std::string Message;
  std::string Hash;  // DocumentHashOf
  PanelImages Images;
};
TSignedDocument SignedDocument(const TKeyPair& key, int64_t version, int64_t published = 0,
                               int64_t lifetime = kDefaultLifetimeSeconds);

// A shop's report of document: both panels read back equal to its images.
TShopState VerifiedState(const std::string& shop, const TSignedDocument& document);

// Events appended to a store at their own times, as the recorder writes them.
class RecordBuilder {
 public:
  explicit RecordBuilder(THistoryStore& store) : store_(store) {}
  void At(double minute, std::vector<TRecordEntry> entries);
  void At(double minute, TRecordEntry entry) { At(minute, std::vector<TRecordEntry>{std::move(entry)}); }

 private:
  THistoryStore& store_;
};

}  // namespace quinterra::test
