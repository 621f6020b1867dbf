// The office's recorder against the tests' own broker on the simulated
// clock: what it records of the messages the shops and the office send, in
// the order the broker delivers them.

#include <gtest/gtest.h>

#include "history/history_open.h"
#include "network/names.h"
#include "network/office_recorder.h"
#include "platform/simulated_clock.h"
#include "tests/network/record_fixture.h"
#include "tests/network/test_broker.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;

// The simulated clock's zero, in seconds since 1970.
constexpr int64_t kEpoch = 1'800'000'000;

using Names = std::vector<std::string>;

class OfficeRecorderTest : public ::testing::Test {
 protected:
  void StartRecorder() {
    transport_ = broker_.NewClient("recorder");
    TOfficeRecorderSettings settings;
    settings.Network = "cadena";
    settings.OfficeKey = key_.Public;
    settings.Now = [this] { return TSystemTime(std::chrono::seconds(kEpoch)) + clock_.Now(); };
    recorder_ = std::make_unique<TOfficeRecorder>(settings, *transport_, clock_,
                                                  [this](std::vector<TRecordEntry> entries) {
                                                    for (TRecordEntry& e : entries) entries_.push_back(std::move(e));
                                                  });
    ASSERT_TRUE(recorder_->Start(nullptr));
    clock_.Advance(100ms);
    ASSERT_TRUE(recorder_->Synced());
  }
  void StopRecorder() {
    bool stopped = false;
    recorder_->Stop([&] { stopped = true; });
    clock_.Advance(100ms);
    ASSERT_TRUE(stopped);
    recorder_.reset();
    transport_.reset();
  }
  int64_t Seconds() const {
    return kEpoch + std::chrono::duration_cast<std::chrono::seconds>(clock_.Now()).count();
  }
  void Report(TShopState state) {
    state.Time = Seconds();
    if (!state.Checked) state.Checked = Seconds();
    broker_.Publish(StateTopic("cadena", state.Shop), StateJson(state), true);
    clock_.Advance(10ms);
  }
  void Online(const std::string& shop, bool online) {
    broker_.Publish(OnlineTopic("cadena", shop), online ? "1" : "0", true);
    clock_.Advance(10ms);
  }
  // "kind/outcome" of each event recorded since the last call; the
  // recorder's signs of life in a quiet while only when asked.
  std::vector<std::string> Taken(bool alive = false) {
    std::vector<std::string> taken;
    for (size_t i = seen_; i < entries_.size(); ++i) {
      const THistoryEvent& e = entries_[i].Event;
      if (!alive && e.Outcome == office_outcome::kAlive) continue;
      taken.push_back(e.Kind + "/" + (e.Panel.empty() ? "" : e.Panel + "/") + e.Outcome);
    }
    seen_ = entries_.size();
    return taken;
  }
  SimulatedClock clock_;
  TestBroker broker_{clock_};
  TKeyPair key_ = NewKeyPair();
  TSignedDocument v1_ = SignedDocument(key_, 1), v2_ = SignedDocument(key_, 2);
  std::unique_ptr<TestBroker::Client> transport_;
  std::unique_ptr<TOfficeRecorder> recorder_;
  std::vector<TRecordEntry> entries_;
  size_t seen_ = 0;
};

const Names kReport = {"report/verified", "report/results/verified",
                                           "report/jackpots/verified"};

TEST_F(OfficeRecorderTest, RecordsWhatChangesAndNotTheSameStateRepublished) {
  broker_.Publish(DocumentTopic("cadena"), v1_.Message, true);
  StartRecorder();
  EXPECT_EQ(Taken(), (Names{"recorder/start", "publication/results/published", "publication/jackpots/published",
                            "recorder/synced"}));
  EXPECT_EQ(entries_[1].Image, v1_.Images.results) << "the image the document puts on the panel";
  Online("tienda-01", true);
  Report(VerifiedState("tienda-01", v1_));
  EXPECT_EQ(Taken(), (Names{"presence/online", kReport[0], kReport[1], kReport[2]}));
  const THistoryEvent& panel = entries_[entries_.size() - 2].Event;
  EXPECT_EQ(panel.Shop, "tienda-01");
  EXPECT_EQ(panel.DocumentSha256, v1_.Hash);
  EXPECT_EQ(entries_[entries_.size() - 2].Image, v1_.Images.results) << "the bytes read back";

  // The periodic check and a reconnection republish it: nothing new.
  clock_.Advance(10min);
  Report(VerifiedState("tienda-01", v1_));
  Online("tienda-01", true);
  EXPECT_EQ(Taken(), Names{});
  broker_.Publish(DocumentTopic("cadena"), v2_.Message, true);
  clock_.Advance(10ms);
  Report(VerifiedState("tienda-01", v2_));
  Online("tienda-01", false);
  EXPECT_EQ(Taken(), (Names{"publication/results/published", "publication/jackpots/published", kReport[0],
                            kReport[1], kReport[2], "presence/offline"}));
  StopRecorder();
  EXPECT_EQ(Taken(), Names{"recorder/stop"});
}

TEST_F(OfficeRecorderTest, OnlyTheComingAndGoingOfChecksIsKept) {
  StartRecorder();
  Online("tienda-01", true);
  Report(VerifiedState("tienda-01", v1_));
  Taken();
  // Checks every 600 s: overdue past 1,500 s, seen within the sweep's 5 s.
  clock_.Advance(1490s);
  EXPECT_EQ(Taken(), Names{});
  clock_.Advance(20s);
  EXPECT_EQ(Taken(), Names{"check/unchecked"});
  clock_.Advance(10min);
  EXPECT_EQ(Taken(), Names{}) << "said once";
  Report(VerifiedState("tienda-01", v1_));
  EXPECT_EQ(Taken(), Names{"check/checked"});
  // Offline says more than unchecked; back with an old check, it is unchecked.
  Online("tienda-01", false);
  clock_.Advance(1h);
  EXPECT_EQ(Taken(), Names{"presence/offline"});
  Online("tienda-01", true);
  EXPECT_EQ(Taken(), (Names{"presence/online", "check/unchecked"}));
}

TEST_F(OfficeRecorderTest, AReconnectionRecordsWhatChangedMeanwhileARestartEverything) {
  broker_.Publish(DocumentTopic("cadena"), v1_.Message, true);
  Online("tienda-01", true);
  Online("tienda-02", true);
  Report(VerifiedState("tienda-01", v1_));
  Report(VerifiedState("tienda-02", v1_));
  StartRecorder();
  EXPECT_EQ(Taken().size(), 1u + 2 + 2 * (1 + 3) + 1);
  // The connection drops; meanwhile tienda-02 takes v2 (retained only).
  broker_.Drop(*transport_);
  clock_.Advance(10ms);
  broker_.Retained[DocumentTopic("cadena")] = v2_.Message;
  TShopState state = VerifiedState("tienda-02", v2_);
  state.Time = state.Checked = Seconds();
  broker_.Retained[StateTopic("cadena", "tienda-02")] = StateJson(state);
  clock_.Advance(2s);
  EXPECT_EQ(Taken(), (Names{"recorder/disconnected", "publication/results/published",
                            "publication/jackpots/published", kReport[0], kReport[1], kReport[2],
                            "recorder/synced"}));
  EXPECT_EQ(entries_[entries_.size() - 2].Event.Shop, "tienda-02");
  // A new recorder knows nothing: it tells the whole state again.
  StopRecorder();
  Taken();
  StartRecorder();
  EXPECT_EQ(Taken().size(), 1u + 2 + 2 * (1 + 3) + 1);
}

TEST_F(OfficeRecorderTest, WhatAShopCannotSayDoesNotStopTheRecord) {
  TempFolder folder;
  std::unique_ptr<THistoryStore> store = OpenHistory(folder.File("historial.db"));
  StartRecorder();
  TShopState state = VerifiedState("tienda-01", v1_);
  state.DocumentHash = "no es un hash";
  state.Reason = std::string(5000, 'x');
  Report(state);
  // Another shop's name in its state, and a state that does not read.
  Report(VerifiedState("tienda-03", v1_));
  broker_.Publish(StateTopic("cadena", "tienda-03"), "{\"shop\":\"tienda-03\"", true);
  clock_.Advance(10ms);
  ASSERT_NO_THROW(RecordBuilder(*store).At(0, entries_));
  const std::vector<THistoryEvent> kept = store->Events({"", "", "", "", "tienda-01"});
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0].DocumentSha256, "");
  EXPECT_NE(kept[0].Detail.find("\"document_hash\":\"no es un hash\""), std::string::npos);
  EXPECT_LT(kept[0].Detail.size(), 1000u);
  EXPECT_EQ(Taken().back(), "report/unreadable");
  // tienda-03's state under tienda-02's name.
  TShopState other = VerifiedState("tienda-03", v1_);
  other.Time = Seconds();
  broker_.Publish(StateTopic("cadena", "tienda-02"), StateJson(other), true);
  clock_.Advance(10ms);
  EXPECT_EQ(Taken(), Names{"report/unreadable"});
  EXPECT_TRUE(store->Verify().Holds);
}

TEST_F(OfficeRecorderTest, AQuietNetworkStillShowsTheRecorderWatching) {
  StartRecorder();
  Taken();
  clock_.Advance(9min);
  EXPECT_EQ(Taken(true), Names{});
  clock_.Advance(2min);
  EXPECT_EQ(Taken(true), Names{"recorder/alive"});
}

}  // namespace
}  // namespace quinterra::test
