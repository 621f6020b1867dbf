#include "network/record_service.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

#include <iostream>
#include <memory>

#include "history/history_database.h"
#include "history/history_open.h"
#include "history/history_store.h"
#include "history/sql_connection.h"
#include "network/bundle.h"
#include "network/recording_office.h"
#include "platform/file_io.h"
#include "platform/stop_signals.h"

namespace quinterra {
namespace {

void Say(const std::string& line) { std::cerr << "quinterra-network record: " << line << std::endl; }

// From the writer's thread onto the event loop's, so that lines never mix.
void SayLater(const std::string& line) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), [line] { Say(line); }, Qt::QueuedConnection);
}

std::unique_ptr<THistoryStore> OpenPruned(const TOfficeRecordPlace& place) {
  std::unique_ptr<THistoryStore> store = OpenHistoryDatabase(place.Where);
  PruneHistory(*store, place.RetentionDays, std::chrono::system_clock::now());
  return store;
}

// The address without a password, for the log.
std::string Shown(const std::string& where) {
  const size_t scheme = where.find("://");
  const size_t at = where.find('@');
  const size_t colon = where.find(':', scheme == std::string::npos ? 0 : scheme + 3);
  if (scheme == std::string::npos || at == std::string::npos || colon > at) return where;
  return where.substr(0, colon) + ":***" + where.substr(at);
}

}  // namespace

int RunRecordService(const std::string& directory) {
  const std::string folder = directory.empty() || directory.back() == '/' ? directory : directory + "/";
  std::string failure;
  const std::optional<TNetworkBundle> bundle = LoadBundle(folder, &failure);
  if (!bundle) return Say(failure), 2;
  const std::optional<TVerifyKey> office_key = LoadOfficeKey(*bundle, &failure);
  if (!office_key) return Say(failure), 2;
  const TOfficeRecordPlace place = OfficeRecordPlace(folder);

  THistoryRecorder::TLimits limits;
  // A thousand shops' reports for a day of a database away (some 100 MB);
  // what is dropped past that is counted and said.
  limits.MaxQueued = 200000;
  limits.CloseWait = std::chrono::seconds(20);
  TRecordingOffice office(
      *bundle, *office_key, [place] { return OpenPruned(place); },
      [](const std::string& reason) { SayLater("historial: " + reason); }, limits);
  office.Recorder().OnLog = Say;

  // Events older than Conservar= go once a day too, not only at each start.
  QTimer prune;
  prune.setInterval(std::chrono::hours(24));
  QObject::connect(&prune, &QTimer::timeout, [place] {
    try {
      OpenPruned(place);
    } catch (const TSqlError& error) {
      Say("historial: " + std::string(error.what()));
    }
  });
  prune.start();

  TStopSignals stop;
  bool stopping = false;
  int status = 0;
  stop.OnStop = [&](int signal_number) {
    if (stopping) return;
    stopping = true;
    Say(std::string("parando (") + SignalName(signal_number) + ")");
    office.Stop([&] {
      THistoryRecorder& history = office.History();
      if (!history.Flush(limits.CloseWait)) status = 1;
      if (history.Lost()) Say("historial: " + std::to_string(history.Lost()) + " eventos sin guardar");
      QCoreApplication::quit();
    });
  };
  Say("red «" + bundle->Network + "» en " + bundle->Host + ":" + std::to_string(bundle->Port) +
      "; historial en " + Shown(place.Where));
  if (!office.Start(&failure)) return Say(failure), 1;
  QCoreApplication::exec();
  return status;
}

}  // namespace quinterra
