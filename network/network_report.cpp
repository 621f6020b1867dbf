#include "network/network_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "history/history_columns.h"
#include "history/history_store.h"
#include "network/office_record.h"
#include "network/publication.h"

namespace quinterra {
namespace {

using std::chrono::milliseconds;

const struct {
  TReportState state;
  const char* name;
  const char* text;
  TVerdictTone tone;
} kStates[] = {
    {TReportState::Verified, "verified", "verificada", TVerdictTone::Good},
    {TReportState::Stale, "stale", "atrasada", TVerdictTone::Warning},
    {TReportState::Failing, "failing", "con fallos", TVerdictTone::Bad},
    {TReportState::Offline, "offline", "desconectada", TVerdictTone::Off},
    {TReportState::Unchecked, "unchecked", "sin comprobar", TVerdictTone::Warning},
    {TReportState::Expired, "expired", "caducada", TVerdictTone::Warning},
    {TReportState::NoDevice, "no_device", "sin equipo", TVerdictTone::Warning},
    {TReportState::CannotSave, "cannot_save", "no puede guardar", TVerdictTone::Warning},
    {TReportState::Unknown, "unknown", "sin datos", TVerdictTone::Off},
    {TReportState::Unrecorded, "unrecorded", "sin registro", TVerdictTone::Off},
    {TReportState::NotRequested, "not_requested", "no pedido", TVerdictTone::Off},
};

TSystemTime TimeOf(const THistoryEvent& event) {
  return ParseUtcText(event.Time).value_or(TSystemTime{});
}

TSystemTime FromSeconds(int64_t seconds) {
  return TSystemTime(std::chrono::seconds(seconds));
}

struct TVerdictNow {
  TReportState State = TReportState::Unrecorded;
  int64_t Version = 0;
  std::string Reason;
  bool operator==(const TVerdictNow& o) const {
    return State == o.State && Version == o.Version && Reason == o.Reason;
  }
};

// What is known at a moment: the publication in force, whether the
// recorder watched, and the shop.
class TTimeline {
 public:
  void Take(const THistoryEvent& e) {
    if (e.Kind == history_kind::kPublication) return TakePublication(e);
    if (e.Kind == history_kind::kRecorder) return TakeRecorder(e);
    if (e.Kind == history_kind::kPresence) {
      online_ = e.Outcome == office_outcome::kOnline;
    } else if (e.Kind == history_kind::kCheck) {
      unchecked_ = e.Outcome == office_outcome::kUnchecked;
      checked_at_ = DetailSeconds(e, "checked");
    } else if (e.Kind == history_kind::kReport) {
      if (e.Panel.empty()) {
        report_ = ReadReportDetail(e);
        panels_[0] = panels_[1] = {};
      } else {
        Panel& panel = panels_[e.Panel == kResultsPanelName ? 0 : 1];
        panel.Known = true;
        panel.Status = e.Outcome;
        panel.Version = e.Version.value_or(0);
        panel.Image = e.ImageSha256;
      }
    }
  }

  // The moments at which time alone changes a verdict, after `after`.
  std::optional<TSystemTime> NextBoundary(TSystemTime after) const {
    if (publication_ && publication_->Valid) {
      const TSystemTime expiry = FromSeconds(publication_->Expires + kClockToleranceSeconds + 1);
      if (expiry > after) return expiry;
    }
    return std::nullopt;
  }

  TVerdictNow Judge(int index, TSystemTime now) const {
    const bool results = index == 0;
    const char* title = results ? "Resultados" : "Botes";
    auto verdict = [](TReportState state, int64_t version, std::string reason) {
      return TVerdictNow{state, version, std::move(reason)};
    };
    if (!watching_) return verdict(TReportState::Unrecorded, 0, unwatched_why_);
    if (!publication_) return verdict(TReportState::Unknown, 0, "no consta ninguna publicación");
    if (!publication_->Valid)
      return verdict(TReportState::Failing, 0, "el documento publicado no es válido");
    if (!asked_[index]) return verdict(TReportState::NotRequested, 0, "");
    if (!report_) {
      return verdict(online_ == false ? TReportState::Offline : TReportState::Unknown, 0,
                     "nunca ha informado");
    }
    const Panel& panel = panels_[index];
    const int64_t shown = panel.Known ? panel.Version : 0;
    if (online_ != true) return verdict(TReportState::Offline, shown, "sin conexión con el servidor");
    const TRecordedReport& r = *report_;
    if (r.Result == office_outcome::kUnreadable)
      return verdict(TReportState::Failing, 0, "su estado no se entiende");
    if (r.DocumentHash != publication_->DocumentHash) {
      if (r.AppliedVersion < publication_->Version)
        return verdict(TReportState::Stale, shown,
                       "tiene la versión " + std::to_string(r.AppliedVersion) + ", la última es la " +
                           std::to_string(publication_->Version));
      return verdict(TReportState::Stale, shown, "no ha informado de la última publicación");
    }
    if (r.Result == "refused")
      return verdict(TReportState::Failing, shown, r.Reason.empty() ? "rechazó el documento" : r.Reason);
    if (panel.Status == PanelStatusName(TPanelStatus::NotRequested))
      return verdict(TReportState::NotRequested, 0, "la tienda no tiene este panel");
    if (panel.Status == PanelStatusName(TPanelStatus::NoDevice))
      return verdict(TReportState::NoDevice, 0, std::string("sin equipo del panel ") + title);
    if (panel.Status != PanelStatusName(TPanelStatus::Verified))
      return verdict(TReportState::Failing, shown,
                     !r.Reason.empty() ? r.Reason : std::string("el panel ") + title + ": " + panel.Status);
    if (panel.Image != image_[index])
      return verdict(TReportState::Failing, shown,
                     std::string("el panel ") + title + ": lo leído no es la imagen del documento");
    const int64_t version = publication_->Version;
    if (!r.Problem.empty()) return verdict(TReportState::CannotSave, version, r.Problem);
    if (r.Expired || now > FromSeconds(publication_->Expires + kClockToleranceSeconds))
      return verdict(TReportState::Expired, version,
                     "la versión " + std::to_string(version) + " ha caducado; sigue en los paneles");
    if (unchecked_)
      return verdict(TReportState::Unchecked, version,
                     "sin comprobar desde " + LocalText(FromSeconds(checked_at_), false));
    return verdict(TReportState::Verified, version, "");
  }

 private:
  struct Panel {
    bool Known = false;
    std::string Status;
    int64_t Version = 0;
    std::string Image;
  };

  void TakePublication(const THistoryEvent& e) {
    const TRecordedPublication p = ReadPublicationDetail(e);
    if (!publication_ || publication_->DocumentHash != p.DocumentHash || publication_->Valid != p.Valid) {
      publication_ = p;
      asked_[0] = asked_[1] = false;
      image_[0].clear();
      image_[1].clear();
    }
    if (p.Valid && !e.Panel.empty()) {
      const int index = e.Panel == kResultsPanelName ? 0 : 1;
      asked_[index] = true;
      image_[index] = e.ImageSha256;
    }
  }

  void TakeRecorder(const THistoryEvent& e) {
    const std::string& o = e.Outcome;
    if (o == office_outcome::kSynced) {
      watching_ = true;
    } else if (o == office_outcome::kDisconnected) {
      watching_ = false;
      unwatched_why_ = "el registro de la oficina no llegaba al servidor";
    } else if (o == office_outcome::kStop || o == office_outcome::kStart) {
      watching_ = false;
      unwatched_why_ = "el registro de la oficina no estaba en marcha";
    }
    if (o == office_outcome::kStart) {
      // What the shops say is told again after every start.
      online_.reset();
      report_.reset();
      panels_[0] = panels_[1] = {};
      unchecked_ = false;
    }
  }

  bool watching_ = false;
  std::string unwatched_why_ = "el registro de la oficina no estaba en marcha";
  std::optional<TRecordedPublication> publication_;
  bool asked_[2] = {false, false};
  std::string image_[2];
  std::optional<bool> online_;
  std::optional<TRecordedReport> report_;
  Panel panels_[2];
  bool unchecked_ = false;
  int64_t checked_at_ = 0;
};

void Extend(TPanelReport& panel, const TVerdictNow& verdict, TSystemTime from, TSystemTime to) {
  const milliseconds span = std::chrono::duration_cast<milliseconds>(to - from);
  if (verdict.State != TReportState::NotRequested) panel.Asked += span;
  if (verdict.State == TReportState::Verified) panel.Verified += span;
  if (!panel.Segments.empty()) {
    TReportSegment& last = panel.Segments.back();
    if (last.To == from && last.State == verdict.State && last.Version == verdict.Version &&
        last.Reason == verdict.Reason) {
      last.To = to;
      return;
    }
  }
  panel.Segments.push_back({from, to, verdict.State, verdict.Version, verdict.Reason});
}

bool Earlier(const THistoryEvent& a, const THistoryEvent& b) {
  return a.Time != b.Time ? a.Time < b.Time : a.Id < b.Id;
}

}  // namespace

const char* ReportStateName(TReportState state) {
  for (const auto& entry : kStates)
    if (entry.state == state) return entry.name;
  return "unknown";
}

const char* ReportStateText(TReportState state) {
  for (const auto& entry : kStates)
    if (entry.state == state) return entry.text;
  return "sin datos";
}

TVerdictTone ReportStateTone(TReportState state) {
  for (const auto& entry : kStates)
    if (entry.state == state) return entry.tone;
  return TVerdictTone::Off;
}

double TShopReport::VerifiedShare() const {
  if (Asked.count() <= 0) return -1;
  return static_cast<double>(Verified.count()) / static_cast<double>(Asked.count());
}

TShopReport BuildShopReport(const std::string& shop, const std::vector<THistoryEvent>& office_events,
                            const std::vector<THistoryEvent>& shop_events,
                            const std::vector<TRecorderStart>& starts, TSystemTime from, TSystemTime to) {
  TShopReport report;
  report.Shop = shop;
  report.Results.Panel = kResultsPanelName;
  report.Jackpots.Panel = kJackpotsPanelName;
  if (to <= from) return report;
  // A start that found the previous run gone (no stop before it) ends the
  // watch where that run last wrote, not at the start.
  std::vector<THistoryEvent> events;
  events.reserve(office_events.size() + shop_events.size() + starts.size());
  std::merge(office_events.begin(), office_events.end(), shop_events.begin(), shop_events.end(),
             std::back_inserter(events), Earlier);
  {
    std::vector<THistoryEvent> ends;
    bool running = false;
    for (const THistoryEvent& e : office_events) {
      if (e.Kind != history_kind::kRecorder) continue;
      if (e.Outcome == office_outcome::kStop) running = false;
      if (e.Outcome != office_outcome::kStart) continue;
      for (const TRecorderStart& start : starts) {
        if (!running || start.At != TimeOf(e)) continue;
        THistoryEvent end = e;
        end.Outcome = office_outcome::kStop;
        end.Time = UtcText(std::min(start.PreviousEvent, start.At));
        end.Id = -1;
        ends.push_back(end);
      }
      running = true;
    }
    std::sort(ends.begin(), ends.end(), Earlier);
    std::vector<THistoryEvent> all;
    all.reserve(events.size() + ends.size());
    std::merge(events.begin(), events.end(), ends.begin(), ends.end(), std::back_inserter(all), Earlier);
    events = std::move(all);
  }

  TTimeline timeline;
  TSystemTime last = from;
  TVerdictNow verdicts[2] = {timeline.Judge(0, from), timeline.Judge(1, from)};
  auto advance = [&](TSystemTime until) {
    // Verdicts that only time changes (an expiry) on the way.
    while (last < until) {
      const std::optional<TSystemTime> boundary = timeline.NextBoundary(last);
      const TSystemTime step = boundary && *boundary < until ? *boundary : until;
      if (step > from && last < to) {
        const TSystemTime a = std::max(last, from), b = std::min(step, to);
        if (a < b) {
          Extend(report.Results, verdicts[0], a, b);
          Extend(report.Jackpots, verdicts[1], a, b);
          const milliseconds span = std::chrono::duration_cast<milliseconds>(b - a);
          const bool asked = verdicts[0].State != TReportState::NotRequested ||
                             verdicts[1].State != TReportState::NotRequested;
          auto done = [](const TVerdictNow& v) {
            return v.State == TReportState::Verified || v.State == TReportState::NotRequested;
          };
          if (asked) report.Asked += span;
          if (asked && done(verdicts[0]) && done(verdicts[1])) report.Verified += span;
          if (verdicts[0].State == TReportState::Unrecorded) report.Unrecorded += span;
        }
      }
      last = step;
      verdicts[0] = timeline.Judge(0, last);
      verdicts[1] = timeline.Judge(1, last);
    }
  };
  size_t i = 0;
  // Before the period only the state counts.
  for (; i < events.size() && TimeOf(events[i]) <= from; ++i) timeline.Take(events[i]);
  verdicts[0] = timeline.Judge(0, from);
  verdicts[1] = timeline.Judge(1, from);
  while (i < events.size()) {
    const TSystemTime at = TimeOf(events[i]);
    if (at >= to) break;
    advance(at);
    // Every event of one moment before it is judged (a report and its panels).
    for (; i < events.size() && TimeOf(events[i]) == at; ++i) timeline.Take(events[i]);
    verdicts[0] = timeline.Judge(0, at);
    verdicts[1] = timeline.Judge(1, at);
  }
  advance(to);
  return report;
}

TNetworkReportReader::TNetworkReportReader(THistoryStore& store, TSystemTime from, TSystemTime to)
    : store_(store), from_(from), to_(to) {
  ISqlConnection& db = store_.Connection();
  {
    std::unique_ptr<ISqlRows> rows =
        db.Query(std::string("SELECT ") + kEventColumns +
                     " FROM events WHERE shop = '' AND time < $1 ORDER BY time, id",
                 {UtcText(to_)});
    while (rows->Next()) office_events_.push_back(EventOfRow(*rows));
  }
  for (const THistoryEvent& e : office_events_) {
    if (e.Kind != history_kind::kRecorder || e.Outcome != office_outcome::kStart) continue;
    std::unique_ptr<ISqlRows> rows =
        db.Query("SELECT time FROM events WHERE id < $1 ORDER BY id DESC LIMIT 1", {e.Id});
    const TSystemTime at = TimeOf(e);
    starts_.push_back({at, rows->Next() ? ParseUtcText(rows->Text(0)).value_or(at) : at});
  }
}

std::vector<std::string> TNetworkReportReader::RecordedShops() {
  // One seek per shop rather than a walk of the whole record.
  std::vector<std::string> shops;
  std::string after;
  for (;;) {
    std::unique_ptr<ISqlRows> rows =
        store_.Connection().Query("SELECT shop FROM events WHERE shop > $1 ORDER BY shop LIMIT 1", {after});
    if (!rows->Next()) break;
    after = rows->Text(0);
    shops.push_back(after);
  }
  return shops;
}

TShopReport TNetworkReportReader::Shop(const std::string& shop) {
  ISqlConnection& db = store_.Connection();
  const std::string from = UtcText(from_), to = UtcText(to_);
  std::vector<THistoryEvent> events;
  // Before the period only what stands at its start: the shop's last report
  // (its panels too), presence and check, found by walking its index back,
  // no further than the recorder's last start (which forgets the rest).
  std::string since;
  for (const TRecorderStart& start : starts_)
    if (start.At <= from_) since = UtcText(start.At);
  {
    std::unique_ptr<ISqlRows> rows = db.Query(
        std::string("SELECT ") + kEventColumns +
            " FROM events WHERE shop = $1 AND panel = '' AND device = '' AND time < $2 AND time >= $3 "
            "ORDER BY shop DESC, panel DESC, device DESC, time DESC, id DESC",
        {shop, from, since});
    std::set<std::string> kinds;
    while (kinds.size() < 3 && rows->Next()) {
      THistoryEvent event = EventOfRow(*rows);
      if (kinds.insert(event.Kind).second) events.push_back(std::move(event));
    }
  }
  for (const char* panel : {kResultsPanelName, kJackpotsPanelName}) {
    std::unique_ptr<ISqlRows> rows = db.Query(
        std::string("SELECT ") + kEventColumns +
            " FROM events WHERE shop = $1 AND panel = $2 AND device = '' AND time < $3 AND time >= $4 "
            "ORDER BY shop DESC, panel DESC, device DESC, time DESC, id DESC LIMIT 1",
        {shop, std::string(panel), from, since});
    if (rows->Next()) events.push_back(EventOfRow(*rows));
  }
  {
    std::unique_ptr<ISqlRows> rows = db.Query(
        std::string("SELECT ") + kEventColumns + " FROM events WHERE shop = $1 AND time >= $2 AND time < $3",
        {shop, from, to});
    while (rows->Next()) events.push_back(EventOfRow(*rows));
  }
  std::sort(events.begin(), events.end(), Earlier);
  return BuildShopReport(shop, office_events_, events, starts_, from_, to_);
}

TNetworkReport ReadNetworkReport(THistoryStore& store, const std::string& network,
                                 const std::vector<std::string>& known, TSystemTime from, TSystemTime to,
                                 const TReportProgress& progress) {
  TNetworkReport report;
  report.Network = network;
  report.From = from;
  report.To = to;
  TNetworkReportReader reader(store, from, to);
  std::set<std::string> shops(known.begin(), known.end());
  for (const std::string& shop : reader.RecordedShops()) shops.insert(shop);
  for (const std::string& shop : shops) {
    report.Shops.push_back(reader.Shop(shop));
    if (progress && !progress(report.Shops.size(), shops.size())) break;
  }
  return report;
}

std::string ShareText(double share) {
  if (share < 0) return "—";
  // Down, never up: 99,96 % is not yet all of the time.
  const double tenths = std::floor(share * 1000.0 + 1e-9);
  char text[32];
  std::snprintf(text, sizeof text, "%.0f,%.0f %%", std::floor(tenths / 10), std::fmod(tenths, 10.0));
  return text;
}

std::string ShareSentence(double share) {
  if (share < 0) return "ningún panel pedido en el periodo";
  return ShareText(share) + " del tiempo con la versión vigente verificada";
}

std::string DurationText(milliseconds duration) {
  const int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
  const int64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60;
  char text[48];
  if (days > 0)
    std::snprintf(text, sizeof text, "%lld d %02lld:%02lld", static_cast<long long>(days),
                  static_cast<long long>(hours), static_cast<long long>(minutes));
  else
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes), static_cast<long long>(seconds % 60));
  return text;
}

const char* PanelTitle(const std::string& panel) {
  return panel == kResultsPanelName ? "Resultados" : "Botes";
}

}  // namespace quinterra
