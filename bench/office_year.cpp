// A year of the office's record of 1,000 shops (bench/history.sh): two
// publications a day (09:00 and 21:00), each shop's report of each (one in
// fifty a failed attempt first), a third of the shops switched off every
// night (offline, back online, its checks overdue until the agent's first
// check), an agent restart a month; written a day per transaction, as the
// recorder would have, into SQLite and into a PostgreSQL server of the
// bench's own. Then one shop's report over the whole year, in process:
// the medians of several shops.
//
//   office_year FOLDER [sqlite|postgres ...]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "history/history_database.h"
#include "history/history_open.h"
#include "history/history_store.h"
#include "history/sha256.h"
#include "network/network_report.h"
#include "network/office_record.h"
#include "tests/e2e/sample_document.h"
#include "tests/support/postgres_server.h"

namespace {

using namespace quinterra;
using Clock = std::chrono::steady_clock;
using std::chrono::minutes;
using std::chrono::seconds;

constexpr int kShops = 1000;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string ShopName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "tienda-%04d", i);
  return name;
}

struct TDocument {
  std::string Message, Hash;
  TPublication Publication;
  PanelImages Images;
};

TShopState Verified(const std::string& shop, const TDocument& d, const std::string& instance) {
  TShopState s;
  s.Shop = shop;
  s.Network = "banco";
  s.Instance = instance;
  s.Version = s.AppliedVersion = d.Publication.Version;
  s.DocumentHash = d.Hash;
  s.Result = "verified";
  s.CheckEvery = 600;
  s.Results = {TPanelStatus::Verified, s.Version, d.Images.results, Sha256Hex(d.Images.results)};
  s.Jackpots = {TPanelStatus::Verified, s.Version, d.Images.jackpots, Sha256Hex(d.Images.jackpots)};
  return s;
}

// The year into store; the number of events.
int64_t WriteYear(THistoryStore& store, TSystemTime start, double* seconds_taken) {
  const TKeyPair key = NewKeyPair();
  std::mt19937 random(20261208);
  std::vector<std::string> instances(kShops, "a0");
  int64_t count = 0;
  const auto began = Clock::now();
  std::vector<THistoryEvent> events;
  std::vector<THistoryImage> images;
  std::set<std::string> kept;  // images are kept once, as the recorder's batches do
  auto add = [&](TSystemTime at, std::vector<TRecordEntry> entries) {
    for (TRecordEntry& entry : entries) {
      entry.Event.Time = UtcText(at);
      if (!entry.Image.empty()) {
        entry.Event.ImageSha256 = HexText(Sha256(entry.Image));
        if (kept.insert(entry.Event.ImageSha256).second)
          images.push_back({entry.Event.ImageSha256, std::move(entry.Image)});
      }
      events.push_back(std::move(entry.Event));
    }
  };
  add(start, {RecorderEntry(office_outcome::kStart, {}, start)});
  add(start, {RecorderEntry(office_outcome::kSynced, {}, start)});
  for (int shop = 0; shop < kShops; ++shop) add(start, {PresenceEntry(ShopName(shop), true, start)});
  int64_t version = 0;
  for (int day = 0; day < 365; ++day) {
    const TSystemTime midnight = start + minutes(24 * 60 * day);
    for (int shop = 0; shop < kShops; shop += 3) {
      // Switched off for the night, and its checks overdue on its return.
      const std::string name = ShopName(shop);
      const TSystemTime off = midnight + minutes(60 * 23 + shop % 50), on = midnight + minutes(7 * 60 + shop % 50);
      add(on, {PresenceEntry(name, true, on)});
      add(on + seconds(1), {CheckEntry(name, false, 0, on)});
      add(on + seconds(40), {CheckEntry(name, true, 0, on)});
      add(off, {PresenceEntry(name, false, off)});
    }
    for (const int hour : {9, 21}) {
      TDocument d;
      d.Publication.Network = "banco";
      d.Publication.Version = ++version;
      d.Publication.Published = std::chrono::duration_cast<seconds>((midnight + minutes(60 * hour)).time_since_epoch()).count();
      d.Publication.Expires = d.Publication.Published + kDefaultLifetimeSeconds;
      d.Publication.Items = e2e::VariedDocumentTexts(static_cast<int>(version % 1000));
      d.Message = SignPublication(d.Publication, key.Secret);
      d.Hash = DocumentHashOf(d.Message);
      d.Images = PublicationImages(d.Publication);
      const TSystemTime published = midnight + minutes(60 * hour);
      add(published, PublicationEntries(d.Message, key.Public, "banco", published));
      for (int shop = 0; shop < kShops; ++shop) {
        const std::string name = ShopName(shop);
        if (day % 30 == shop % 30 && hour == 9) instances[shop] = "a" + std::to_string(day);
        const TSystemTime at = published + std::chrono::milliseconds(1500 + random() % 2000);
        if (random() % 50 == 0) {
          TShopState failed = Verified(name, d, instances[shop]);
          failed.Result = "failed";
          failed.Reason = "un equipo del panel Botes no responde o su enlace no se abre";
          failed.Jackpots.Status = TPanelStatus::Failed;
          add(at, ReportEntries(name, failed, at));
          add(at + seconds(5), ReportEntries(name, Verified(name, d, instances[shop]), at));
        } else {
          add(at, ReportEntries(name, Verified(name, d, instances[shop]), at));
        }
      }
    }
    // The day in time order, as the recorder would have written it.
    std::vector<size_t> order(events.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return events[a].Time < events[b].Time; });
    std::vector<THistoryEvent> sorted;
    sorted.reserve(events.size());
    for (size_t i : order) sorted.push_back(std::move(events[i]));
    count += static_cast<int64_t>(sorted.size());
    store.Append(sorted, images);
    events.clear();
    images.clear();
    kept.clear();
  }
  *seconds_taken = std::chrono::duration<double>(Clock::now() - began).count();
  return count;
}

int Run(const std::string& where, const char* name, const std::string& size_query) {
  const TSystemTime start = *ParseUtcText("2025-12-09T00:00:00.000Z");
  const TSystemTime end = start + minutes(365 * 24 * 60);
  double written_s = 0;
  int64_t events = 0;
  {
    std::unique_ptr<THistoryStore> store = OpenHistoryDatabase(where);
    events = WriteYear(*store, start, &written_s);
  }
  std::unique_ptr<THistoryStore> store = OpenHistoryDatabase(where);
  std::string size = "?";
  if (!size_query.empty()) {
    std::unique_ptr<ISqlRows> rows = store->Connection().Query(size_query, {});
    if (rows->Next()) size = std::to_string(rows->Int(0) / 1000000) + " MB";
  } else {
    size = std::to_string(std::filesystem::file_size(where) / 1000000) + " MB";
  }
  std::vector<double> reader, shop, both;
  for (int run = 0; run < 11; ++run) {
    const std::string name_of = ShopName((run * 97) % kShops);
    const auto a = Clock::now();
    TNetworkReportReader read(*store, start, end);
    const auto b = Clock::now();
    const TShopReport report = read.Shop(name_of);
    const auto c = Clock::now();
    if (report.Results.Segments.empty()) return std::fprintf(stderr, "empty report\n"), 1;
    reader.push_back(Milliseconds(b - a));
    shop.push_back(Milliseconds(c - b));
    both.push_back(Milliseconds(c - a));
  }
  // December only: what stands at its start, then its own events.
  const TSystemTime month = end - minutes(31 * 24 * 60);
  std::vector<double> monthly;
  for (int run = 0; run < 11; ++run) {
    const auto a = Clock::now();
    TNetworkReportReader read(*store, month, end);
    read.Shop(ShopName((run * 97) % kShops));
    monthly.push_back(Milliseconds(Clock::now() - a));
  }
  const auto a = Clock::now();
  const TNetworkReport all = ReadNetworkReport(*store, "banco", {}, month, end);
  const double network_s = std::chrono::duration<double>(Clock::now() - a).count();
  std::printf("| %s | %lld events | %s | %.0f s | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.1f s (%zu shops) | 200 ms |\n",
              name, static_cast<long long>(events), size.c_str(), written_s, Median(reader), Median(shop),
              Median(both), Median(monthly), network_s, all.Shops.size());
  return Median(both) <= 200 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return std::fprintf(stderr, "uso: office_year CARPETA [sqlite|postgres ...]\n"), 2;
  const std::string folder = std::string(argv[1]) + "/";
  std::vector<std::string> backends(argv + 2, argv + argc);
  if (backends.empty()) backends = {"sqlite", "postgres"};
  std::printf("| 1,000 shops' year | events | size | written | office's events | one shop | one shop's report, "
              "the year | one shop, December | every shop, December | bound |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  int status = 0;
  for (const std::string& backend : backends) {
    if (backend == "sqlite") {
      std::filesystem::remove(folder + "oficina.db");
      status |= Run(folder + "oficina.db", "SQLite", "");
    } else {
      quinterra::test::PostgresServer server;
      if (!server.Start()) return std::fprintf(stderr, "PostgreSQL: %s\n", server.Failure().c_str()), 1;
      const std::string where = server.CreateDatabase("oficina");
      status |= Run(where, "PostgreSQL", "SELECT pg_database_size('oficina')");
    }
  }
  std::printf("%s\n", status == 0 ? "within bounds" : "OUT OF BOUNDS");
  return status;
}
