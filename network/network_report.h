#pragma once
// The network's report, from the office's record (office_record.h): per
// shop and panel, what it showed from when to when (each version verified)
// and the gaps (offline, failing, unchecked ...) with their reasons, and
// the share of the period with the version in force verified. The console
// (quinterra-send --network-report) and the window ("Red" > "Informe…")
// both take it from here.
//
// A panel is judged at each moment as the fleet judges a shop (fleet.h),
// for that panel alone, in this order: the office's recorder not watching
// (sin registro), no valid publication, a panel the document does not ask
// for, no report yet, offline, an unreadable or refused report, another
// document (stale), its own state (failed, different, sent, no device),
// its bytes against the document's image, the version it cannot keep, the
// document expired, checks overdue; else verified.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "history/history_event.h"
#include "history/history_time.h"
#include "network/fleet.h"

namespace quinterra {

class THistoryStore;

enum class TReportState {
  Verified,  // the version in force, verified
  Stale,
  Failing,
  Offline,
  Unchecked,
  Expired,
  NoDevice,
  CannotSave,
  Unknown,
  Unrecorded,  // the office's recorder was not watching
  NotRequested,
};
const char* ReportStateName(TReportState state);  // "verified", "stale" ...
const char* ReportStateText(TReportState state);  // "verificada", "atrasada" ...
TVerdictTone ReportStateTone(TReportState state);

struct TReportSegment {
  TSystemTime From, To;
  TReportState State = TReportState::Unknown;
  int64_t Version = 0;  // the version of the bytes it showed; 0 unknown
  std::string Reason;   // Spanish; empty when verified
};

struct TPanelReport {
  std::string Panel;  // "results", "jackpots"
  std::vector<TReportSegment> Segments;
  // While the document asked for the panel; while it was verified.
  std::chrono::milliseconds Asked{0}, Verified{0};
};

struct TShopReport {
  std::string Shop;
  TPanelReport Results, Jackpots;
  // While any panel was asked for; while every one asked was verified.
  std::chrono::milliseconds Asked{0}, Verified{0};
  std::chrono::milliseconds Unrecorded{0};
  // Verified over Asked, 0..1; negative when nothing was asked.
  double VerifiedShare() const;
};

struct TNetworkReport {
  std::string Network;
  TSystemTime From, To;
  std::vector<TShopReport> Shops;  // by name
};

// The timeline of one shop from the office's own events (publications and
// the recorder's; shop "") and the shop's, each in record order, and when
// each recorder start found the previous run gone (the time of the event
// before it, by start time).
struct TRecorderStart {
  TSystemTime At, PreviousEvent;
};
TShopReport BuildShopReport(const std::string& shop, const std::vector<THistoryEvent>& office_events,
                            const std::vector<THistoryEvent>& shop_events,
                            const std::vector<TRecorderStart>& starts, TSystemTime from, TSystemTime to);

// Reads the office's events once, then one shop at a time. Throws TSqlError.
class TNetworkReportReader {
 public:
  TNetworkReportReader(THistoryStore& store, TSystemTime from, TSystemTime to);
  // The shops the record names, by name.
  std::vector<std::string> RecordedShops();
  TShopReport Shop(const std::string& shop);

 private:
  THistoryStore& store_;
  TSystemTime from_, to_;
  std::vector<THistoryEvent> office_events_;
  std::vector<TRecorderStart> starts_;
};

// Every shop of the record and of known (the network's folder), by name.
// progress, when given, is told after each shop; false from it ends the
// reading there (the shops read so far are returned).
using TReportProgress = std::function<bool(size_t done, size_t total)>;
TNetworkReport ReadNetworkReport(THistoryStore& store, const std::string& network,
                                 const std::vector<std::string>& known, TSystemTime from, TSystemTime to,
                                 const TReportProgress& progress = nullptr);

// "98,7 %"; "—" for a negative share.
std::string ShareText(double share);
// "98,7 % del tiempo con la versión vigente verificada".
std::string ShareSentence(double share);
// "2 d 03:04", "03:04:05".
std::string DurationText(std::chrono::milliseconds duration);
// "Resultados", "Botes".
const char* PanelTitle(const std::string& panel);

}  // namespace quinterra
