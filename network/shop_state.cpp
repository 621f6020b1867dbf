#include "network/shop_state.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "network/publication.h"

namespace quinterra {
namespace {

const TPanelStatus kStatuses[] = {TPanelStatus::NotRequested, TPanelStatus::Verified,
                                  TPanelStatus::Sent, TPanelStatus::Different,
                                  TPanelStatus::Failed};

QString Q(const std::string& text) { return QString::fromStdString(text); }

QJsonObject PanelJson(const TPanelState& panel) {
  QJsonObject object{{"state", PanelStatusName(panel.Status)}};
  if (panel.ReadBack) {
    object["read_hash"] = Q(Sha256Hex(*panel.ReadBack));
    object["read_bytes"] = Q(Base64(*panel.ReadBack));
  }
  return object;
}

std::optional<TPanelState> ParsePanel(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  const std::string name = object["state"].toString().toStdString();
  TPanelState panel;
  bool known = false;
  for (TPanelStatus status : kStatuses) {
    if (name == PanelStatusName(status)) {
      panel.Status = status;
      known = true;
    }
  }
  if (!known) return std::nullopt;
  panel.ReadHash = object["read_hash"].toString().toStdString();
  if (object.contains("read_bytes")) {
    panel.ReadBack = FromBase64(object["read_bytes"].toString().toStdString());
    // A hash that does not match its bytes is not believed.
    if (!panel.ReadBack || Sha256Hex(*panel.ReadBack) != panel.ReadHash) return std::nullopt;
  } else if (!panel.ReadHash.empty()) {
    return std::nullopt;
  }
  return panel;
}

}  // namespace

const char* PanelStatusName(TPanelStatus status) {
  switch (status) {
    case TPanelStatus::NotRequested: return "not_requested";
    case TPanelStatus::Verified: return "verified";
    case TPanelStatus::Sent: return "sent";
    case TPanelStatus::Different: return "different";
    case TPanelStatus::Failed: return "failed";
  }
  return "failed";
}

std::string StateJson(const TShopState& s) {
  const QJsonObject object{
      {"shop", Q(s.Shop)},
      {"network", Q(s.Network)},
      {"time", static_cast<qint64>(s.Time)},
      {"version", static_cast<qint64>(s.Version)},
      {"document_hash", Q(s.DocumentHash)},
      {"result", Q(s.Result)},
      {"refusal", Q(s.Refusal)},
      {"reason", Q(s.Reason)},
      {"applied_version", static_cast<qint64>(s.AppliedVersion)},
      {"attempt", s.Attempt},
      {"retry_in", s.RetryIn},
      {"panels", QJsonObject{{"results", PanelJson(s.Results)}, {"jackpots", PanelJson(s.Jackpots)}}},
  };
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<TShopState> ParseStateJson(const std::string& text) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  const QJsonObject o = document.object();
  TShopState s;
  s.Shop = o["shop"].toString().toStdString();
  s.Network = o["network"].toString().toStdString();
  s.Time = o["time"].toInteger();
  s.Version = o["version"].toInteger();
  s.DocumentHash = o["document_hash"].toString().toStdString();
  s.Result = o["result"].toString().toStdString();
  s.Refusal = o["refusal"].toString().toStdString();
  s.Reason = o["reason"].toString().toStdString();
  s.AppliedVersion = o["applied_version"].toInteger();
  s.Attempt = o["attempt"].toInt();
  s.RetryIn = o["retry_in"].toInt();
  const QJsonObject panels = o["panels"].toObject();
  const std::optional<TPanelState> results = ParsePanel(panels["results"]);
  const std::optional<TPanelState> jackpots = ParsePanel(panels["jackpots"]);
  if (s.Shop.empty() || s.Result.empty() || !results || !jackpots) return std::nullopt;
  s.Results = *results;
  s.Jackpots = *jackpots;
  return s;
}

}  // namespace quinterra
