// quinterra-agent --network BUNDLE [--folder DIR]: a shop's service. It takes
// the office's signed document from the network's broker, delivers it to
// the panels of equipos.ini in DIR with read-back, and reports what they
// hold. Logs to standard error (journald under systemd). See
// man/quinterra-agent.1.

#include <QCommandLineParser>
#include <QCoreApplication>

#include <filesystem>
#include <iostream>

#include "links/com_port_map.h"
#include "history/history_open.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "history/session_recording.h"
#include "links/link_layer.h"
#include "network/agent_settings.h"
#include "network/bundle.h"
#include "network/console_options.h"
#include "network/mqtt_client.h"
#include "network/panel_delivery.h"
#include "network/publication.h"
#include "network/shop_agent.h"
#include "platform/file_io.h"
#include "platform/profile_file.h"
#include "platform/qt_interval_timer.h"
#include "platform/stop_signals.h"
#include "quinterra_version.h"

namespace {

const char kProgram[] = "quinterra-agent";

const char kHelp[] =
    "Uso: quinterra-agent --network CARPETA [--folder CARPETA] [--check-every SEGUNDOS]\n"
    "\n"
    "Servicio de la tienda: aplica a sus paneles el documento firmado que publica la\n"
    "oficina en el servidor de la red, lo verifica leyéndolo de vuelta e informa de lo\n"
    "que muestran.\n"
    "\n"
    "Opciones:\n"
    "  --network CARPETA  la carpeta de la tienda en la red, la que hizo\n"
    "                     «quinterra-network shop» (red.ini, certificados, clave\n"
    "                     pública de la oficina); nunca la carpeta de la oficina\n"
    "  --folder CARPETA   la carpeta de equipos.ini y config.ini (por omisión, la\n"
    "                     actual); allí guarda red-version.txt\n"
    "  --check-every SEGUNDOS\n"
    "                     cada cuántos segundos se releen los paneles (por omisión,\n"
    "                     Comprobar= de red.ini, o 600; 0: nunca)\n"
    "  --help             este texto\n"
    "  --version          la versión\n"
    "\n"
    "Escribe su registro en la salida de errores y para limpiamente con SIGINT,\n"
    "SIGTERM o SIGHUP.\n"
    "\n"
    "Estado de salida:\n"
    "  0  parada limpia\n"
    "  1  no pudo arrancar\n"
    "  2  uso incorrecto, o la carpeta de red ilegible o de la oficina\n";

void Say(const std::string& line) { std::cerr << kProgram << ": " << line << std::endl; }

int Usage(const std::string& why) {
  std::cerr << kProgram << ": " << why << "\nPruebe «" << kProgram << " --help».\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quinterra;
  QCoreApplication application(argc, argv);
  QCommandLineParser parser;
  const QList<QCommandLineOption> options = {{{"h", "help"}, ""},
                                             {{"v", "version"}, ""},
                                             {"network", "", "CARPETA"},
                                             {"folder", "", "CARPETA"},
                                             {"check-every", "", "SEGUNDOS"}};
  if (std::string why = ParseOptions(parser, options, application.arguments()); !why.empty())
    return Usage(why);
  if (parser.isSet("help")) return std::cout << kHelp, 0;
  if (parser.isSet("version")) return std::cout << kProgram << " " << QUINTERRA_VERSION << "\n", 0;
  if (!parser.isSet("network") || !parser.positionalArguments().isEmpty())
    return Usage("falta --network CARPETA");
  std::string failure;
  const std::optional<TNetworkBundle> bundle =
      LoadBundle(parser.value("network").toStdString(), &failure);
  if (!bundle) return Say(failure), 2;
  // The office's folder holds what signs for the whole network: never a
  // shop's.
  if (std::string why = ShopBundleProblem(*bundle); !why.empty()) return Say(why), 2;
  const std::optional<TVerifyKey> office_key = LoadOfficeKey(*bundle, &failure);
  if (!office_key) return Say(failure), 2;
  std::string folder = parser.isSet("folder") ? parser.value("folder").toStdString()
                                              : std::filesystem::current_path().string();
  if (folder.empty()) return Say("--folder: falta la carpeta"), 2;
  if (folder.back() != '/') folder += '/';
  std::optional<TAgentSettings> settings = AgentSettingsOf(*bundle, &failure);
  if (!settings) return Say(failure), 2;
  if (parser.isSet("check-every")) {
    bool number = false;
    const int seconds = parser.value("check-every").toInt(&number);
    if (!number || seconds < 0) return Say("--check-every: un número de segundos, 0 o más"), 2;
    settings->CheckEvery = std::chrono::seconds(seconds);
  }

  TComPortMap com_ports;
  com_ports.ReadOverrides(TProfileFile(folder + "config.ini"));
  QtTimerFactory timers;
  TPanelDelivery delivery(timers, [&com_ports] { return std::make_unique<TLinkLayer>(com_ports); },
                          folder);
  delivery.OnLog = Say;
  // What the panels held, in the folder's record, as the program keeps it.
  auto recorder = std::make_shared<THistoryRecorder>(
      [folder] { return OpenShopHistory(folder); },
      [](const std::string& reason) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [reason] { Say("historial: " + reason); },
                                  Qt::QueuedConnection);
      });
  const TShopAgent* running_agent = nullptr;
  delivery.OnSession = [&recorder, &running_agent](TDeviceSession& session, bool) {
    const TPublication* document = running_agent ? running_agent->RunningDocument() : nullptr;
    TEventContext context{history_source::kAgent, {}, std::nullopt};
    if (document) {
      context.DocumentSha256 = DocumentHash(document->Items);
      context.Version = document->Version;
    }
    AttachRecorder(session, recorder, context);
  };
  settings->Folder = folder;
  settings->OfficeKey = *office_key;
  TMqttClient mqtt(ShopAgentMqtt(*bundle));
  TShopAgent agent(*settings, mqtt, delivery, timers);
  agent.OnLog = Say;
  running_agent = &agent;

  TStopSignals stop;
  bool stopping = false;
  stop.OnStop = [&](int signal_number) {
    if (stopping) return;
    stopping = true;
    Say(std::string("parando (") + SignalName(signal_number) + ")");
    agent.Stop([] { QCoreApplication::quit(); });
  };
  if (!agent.Start(&failure)) return Say(failure), 1;
  return application.exec();
}
