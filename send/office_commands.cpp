#include "send/office_commands.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <ctime>
#include <map>
#include <ostream>
#include <set>

#include "network/office_client.h"
#include "panels/document.h"
#include "panels/panel_layout.h"
#include "platform/file_io.h"
#include "platform/qt_interval_timer.h"
#include "platform/signal_pipe.h"
#include "platform/stop_signals.h"

namespace quinterra {
namespace {

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

std::string RowLine(const TShopRow& row, int64_t now) {
  std::string line = row.Shop + ": " + VerdictText(row.Verdict);
  line += row.Online == true ? ", en línea" : row.Online == false ? ", desconectada" : "";
  if (row.State) {
    const TShopState& s = *row.State;
    line += ", versión " + std::to_string(s.AppliedVersion);
    line += std::string(", Resultados ") + PanelStatusText(s.Results.Status) + ", Botes " +
            PanelStatusText(s.Jackpots.Status);
    line += ", hace " + std::to_string(std::max<int64_t>(0, now - s.Time)) + " s";
  }
  if (!row.Why.empty()) line += " (" + TerminalSafe(row.Why) + ")";
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
                                {"version", static_cast<qint64>(s.Results.Version)},
                                {"matches_document", row.ResultsMatch}}},
        {"jackpots", QJsonObject{{"state", PanelStatusName(s.Jackpots.Status)},
                                 {"version", static_cast<qint64>(s.Jackpots.Version)},
                                 {"matches_document", row.JackpotsMatch}}}};
  }
  return object;
}

bool AllFine(const TFleet& fleet) {
  const std::vector<TShopRow> rows = fleet.Rows();
  return !rows.empty() && std::all_of(rows.begin(), rows.end(), [](const TShopRow& r) {
    return r.Verdict == TVerdict::Fine;
  });
}

void PrintState(const TFleet& fleet, bool json, std::ostream& out) {
  const int64_t now = Now();
  const std::vector<TShopRow> rows = fleet.Rows();
  const bool all_fine = AllFine(fleet);
  if (json) {
    QJsonObject document{{"network", QString::fromStdString(fleet.Network())}};
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
    return;
  }
  if (!fleet.HasDocument()) {
    out << "Documento: ninguno publicado\n";
  } else if (!fleet.Document()) {
    out << "Documento: no válido (" << RefusalText(fleet.DocumentRefusal()) << ")\n";
  } else {
    out << "Documento: versión " << fleet.Document()->Version << "\n";
  }
  for (const TShopRow& row : rows) out << RowLine(row, now) << "\n";
}


// Ends the event loop with status, once.
class TCommandEnd {
 public:
  void operator()(int status) {
    if (ended_) return;
    ended_ = true;
    status_ = status;
    QCoreApplication::exit(status);
  }
  bool Ended() const { return ended_; }
  int Status() const { return status_; }

 private:
  bool ended_ = false;
  int status_ = 0;
};

// The client of the folder, started; nothing, with the status to exit
// with said on err.
std::unique_ptr<TOfficeClient> StartClient(const std::string& folder, ITimerFactory& timers,
                                           std::ostream& err, int* status) {
  std::string failure;
  std::unique_ptr<TOfficeClient> client = TOfficeClient::Open(folder, timers, &failure);
  if (!client) {
    err << failure << "\n";
    *status = 2;
    return nullptr;
  }
  client->OnNotice = [&err](const std::string& said) { err << said << "\n" << std::flush; };
  if (!client->Start(&failure)) {
    err << failure << "\n";
    *status = 3;
    return nullptr;
  }
  return client;
}

// A broker just restarted under thousands of shops is busy with their
// handshakes for a while: a command waits its turn for --wait (or the
// client's own minute) and says why it waits.
void WaitForTheBroker(TOfficeClient& client, const TSendOptions& options, std::ostream& err) {
  if (options.WaitSeconds) client.PublishWait = std::chrono::seconds(*options.WaitSeconds);
  const auto wait = std::chrono::duration_cast<std::chrono::seconds>(client.PublishWait);
  client.OnWaiting = [&err, wait](const std::string& why) {
    err << "esperando al servidor (hasta " << wait.count() << " s): " << why << "\n" << std::flush;
  };
}

}  // namespace

std::string TerminalSafe(const std::string& text) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool whole = length > 0 && i + length <= text.size();
    for (size_t k = 1; whole && k < length; ++k)
      whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    // U+0080 to U+009F are C2 80 to C2 9F.
    const bool control = c < 0x20 || c == 0x7F ||
                         (whole && length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
    if (!whole || control) {
      safe += '?';
      i += whole ? length : 1;
      continue;
    }
    safe.append(text, i, length);
    i += length;
  }
  return safe;
}

int RunPublish(const TSendOptions& options, std::ostream& out, std::ostream& err) {
  TPublishRequest request;
  request.Results = Requests(options.Mode, TPanel::Results);
  request.Jackpots = Requests(options.Mode, TPanel::Jackpots);
  try {
    request.Items = ParseDocument(ReadWholeFile(options.Document));
  } catch (const FileError& error) {
    return err << error.what() << "\n", 2;
  }
  // Refused before anything is signed or connects, naming the document.
  if (std::string problem = ItemsProblem(request.Items, options.Document); !problem.empty()) {
    if (request.Items.size() == static_cast<size_t>(kCellCount)) problem = options.Document + ": " + problem;
    return err << problem << "\n", 2;
  }
  QtTimerFactory timers;
  int status = 0;
  std::unique_ptr<TOfficeClient> client = StartClient(options.Network, timers, err, &status);
  if (!client) return status;
  WaitForTheBroker(*client, options, err);
  if (std::string problem = client->Publish(std::move(request)); !problem.empty())
    return err << problem << "\n", 2;

  TCommandEnd end;
  int kept = 0;
  std::string hash;
  // One line per shop as its report on this publication comes; each report
  // looks at its own shop only, so ten thousand shops cost ten thousand
  // looks, not their square.
  std::map<std::string, bool> reported;  // shop -> verified
  std::set<std::string> shops;
  auto look = [&](const TShopRow& row) {
    shops.insert(row.Shop);
    if (!row.State || row.State->DocumentHash != hash) return;
    const bool fine = row.Verdict == TVerdict::Fine;
    const auto found = reported.find(row.Shop);
    if (found != reported.end() && found->second == fine) return;
    reported[row.Shop] = fine;
    out << RowLine(row, Now()) << "\n" << std::flush;
  };
  auto settled = [&] {
    for (const TShopRow& row : client->Fleet().Rows()) look(row);
    return reported.size() == shops.size();
  };
  auto finish_wait = [&] {
    for (const auto& [shop, fine] : reported)
      if (!fine) return end(1);
    end(kept);
  };
  auto unreported = [&] {
    for (const TShopRow& row : client->Fleet().Rows())
      if (!reported.count(row.Shop)) out << RowLine(row, Now()) << " — sin informe\n";
  };
  std::unique_ptr<IIntervalTimer> wait = timers.CreateTimer();
  wait->OnTimer = [&] {
    wait->SetEnabled(false);
    unreported();
    err << "no todas las tiendas informaron en " << *options.WaitSeconds << " s\n";
    end(3);
  };
  client->OnPublished = [&](const TPublishOutcome& outcome) {
    client->OnWaiting = nullptr;
    if (outcome.Result != TPublishResult::Published) {
      err << outcome.Why << "\n";
      return end(outcome.Result == TPublishResult::Refused ? 2 : 3);
    }
    out << "Publicada la versión " << outcome.Version << " en la red " << client->Network() << "\n"
        << std::flush;
    if (!outcome.Why.empty()) {
      err << outcome.Why << "\n";
      kept = 1;
    }
    if (!options.WaitSeconds) return end(kept);
    hash = outcome.Hash;
    if (settled()) return finish_wait();
    wait->SetInterval(std::chrono::seconds(*options.WaitSeconds));
    wait->SetEnabled(true);
  };
  client->OnShopChanged = [&](const std::string& shop) {
    if (hash.empty() || end.Ended()) return;
    if (const std::optional<TShopRow> row = client->Fleet().Row(shop)) look(*row);
    if (reported.size() == shops.size()) finish_wait();
  };
  client->OnDocumentChanged = [&] {
    if (!hash.empty() && !end.Ended() && settled()) finish_wait();
  };
  TStopSignals stop;
  stop.OnStop = [&](int signal_number) {
    // A publication already sent ends by itself, within its bound.
    if (client->Step() == TPublishStep::Taking) return;
    client->Cancel();
    if (!hash.empty()) unreported();
    err << "interrumpido por " << SignalName(signal_number) << "\n";
    end(3);
  };
  QCoreApplication::exec();
  return end.Status();
}

int RunNetworkState(const TSendOptions& options, std::ostream& out, std::ostream& err) {
  QtTimerFactory timers;
  int status = 0;
  std::unique_ptr<TOfficeClient> client = StartClient(options.Network, timers, err, &status);
  if (!client) return status;
  TCommandEnd end;
  WaitForTheBroker(*client, options, err);
  std::unique_ptr<IIntervalTimer> wait = timers.CreateTimer();
  wait->SetInterval(client->PublishWait);
  wait->OnTimer = [&] {
    wait->SetEnabled(false);
    const std::string why = client->LinkProblem();
    err << (why.empty() ? "el servidor no devolvió a tiempo la última publicación de la oficina" : why) << "\n";
    end(3);
  };
  wait->SetEnabled(true);
  // Shown once everything retained is in, and a kept publication given
  // again to a broker that lost it is back (or given up).
  auto show = [&] {
    if (end.Ended() || client->Link() != TOfficeLink::Ready || client->Restoring()) return;
    PrintState(client->Fleet(), options.Json, out);
    end(AllFine(client->Fleet()) ? 0 : 1);
  };
  client->OnLinkChanged = show;
  client->OnNotice = [&](const std::string& said) {
    err << said << "\n" << std::flush;
    show();
  };
  TStopSignals stop;
  stop.OnStop = [&](int signal_number) {
    err << "interrumpido por " << SignalName(signal_number) << "\n";
    end(3);
  };
  QCoreApplication::exec();
  return end.Status();
}

}  // namespace quinterra
