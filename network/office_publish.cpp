#include "network/office_publish.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <ctime>
#include <map>
#include <ostream>

#include "network/bundle.h"
#include "network/names.h"
#include "network/office_session.h"
#include "panels/document.h"
#include "panels/panel_layout.h"
#include "platform/file_io.h"

namespace quinterra {

namespace {

constexpr std::chrono::seconds kConnectBound(10);
constexpr std::chrono::seconds kTakeBound(10);

}  // namespace

const char* PanelWord(TPanelStatus status) {
  switch (status) {
    case TPanelStatus::NotRequested: return "no pedido";
    case TPanelStatus::Verified: return "verificado";
    case TPanelStatus::Sent: return "enviado sin verificar";
    case TPanelStatus::Different: return "distinto";
    case TPanelStatus::Failed: return "fallido";
    case TPanelStatus::NoDevice: return "sin equipo";
  }
  return "";
}

namespace {

std::string RowLine(const TShopRow& row, int64_t now) {
  std::string line = row.Shop + ": " + VerdictText(row.Verdict);
  line += row.Online == true ? ", en línea" : row.Online == false ? ", desconectada" : "";
  if (row.State) {
    const TShopState& s = *row.State;
    line += ", versión " + std::to_string(s.AppliedVersion);
    line += std::string(", Resultados ") + PanelWord(s.Results.Status) + ", Botes " +
            PanelWord(s.Jackpots.Status);
    line += ", hace " + std::to_string(std::max<int64_t>(0, now - s.Time)) + " s";
  }
  if (!row.Why.empty()) line += " (" + row.Why + ")";
  return line;
}

QJsonObject RowJson(const TShopRow& row, int64_t now) {
  QJsonObject object{{"shop", QString::fromStdString(row.Shop)},
                     {"verdict", VerdictName(row.Verdict)},
                     {"fine", row.Verdict == TVerdict::Fine},
                     {"why", QString::fromStdString(row.Why)}};
  object["online"] = row.Online ? QJsonValue(*row.Online) : QJsonValue();
  if (row.State) {
    const TShopState& s = *row.State;
    object["version"] = static_cast<qint64>(s.Version);
    object["applied_version"] = static_cast<qint64>(s.AppliedVersion);
    object["result"] = QString::fromStdString(s.Result);
    object["reason"] = QString::fromStdString(s.Reason);
    object["age"] = static_cast<qint64>(std::max<int64_t>(0, now - s.Time));
    object["panels"] = QJsonObject{
        {"results", QJsonObject{{"state", PanelStatusName(s.Results.Status)},
                                {"matches_document", row.ResultsMatch}}},
        {"jackpots", QJsonObject{{"state", PanelStatusName(s.Jackpots.Status)},
                                 {"matches_document", row.JackpotsMatch}}}};
  }
  return object;
}

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

// A broker that lost the office's last publication gets it again, and the
// office says so; throws FileError when the kept one cannot be read.
void Restore(TOfficeSession& session, std::ostream& err) {
  const std::string said = session.RestoreKept();
  if (said.empty()) return;
  const std::string hash = session.Restoring();
  const bool back = session.WaitUntil([&] { return session.Fleet().DocumentHash() == hash; }, kTakeBound);
  err << said << (back ? "" : " (el servidor no la ha aceptado)") << "\n";
}

}  // namespace

int PublishDocument(const TPublishRequest& request, std::ostream& out, std::ostream& err) {
  std::string failure;
  const std::optional<TOffice> office = LoadOffice(request.Folder, &failure);
  if (!office) return err << failure << "\n", 2;
  const TNetworkBundle& bundle = office->Bundle;
  TPublication publication;
  try {
    publication.Items = ParseDocument(ReadWholeFile(request.DocumentPath));
    failure = ItemsProblem(publication.Items, request.DocumentPath);
    if (!failure.empty()) {
      if (publication.Items.size() == static_cast<size_t>(kCellCount))
        failure = request.DocumentPath + ": " + failure;
      return err << failure << "\n", 2;
    }
    const std::optional<TSigningKey> key = LoadSigningKey(*office, &failure);
    if (!key) return err << failure << "\n", 2;
    TOfficeSession session(bundle, office->PublicKey);
    if (!session.Open(kConnectBound, &failure)) return err << failure << "\n", 3;
    Restore(session, err);
    publication.Network = bundle.Network;
    publication.Version = NextVersion(*office, session.Fleet());
    publication.Published = Now();
    publication.Expires = publication.Published + request.LifetimeSeconds;
    publication.Results = request.Results;
    publication.Jackpots = request.Jackpots;
    const std::string message = SignChecked(*office, publication, *key, &failure);
    if (message.empty()) return err << request.DocumentPath << ": " << failure << "\n", 2;
    if (!session.PublishDocument(message, kTakeBound, &failure)) return err << failure << "\n", 3;
    out << "Publicada la versión " << publication.Version << " en la red " << bundle.Network << "\n";
    out.flush();
    int kept = 0;
    try {
      KeepPublication(*office, message, publication.Version);
    } catch (const FileError& error) {
      err << UnsavedText(publication.Version, error.what()) << "\n";
      kept = 1;
    }
    if (!request.WaitSeconds) return kept;

    // One line per shop as its report on this publication comes.
    const std::string hash = DocumentHashOf(message);
    std::map<std::string, bool> reported;  // shop -> verified
    auto settled = [&] {
      for (const TShopRow& row : session.Fleet().Rows()) {
        if (!row.State || row.State->DocumentHash != hash) continue;
        const bool fine = row.Verdict == TVerdict::Fine;
        const auto found = reported.find(row.Shop);
        if (found != reported.end() && found->second == fine) continue;
        reported[row.Shop] = fine;
        out << RowLine(row, Now()) << "\n";
        out.flush();
      }
      const std::vector<TShopRow> rows = session.Fleet().Rows();
      return std::all_of(rows.begin(), rows.end(),
                         [&](const TShopRow& row) { return reported.count(row.Shop) > 0; });
    };
    const bool all = session.WaitUntil(settled, std::chrono::seconds(*request.WaitSeconds));
    if (!all) {
      for (const TShopRow& row : session.Fleet().Rows())
        if (!reported.count(row.Shop)) out << RowLine(row, Now()) << " — sin informe\n";
      err << "no todas las tiendas informaron en " << *request.WaitSeconds << " s\n";
      return 3;
    }
    for (const auto& [shop, fine] : reported)
      if (!fine) return 1;
    return kept;
  } catch (const FileError& error) {
    err << error.what() << "\n";
    return 2;
  }
}

int ShowNetworkState(const std::string& folder, bool json, std::ostream& out, std::ostream& err) {
  std::string failure;
  const std::optional<TOffice> office = LoadOffice(folder, &failure);
  if (!office) return err << failure << "\n", 2;
  TOfficeSession session(office->Bundle, office->PublicKey);
  if (!session.Open(kConnectBound, &failure)) return err << failure << "\n", 3;
  try {
    Restore(session, err);
  } catch (const FileError& error) {
    err << error.what() << "\n";
  }
  const TFleet& fleet = session.Fleet();
  const int64_t now = Now();
  const std::vector<TShopRow> rows = fleet.Rows();
  const bool all_fine = !rows.empty() && std::all_of(rows.begin(), rows.end(), [](const TShopRow& r) {
    return r.Verdict == TVerdict::Fine;
  });
  if (json) {
    QJsonObject document{{"network", QString::fromStdString(office->Bundle.Network)}};
    if (fleet.Document()) {
      document["version"] = static_cast<qint64>(fleet.Document()->Version);
      document["published"] = static_cast<qint64>(fleet.Document()->Published);
      document["expires"] = static_cast<qint64>(fleet.Document()->Expires);
    }
    document["valid"] = fleet.Document().has_value();
    if (!fleet.Document() && fleet.HasDocument())
      document["refusal"] = RefusalCode(fleet.DocumentRefusal());
    QJsonArray shops;
    for (const TShopRow& row : rows) shops.append(RowJson(row, now));
    const QJsonObject root{{"document", document}, {"shops", shops}, {"all_fine", all_fine}};
    out << QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString() << "\n";
  } else {
    if (!fleet.HasDocument()) {
      out << "Documento: ninguno publicado\n";
    } else if (!fleet.Document()) {
      out << "Documento: no válido (" << RefusalText(fleet.DocumentRefusal()) << ")\n";
    } else {
      out << "Documento: versión " << fleet.Document()->Version << "\n";
    }
    for (const TShopRow& row : rows) out << RowLine(row, now) << "\n";
  }
  return all_fine ? 0 : 1;
}

}  // namespace quinterra
