#include "network/network_admin.h"

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <ostream>

#include "network/bundle.h"
#include "network/fleet.h"
#include "network/mqtt_client.h"
#include "network/names.h"
#include "network/network_folder.h"
#include "network/office_client.h"
#include "network/office_document.h"
#include "platform/file_io.h"
#include "platform/qt_interval_timer.h"

namespace quinterra {
namespace {

const char kReloadAdvice[] =
    "systemctl reload quinterra-broker, o kill -HUP al proceso mosquitto: así lee de nuevo su CRL "
    "y sus reglas sin cortar a nadie";

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

std::string Slash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// Runs the event loop (the clients' events come through it) until done()
// holds or the time is up.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  if (done()) return true;
  QEventLoop loop;
  QTimer check, end;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
  check.start(20);
  end.setSingleShot(true);
  end.start(bound);
  loop.exec();
  return done();
}

// The office's client once every retained message is in; nothing, with the
// reason, when that does not happen within bound.
std::unique_ptr<TOfficeClient> OpenReady(const std::string& dir, ITimerFactory& timers,
                                         std::chrono::milliseconds bound, std::string* failure) {
  std::unique_ptr<TOfficeClient> client = TOfficeClient::Open(dir, timers, failure);
  if (!client) return nullptr;
  client->ConnectBound = bound;
  if (!client->Start(failure)) return nullptr;
  if (RunUntil([&] { return client->Link() == TOfficeLink::Ready; }, bound)) return client;
  *failure = client->LinkProblem();
  return nullptr;
}

std::string RandomSuffix() { return std::to_string(QRandomGenerator::system()->generate() % 1000000); }

// Whether the broker still takes a certificate: it connects within the
// bound when taken (the broker was reachable a moment before).
bool StillTaken(const TNetworkBundle& bundle, std::chrono::milliseconds bound) {
  TMqttSettings settings = bundle.Mqtt();
  settings.CleanSession = true;
  TMqttClient client(settings);
  bool connected = false;
  client.OnConnected = [&] { connected = true; };
  if (!client.Start(nullptr)) return false;
  return RunUntil([&] { return connected; }, bound);
}

// Takes the shop's client id on the office's listener, which ends any
// connection it still has and drops its queued messages, and clears its
// retained state and presence.
bool EndAndClear(const TNetworkBundle& office, const std::string& id, std::chrono::milliseconds bound,
                 std::string* failure) {
  TMqttSettings settings = office.Mqtt(id);
  settings.CleanSession = true;
  TMqttClient client(settings);
  std::vector<int> pending;
  int acknowledged = 0;
  bool refused = false;
  client.OnConnected = [&] {
    for (const std::string& topic : {StateTopic(office.Network, id), OnlineTopic(office.Network, id)}) {
      const int mid = client.Publish(topic, "", true);
      if (mid < 0) refused = true;
      pending.push_back(mid);
    }
  };
  client.OnPublished = [&](int mid) {
    if (std::find(pending.begin(), pending.end(), mid) != pending.end()) ++acknowledged;
  };
  client.OnLog = [&](const std::string& line) { *failure = line; };
  if (!client.Start(failure)) return false;
  if (RunUntil([&] { return refused || acknowledged == 2; }, bound) && !refused) return true;
  if (failure->empty()) *failure = "el servidor no confirmó el borrado";
  return false;
}

// Publishes message retained on topic and waits until it comes back: the
// broker acknowledges even what its rules drop.
bool PublishAndSeeBack(const TNetworkBundle& office, const std::string& topic,
                       const std::string& message, std::chrono::milliseconds bound,
                       std::string* failure) {
  TMqttSettings settings = office.Mqtt("quinterra-" + office.Network + "-rotate-key-" + RandomSuffix());
  settings.CleanSession = true;
  TMqttClient client(settings);
  int subscription = -1;
  bool seen = false;
  client.OnConnected = [&] { subscription = client.Subscribe(topic); };
  client.OnSubscribed = [&](int mid, const std::vector<int>&) {
    if (mid == subscription) client.Publish(topic, message, true);
  };
  client.OnMessage = [&](const std::string& from, const std::string& payload, bool) {
    seen |= from == topic && payload == message;
  };
  client.OnLog = [&](const std::string& line) { *failure = line; };
  if (!client.Start(failure)) return false;
  if (RunUntil([&] { return seen; }, bound)) return true;
  if (failure->empty()) *failure = "el servidor no ha aceptado el mensaje (¿permiso del certificado?)";
  return false;
}

}  // namespace

int RemoveShopCommand(const std::string& folder, const std::string& id, std::ostream& out,
                      std::ostream& err, const TAdminBounds& bounds) {
  const std::string dir = Slash(folder);
  std::string failure;
  const std::optional<TOffice> office = LoadOffice(dir, &failure);
  if (!office) return err << failure << "\n", 2;
  if (std::string why = OfficeFolderProblem(office->Bundle); !why.empty()) return err << why << "\n", 2;
  const std::vector<std::string> live = LiveShops(dir), retired = RetiredShops(dir);
  if (std::find(live.begin(), live.end(), id) == live.end() &&
      std::find(retired.begin(), retired.end(), id) == retired.end())
    return err << "no hay ninguna tienda «" << id << "» en " << dir << "\n", 2;

  bool again = false;
  if (std::string why = RetireShopFiles(dir, id, &again); !why.empty()) return err << why << "\n", 1;
  const std::string bundle_folder = dir + kRetiredShopsFolder + "/" + id + "/";
  out << (again ? "La tienda «" + id + "» ya estaba retirada; su CRL y su regla, escritas de nuevo.\n"
                : "La tienda «" + id + "» queda retirada: certificado revocado (broker/crl.pem), "
                  "denegada en broker/acl, su carpeta en " + bundle_folder + "\n");
  out.flush();

  QtTimerFactory timers;
  if (!OpenReady(dir, timers, bounds.Connect, &failure)) {
    err << failure << "\nEl servidor tomará el cambio cuando lea de nuevo sus archivos (" << kReloadAdvice
        << "); después, repita «quinterra-network remove " << folder << " " << id
        << "» para cerrar su conexión y borrar su estado.\n";
    return 3;
  }
  const std::optional<TNetworkBundle> shop = LoadBundle(bundle_folder, nullptr);
  if (shop && StillTaken(*shop, bounds.Probe)) {
    err << "El servidor aún acepta el certificado de «" << id << "»: no ha leído la CRL nueva. "
        << "Recárguelo (" << kReloadAdvice << ") y repita «quinterra-network remove " << folder << " "
        << id << "».\n";
    return 3;
  }
  if (!EndAndClear(office->Bundle, id, bounds.Connect, &failure)) {
    err << "no se pudo borrar el estado de «" << id << "» en el servidor: " << failure
        << "; repita la orden.\n";
    return 3;
  }
  const std::unique_ptr<TOfficeClient> check = OpenReady(dir, timers, bounds.Connect, &failure);
  if (!check || check->Fleet().Row(id)) {
    err << "el servidor aún guarda el estado de «" << id << "»" << (failure.empty() ? "" : ": " + failure)
        << "; repita la orden.\n";
    return 3;
  }
  out << "El servidor ya rechaza a «" << id << "»; su conexión y sus mensajes pendientes se "
      << "cerraron y su estado se borró: la oficina ya no la cuenta ni la espera.\n";
  return 0;
}

int RotateKeyCommand(const std::string& folder, std::ostream& out, std::ostream& err,
                     const TAdminBounds& bounds) {
  const std::string dir = Slash(folder);
  std::string failure;
  const std::optional<TOffice> office = LoadOffice(dir, &failure);
  if (!office) return err << failure << "\n", 2;
  if (std::string why = OfficeFolderProblem(office->Bundle); !why.empty()) return err << why << "\n", 2;
  QtTimerFactory timers;
  const std::unique_ptr<TOfficeClient> session = OpenReady(dir, timers, bounds.Connect, &failure);
  if (!session)
    return err << failure << "\nNada ha cambiado: la clave de firma sigue siendo la misma.\n", 3;

  TPendingRotation pending;
  try {
    if (std::string why = PrepareRotation(dir, NextVersion(*office, session->Fleet()), Now(), &pending);
        !why.empty())
      return err << why << "\n", 1;
  } catch (const FileError& error) {
    return err << error.what() << "\n", 1;
  }
  if (pending.Resumed) out << "Se retoma el cambio de clave que quedó pendiente.\n";
  if (!PublishAndSeeBack(office->Bundle, KeysTopic(office->Bundle.Network), pending.ChainMessage,
                         bounds.Connect, &failure)) {
    err << "no se pudo publicar el cambio de clave: " << failure
        << "\nLa clave anterior sigue firmando; repita «quinterra-network rotate-key " << folder
        << "» para terminarlo (usará la misma clave nueva).\n";
    return 3;
  }
  if (std::string why = CommitRotation(dir); !why.empty()) return err << why << "\n", 1;
  out << "Clave de firma nueva (" << pending.NewPublicKeyText << "), desde la versión "
      << pending.FromVersion << "; las tiendas la toman del servidor, también las que estén "
      << "desconectadas, al volver. La anterior queda en claves-retiradas/ y ya no vale.\n";

  // The standing document, signed again by the new key as the first
  // version it signs: without it, every shop that took the change would
  // refuse what it shows.
  const std::optional<TOffice> renewed = LoadOffice(dir, &failure);
  const std::optional<TPublication>& standing = session->Fleet().Document();
  if (!renewed) return err << failure << "\n", 1;
  if (!standing || standing->Expires <= Now()) {
    out << "No hay documento vigente que firmar de nuevo; la próxima publicación irá firmada con la "
           "clave nueva.\n";
    return 0;
  }
  const std::optional<TSigningKey> key = LoadSigningKey(*renewed, &failure);
  if (!key) return err << failure << "\n", 1;
  TPublication again = *standing;
  try {
    again.Version = std::max(pending.FromVersion, NextVersion(*renewed, session->Fleet()));
  } catch (const FileError& error) {
    return err << error.what() << "\n", 1;
  }
  again.Published = Now();
  const std::string message = SignChecked(*renewed, again, *key, &failure);
  if (message.empty() || !PublishAndSeeBack(renewed->Bundle, DocumentTopic(renewed->Bundle.Network), message,
                                            bounds.Connect, &failure)) {
    err << "el documento vigente no se pudo firmar de nuevo: " << failure
        << "\nPublíquelo otra vez (quinterra-send --publish).\n";
    return 3;
  }
  try {
    KeepPublication(*renewed, message, again.Version);
  } catch (const FileError& error) {
    err << UnsavedText(again.Version, error.what()) << "\n";
  }
  out << "El documento vigente, firmado de nuevo como versión " << again.Version << ".\n";
  return 0;
}

}  // namespace quinterra
