// The network of shops under load (bench/network.sh):
//   network_bench shops NETDIR WORKDIR FIRST COUNT
//     hosts shops bench-FIRST .. bench-(FIRST+COUNT-1): each its own agent,
//     broker connection and two in-process emulated panels
//   network_bench office NETDIR FIRST COUNT
//     waits until those shops are online, publishes a new document and
//     prints, from the publication to each shop's verified report, the
//     50th and 95th percentiles and the maximum, in milliseconds.

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include <QEventLoop>

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

std::string ShopName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "bench-%04d", i);
  return name;
}

struct Shop {
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
  return QCoreApplication::exec();
}

// Runs the event loop until done holds or the time is up.
bool RunUntil(const std::function<bool()>& done, std::chrono::seconds wait) {
  const Clock::time_point end = Clock::now() + wait;
  while (!done() && Clock::now() < end)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return done();
}

int Office(const std::string& net, int first, int count) {
  QtTimerFactory timers;
  std::string failure;
  std::unique_ptr<TOfficeClient> client = TOfficeClient::Open(net, timers, &failure);
  if (!client || !client->Start(&failure)) return std::fprintf(stderr, "%s\n", failure.c_str()), 3;
  if (!RunUntil([&] { return client->Link() == TOfficeLink::Ready; }, std::chrono::seconds(30)))
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
  std::string hash;
  std::map<std::string, double> verified_ms;
  const Clock::time_point start = Clock::now();
  client->OnPublished = [&](const TPublishOutcome& outcome) {
    if (outcome.Result != TPublishResult::Published) std::fprintf(stderr, "%s\n", outcome.Why.c_str());
    hash = outcome.Hash;
  };
  client->OnShopChanged = [&](const std::string& name) {
    if (hash.empty() || !names.count(name) || verified_ms.count(name)) return;
    const std::optional<TShopRow> row = fleet.Row(name);
    if (row && row->State && row->State->DocumentHash == hash && row->Verdict == TVerdict::Fine)
      verified_ms[name] = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  if (std::string refused = client->Publish(request); !refused.empty())
    return std::fprintf(stderr, "%s\n", refused.c_str()), 2;
  if (!RunUntil([&] { return !hash.empty(); }, std::chrono::seconds(30))) return 3;
  RunUntil([&] { return static_cast<int>(verified_ms.size()) == count; }, std::chrono::seconds(120));
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
  QCoreApplication application(argc, argv);
  const std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 5 && a[0] == "shops") return quinterra::HostShops(a[1], a[2], std::stoi(a[3]), std::stoi(a[4]));
  if (a.size() == 4 && a[0] == "office") return quinterra::Office(a[1], std::stoi(a[2]), std::stoi(a[3]));
  std::fprintf(stderr, "usage: network_bench shops NETDIR WORKDIR FIRST COUNT | office NETDIR FIRST COUNT\n");
  return 2;
}
