// The recorder never makes its caller wait, and loses nothing to a database
// that is locked or away for a while; what it does lose it says.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "history/history_open.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "history/history_time.h"
#include "history/sqlite_connection.h"
#include "tests/history/history_backends.h"
#include "tests/support/temp_folder.h"

namespace quinterra::history_test {
namespace {

using namespace std::chrono_literals;

class Failures {
 public:
  THistoryRecorder::TFailure Handler() {
    return [this](const std::string& reason) {
      const std::lock_guard<std::mutex> lock(mutex_);
      reasons_.push_back(reason);
    };
  }
  std::vector<std::string> Reasons() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return reasons_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> reasons_;
};

THistoryRecorder::TLimits Quick() {
  THistoryRecorder::TLimits limits;
  limits.FirstRetry = 1ms;
  limits.LastRetry = 5ms;
  return limits;
}

std::vector<std::string> Devices(const std::string& path) {
  std::vector<std::string> devices;
  for (const THistoryEvent& event : OpenHistory(path)->Events({})) devices.push_back(event.Device);
  return devices;
}

TEST(HistoryRecorderTest, ADatabaseAwayForAWhileLosesNothingAndIsToldOnce) {
  test::TempFolder folder;
  const std::string path = folder.File("historial.db");
  std::atomic<int> opens{0};
  Failures failures;
  {
    THistoryRecorder recorder(
        [&] {
          if (++opens <= 3) throw TSqlError("disco lleno");
          return OpenHistory(path);
        },
        failures.Handler(), Quick());
    for (const char* device : {"a", "b", "c"}) recorder.Record(MakeEvent("", "results", device, "present"), {});
    ASSERT_TRUE(recorder.Flush(10s));
    recorder.Record(MakeEvent("", "results", "d", "present"), {});
    ASSERT_TRUE(recorder.Flush(10s));
    EXPECT_EQ(recorder.Written(), 4);
    EXPECT_EQ(recorder.Lost(), 0);
  }
  EXPECT_EQ(Devices(path), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(failures.Reasons(), (std::vector<std::string>{"disco lleno"}));
}

TEST(HistoryRecorderTest, AFileLockedByAnotherWriterIsWaitedForOnTheWriterThreadOnly) {
  test::TempFolder folder;
  const std::string path = folder.File("historial.db");
  OpenHistory(path);  // the schema, before the lock is taken
  TSqliteConnection other(path);
  other.Execute("BEGIN IMMEDIATE");
  Failures failures;
  THistoryRecorder recorder([path] { return OpenHistory(path); }, failures.Handler(), Quick());
  const auto start = std::chrono::steady_clock::now();
  std::vector<uint8_t> image(320, 7);
  recorder.Record(MakeEvent("", "results", "127.0.0.1:17001", "verified", image), image);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms) << "Record waited on the lock";
  EXPECT_FALSE(recorder.Flush(50ms));
  other.Execute("COMMIT");
  ASSERT_TRUE(recorder.Flush(20s));
  EXPECT_EQ(Devices(path), (std::vector<std::string>{"127.0.0.1:17001"}));
  EXPECT_TRUE(failures.Reasons().empty()) << failures.Reasons().front();
}

TEST(HistoryRecorderTest, WhatCannotBeKeptIsCountedAndSaid) {
  Failures failures;
  THistoryRecorder::TLimits limits = Quick();
  limits.MaxQueued = 2;
  limits.CloseWait = 20ms;
  {
    THistoryRecorder recorder([]() -> std::unique_ptr<THistoryStore> { throw TSqlError("sin permiso"); },
                              failures.Handler(), limits);
    for (int i = 0; i < 5; ++i) recorder.Record(MakeEvent("", "results", "COM5", "silent"), {});
  }
  const std::vector<std::string> reasons = failures.Reasons();
  ASSERT_FALSE(reasons.empty());
  EXPECT_EQ(reasons.front(), "sin permiso");
  // A full queue dropped the oldest three; closing, the last two.
  EXPECT_EQ(reasons.back(), "2 eventos sin guardar al cerrar");
}

}  // namespace
}  // namespace quinterra::history_test

namespace quinterra::history_test {
namespace {

TEST(HistoryRetentionTest, TheShopKeepsTheDaysItsConfigSaysAndTheChainStillHolds) {
  test::TempFolder folder;
  const std::string dir = folder.Path().string() + "/";
  const auto now = std::chrono::system_clock::now();
  {
    std::vector<THistoryEvent> events = {
        MakeEvent(UtcText(now - std::chrono::hours(24 * 45)), "results", "COM5", "present"),
        MakeEvent(UtcText(now - std::chrono::hours(24 * 20)), "results", "COM5", "present"),
        MakeEvent(UtcText(now - std::chrono::hours(1)), "results", "COM5", "present")};
    OpenHistory(HistoryPath(dir))->Append(events, {});
  }
  EXPECT_EQ(HistoryRetentionDays(dir), 400) << "unless config.ini says";
  EXPECT_EQ(OpenShopHistory(dir)->EventCount(), 3);

  folder.Put("config.ini", "[Config]\r\nVerificar=1\r\n[Historial]\r\nConservar=30\r\n");
  std::unique_ptr<THistoryStore> store = OpenShopHistory(dir);
  EXPECT_EQ(store->EventCount(), 2);
  EXPECT_EQ(store->Checkpoint()->EventId, 1);
  EXPECT_TRUE(store->Verify().Holds);

  folder.Put("config.ini", "[Historial]\r\nConservar=0\r\n");
  EXPECT_EQ(OpenShopHistory(dir)->EventCount(), 2) << "0 keeps every event";
}

}  // namespace
}  // namespace quinterra::history_test
