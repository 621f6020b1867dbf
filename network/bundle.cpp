#include "network/bundle.h"

#include <filesystem>

#include "network/names.h"
#include "platform/file_io.h"
#include "platform/profile_file.h"

namespace quinterra {

const char kBundleIni[] = "red.ini";
const char kCaFile[] = "ca.crt";
const char kCertFile[] = "client.crt";
const char kKeyFile[] = "client.key";
const char kOfficePublicKeyFile[] = "office-sign.pub";
const char kOfficeSigningKeyFile[] = "office-sign.key";

TMqttSettings TNetworkBundle::Mqtt(const std::string& client_id) const {
  TMqttSettings s;
  s.Host = Host;
  s.Port = Port;
  s.ClientId = client_id.empty() ? "quinterra-" + Network + "-" + Identity : client_id;
  s.CaFile = File(kCaFile);
  s.CertFile = File(kCertFile);
  s.KeyFile = File(kKeyFile);
  s.KeepAliveSeconds = KeepAliveSeconds;
  return s;
}

TMqttSettings ShopAgentMqtt(const TNetworkBundle& bundle) {
  TMqttSettings settings = bundle.Mqtt();
  settings.WillTopic = OnlineTopic(bundle.Network, bundle.Identity);
  settings.WillPayload = "0";
  return settings;
}

std::optional<TNetworkBundle> LoadBundle(const std::string& folder, std::string* failure) {
  auto fail = [failure](const std::string& why) -> std::optional<TNetworkBundle> {
    if (failure) *failure = why;
    return std::nullopt;
  };
  TNetworkBundle bundle;
  bundle.Folder = folder.empty() ? folder : (std::filesystem::path(folder) / "").string();
  const std::string ini = bundle.File(kBundleIni);
  if (!FileExists(ini)) return fail("no existe " + ini);
  const TProfileFile file(ini);
  bundle.Network = file.ReadString("Red", "Nombre", "");
  bundle.Host = file.ReadString("Red", "Servidor", "");
  bundle.Port = file.ReadInteger("Red", "Puerto", 0);
  bundle.Identity = file.ReadString("Red", "Identidad", "");
  bundle.KeepAliveSeconds = file.ReadInteger("Red", "KeepAlive", 30);
  bundle.ShopPort = file.ReadInteger("Red", "PuertoTiendas", 0);
  if (std::string why = NameProblem(bundle.Network); !why.empty())
    return fail(ini + ": Nombre: " + why);
  if (std::string why = NameProblem(bundle.Identity); !why.empty())
    return fail(ini + ": Identidad: " + why);
  if (bundle.Host.empty()) return fail(ini + ": falta Servidor");
  if (bundle.Port < 1 || bundle.Port > 65535) return fail(ini + ": Puerto fuera de 1..65535");
  if (bundle.ShopPort < 0 || bundle.ShopPort > 65535) return fail(ini + ": PuertoTiendas fuera de 1..65535");
  if (bundle.KeepAliveSeconds < 5 || bundle.KeepAliveSeconds > 3600)
    return fail(ini + ": KeepAlive fuera de 5..3600");
  for (const char* name : {kCaFile, kCertFile, kKeyFile}) {
    if (!FileExists(bundle.File(name))) return fail("no existe " + bundle.File(name));
  }
  return bundle;
}

std::string BundleIniText(const TNetworkBundle& b) {
  return "[Red]\r\nNombre=" + b.Network + "\r\nServidor=" + b.Host + "\r\nPuerto=" +
         std::to_string(b.Port) + "\r\nIdentidad=" + b.Identity + "\r\nKeepAlive=" +
         std::to_string(b.KeepAliveSeconds) + "\r\n" +
         (b.ShopPort ? "PuertoTiendas=" + std::to_string(b.ShopPort) + "\r\n" : std::string());
}

std::string ShopBundleProblem(const TNetworkBundle& bundle) {
  // Any of these, and the agent would hold what signs for the whole network.
  if (bundle.Identity == kOfficeIdentity || FileExists(bundle.File(kOfficeSigningKeyFile)) ||
      FileExists(bundle.File("ca.key")))
    return bundle.Folder + " es la carpeta de la oficina, no la de una tienda (copie a la tienda "
                           "la carpeta shops/ID que hace quinterra-network shop)";
  return {};
}

std::string OfficeFolderProblem(const TNetworkBundle& bundle) {
  if (bundle.Identity != kOfficeIdentity)
    return bundle.Folder + " es la carpeta de la tienda «" + bundle.Identity +
           "», no la de la oficina (la que hizo quinterra-network init)";
  return {};
}

std::optional<TVerifyKey> LoadOfficeKey(const TNetworkBundle& bundle, std::string* failure) {
  const std::string path = bundle.File(kOfficePublicKeyFile);
  try {
    if (std::optional<TVerifyKey> key = VerifyKeyFromText(ReadWholeFile(path))) return key;
    if (failure) *failure = path + " no es una clave pública";
  } catch (const FileError& error) {
    if (failure) *failure = error.what();
  }
  return std::nullopt;
}

}  // namespace quinterra
