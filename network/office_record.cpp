#include "network/office_record.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "history/history_open.h"
#include "network/bundle.h"
#include "platform/profile_file.h"

namespace quinterra {
namespace {

// A shop's texts are kept, but not without bound: a shop writes what it
// likes in its state.
constexpr size_t kMaxText = 500;

QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min(text.size(), kMaxText)));
}

std::string Compact(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QJsonObject DetailOf(const THistoryEvent& event) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(event.Detail)).object();
}

std::string Text(const QJsonObject& object, const char* key) {
  return object[key].toString().toStdString();
}

// A SHA-256 as the record keeps it; anything else would not go into a
// column of bytes (and would stop every later batch with it).
bool IsSha256Hex(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

THistoryEvent Event(const std::string& shop, const char* kind, const std::string& outcome, TSystemTime at) {
  THistoryEvent event;
  event.Time = UtcText(at);
  event.Source = history_source::kOffice;
  event.Shop = shop;
  event.Kind = kind;
  event.Outcome = outcome;
  return event;
}

}  // namespace

TOfficeRecordPlace OfficeRecordPlace(const std::string& folder) {
  const TProfileFile ini(folder + kBundleIni);
  TOfficeRecordPlace place;
  place.Where = ini.ReadString(kHistorySection, "Base", "");
  if (place.Where.empty()) place.Where = HistoryPath(folder);
  place.RetentionDays = ini.ReadInteger(kHistorySection, kRetentionKey, kDefaultRetentionDays);
  return place;
}

std::vector<TRecordEntry> PublicationEntries(const std::string& message, const TVerifyKey& office_key,
                                             const std::string& network, TSystemTime at) {
  // Judged as the fleet judges it: a document published ahead of this clock
  // is still the one the shops were asked to show.
  const TReadResult read = ReadPublication(message, office_key, network, 0);
  const bool valid = (read.Refusal == TRefusal::None || read.Refusal == TRefusal::NotYetValid) &&
                     read.Publication.has_value();
  std::vector<TRecordEntry> entries;
  if (!valid) {
    TRecordEntry entry{Event("", history_kind::kPublication, office_outcome::kInvalid, at), {}};
    entry.Event.DocumentSha256 = read.DocumentHash;
    if (read.Publication) entry.Event.Version = read.Publication->Version;
    entry.Event.Detail = Compact({{"reason", Q(RefusalReason(read))}});
    entries.push_back(std::move(entry));
    return entries;
  }
  const TPublication& p = *read.Publication;
  const PanelImages images = PublicationImages(p);
  const std::string detail = Compact({{"expires", static_cast<qint64>(p.Expires)},
                                      {"published", static_cast<qint64>(p.Published)}});
  for (const bool results : {true, false}) {
    if (!(results ? p.Results : p.Jackpots)) continue;
    TRecordEntry entry{Event("", history_kind::kPublication, office_outcome::kPublished, at),
                       results ? images.results : images.jackpots};
    entry.Event.Panel = results ? kResultsPanelName : kJackpotsPanelName;
    entry.Event.DocumentSha256 = read.DocumentHash;
    entry.Event.Version = p.Version;
    entry.Event.Detail = detail;
    entries.push_back(std::move(entry));
  }
  return entries;
}

TRecordEntry PresenceEntry(const std::string& shop, bool online, TSystemTime at) {
  return {Event(shop, history_kind::kPresence, online ? office_outcome::kOnline : office_outcome::kOffline, at),
          {}};
}

std::vector<TRecordEntry> ReportEntries(const std::string& shop, const std::optional<TShopState>& state,
                                        TSystemTime at) {
  std::vector<TRecordEntry> entries;
  if (!state) {
    entries.push_back({Event(shop, history_kind::kReport, office_outcome::kUnreadable, at), {}});
    return entries;
  }
  const TShopState& s = *state;
  const bool hash_reads = IsSha256Hex(s.DocumentHash);
  QJsonObject detail{{"applied_version", static_cast<qint64>(s.AppliedVersion)},
                     {"check_every", s.CheckEvery},
                     {"expired", s.Expired},
                     {"instance", Q(s.Instance)},
                     {"problem", Q(s.Problem)},
                     {"reason", Q(s.Reason)},
                     {"refusal", Q(s.Refusal)},
                     {"restored", Q(s.Restored)}};
  if (!hash_reads && !s.DocumentHash.empty()) detail["document_hash"] = Q(s.DocumentHash);
  TRecordEntry head{Event(shop, history_kind::kReport, s.Result, at), {}};
  head.Event.Version = s.Version;
  head.Event.DocumentSha256 = hash_reads ? s.DocumentHash : std::string();
  head.Event.Detail = Compact(detail);
  entries.push_back(head);
  for (const bool results : {true, false}) {
    const TShopPanel& panel = results ? s.Results : s.Jackpots;
    TRecordEntry entry{Event(shop, history_kind::kReport, PanelStatusName(panel.Status), at),
                       panel.ReadBack.value_or(std::vector<uint8_t>())};
    entry.Event.Panel = results ? kResultsPanelName : kJackpotsPanelName;
    entry.Event.Version = panel.Version;
    entry.Event.DocumentSha256 = head.Event.DocumentSha256;
    entries.push_back(std::move(entry));
  }
  return entries;
}

TRecordEntry CheckEntry(const std::string& shop, bool checked, int64_t checked_at, TSystemTime at) {
  TRecordEntry entry{
      Event(shop, history_kind::kCheck, checked ? office_outcome::kChecked : office_outcome::kUnchecked, at),
      {}};
  entry.Event.Detail = Compact({{"checked", static_cast<qint64>(checked_at)}});
  return entry;
}

TRecordEntry RecorderEntry(const char* outcome, const std::string& reason, TSystemTime at) {
  TRecordEntry entry{Event("", history_kind::kRecorder, outcome, at), {}};
  if (!reason.empty()) entry.Event.Detail = Compact({{"reason", Q(reason)}});
  return entry;
}

TRecordedPublication ReadPublicationDetail(const THistoryEvent& event) {
  const QJsonObject detail = DetailOf(event);
  TRecordedPublication p;
  p.Version = event.Version.value_or(0);
  p.DocumentHash = event.DocumentSha256;
  p.Valid = event.Outcome == office_outcome::kPublished;
  p.Published = detail["published"].toInteger();
  p.Expires = detail["expires"].toInteger();
  p.Reason = Text(detail, "reason");
  return p;
}

TRecordedReport ReadReportDetail(const THistoryEvent& event) {
  const QJsonObject detail = DetailOf(event);
  TRecordedReport r;
  r.Result = event.Outcome;
  r.Version = event.Version.value_or(0);
  r.DocumentHash = event.DocumentSha256;
  r.Reason = Text(detail, "reason");
  r.Refusal = Text(detail, "refusal");
  r.Problem = Text(detail, "problem");
  r.Restored = Text(detail, "restored");
  r.Instance = Text(detail, "instance");
  r.AppliedVersion = detail["applied_version"].toInteger();
  r.Expired = detail["expired"].toBool();
  r.CheckEvery = detail["check_every"].toInt();
  return r;
}

int64_t DetailSeconds(const THistoryEvent& event, const char* key) {
  return DetailOf(event)[key].toInteger();
}

}  // namespace quinterra
