#include "network/shop_state.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <iterator>

#include "network/publication.h"

namespace quinterra {
namespace {

const struct {
  TPanelStatus status;
  const char* name;
  const char* text;
} kStatusNames[] = {
    {TPanelStatus::NotRequested, "not_requested", "no pedido"},
    {TPanelStatus::Verified, "verified", "verificado"},
    {TPanelStatus::Sent, "sent", "enviado sin verificar"},
    {TPanelStatus::Different, "different", "distinto"},
    {TPanelStatus::Failed, "failed", "fallido"},
    {TPanelStatus::NoDevice, "no_device", "sin equipo"},
};

QString Q(const std::string& text) { return QString::fromStdString(text); }

QJsonObject PanelJson(const TShopPanel& panel) {
  QJsonObject object{{"state", PanelStatusName(panel.Status)},
                     {"version", static_cast<qint64>(panel.Version)}};
  if (panel.ReadBack) {
    object["read_hash"] = Q(Sha256Hex(*panel.ReadBack));
    object["read_bytes"] = Q(Base64(*panel.ReadBack));
  }
  return object;
}

std::optional<TShopPanel> ParsePanel(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  const std::optional<TPanelStatus> status = PanelStatusNamed(object["state"].toString().toStdString());
  if (!status) return std::nullopt;
  TShopPanel panel;
  panel.Status = *status;
  panel.Version = object["version"].toInteger();
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
  for (const auto& entry : kStatusNames)
    if (entry.status == status) return entry.name;
  return "failed";
}

const char* PanelStatusText(TPanelStatus status) {
  for (const auto& entry : kStatusNames)
    if (entry.status == status) return entry.text;
  return "fallido";
}

std::optional<TPanelStatus> PanelStatusNamed(const std::string& name) {
  for (const auto& entry : kStatusNames)
    if (name == entry.name) return entry.status;
  return std::nullopt;
}

std::string StateJson(const TShopState& s) {
  const QJsonObject object{
      {"shop", Q(s.Shop)},
      {"network", Q(s.Network)},
      {"instance", Q(s.Instance)},
      {"time", static_cast<qint64>(s.Time)},
      {"version", static_cast<qint64>(s.Version)},
      {"document_hash", Q(s.DocumentHash)},
      {"result", Q(s.Result)},
      {"refusal", Q(s.Refusal)},
      {"reason", Q(s.Reason)},
      {"applied_version", static_cast<qint64>(s.AppliedVersion)},
      {"attempt", s.Attempt},
      {"retry_in", s.RetryIn},
      {"checked", static_cast<qint64>(s.Checked)},
      {"check_every", s.CheckEvery},
      {"restored", Q(s.Restored)},
      {"expired", s.Expired},
      {"problem", Q(s.Problem)},
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
  s.Instance = o["instance"].toString().toStdString();
  s.Time = o["time"].toInteger();
  s.Version = o["version"].toInteger();
  s.DocumentHash = o["document_hash"].toString().toStdString();
  s.Result = o["result"].toString().toStdString();
  s.Refusal = o["refusal"].toString().toStdString();
  s.Reason = o["reason"].toString().toStdString();
  s.AppliedVersion = o["applied_version"].toInteger();
  s.Attempt = o["attempt"].toInt();
  s.RetryIn = o["retry_in"].toInt();
  s.Checked = o["checked"].toInteger();
  s.CheckEvery = o["check_every"].toInt();
  s.Restored = o["restored"].toString().toStdString();
  s.Expired = o["expired"].toBool();
  s.Problem = o["problem"].toString().toStdString();
  const QJsonObject panels = o["panels"].toObject();
  const std::optional<TShopPanel> results = ParsePanel(panels["results"]);
  const std::optional<TShopPanel> jackpots = ParsePanel(panels["jackpots"]);
  if (s.Shop.empty() || s.Result.empty() || !results || !jackpots) return std::nullopt;
  s.Results = *results;
  s.Jackpots = *jackpots;
  return s;
}

}  // namespace quinterra
