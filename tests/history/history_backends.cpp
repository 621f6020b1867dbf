#include "tests/history/history_backends.h"

#include <atomic>

#include "history/sha256.h"
#include "tests/support/postgres_server.h"

namespace quinterra::history_test {

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

test::PostgresServer* Postgres(std::string* failure) {
  static test::PostgresServer server;
  static const bool started = server.Start();
  if (!started) *failure = server.Failure();
  return started ? &server : nullptr;
}

void BackendTest::SetUp() {
  if (GetParam() == Backend::Sqlite) {
    where_ = folder_.File("historial.db");
    return;
  }
  std::string failure;
  test::PostgresServer* server = Postgres(&failure);
  if (!server) GTEST_SKIP() << "SIN POSTGRESQL: " << failure;
  // Every case its own database: cases never see each other's events.
  static std::atomic<int> databases{0};
  where_ = server->CreateDatabase("caso_" + std::to_string(++databases));
}

THistoryEvent MakeEvent(const std::string& time, const std::string& panel, const std::string& device,
                        const std::string& outcome, const std::vector<uint8_t>& image) {
  THistoryEvent event;
  event.Time = time;
  event.Source = history_source::kSend;
  event.Device = device;
  event.DeviceName = "Panel " + device;
  event.Panel = panel;
  event.Kind = history_kind::kDelivery;
  event.Outcome = outcome;
  if (!image.empty()) event.ImageSha256 = HexText(Sha256(image));
  event.DocumentSha256 = HexText(Sha256(std::string("documento")));
  return event;
}

}  // namespace quinterra::history_test
