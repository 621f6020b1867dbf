// The office's recorder under 1,000 shops reporting at once
// (bench/history.sh):
//   record_bench shops NETDIR FIRST COUNT
//     hosts shops bench-FIRST .. bench-(FIRST+COUNT-1), each its own broker
//     connection: online, and a verified report of every new document the
//     moment it arrives (no panels: the burst the recorder must take)
//   record_bench office NETDIR sqlite|postgres COUNT
//     runs the recorder in process, on an SQLite file in NETDIR or on a
//     PostgreSQL server of its own, waits for the shops, publishes a new
//     document as the office and prints when the reports came (first,
//     last), when the record held them all, and what was still queued 5 s
//     after the last one.

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "history/history_database.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "network/bundle.h"
#include "network/mqtt_client.h"
#include "network/names.h"
#include "network/recording_office.h"
#include "platform/file_io.h"
#include "tests/e2e/sample_document.h"
#include "tests/support/postgres_server.h"

namespace quinterra {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string ShopName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "bench-%04d", i);
  return name;
}

int HostShops(const std::string& net, int first, int count) {
  const std::optional<TVerifyKey> key = VerifyKeyFromText(ReadWholeFile(net + "office-sign.pub"));
  if (!key) return std::fprintf(stderr, "no key\n"), 1;
  // One document's images for every shop of this process.
  std::map<std::string, PanelImages> images;
  std::vector<std::unique_ptr<TMqttClient>> clients;
  for (int i = first; i < first + count; ++i) {
    const std::string name = ShopName(i);
    std::string failure;
    const std::optional<TNetworkBundle> bundle = LoadBundle(net + "shops/" + name, &failure);
    if (!bundle) return std::fprintf(stderr, "%s\n", failure.c_str()), 1;
    auto client = std::make_unique<TMqttClient>(ShopAgentMqtt(*bundle));
    TMqttClient* c = client.get();
    const std::string network = bundle->Network;
    auto last = std::make_shared<std::string>();
    c->OnConnected = [c, network, name] {
      c->Subscribe(DocumentTopic(network));
      c->Publish(OnlineTopic(network, name), "1", true);
    };
    c->OnMessage = [c, network, name, key, last, &images](const std::string&, const std::string& payload, bool) {
      const std::string hash = DocumentHashOf(payload);
      if (hash == *last) return;
      *last = hash;
      const TReadResult read = ReadPublication(payload, *key, network, static_cast<int64_t>(std::time(nullptr)));
      if (!read.Publication) return;
      auto found = images.find(hash);
      if (found == images.end()) found = images.emplace(hash, PublicationImages(*read.Publication)).first;
      TShopState s;
      s.Shop = name;
      s.Network = network;
      s.Instance = "bench";
      s.Time = s.Checked = static_cast<int64_t>(std::time(nullptr));
      s.CheckEvery = 600;
      s.Version = s.AppliedVersion = read.Publication->Version;
      s.DocumentHash = hash;
      s.Result = "verified";
      const PanelImages& i = found->second;
      s.Results = {TPanelStatus::Verified, s.Version, i.results, Sha256Hex(i.results)};
      s.Jackpots = {TPanelStatus::Verified, s.Version, i.jackpots, Sha256Hex(i.jackpots)};
      c->Publish(StateTopic(network, name), StateJson(s), true);
    };
    if (!c->Start(&failure)) return std::fprintf(stderr, "%s\n", failure.c_str()), 1;
    clients.push_back(std::move(client));
  }
  return QCoreApplication::exec();
}

int Office(const std::string& net, const std::string& backend, int count) {
  std::unique_ptr<test::PostgresServer> server;
  std::string where = net + "oficina.db";
  if (backend == "postgres") {
    server = std::make_unique<test::PostgresServer>();
    if (!server->Start()) return std::fprintf(stderr, "PostgreSQL: %s\n", server->Failure().c_str()), 1;
    where = server->CreateDatabase("oficina");
  } else {
    std::filesystem::remove(where);
  }
  const std::optional<TNetworkBundle> bundle = LoadBundle(net, nullptr);
  const std::optional<TVerifyKey> key = VerifyKeyFromText(ReadWholeFile(net + "office-sign.pub"));
  const std::optional<TSigningKey> secret = SigningKeyFromText(ReadWholeFile(net + "office-sign.key"));
  if (!bundle || !key || !secret) return std::fprintf(stderr, "not a network: %s\n", net.c_str()), 1;

  THistoryRecorder::TLimits limits;
  limits.MaxQueued = 1000000;
  TRecordingOffice office_record(
      *bundle, *key, [where] { return OpenHistoryDatabase(where); },
      [](const std::string& why) { std::fprintf(stderr, "historial: %s\n", why.c_str()); }, limits);
  THistoryRecorder& history = office_record.History();
  std::set<std::string> online;
  int64_t version = 0;
  std::set<std::string> reported;
  Clock::time_point published{}, first{}, last{};
  // What the recorder records, seen on its way to the record.
  office_record.Recorder().OnRecorded = [&](const std::vector<TRecordEntry>& entries) {
    for (const TRecordEntry& entry : entries) {
      const THistoryEvent& e = entry.Event;
      if (e.Kind == history_kind::kPresence && e.Outcome == office_outcome::kOnline) online.insert(e.Shop);
      if (version && e.Kind == history_kind::kReport && e.Panel.empty() && e.Version == version &&
          reported.insert(e.Shop).second) {
        if (reported.size() == 1) first = Clock::now();
        last = Clock::now();
      }
    }
  };
  std::string failure;
  if (!office_record.Start(&failure)) return std::fprintf(stderr, "%s\n", failure.c_str()), 1;
  auto wait = [](const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto end = Clock::now() + bound;
    while (!done() && Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
  };
  if (!wait([&] { return static_cast<int>(online.size()) >= count; }, 300s))
    return std::fprintf(stderr, "only %zu of %d shops online\n", online.size(), count), 3;
  // What the shops' connecting brought is written before the burst.
  wait([&] { return history.Pending() == 0; }, 60s);

  TMqttClient office(bundle->Mqtt("bench-office"));
  TPublication p;
  p.Network = bundle->Network;
  p.Published = static_cast<int64_t>(std::time(nullptr));
  p.Version = version = p.Published;
  p.Expires = p.Published + kDefaultLifetimeSeconds;
  p.Items = e2e::VariedDocumentTexts(static_cast<int>(p.Version % 1000));
  const std::string message = SignPublication(p, *secret);
  office.OnConnected = [&] {
    published = Clock::now();
    office.Publish(DocumentTopic(p.Network), message, true);
  };
  if (!office.Start(&failure)) return std::fprintf(stderr, "%s\n", failure.c_str()), 1;
  const bool all = wait([&] { return static_cast<int>(reported.size()) >= count; }, 120s);
  wait([&] { return history.Pending() == 0; }, 60s);
  const double written_ms = std::chrono::duration<double, std::milli>(Clock::now() - published).count();
  wait([&] { return false; }, std::chrono::duration_cast<std::chrono::milliseconds>(last + 5s - Clock::now()));
  const int64_t backlog = history.Pending();
  std::printf("RESULT backend=%s shops=%d reported=%zu first_ms=%.0f last_ms=%.0f written_ms=%.0f backlog_5s=%lld\n",
              backend.c_str(), count, reported.size(),
              std::chrono::duration<double, std::milli>(first - published).count(),
              std::chrono::duration<double, std::milli>(last - published).count(), written_ms,
              static_cast<long long>(backlog));
  office.Stop();
  bool stopped = false;
  office_record.Stop([&] { stopped = true; });
  wait([&] { return stopped; }, 10s);
  history.Flush(30s);
  return all && backlog == 0 ? 0 : 1;
}

}  // namespace
}  // namespace quinterra

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 4 && a[0] == "shops") return quinterra::HostShops(a[1], std::stoi(a[2]), std::stoi(a[3]));
  if (a.size() == 4 && a[0] == "office") return quinterra::Office(a[1], a[2], std::stoi(a[3]));
  std::fprintf(stderr, "usage: record_bench shops NETDIR FIRST COUNT | office NETDIR sqlite|postgres COUNT\n");
  return 2;
}
