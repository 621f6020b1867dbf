// The network of shops under load (bench/network.sh):
//   network_bench shops NETDIR WORKDIR FIRST COUNT
//     hosts shops bench-FIRST .. bench-(FIRST+COUNT-1): each its own agent,
//     broker connection and two in-process emulated panels; prints
//     "CONNECTED|LOST SHOP MS" (ms since 1970) as each shop's own broker
//     connection comes and goes
//   network_bench office NETDIR FIRST COUNT
//     waits until those shops are online, publishes a new document and
//     prints, from the publication to each shop's verified report, the
//     50th and 95th percentiles and the maximum, in milliseconds.
//   network_bench restart NETDIR FIRST COUNT
//     the same until every shop reports the document verified; then prints
//     KILL, and once the broker has been killed and started again prints
//     when (ms since 1970) the office lost its connection, had it Ready
//     again and saw every shop fine again.
// Every wait is bounded; a bench process ends with the one that started it.

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include <QEventLoop>
#include <QTimer>

#include <signal.h>
#include <sys/prctl.h>

#include "bench/emulated_panel_link.h"
#include "network/bundle.h"
#include "network/mqtt_client.h"
#include "panels/cell_kinds.h"
#include "network/office_client.h"
#include "network/panel_delivery.h"
#include "network/shop_agent.h"
#include "panels/panel_layout.h"
#include "platform/file_io.h"
#include "platform/qt_interval_timer.h"

namespace quinterra {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds since 1970 on the system's clock, which the script and every
// shop process share: the broker's restart is timed across them.
int64_t EpochMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string ShopName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "bench-%04d", i);
  return name;
}

struct Shop {
  std::string name;
  TEmulatedPanels panels;
  std::unique_ptr<TPanelDelivery> delivery;
  std::unique_ptr<TMqttClient> mqtt;
  std::unique_ptr<TShopAgent> agent;
};

// A document every cell of which holds a value of its kind, varied by seed.
std::vector<std::string> Items(int64_t seed) {
  const TCellSet layout;
  std::vector<std::string> items;
  for (const TCasilla& cell : layout.Cells) {
    const CellKindRules& rules = RulesFor(cell.Kind);
    const int64_t n = seed + cell.Index;
    if (rules.has_range) items.push_back(std::to_string(rules.minimum + n % (rules.maximum - rules.minimum + 1)));
    else if (cell.Kind == CellKind::QuinigolSign) items.push_back(std::string(1, "012M"[n % 4]));
    else if (cell.Kind == CellKind::QuinielaSign) items.push_back(std::string(1, "1X2"[n % 3]));
    else if (cell.Kind == CellKind::JackpotText) items.push_back(n % 2 ? "BOTE" : "SORTEO");
    else items.push_back(std::to_string(n % 10));
  }
  return items;
}

int HostShops(const std::string& net, const std::string& work, int first, int count) {
  QtTimerFactory timers;
  std::vector<std::unique_ptr<Shop>> shops;
  const std::optional<TVerifyKey> key = VerifyKeyFromText(ReadWholeFile(net + "office-sign.pub"));
  for (int i = first; i < first + count; ++i) {
    const std::string name = ShopName(i);
    std::string failure;
    const std::optional<TNetworkBundle> bundle = LoadBundle(net + "shops/" + name, &failure);
    if (!bundle || !key) return std::fprintf(stderr, "%s\n", failure.c_str()), 1;
    const std::string folder = work + name + "/";
    std::filesystem::create_directories(folder);
    WriteFileAtomically(folder + "equipos.ini",
                        "[0]\r\nNombre=R\r\nCOMIP=127.0.0.1\r\nSpeedPort=1\r\nNumDispositivo=1\r\nSelected=*\r\n"
                        "[1]\r\nNombre=B\r\nCOMIP=127.0.0.1\r\nSpeedPort=2\r\nNumDispositivo=2\r\nSelected=*\r\n");
    auto shop = std::make_unique<Shop>();
    Shop* s = shop.get();
    shop->name = name;
    shop->delivery = std::make_unique<TPanelDelivery>(
        timers, [s] { return std::make_unique<TEmulatedPanelLink>(s->panels); }, folder);
    TAgentSettings settings;
    settings.Bundle = *bundle;
    settings.Folder = folder;
    settings.OfficeKey = *key;
    shop->mqtt = std::make_unique<TMqttClient>(ShopAgentMqtt(*bundle));
    shop->agent = std::make_unique<TShopAgent>(settings, *shop->mqtt, *shop->delivery, timers);
    shop->agent->OnLog = [name](const std::string& line) {
      if (line.find("sin conexión") != std::string::npos) std::fprintf(stderr, "%s: %s\n", name.c_str(), line.c_str());
    };
    if (!shop->agent->Start(&failure)) return std::fprintf(stderr, "%s\n", failure.c_str()), 1;
    shops.push_back(std::move(shop));
  }
  // Each shop's own connection, as it comes and goes: after the broker's
  // restart its saved presence says every shop is online, so only the shops
  // themselves tell when they are back.
  std::vector<char> connected(shops.size(), 0);
  QTimer watch;
  watch.setInterval(50);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    bool said = false;
    for (size_t i = 0; i < shops.size(); ++i) {
      const bool now = shops[i]->mqtt->Connected();
      if (now == static_cast<bool>(connected[i])) continue;
      connected[i] = now;
      std::printf("%s %s %lld\n", now ? "CONNECTED" : "LOST", shops[i]->name.c_str(),
                  static_cast<long long>(EpochMs()));
      said = true;
    }
    if (said) std::fflush(stdout);
  });
  watch.start();
  return QCoreApplication::exec();
}

// Runs the event loop until done holds or the time is up, looking every
// 50 ms; what is timed is taken in the events themselves. The loop sleeps
// between events: processEvents with a time never waits, and spinning on it
// took a core from the shops.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds wait) {
  if (done()) return true;
  const Clock::time_point end = Clock::now() + wait;
  QEventLoop loop;
  QTimer check;
  check.setInterval(50);
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done() || Clock::now() >= end) loop.quit();
  });
  check.start();
  loop.exec();
  return done();
}

// After the script has killed the broker and started it again: when the
// office saw its connection go, had it Ready again, and, Ready, saw every
// shop fine (online, the document verified), in ms since 1970; 0 never.
int AfterRestart(TOfficeClient& client, const std::set<std::string>& names) {
  const TFleet& fleet = client.Fleet();
  int64_t lost_ms = 0, ready_ms = 0, fine_ms = 0;
  std::set<std::string> not_fine;
  auto judge = [&](const std::string& name) {
    const std::optional<TShopRow> row = fleet.Row(name);
    if (row && row->Online == true && row->Verdict == TVerdict::Fine) not_fine.erase(name);
    else not_fine.insert(name);
  };
  auto judge_all = [&] {
    for (const std::string& name : names) judge(name);
  };
  auto note = [&] {
    if (!fine_ms && ready_ms && client.Link() == TOfficeLink::Ready && not_fine.empty()) fine_ms = EpochMs();
  };
  client.OnLinkChanged = [&] {
    if (client.Link() != TOfficeLink::Ready) {
      if (!lost_ms) lost_ms = EpochMs();
    } else if (lost_ms && !ready_ms) {
      ready_ms = EpochMs();
    }
    note();
  };
  client.OnShopChanged = [&](const std::string& name) {
    if (!names.count(name)) return;
    judge(name);
    note();
  };
  client.OnDocumentChanged = [&] {
    judge_all();
    note();
  };
  judge_all();
  std::printf("KILL\n");
  std::fflush(stdout);
  if (!RunUntil([&] { return lost_ms != 0; }, std::chrono::seconds(30)))
    return std::fprintf(stderr, "the office never lost its connection to the broker\n"), 3;
  // A verdict also changes with time alone (a check grown too old).
  QTimer rejudge;
  rejudge.setInterval(1000);
  QObject::connect(&rejudge, &QTimer::timeout, [&] {
    judge_all();
    note();
  });
  rejudge.start();
  RunUntil([&] { return fine_ms != 0; }, std::chrono::seconds(300));
  judge_all();
  const size_t fine = client.Link() == TOfficeLink::Ready ? names.size() - not_fine.size() : 0;
  if (!ready_ms) std::fprintf(stderr, "%s\n", client.LinkProblem().c_str());
  std::printf("RESULT shops=%zu lost_ms=%lld ready_ms=%lld fine_ms=%lld fine=%zu\n", names.size(),
              static_cast<long long>(lost_ms), static_cast<long long>(ready_ms),
              static_cast<long long>(fine_ms), fine);
  return fine_ms ? 0 : 1;
}

int Office(const std::string& net, int first, int count, bool restart) {
  QtTimerFactory timers;
  std::string failure;
  std::unique_ptr<TOfficeClient> client = TOfficeClient::Open(net, timers, &failure);
  if (!client || !client->Start(&failure)) return std::fprintf(stderr, "%s\n", failure.c_str()), 3;
  // Started with the shops, it waits its turn behind their handshakes.
  if (!RunUntil([&] { return client->Link() == TOfficeLink::Ready; }, std::chrono::seconds(300)))
    return std::fprintf(stderr, "%s\n", client->LinkProblem().c_str()), 3;
  const TFleet& fleet = client->Fleet();
  std::set<std::string> names;
  for (int i = first; i < first + count; ++i) names.insert(ShopName(i));
  auto online = [&] {
    int n = 0;
    for (const std::string& name : names) {
      const std::optional<TShopRow> row = fleet.Row(name);
      n += row && row->Online == true;
    }
    return n;
  };
  if (!RunUntil([&] { return online() == count; }, std::chrono::seconds(300)))
    return std::fprintf(stderr, "only %d of %d shops online\n", online(), count), 3;

  TPublishRequest request;
  request.Items = Items(fleet.Document() ? fleet.Document()->Version + 1 : 1);
  std::optional<TPublishOutcome> outcome;
  std::map<std::string, double> verified_ms;
  const Clock::time_point start = Clock::now();
  auto take = [&](const std::string& name) {
    if (!outcome || outcome->Hash.empty() || !names.count(name) || verified_ms.count(name)) return;
    const std::optional<TShopRow> row = fleet.Row(name);
    if (row && row->State && row->State->DocumentHash == outcome->Hash && row->Verdict == TVerdict::Fine)
      verified_ms[name] = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  client->OnPublished = [&](const TPublishOutcome& taken) {
    outcome = taken;
    // A report that came before the document's echo is not lost.
    if (taken.Result == TPublishResult::Published)
      for (const std::string& name : names) take(name);
  };
  client->OnShopChanged = take;
  if (std::string refused = client->Publish(request); !refused.empty())
    return std::fprintf(stderr, "%s\n", refused.c_str()), 2;
  // The client's own bounds end a publication well within this; it only
  // guards against an outcome that never comes.
  if (!RunUntil([&] { return outcome.has_value(); }, std::chrono::seconds(120)))
    return std::fprintf(stderr, "the publication had no outcome\n"), 3;
  if (outcome->Result != TPublishResult::Published)
    return std::fprintf(stderr, "not published: %s\n", outcome->Why.c_str()), 3;
  RunUntil([&] { return static_cast<int>(verified_ms.size()) == count; }, std::chrono::seconds(120));
  if (restart) {
    if (static_cast<int>(verified_ms.size()) != count)
      return std::fprintf(stderr, "only %zu of %d shops verified the document before the restart\n",
                          verified_ms.size(), count),
             3;
    return AfterRestart(*client, names);
  }
  std::vector<double> times;
  for (const auto& [name, ms] : verified_ms) times.push_back(ms);
  std::sort(times.begin(), times.end());
  auto at = [&](double q) { return times.empty() ? 0.0 : times[std::min(times.size() - 1, static_cast<size_t>(q * times.size()))]; };
  std::printf("RESULT shops=%d verified=%zu p50=%.0f p95=%.0f max=%.0f\n", count, times.size(), at(0.5),
              at(0.95), times.empty() ? 0.0 : times.back());
  return static_cast<int>(times.size()) == count ? 0 : 1;
}

}  // namespace
}  // namespace quinterra

int main(int argc, char** argv) {
  // Ends with the script that started it: shops left behind would keep
  // their client ids from the next run's.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  QCoreApplication application(argc, argv);
  const std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 5 && a[0] == "shops") return quinterra::HostShops(a[1], a[2], std::stoi(a[3]), std::stoi(a[4]));
  if (a.size() == 4 && (a[0] == "office" || a[0] == "restart"))
    return quinterra::Office(a[1], std::stoi(a[2]), std::stoi(a[3]), a[0] == "restart");
  std::fprintf(stderr,
               "usage: network_bench shops NETDIR WORKDIR FIRST COUNT | office NETDIR FIRST COUNT"
               " | restart NETDIR FIRST COUNT\n");
  return 2;
}
