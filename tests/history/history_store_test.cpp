// The record on both backends: numbering, the chain and its verification,
// pruning behind a checkpoint, and the queries the tools ask.

#include <gtest/gtest.h>

#include "history/event_chain.h"
#include "history/history_columns.h"
#include "history/history_schema.h"
#include "history/postgres_connection.h"
#include "history/sha256.h"
#include "history/sqlite_connection.h"
#include "tests/history/history_backends.h"

namespace quinterra::history_test {
namespace {

const std::vector<uint8_t> kImageA(320, 0x11), kImageB(320, 0x22), kImageC(360, 0x33);

std::string Hash(const std::vector<uint8_t>& bytes) { return HexText(Sha256(bytes)); }

int64_t Count(THistoryStore& store, const std::string& table) {
  std::unique_ptr<ISqlRows> rows = store.Connection().Query("SELECT COUNT(*) FROM " + table, {});
  return rows->Next() ? rows->Int(0) : -1;
}

void Append(THistoryStore& store, std::vector<THistoryEvent> events,
            const std::vector<std::vector<uint8_t>>& images = {}) {
  std::vector<THistoryImage> kept;
  for (const auto& bytes : images) kept.push_back({Hash(bytes), bytes});
  store.Append(events, kept);
}

THistoryEvent AsCheck(THistoryEvent event) {
  event.Kind = history_kind::kCheck;
  return event;
}

using HistoryStoreTest = BackendTest;

TEST_P(HistoryStoreTest, EventsComeBackNumberedAndChainedWithEachImageKeptOnce) {
  std::unique_ptr<THistoryStore> store = Open();
  std::vector<THistoryEvent> batch = {
      MakeEvent("2026-12-08T19:32:00.000Z", "results", "127.0.0.1:17001", "verified", kImageA),
      MakeEvent("2026-12-08T19:32:01.000Z", "jackpots", "127.0.0.1:17002", "verified", kImageC),
      MakeEvent("2026-12-08T19:32:02.000Z", "results", "COM5", "silent")};
  batch[1].Version = 12;
  store->Append(batch, {{Hash(kImageA), kImageA}, {Hash(kImageC), kImageC}});
  EXPECT_EQ(batch[0].Id, 1);
  EXPECT_EQ(batch[2].Id, 3);
  EXPECT_EQ(batch[2].Chain.size(), 64u);

  // Another writer's store, later: the same image is not kept twice.
  std::unique_ptr<THistoryStore> other = Open();
  Append(*other, {MakeEvent("2026-12-08T19:42:00.000Z", "results", "127.0.0.1:17001", "read", kImageA)},
         {kImageA});
  EXPECT_EQ(Count(*store, "images"), 2);

  const std::vector<THistoryEvent> events = store->Events({});
  ASSERT_EQ(events.size(), 4u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(events[i], batch[i]) << "event " << i + 1;
  EXPECT_EQ(events[1].Version, 12);
  EXPECT_FALSE(events[2].Version);
  EXPECT_EQ(events[3].Id, 4);
  EXPECT_EQ(store->Image(events[0].ImageSha256), kImageA);
  EXPECT_FALSE(store->Image(Hash(kImageB)));

  const THistoryVerification verification = store->Verify();
  EXPECT_TRUE(verification.Holds) << verification.Reason;
  EXPECT_EQ(verification.Events, 4);
}

TEST_P(HistoryStoreTest, VerificationNamesTheFirstAlteredOrMissingEvent) {
  std::unique_ptr<THistoryStore> store = Open();
  std::vector<THistoryEvent> events;
  for (int minute = 10; minute < 15; ++minute)
    events.push_back(MakeEvent("2026-12-08T19:" + std::to_string(minute) + ":00.000Z", "results",
                               "127.0.0.1:17001", minute == 12 ? "different" : "verified",
                               minute == 13 ? kImageB : kImageA));
  Append(*store, events, {kImageA, kImageB});
  ISqlConnection& db = store->Connection();

  // "The panel showed 21": one field changed is found, and only that event.
  db.Run("UPDATE events SET outcome = 'verified' WHERE id = 3", {});
  THistoryVerification verification = store->Verify();
  EXPECT_FALSE(verification.Holds);
  EXPECT_EQ(verification.FirstBroken, 3);
  EXPECT_EQ(verification.Reason, "el evento 3 fue alterado");
  db.Run("UPDATE events SET outcome = 'different' WHERE id = 3", {});
  EXPECT_TRUE(store->Verify().Holds);

  // The bytes kept for an image, changed: the first event showing it.
  db.Run("UPDATE images SET bytes = $1 WHERE sha256 = $2", {kImageC, *HexBytes(Hash(kImageB))});
  verification = store->Verify();
  EXPECT_EQ(verification.FirstBroken, 4);
  EXPECT_EQ(verification.Reason, "la imagen del evento 4 fue alterada");
  db.Run("UPDATE images SET bytes = $1 WHERE sha256 = $2", {kImageB, *HexBytes(Hash(kImageB))});

  // An event removed: the one after the gap does not follow.
  db.Run("DELETE FROM events WHERE id = 2", {});
  verification = store->Verify();
  EXPECT_EQ(verification.FirstBroken, 3);
  EXPECT_EQ(verification.Reason, "falta el evento 2, antes del 3");
  // Renumbered to close the gap: the chain still does not hold.
  for (int id = 3; id <= 5; ++id)
    db.Run("UPDATE events SET id = $1 WHERE id = $2", {int64_t{id - 1}, int64_t{id}});
  EXPECT_EQ(store->Verify().FirstBroken, 2);
}

TEST_P(HistoryStoreTest, PruningKeepsTheChainVerifiableFromItsCheckpoint) {
  std::unique_ptr<THistoryStore> store = Open();
  Append(*store,
         {MakeEvent("2025-01-01T10:00:00.000Z", "results", "127.0.0.1:17001", "verified", kImageA),
          MakeEvent("2025-06-01T10:00:00.000Z", "results", "127.0.0.1:17001", "silent"),
          MakeEvent("2026-01-01T10:00:00.000Z", "results", "127.0.0.1:17001", "verified", kImageB),
          MakeEvent("2026-01-02T10:00:00.000Z", "results", "127.0.0.1:17001", "read", kImageB)},
         {kImageA, kImageB});
  const std::string second_chain = store->Events({})[1].Chain;

  EXPECT_EQ(store->PruneBefore("2025-12-01T00:00:00.000Z"), 2);
  const std::optional<THistoryCheckpoint> checkpoint = store->Checkpoint();
  ASSERT_TRUE(checkpoint);
  EXPECT_EQ(checkpoint->EventId, 2);
  EXPECT_EQ(checkpoint->Chain, second_chain);
  EXPECT_EQ(Count(*store, "images"), 1) << "the image only pruned events used goes";
  THistoryVerification verification = store->Verify();
  EXPECT_TRUE(verification.Holds) << verification.Reason;
  EXPECT_EQ(verification.Events, 2);
  EXPECT_EQ(store->PruneBefore("2025-12-01T00:00:00.000Z"), 0);

  // The first kept event is still guarded by the checkpoint.
  store->Connection().Run("UPDATE events SET device = 'COM1' WHERE id = 3", {});
  EXPECT_EQ(store->Verify().FirstBroken, 3);
  store->Connection().Run("UPDATE events SET device = '127.0.0.1:17001' WHERE id = 3", {});

  // Everything pruned: numbering and chain go on from the checkpoint.
  EXPECT_EQ(store->PruneBefore("2027-01-01T00:00:00.000Z"), 2);
  EXPECT_EQ(Count(*store, "images"), 0);
  Append(*store, {MakeEvent("2027-02-01T10:00:00.000Z", "jackpots", "COM5", "present")});
  EXPECT_EQ(store->Events({}).at(0).Id, 5);
  verification = store->Verify();
  EXPECT_TRUE(verification.Holds) << verification.Reason;
  EXPECT_EQ(verification.Events, 1);
}

TEST_P(HistoryStoreTest, ShownAtGivesEachDeviceItsLastImageAndWhatCameAfter) {
  std::unique_ptr<THistoryStore> store = Open();
  Append(*store,
         {MakeEvent("2026-12-08T10:00:00.000Z", "results", "127.0.0.1:17001", "verified", kImageA),
          MakeEvent("2026-12-08T10:30:00.000Z", "jackpots", "COM5", "read", kImageC),
          MakeEvent("2026-12-08T11:00:00.000Z", "results", "127.0.0.1:17001", "written", kImageB),
          MakeEvent("2026-12-08T11:30:00.000Z", "results", "127.0.0.1:17001", "silent"),
          MakeEvent("2026-12-08T11:40:00.000Z", "results", "127.0.0.1:17003", "link_failed"),
          AsCheck(MakeEvent("2026-12-08T11:50:00.000Z", "jackpots", "COM5", "silent"))},
         {kImageA, kImageB, kImageC});

  EXPECT_TRUE(store->ShownAt("2026-12-08T09:59:59.999Z").empty());

  std::vector<TShownDevice> shown = store->ShownAt("2026-12-08T10:45:00.000Z");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].Shown.Panel, "results");
  EXPECT_EQ(shown[0].Shown.ImageSha256, Hash(kImageA));
  EXPECT_FALSE(shown[0].Later) << "11:00 comes after the moment";
  EXPECT_EQ(shown[1].Shown.ImageSha256, Hash(kImageC));

  // A device that never held an image is left out; a delivery that stopped
  // half-way after the last image is told.
  shown = store->ShownAt("2026-12-08T12:00:00.000Z");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].Shown.ImageSha256, Hash(kImageB));
  ASSERT_TRUE(shown[0].Later);
  EXPECT_EQ(shown[0].Later->Outcome, "silent");
  EXPECT_FALSE(shown[1].Later) << "a check that found nobody changes no bytes";
  EXPECT_TRUE(store->ShownAt("2026-12-08T12:00:00.000Z", "tienda-01").empty());
}

TEST_P(HistoryStoreTest, EventsAreFilteredByTimePanelAndOutcome) {
  std::unique_ptr<THistoryStore> store = Open();
  Append(*store, {MakeEvent("2026-12-07T23:59:59.999Z", "results", "COM5", "present"),
                  MakeEvent("2026-12-08T00:00:00.000Z", "results", "COM5", "silent"),
                  MakeEvent("2026-12-08T12:00:00.000Z", "jackpots", "COM5", "silent"),
                  MakeEvent("2026-12-09T00:00:00.000Z", "results", "COM5", "silent")});
  auto ids = [&store](const THistoryFilter& filter) {
    std::vector<int64_t> ids;
    for (const THistoryEvent& event : store->Events(filter)) ids.push_back(event.Id);
    return ids;
  };
  const std::string day = "2026-12-08T00:00:00.000Z", end = "2026-12-08T23:59:59.999Z";
  EXPECT_EQ(ids({day, end, "", "", ""}), (std::vector<int64_t>{2, 3}));
  EXPECT_EQ(ids({day, "", "results", "", ""}), (std::vector<int64_t>{2, 4}));
  EXPECT_EQ(ids({"", "", "", "present", ""}), (std::vector<int64_t>{1}));
  EXPECT_EQ(store->NextEventTime("2026-12-08T00:00:00.001Z"), "2026-12-08T12:00:00.000Z");
  EXPECT_FALSE(store->NextEventTime("2026-12-09T00:00:00.001Z"));
  EXPECT_EQ(store->PreviousEventTime("2026-12-08T12:00:00.000Z"), "2026-12-08T00:00:00.000Z");
  EXPECT_FALSE(store->PreviousEventTime("2026-12-07T23:59:59.999Z"));
}

TEST_P(HistoryStoreTest, ARecordOfTheFirstSchemaGainsTheDetailAndItsChainStillHolds) {
  {
    // As the first version made it: no detail, version 1.
    std::unique_ptr<ISqlConnection> db;
    if (GetParam() == Backend::Sqlite) db = std::make_unique<TSqliteConnection>(Where());
    else db = std::make_unique<TPostgresConnection>(Where());
    std::string schema = HistorySchema(db->Dialect());
    const std::string detail = ",\n  detail TEXT";
    ASSERT_NE(schema.find(detail), std::string::npos);
    schema.erase(schema.find(detail), detail.size());
    db->Execute(schema);
    db->Run("INSERT INTO history_schema(version) VALUES (1)", {});
    THistoryEvent old = MakeEvent("2026-12-08T19:32:05.000Z", "results", "COM5", "written");
    old.Id = 1;
    old.Chain = HexText(NextChain(TDigest{}, old));
    std::vector<TSqlValue> values = EventValues(old);
    values.pop_back();
    db->Run("INSERT INTO events(id, time, source, shop, device, device_name, panel, kind, outcome, "
            "image_sha256, document_sha256, version, chain) "
            "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13)",
            values);
  }
  std::unique_ptr<THistoryStore> store = Open();
  EXPECT_TRUE(store->Verify().Holds);
  THistoryEvent office = MakeEvent("2026-12-08T19:40:00.000Z", "", "", "online");
  office.Detail = "{\"reason\":\"x\"}";
  Append(*store, {office});
  const std::vector<THistoryEvent> events = store->Events({});
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Detail, "");
  EXPECT_EQ(events[1].Detail, office.Detail);
  EXPECT_EQ(store->Verify().Events, 2);
  // The detail is chained like every other field.
  store->Connection().Run("UPDATE events SET detail = '{}' WHERE id = 2", {});
  EXPECT_EQ(store->Verify().FirstBroken, 2);
  std::unique_ptr<ISqlRows> rows = store->Connection().Query("SELECT MAX(version) FROM history_schema", {});
  ASSERT_TRUE(rows->Next());
  EXPECT_EQ(rows->Int(0), kHistorySchemaVersion);
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryStoreTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), BackendName);

}  // namespace
}  // namespace quinterra::history_test
