#include "network/network_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QHostAddress>
#include <QProcess>
#include <QRandomGenerator>

#include <filesystem>
#include <fstream>

#include "network/bundle.h"
#include "network/names.h"
#include "network/publication.h"
#include "platform/file_io.h"

namespace quinterra {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBrokerUser = "mosquitto";
constexpr int kCaDays = 3650;
constexpr int kCertDays = 1825;

std::string Slash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// Runs openssl; empty on success, else its complaint.
std::string OpenSsl(const QStringList& arguments) {
  QProcess process;
  process.start("openssl", arguments);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    const std::string why = process.readAllStandardError().trimmed().toStdString();
    return "openssl " + arguments.value(0).toStdString() + " falló" +
           (why.empty() ? std::string(": ") + process.errorString().toStdString() : ": " + why);
  }
  return {};
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// A key and a certificate for common_name, signed by the folder's CA, valid
// for a client (or a server, with its subject alternative name).
std::string MakeCertificate(const std::string& folder, const std::string& common_name,
                            const std::string& key, const std::string& cert,
                            const std::string& server_name) {
  const std::string request = cert + ".csr";
  QStringList req{"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                  "-nodes", "-keyout", Q(key), "-out", Q(request), "-subj", Q("/CN=" + common_name)};
  if (server_name.empty()) {
    req << "-addext" << "extendedKeyUsage=clientAuth";
  } else {
    const bool ip = !QHostAddress(Q(server_name)).isNull();
    req << "-addext" << "extendedKeyUsage=serverAuth"
        << "-addext" << Q(std::string("subjectAltName=") + (ip ? "IP:" : "DNS:") + server_name);
  }
  if (std::string why = OpenSsl(req); !why.empty()) return why;
  const QString serial = "0x" + QString::number(QRandomGenerator::system()->generate64() >> 1, 16);
  std::string why = OpenSsl({"x509", "-req", "-in", Q(request), "-CA", Q(folder + "ca.crt"), "-CAkey",
                             Q(folder + "ca.key"), "-set_serial", serial, "-days",
                             QString::number(kCertDays), "-copy_extensions", "copyall", "-out", Q(cert)});
  std::error_code ignored;
  fs::remove(request, ignored);
  return why;
}

// Writes a file with the given mode whatever the umask.
void Put(const std::string& path, const std::string& text, mode_t mode) {
  WriteFileAtomically(path, text);
  ::chmod(path.c_str(), mode);
}

void Copy(const std::string& from, const std::string& to, mode_t mode) {
  Put(to, ReadWholeFile(from), mode);
}

std::string MakeFolder(const std::string& path, mode_t mode) {
  std::error_code error;
  if (!fs::create_directories(path, error) && error) return "no se puede crear " + path + ": " + error.message();
  ::chmod(path.c_str(), mode);
  return {};
}

// The broker's part to its own user, when we are root and it exists.
void GiveToBroker(const std::string& broker) {
  if (::geteuid() != 0) return;
  const passwd* user = ::getpwnam(kBrokerUser);
  if (!user) return;
  for (const auto& entry : fs::recursive_directory_iterator(broker))
    if (::chown(entry.path().c_str(), user->pw_uid, user->pw_gid) != 0) return;
  if (::chown(broker.c_str(), user->pw_uid, user->pw_gid) != 0) return;
}

std::string ListenAddress(const TNetworkInit& init) {
  if (!init.Listen.empty()) return init.Listen;
  return QHostAddress(Q(init.Host)).isNull() ? std::string() : init.Host;
}

}  // namespace

std::string MosquittoConfText(const TNetworkInit& init, const std::string& folder) {
  const std::string broker = Slash(fs::absolute(folder).lexically_normal().string()) + "broker/";
  const std::string listen = ListenAddress(init);
  return "# The broker of the Quinterra network \"" + init.Name + "\" (quinterra-network init).\n"
         "# Start it with: mosquitto -c " + Slash(fs::absolute(folder).lexically_normal().string()) +
         "mosquitto.conf\n"
         "per_listener_settings false\n"
         "allow_anonymous false\n"
         "listener " + std::to_string(init.Port) + (listen.empty() ? "" : " " + listen) + "\n"
         "cafile " + broker + "ca.crt\n"
         "certfile " + broker + "broker.crt\n"
         "keyfile " + broker + "broker.key\n"
         "require_certificate true\n"
         "use_identity_as_username true\n"
         "acl_file " + broker + "acl\n"
         "persistence true\n"
         "persistence_location " + broker + "data/\n"
         "# Saved every two seconds (the broker counts whole seconds), so that a\n"
         "# published document survives a crash; saving at every change costs a\n"
         "# thousand shops' reports seconds each (bench/network-results.txt).\n"
         "autosave_on_changes false\n"
         "autosave_interval 1\n"
         "# The office subscribes to every shop's retained state at once.\n"
         "max_queued_messages 100000\n"
         "max_inflight_messages 100\n"
         "max_packet_size 262144\n"
         "set_tcp_nodelay true\n"
         "log_dest stderr\n"
         "log_type error\nlog_type warning\nlog_type notice\n";
}

std::string AclText(const std::string& name) {
  const std::string n = "quinterra/" + name + "/";
  return "# Who may read and write what in the Quinterra network \"" + name + "\".\n"
         "# A client's user name is its certificate's common name (%u).\n"
         "# Every shop reads the document and writes only its own state and presence.\n"
         "pattern read " + n + "document\n"
         "pattern readwrite " + n + "shops/%u/state\n"
         "pattern readwrite " + n + "shops/%u/online\n"
         "pattern readwrite " + n + "shops/%u/sync\n"
         "\n"
         "# The office alone publishes the document and reads every shop.\n"
         "user " + kOfficeIdentity + "\n"
         "topic readwrite " + n + "document\n"
         "topic read " + n + "shops/#\n"
         "topic readwrite " + n + "office/#\n";
}

std::string InitNetwork(const TNetworkInit& init) {
  if (std::string why = NameProblem(init.Name); !why.empty()) return "--name: " + why;
  if (init.Port < 1 || init.Port > 65535) return "--port fuera de 1..65535";
  if (init.Host.empty() || init.Host.find_first_of(" /\\\n\"") != std::string::npos)
    return "--host no nombra un servidor";
  std::error_code error;
  if (fs::exists(init.Folder, error) && !fs::is_empty(init.Folder, error))
    return init.Folder + " ya existe y no está vacía";
  const std::string dir = Slash(init.Folder);
  const std::string broker = dir + "broker/";
  try {
    for (const auto& [path, mode] : {std::pair<std::string, mode_t>{dir, 0755}, {dir + "shops", 0755},
                                     {broker, 0750}, {broker + "data", 0700}})
      if (std::string why = MakeFolder(path, mode); !why.empty()) return why;
    // The CA: a self-signed EC P-256 certificate.
    if (std::string why = OpenSsl({"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                   "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                                   Q(dir + "ca.key"), "-out", Q(dir + kCaFile), "-days",
                                   QString::number(kCaDays), "-subj",
                                   Q("/CN=Quinterra " + init.Name + " CA"), "-addext",
                                   "basicConstraints=critical,CA:TRUE", "-addext",
                                   "keyUsage=critical,keyCertSign,cRLSign"});
        !why.empty())
      return why;
    if (std::string why = MakeCertificate(dir, init.Host, broker + "broker.key",
                                          broker + "broker.crt", init.Host);
        !why.empty())
      return why;
    if (std::string why = MakeCertificate(dir, kOfficeIdentity, dir + kKeyFile, dir + kCertFile, "");
        !why.empty())
      return why;
    const TKeyPair pair = NewKeyPair();
    Put(dir + kOfficeSigningKeyFile, SigningKeyText(pair.Secret), 0600);
    Put(dir + kOfficePublicKeyFile, VerifyKeyText(pair.Public) + "\n", 0644);
    TNetworkBundle office;
    office.Network = init.Name;
    office.Host = init.Host;
    office.Port = init.Port;
    office.Identity = kOfficeIdentity;
    office.KeepAliveSeconds = init.KeepAliveSeconds;
    Put(dir + kBundleIni, BundleIniText(office), 0644);
    Copy(dir + kCaFile, broker + kCaFile, 0644);
    Put(broker + "acl", AclText(init.Name), 0644);
    Put(dir + "mosquitto.conf", MosquittoConfText(init, dir), 0644);
    for (const char* name : {kCaFile, kCertFile})
      ::chmod((dir + name).c_str(), 0644);
    ::chmod((broker + "broker.crt").c_str(), 0644);
    ::chmod((broker + "broker.key").c_str(), 0600);
    GiveToBroker(broker);
  } catch (const FileError& error) {
    return error.what();
  }
  return {};
}

std::string AddShop(const std::string& folder, const std::string& id) {
  if (std::string why = ShopIdProblem(id); !why.empty()) return "ID: " + why;
  const std::string dir = Slash(folder);
  std::string failure;
  const std::optional<TNetworkBundle> office = LoadBundle(dir, &failure);
  if (!office) return failure;
  if (!FileExists(dir + "ca.key")) return "no existe " + dir + "ca.key: ¿es la carpeta de la red?";
  const std::string shop = dir + "shops/" + id + "/";
  std::error_code error;
  if (fs::exists(shop, error)) return shop + " ya existe";
  try {
    if (std::string why = MakeFolder(shop, 0755); !why.empty()) return why;
    if (std::string why = MakeCertificate(dir, id, shop + kKeyFile, shop + kCertFile, "");
        !why.empty())
      return why;
    ::chmod((shop + kCertFile).c_str(), 0644);
    ::chmod((shop + kKeyFile).c_str(), 0600);
    Copy(dir + kCaFile, shop + kCaFile, 0644);
    Copy(dir + kOfficePublicKeyFile, shop + kOfficePublicKeyFile, 0644);
    TNetworkBundle bundle = *office;
    bundle.Identity = id;
    Put(shop + kBundleIni, BundleIniText(bundle), 0644);
  } catch (const FileError& error) {
    return error.what();
  }
  return {};
}

}  // namespace quinterra
