// A shop's year in its record (bench/history.sh): a delivery of both panels
// at 09:00 and 21:00 and a check that reads one panel every 10 minutes,
// written a day per transaction; then the file's size, the moment query in
// process and quinterra-send --shown-at as a whole process, the medians of
// several runs.
//
//   history_year FOLDER QUINTERRA_SEND

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "history/history_moment.h"
#include "history/history_open.h"
#include "history/history_store.h"
#include "history/history_time.h"
#include "history/sha256.h"

extern char** environ;

namespace {

using namespace quinterra;
using Clock = std::chrono::steady_clock;
using std::chrono::minutes;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

THistoryEvent Event(TSystemTime at, const char* panel, const char* kind, const char* outcome,
                    const std::vector<uint8_t>& image, int64_t version) {
  THistoryEvent e;
  e.Time = UtcText(at);
  e.Source = history_source::kAgent;
  e.Device = panel == std::string(kResultsPanelName) ? "127.0.0.1:17001" : "127.0.0.1:17002";
  e.DeviceName = panel == std::string(kResultsPanelName) ? "Panel Resultados" : "Panel Botes";
  e.Panel = panel;
  e.Kind = kind;
  e.Outcome = outcome;
  e.ImageSha256 = HexText(Sha256(image));
  e.DocumentSha256 = HexText(Sha256(std::to_string(version)));
  e.Version = version;
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "uso: history_year CARPETA QUINTERRA_SEND\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/", send = argv[2];
  std::filesystem::remove(HistoryPath(folder));
  std::mt19937 random(20261208);
  auto image = [&random](size_t size) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
  };

  const TSystemTime start = *ParseUtcText("2025-12-09T00:00:00.000Z");
  std::vector<uint8_t> results = image(320), jackpots = image(360);
  int64_t version = 1, events = 0;
  const auto writing = Clock::now();
  {
    std::unique_ptr<THistoryStore> store = OpenHistory(HistoryPath(folder));
    for (int day = 0; day < 365; ++day) {
      std::vector<THistoryEvent> batch;
      std::vector<THistoryImage> images;
      for (int slot = 0; slot < 144; ++slot) {
        const TSystemTime at = start + minutes(24 * 60 * day + 10 * slot);
        if (slot == 54 || slot == 126) {  // 09:00 and 21:00
          results = image(320);
          jackpots = image(360);
          ++version;
          images.push_back({HexText(Sha256(results)), results});
          images.push_back({HexText(Sha256(jackpots)), jackpots});
          batch.push_back(Event(at, kResultsPanelName, history_kind::kDelivery,
                                history_outcome::kVerified, results, version));
          batch.push_back(Event(at + std::chrono::seconds(2), kJackpotsPanelName,
                                history_kind::kDelivery, history_outcome::kVerified, jackpots, version));
        }
        const bool results_turn = slot % 2 == 0;
        batch.push_back(Event(at + std::chrono::seconds(30),
                              results_turn ? kResultsPanelName : kJackpotsPanelName,
                              history_kind::kRead, history_outcome::kRead,
                              results_turn ? results : jackpots, version));
        if (day == 0 && slot == 0) {
          images.push_back({HexText(Sha256(results)), results});
          images.push_back({HexText(Sha256(jackpots)), jackpots});
        }
      }
      events += static_cast<int64_t>(batch.size());
      store->Append(batch, images);
    }
  }
  const double written_ms = Milliseconds(Clock::now() - writing);
  const double megabytes = static_cast<double>(std::filesystem::file_size(HistoryPath(folder))) / 1e6;

  // A moment late in the year, away from the edges of a day.
  const std::string moment = "2026-10-15T19:32:00.000Z";
  std::vector<double> query;
  {
    std::unique_ptr<THistoryStore> store = OpenHistory(HistoryPath(folder));
    for (int run = 0; run < 51; ++run) {
      const auto begin = Clock::now();
      const TPanelsAtMoment panels = PanelsAt(*store, moment);
      query.push_back(Milliseconds(Clock::now() - begin));
      if (!panels.Results || !panels.Jackpots) return std::fprintf(stderr, "no moment\n"), 1;
    }
  }
  std::vector<double> open_and_query;
  for (int run = 0; run < 21; ++run) {
    const auto begin = Clock::now();
    const TPanelsAtMoment panels = PanelsAt(*OpenHistory(HistoryPath(folder)), moment);
    open_and_query.push_back(Milliseconds(Clock::now() - begin));
  }
  // The tool as a person runs it, in local time: the same moment.
  const std::string local = LocalTextOfUtc(moment);  // dd/mm/yyyy hh:mm:ss
  const std::string typed = local.substr(6, 4) + "-" + local.substr(3, 2) + "-" + local.substr(0, 2) +
                            " " + local.substr(11, 8);
  // Started straight, as a timer unit starts it (a shell would add its own start).
  std::vector<std::string> arguments = {send, "--folder", folder, "--shown-at", typed};
  std::vector<char*> spawned;
  for (std::string& argument : arguments) spawned.push_back(argument.data());
  spawned.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  std::vector<double> tool;
  for (int run = 0; run < 21; ++run) {
    const auto begin = Clock::now();
    pid_t pid = -1;
    int status = -1;
    if (posix_spawn(&pid, spawned[0], &quiet, nullptr, spawned.data(), environ) == 0) waitpid(pid, &status, 0);
    tool.push_back(Milliseconds(Clock::now() - begin));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      return std::fprintf(stderr, "%s --shown-at failed\n", send.c_str()), 1;
  }
  posix_spawn_file_actions_destroy(&quiet);
  std::vector<double> verify;
  {
    std::unique_ptr<THistoryStore> store = OpenHistory(HistoryPath(folder));
    const auto begin = Clock::now();
    if (!store->Verify().Holds) return std::fprintf(stderr, "chain broken\n"), 1;
    verify.push_back(Milliseconds(Clock::now() - begin));
  }

  std::printf("| A shop's year (%lld events) | measured | bound |\n", static_cast<long long>(events));
  std::printf("|---|---|---|\n");
  std::printf("| historial.db | %.1f MB | 20 MB |\n", megabytes);
  std::printf("| the moment's query, in process (median of 51) | %.2f ms | |\n", Median(query));
  std::printf("| opening the file and the query (median of 21) | %.2f ms | |\n", Median(open_and_query));
  std::printf("| quinterra-send --shown-at, the whole process (median of 21) | %.1f ms | 10 ms |\n",
              Median(tool));
  std::printf("| --history --verify's walk of the chain | %.0f ms | |\n", verify.front());
  std::printf("| the year written, a day per transaction | %.1f s | |\n", written_ms / 1000);
  const bool within = megabytes <= 20 && Median(tool) <= 10;
  std::printf("%s\n", within ? "within bounds" : "OUT OF BOUNDS");
  return within ? 0 : 1;
}
