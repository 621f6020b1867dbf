#include "send/send_history.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <ostream>

#include "history/history_moment.h"
#include "history/history_open.h"
#include "history/history_store.h"
#include "history/history_texts.h"
#include "history/history_time.h"
#include "history/sql_connection.h"
#include "send/moment_picture.h"

namespace quinterra {
namespace {

QJsonValue Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonValue TextOrNull(const std::string& text) {
  return text.empty() ? QJsonValue(QJsonValue::Null) : Text(text);
}

QJsonObject EventJson(const THistoryEvent& event) {
  return {{"id", static_cast<qint64>(event.Id)},
          {"time", Text(event.Time)},
          {"source", Text(event.Source)},
          {"kind", Text(event.Kind)},
          {"device", Text(event.Device)},
          {"device_name", Text(event.DeviceName)},
          {"panel", Text(event.Panel)},
          {"outcome", Text(event.Outcome)},
          {"sha256", TextOrNull(event.ImageSha256)},
          {"document_sha256", TextOrNull(event.DocumentSha256)},
          {"version", event.Version ? QJsonValue(static_cast<qint64>(*event.Version))
                                    : QJsonValue(QJsonValue::Null)}};
}

std::string Json(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

std::string PanelFilter(TPanelMode mode) {
  if (mode == TPanelMode::Results) return kResultsPanelName;
  if (mode == TPanelMode::Jackpots) return kJackpotsPanelName;
  return {};
}

int ListEvents(THistoryStore& store, const TSendOptions& options, std::ostream& out) {
  THistoryFilter filter;
  filter.From = options.From;
  filter.To = options.To;
  filter.Panel = PanelFilter(options.Mode);
  const std::vector<THistoryEvent> events = store.Events(filter);
  if (options.Json) {
    QJsonArray list;
    for (const THistoryEvent& event : events) list.append(EventJson(event));
    out << Json({{"events", list}});
  } else {
    for (const THistoryEvent& event : events) out << EventLine(event) << "\n";
  }
  return 0;
}

int VerifyChain(THistoryStore& store, std::ostream& out) {
  const THistoryVerification verification = store.Verify();
  const std::optional<THistoryCheckpoint> checkpoint = store.Checkpoint();
  if (!verification.Holds) {
    out << "El historial no se sostiene desde el evento " << *verification.FirstBroken << ": "
        << verification.Reason << "\n";
    return 1;
  }
  out << "El historial se sostiene: " << verification.Events << " eventos";
  if (checkpoint)
    out << " desde el punto de control del evento " << checkpoint->EventId << " ("
        << LocalTextOfUtc(checkpoint->Time) << ")";
  out << "\n";
  return 0;
}

int ShowMoment(THistoryStore& store, const TSendOptions& options, std::ostream& out,
               std::ostream& err) {
  const std::string panel = PanelFilter(options.Mode);
  std::vector<TShownDevice> shown;
  for (TShownDevice& device : store.ShownAt(options.Moment))
    if (panel.empty() || device.Shown.Panel == panel) shown.push_back(std::move(device));
  const std::string moment = LocalTextOfUtc(options.Moment);
  if (options.Json) {
    QJsonArray devices;
    for (const TShownDevice& device : shown) {
      QJsonObject entry = EventJson(device.Shown);
      entry["later"] = device.Later ? QJsonValue(EventJson(*device.Later)) : QJsonValue(QJsonValue::Null);
      devices.append(entry);
    }
    out << Json({{"moment", Text(options.Moment)}, {"devices", devices}});
  } else if (shown.empty()) {
    out << "No consta lo que mostraba ningún panel el " << moment << "\n";
  } else {
    for (const TShownDevice& device : shown) {
      const THistoryEvent& e = device.Shown;
      out << PanelText(e.Panel) << ", " << DeviceText(e) << ": " << OutcomeText(e.Outcome) << " el "
          << LocalTextOfUtc(e.Time) << " (#" << e.Id << "), imagen " << e.ImageSha256 << "\n";
      if (device.Later)
        out << "  después, " << OutcomeText(device.Later->Outcome) << " el "
            << LocalTextOfUtc(device.Later->Time) << " (#" << device.Later->Id
            << "): pudo quedar otra cosa\n";
    }
  }
  if (!options.PngPath.empty()) {
    const TPanelsAtMoment panels = LatestPerPanel(store, shown);
    std::string reason;
    if (!DrawMomentPicture(options.PngPath, panels, reason)) {
      err << "quinterra-send: " << reason << "\n";
      return 2;
    }
  }
  return shown.empty() ? 1 : 0;
}

}  // namespace

int RunHistoryCommand(const TSendOptions& options, std::ostream& out, std::ostream& err) {
  const std::string folder =
      (std::filesystem::path(options.Folder.empty() ? "." : options.Folder) / "").string();
  const std::string path = HistoryPath(folder);
  // Asking must not make a record where there was none (a mistyped folder).
  if (!std::filesystem::exists(path)) {
    err << "quinterra-send: no existe el historial " << path << "\n";
    return 2;
  }
  try {
    const std::unique_ptr<THistoryStore> store = OpenHistory(path);
    if (options.Command == TSendCommand::ShownAt) return ShowMoment(*store, options, out, err);
    if (options.VerifyChain) return VerifyChain(*store, out);
    return ListEvents(*store, options, out);
  } catch (const TSqlError& error) {
    err << "quinterra-send: historial " << path << ": " << error.what() << "\n";
    return 2;
  }
}

}  // namespace quinterra
