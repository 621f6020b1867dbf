#include "network/network_folder.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QHostAddress>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "network/bundle.h"
#include "network/key_change.h"
#include "network/names.h"
#include "network/publication.h"
#include "network/tls_policy.h"
#include "platform/errno_text.h"
#include "platform/file_io.h"

namespace quinterra {

const char kKeyChainOfficeFile[] = "office-keys.json";
const char kRetiredShopsFolder[] = "shops-retirados";

namespace {

namespace fs = std::filesystem;

constexpr const char* kBrokerUser = "mosquitto";
constexpr int kCaDays = 3650;
constexpr int kCertDays = 1825;
constexpr int kCrlDays = 3650;
// Certificates and the CRL start this long before they are made: a clock
// that is some hours behind (a shop's, or the broker's) still takes them.
constexpr int64_t kBackDatingSeconds = 24 * 3600;

const char kNetworkCa[] = "ca";          // DIR/ca.key, DIR/ca.crt, DIR/ca/
const char kOfficeCa[] = "office-ca";    // DIR/office-ca.key, .crt, DIR/office-ca/
const char kPendingKey[] = "office-sign.key.nueva";
const char kPendingChain[] = "office-keys.json.nueva";
const char kRetiredKeysFolder[] = "claves-retiradas";

struct TIds {
  uid_t Uid;
  gid_t Gid;
};

std::string Slash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Why(const std::string& what, int error) { return what + ": " + ErrnoText(error); }

// Runs openssl in the network's folder (its CA records are named relative
// to it, so the folder can move); empty on success, else its complaint.
std::string OpenSsl(const std::string& folder, const QStringList& arguments,
                    std::string* output = nullptr) {
  QProcess process;
  process.setWorkingDirectory(Q(folder));
  process.start("openssl", arguments);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    const std::string why = process.readAllStandardError().trimmed().toStdString();
    return "openssl " + arguments.value(0).toStdString() + " falló" +
           (why.empty() ? std::string(": ") + process.errorString().toStdString() : ": " + why);
  }
  if (output) *output = process.readAllStandardOutput().toStdString();
  return {};
}

std::string TimeText(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &parts);
  return text;
}

std::string StartDate(int64_t now) { return TimeText(now - kBackDatingSeconds); }
// openssl's -days would count from its own clock, not from now.
std::string EndDate(int64_t now, int days) { return TimeText(now + int64_t{days} * 86400); }

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

// The records "openssl ca" keeps for one CA, relative to the network's
// folder.
std::string CaConfigText(const char* ca) {
  return std::string("# The records of this CA for openssl ca, relative to the network's folder.\n"
                     "[ca]\ndefault_ca = this_ca\n"
                     "[this_ca]\ndir = ./") + ca + "\n"
         "database = $dir/index.txt\nnew_certs_dir = $dir/certs\ncrlnumber = $dir/crlnumber\n"
         "serial = $dir/serial\ndefault_md = sha256\npolicy = any_name\nunique_subject = no\n"
         "copy_extensions = copy\nemail_in_dn = no\n"
         "[any_name]\ncommonName = supplied\n"
         "[ca_self]\nbasicConstraints = critical,CA:TRUE,pathlen:0\n"
         "keyUsage = critical,keyCertSign,cRLSign\nsubjectKeyIdentifier = hash\n"
         "[leaf]\nbasicConstraints = critical,CA:FALSE\nkeyUsage = critical,digitalSignature\n"
         "subjectKeyIdentifier = hash\nauthorityKeyIdentifier = keyid\n"
         "[crl]\nauthorityKeyIdentifier = keyid:always\n";
}

QStringList CaArguments(const std::string& dir, const char* ca) {
  return {"-batch", "-config", Q(dir + ca + "/openssl.cnf"), "-cert", Q(dir + ca + ".crt"),
          "-keyfile", Q(dir + ca + ".key")};
}

// Where the folder's files go, and whose they become.
class TFolderOwners {
 public:
  explicit TFolderOwners(const std::string& owner = {}) : owner_name_(owner) {
    root_ = ::geteuid() == 0;
    if (root_) {
      if (const passwd* user = ::getpwnam(kBrokerUser)) broker_ = TIds{user->pw_uid, user->pw_gid};
    }
  }
  // Empty when the owner (if any) can be given files, else why not.
  std::string Check() {
    if (owner_name_.empty()) return {};
    const passwd* user = ::getpwnam(owner_name_.c_str());
    if (!user) return "--owner: no existe el usuario «" + owner_name_ + "»";
    if (user->pw_uid == 0) return "--owner: las claves ya son de root; nombre a otro usuario";
    if (!root_) return "--owner necesita ejecutarse como root";
    owner_ = TIds{user->pw_uid, user->pw_gid};
    return {};
  }
  const std::optional<TIds>& Broker() const { return broker_; }
  const std::optional<TIds>& Owner() const { return owner_; }
  bool Root() const { return root_; }

 private:
  std::string owner_name_;
  bool root_ = false;
  std::optional<TIds> broker_, owner_;
};

std::string Mode(const std::string& path, mode_t mode) {
  if (::chmod(path.c_str(), mode) != 0) return Why("no se puede cambiar el modo de " + path, errno);
  return {};
}

std::string Own(const std::string& path, const std::optional<TIds>& ids) {
  if (!ids) return {};
  if (::lchown(path.c_str(), ids->Uid, ids->Gid) != 0) return Why("no se puede cambiar el dueño de " + path, errno);
  return {};
}

// The group only (the broker reads through it; root keeps the file).
std::string Group(const std::string& path, const std::optional<TIds>& ids) {
  if (!ids) return {};
  if (::lchown(path.c_str(), static_cast<uid_t>(-1), ids->Gid) != 0)
    return Why("no se puede cambiar el grupo de " + path, errno);
  return {};
}

std::string MakeFolder(const std::string& path, mode_t mode) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) return "no se puede crear " + path + ": " + error.message();
  return Mode(path, mode);
}

// Writes text with mode from the start; throws FileError.
void Put(const std::string& path, const std::string& text, mode_t mode) {
  WriteFileWithMode(path, text, mode);
}

// Replaces path by text whose owner and mode are right before it takes the
// name, so the broker never reads a file it may not read.
std::string PutShared(const std::string& path, const std::string& text, mode_t mode,
                      const std::optional<TIds>& group) {
  const std::string next = path + ".nuevo";
  try {
    Put(next, text, mode);
  } catch (const FileError& error) {
    return error.what();
  }
  if (std::string why = Group(next, group); !why.empty()) return why;
  if (::rename(next.c_str(), path.c_str()) != 0) return Why("no se puede escribir " + path, errno);
  return {};
}

std::string ListenAddress(const TNetworkInit& init) {
  if (!init.Listen.empty()) return init.Listen;
  return QHostAddress(Q(init.Host)).isNull() ? std::string() : init.Host;
}

int OfficePortOf(const TNetworkInit& init) { return init.OfficePort ? init.OfficePort : init.Port + 1; }

// A self-signed CA, its records begun.
std::string MakeCa(const std::string& dir, const char* ca, const std::string& common_name,
                   int64_t now) {
  const std::string records = dir + ca + "/";
  if (std::string why = MakeFolder(records + "certs", 0700); !why.empty()) return why;
  if (std::string why = Mode(records, 0700); !why.empty()) return why;
  try {
    Put(records + "openssl.cnf", CaConfigText(ca), 0600);
    Put(records + "index.txt", "", 0600);
    Put(records + "crlnumber", "01\n", 0600);
  } catch (const FileError& error) {
    return error.what();
  }
  const std::string request = dir + ca + ".csr";
  if (std::string why = OpenSsl(dir, {"req", "-new", "-newkey", "ec", "-pkeyopt",
                                      "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                                      Q(dir + ca + ".key"), "-out", Q(request), "-subj",
                                      Q("/CN=" + common_name)});
      !why.empty())
    return why;
  std::string why = OpenSsl(dir, {"ca", "-batch", "-notext", "-config", Q(records + "openssl.cnf"),
                                  "-selfsign", "-keyfile", Q(dir + ca + ".key"), "-in", Q(request),
                                  "-out", Q(dir + ca + ".crt"), "-startdate", Q(StartDate(now)),
                                  "-enddate", Q(EndDate(now, kCaDays)), "-extensions", "ca_self",
                                  "-rand_serial"});
  std::error_code ignored;
  fs::remove(request, ignored);
  if (!why.empty()) return why;
  return Mode(dir + ca + ".crt", 0644);
}

// A key and a certificate for common_name, signed by ca, for a client (or a
// server, with its subject alternative name).
std::string Issue(const std::string& dir, const char* ca, const std::string& common_name,
                  const std::string& key, const std::string& cert, const std::string& server_name,
                  int64_t now) {
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
  // openssl writes the key 0600 from the start.
  if (std::string why = OpenSsl(dir, req); !why.empty()) return why;
  QStringList sign{"ca", "-notext", "-in", Q(request), "-out", Q(cert), "-startdate",
                   Q(StartDate(now)), "-enddate", Q(EndDate(now, kCertDays)), "-extensions", "leaf",
                   "-rand_serial"};
  sign << CaArguments(dir, ca);
  std::string why = OpenSsl(dir, sign);
  std::error_code ignored;
  fs::remove(request, ignored);
  if (!why.empty()) return why;
  return Mode(cert, 0644);
}

// The broker's CRL made again from the network CA's records.
std::string MakeCrl(const std::string& dir, const std::optional<TIds>& broker_group, int64_t now) {
  const std::string crl = dir + "broker/crl.pem";
  const std::string next = crl + ".nuevo";
  QStringList arguments{"ca", "-gencrl", "-out", Q(next), "-crl_lastupdate", Q(StartDate(now)),
                        "-crl_nextupdate", Q(EndDate(now, kCrlDays)), "-crlexts", "crl"};
  arguments << CaArguments(dir, kNetworkCa);
  if (std::string why = OpenSsl(dir, arguments); !why.empty()) return why;
  if (std::string why = Mode(next, 0644); !why.empty()) return why;
  if (std::string why = Group(next, broker_group); !why.empty()) return why;
  if (::rename(next.c_str(), crl.c_str()) != 0) return Why("no se puede escribir " + crl, errno);
  return {};
}

std::vector<std::string> ShopFolders(const std::string& folder) {
  std::vector<std::string> shops;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && ShopIdProblem(name).empty()) shops.push_back(name);
  }
  std::sort(shops.begin(), shops.end());
  return shops;
}

std::string WriteAcl(const std::string& dir, const std::string& network,
                     const std::optional<TIds>& broker_group) {
  return PutShared(dir + "broker/acl", AclText(network, LiveShops(dir), RetiredShops(dir)), 0640,
                   broker_group);
}

// One writer at a time: shops are often made many at once, and the CA's
// records and the ACL are one file each.
class TFolderLock {
 public:
  explicit TFolderLock(const std::string& dir) {
    fd_ = ::open((dir + ".quinterra-network.lock").c_str(),
                 O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      failure_ = Why("no se puede bloquear " + dir, errno);
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      failure_ = Why("no se puede bloquear " + dir, errno);
      return;
    }
  }
  ~TFolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  const std::string& Failure() const { return failure_; }

 private:
  int fd_ = -1;
  std::string failure_;
};

// The office's bundle, for the commands that change the network.
std::optional<TNetworkBundle> LoadOfficeFolder(const std::string& dir, std::string* failure) {
  std::optional<TNetworkBundle> office = LoadBundle(dir, failure);
  if (!office) return std::nullopt;
  if (std::string why = OfficeFolderProblem(*office); !why.empty()) {
    *failure = why;
    return std::nullopt;
  }
  if (!FileExists(dir + "ca.key")) {
    *failure = "no existe " + dir + "ca.key: ¿es la carpeta de la red?";
    return std::nullopt;
  }
  if (!FileExists(dir + kNetworkCa + "/openssl.cnf")) {
    *failure = dir + " se hizo con una versión anterior de quinterra-network, sin registro de sus "
                     "certificados: haga la red de nuevo con «quinterra-network init»";
    return std::nullopt;
  }
  return office;
}

// The serial of a certificate, as openssl ca writes it in its records.
std::string Serial(const std::string& dir, const std::string& cert, std::string* failure) {
  std::string output;
  *failure = OpenSsl(dir, {"x509", "-in", Q(cert), "-noout", "-serial"}, &output);
  const size_t equals = output.find('=');
  if (failure->empty() && equals == std::string::npos) *failure = cert + ": sin número de serie";
  if (!failure->empty()) return {};
  std::string serial = output.substr(equals + 1);
  serial.erase(serial.find_last_not_of(" \r\n") + 1);
  return serial;
}

bool RevokedInRecords(const std::string& dir, const std::string& serial) {
  std::istringstream records(ReadFileIfExists(dir + kNetworkCa + "/index.txt").value_or(""));
  std::string line;
  while (std::getline(records, line)) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    if (fields.size() >= 4 && fields[0] == "R" && fields[3] == serial) return true;
  }
  return false;
}

}  // namespace

std::string MosquittoConfText(const TNetworkInit& init, const std::string& folder) {
  const std::string dir = Slash(fs::absolute(folder).lexically_normal().string());
  const std::string broker = dir + "broker/";
  const std::string listen = ListenAddress(init);
  const std::string at = listen.empty() ? "" : " " + listen;
  const std::string tls = std::string("tls_version ") + kTlsMinimumVersion + "\nciphers " +
                          kTls12Ciphers + "\nciphers_tls1.3 " + kTls13Suites + "\n";
  return "# The broker of the Quinterra network \"" + init.Name + "\" (quinterra-network init).\n"
         "# Start it with: mosquitto -c " + dir + "mosquitto.conf\n"
         "# (or the quinterra-broker service). SIGHUP makes it read its rules, its\n"
         "# certificates and its CRL again; the clients stay connected.\n"
         "# Each listener has its own rules: the shops' and the office's.\n"
         "per_listener_settings true\n"
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
         "log_type error\nlog_type warning\nlog_type notice\n"
         "\n"
         "# The shops: a certificate of the network's CA each, not revoked. A\n"
         "# client's id is its certificate's name, so a shop can only ever take\n"
         "# its own place.\n"
         "listener " + std::to_string(init.Port) + at + "\n"
         "allow_anonymous false\n"
         "cafile " + broker + "ca.crt\n"
         "certfile " + broker + "broker.crt\n"
         "keyfile " + broker + "broker.key\n"
         "crlfile " + broker + "crl.pem\n"
         "require_certificate true\n"
         "use_identity_as_username true\n"
         "use_username_as_clientid true\n" + tls +
         "acl_file " + broker + "acl\n"
         "\n"
         "# The office: certificates of the office's own CA, which signs no shop;\n"
         "# its window and its commands connect at once, each with an id of its own.\n"
         "listener " + std::to_string(OfficePortOf(init)) + at + "\n"
         "allow_anonymous false\n"
         "cafile " + broker + "office-ca.crt\n"
         "certfile " + broker + "broker.crt\n"
         "keyfile " + broker + "broker.key\n"
         "require_certificate true\n"
         "use_identity_as_username true\n" + tls +
         "acl_file " + broker + "acl-office\n";
}

std::string AclText(const std::string& name, const std::vector<std::string>& shops,
                    const std::vector<std::string>& retired) {
  const std::string n = "quinterra/" + name + "/";
  std::string text =
      "# Who may read and write what in the Quinterra network \"" + name + "\", on the\n"
      "# shops' listener (quinterra-network writes this file again for every shop\n"
      "# added or removed). A client's user name is its certificate's name (%u).\n"
      "# Every shop writes only its own state and presence.\n"
      "pattern readwrite " + n + "shops/%u/state\n"
      "pattern readwrite " + n + "shops/%u/online\n"
      "pattern readwrite " + n + "shops/%u/sync\n"
      "\n"
      "# Each shop of the network reads the document and the signing key's changes.\n";
  for (const std::string& shop : shops)
    text += "user " + shop + "\ntopic read " + n + "document\ntopic read " + KeysTopic(name) + "\n";
  text += "\n# Removed shops: nothing at all, even with a certificate the CRL missed.\n";
  for (const std::string& shop : retired) text += "user " + shop + "\ntopic deny #\n";
  return text;
}

std::string OfficeAclText(const std::string& name) {
  const std::string n = "quinterra/" + name + "/";
  return "# The office's listener: the office publishes the document and the signing\n"
         "# key's changes, reads every shop, and clears a removed shop's topics.\n"
         "user " + std::string(kOfficeIdentity) + "\n"
         "topic readwrite " + n + "document\n"
         "topic readwrite " + KeysTopic(name) + "\n"
         "topic readwrite " + n + "shops/#\n"
         "topic readwrite " + n + "office/#\n";
}

std::vector<std::string> LiveShops(const std::string& folder) {
  return ShopFolders(Slash(folder) + "shops");
}

std::vector<std::string> RetiredShops(const std::string& folder) {
  return ShopFolders(Slash(folder) + kRetiredShopsFolder);
}

std::string InitNetwork(const TNetworkInit& init) {
  if (std::string why = NameProblem(init.Name); !why.empty()) return "--name: " + why;
  if (init.Port < 1 || init.Port > 65535) return "--port fuera de 1..65535";
  const int office_port = OfficePortOf(init);
  if (office_port < 1 || office_port > 65535) return "--office-port fuera de 1..65535";
  if (office_port == init.Port) return "--office-port debe ser distinto de --port";
  if (std::string why = HostProblem(init.Host); !why.empty()) return "--host: " + why;
  if (!init.Listen.empty())
    if (std::string why = HostProblem(init.Listen); !why.empty()) return "--listen: " + why;
  const std::string absolute = fs::absolute(init.Folder).lexically_normal().string();
  // The paths go into mosquitto.conf, one per line.
  for (unsigned char c : absolute)
    if (c < 0x20 || c == 0x7F || c == ' ')
      return "la ruta de la carpeta no puede tener espacios ni caracteres de control";
  TFolderOwners owners(init.Owner);
  if (std::string why = owners.Check(); !why.empty()) return why;
  std::error_code error;
  if (fs::exists(init.Folder, error) && !fs::is_empty(init.Folder, error))
    return init.Folder + " ya existe y no está vacía";
  const std::string dir = Slash(init.Folder);
  const std::string broker = dir + "broker/";
  const int64_t now = init.Now ? init.Now : Now();
  try {
    // With an owner, the folder is theirs to add files to (office-version.txt)
    // but, sticky, not to replace root's.
    const mode_t top = owners.Owner() ? 01775 : 0755;
    for (const auto& [path, mode] : {std::pair<std::string, mode_t>{dir, top}, {dir + "shops", 0755},
                                     {broker, 0750}, {broker + "data", 0700}})
      if (std::string why = MakeFolder(path, mode); !why.empty()) return why;
    if (owners.Owner())
      if (std::string why = Group(dir, owners.Owner()); !why.empty()) return why;
    if (std::string why = MakeCa(dir, kNetworkCa, "Quinterra " + init.Name + " CA", now); !why.empty())
      return why;
    if (std::string why = MakeCa(dir, kOfficeCa, "Quinterra " + init.Name + " oficina CA", now);
        !why.empty())
      return why;
    if (std::string why = Issue(dir, kNetworkCa, init.Host, broker + "broker.key",
                                broker + "broker.crt", init.Host, now);
        !why.empty())
      return why;
    if (std::string why =
            Issue(dir, kOfficeCa, kOfficeIdentity, dir + kKeyFile, dir + kCertFile, "", now);
        !why.empty())
      return why;
    const TKeyPair pair = NewKeyPair();
    Put(dir + kOfficeSigningKeyFile, SigningKeyText(pair.Secret), 0600);
    Put(dir + kOfficePublicKeyFile, VerifyKeyText(pair.Public) + "\n", 0644);
    for (const char* key : {kKeyFile, kOfficeSigningKeyFile})
      if (std::string why = Own(dir + key, owners.Owner()); !why.empty()) return why;
    TNetworkBundle office;
    office.Network = init.Name;
    office.Host = init.Host;
    office.Port = office_port;
    office.ShopPort = init.Port;
    office.Identity = kOfficeIdentity;
    office.KeepAliveSeconds = init.KeepAliveSeconds;
    Put(dir + kBundleIni, BundleIniText(office), 0644);
    Put(broker + kCaFile, ReadWholeFile(dir + kCaFile), 0644);
    Put(broker + "office-ca.crt", ReadWholeFile(dir + "office-ca.crt"), 0644);
    if (std::string why = MakeCrl(dir, owners.Broker(), now); !why.empty()) return why;
    if (std::string why = WriteAcl(dir, init.Name, owners.Broker()); !why.empty()) return why;
    if (std::string why = PutShared(broker + "acl-office", OfficeAclText(init.Name), 0640, owners.Broker());
        !why.empty())
      return why;
    Put(dir + "mosquitto.conf", MosquittoConfText(init, dir), 0644);
    // What the broker reads is root's; only its key and its data are its own.
    for (const std::string& path : {broker, broker + "acl", broker + "acl-office"})
      if (std::string why = Group(path, owners.Broker()); !why.empty()) return why;
    for (const std::string& path : {broker + "broker.key", broker + "data"})
      if (std::string why = Own(path, owners.Broker()); !why.empty()) return why;
  } catch (const FileError& error) {
    return error.what();
  }
  return {};
}

std::string AddShop(const std::string& folder, const std::string& id, int64_t now) {
  if (std::string why = ShopIdProblem(id); !why.empty()) return "ID: " + why;
  const std::string dir = Slash(folder);
  std::string failure;
  const std::optional<TNetworkBundle> office = LoadOfficeFolder(dir, &failure);
  if (!office) return failure;
  TFolderLock lock(dir);
  if (!lock.Failure().empty()) return lock.Failure();
  const std::string shop = dir + "shops/" + id + "/";
  std::error_code error;
  if (fs::exists(dir + kRetiredShopsFolder + "/" + id, error))
    return "la tienda «" + id + "» fue retirada de la red: dé otro nombre a la nueva";
  if (fs::exists(shop, error)) return shop + " ya existe";
  TFolderOwners owners;
  auto made = [&]() -> std::string {
    if (std::string why = MakeFolder(shop, 0755); !why.empty()) return why;
    if (std::string why = Issue(dir, kNetworkCa, id, shop + kKeyFile, shop + kCertFile, "",
                                now ? now : Now());
        !why.empty())
      return why;
    try {
      Put(shop + kCaFile, ReadWholeFile(dir + kCaFile), 0644);
      Put(shop + kOfficePublicKeyFile, ReadWholeFile(dir + kOfficePublicKeyFile), 0644);
      TNetworkBundle bundle = *office;
      bundle.Identity = id;
      bundle.Port = office->ShopPort ? office->ShopPort : office->Port;
      bundle.ShopPort = 0;
      Put(shop + kBundleIni, BundleIniText(bundle), 0644);
    } catch (const FileError& error) {
      return error.what();
    }
    return {};
  };
  if (std::string why = made(); !why.empty()) {
    fs::remove_all(shop, error);  // a later attempt starts clean
    return why;
  }
  return WriteAcl(dir, office->Network, owners.Broker());
}

std::string RetireShopFiles(const std::string& folder, const std::string& id, bool* again) {
  if (std::string why = ShopIdProblem(id); !why.empty()) return "ID: " + why;
  const std::string dir = Slash(folder);
  std::string failure;
  const std::optional<TNetworkBundle> office = LoadOfficeFolder(dir, &failure);
  if (!office) return failure;
  TFolderLock lock(dir);
  if (!lock.Failure().empty()) return lock.Failure();
  const std::string live = dir + "shops/" + id;
  const std::string retired_folder = dir + kRetiredShopsFolder;
  const std::string retired = retired_folder + "/" + id;
  std::error_code error;
  const bool is_live = fs::exists(live, error);
  const bool is_retired = fs::exists(retired, error);
  if (again) *again = !is_live && is_retired;
  if (!is_live && !is_retired) return "no hay ninguna tienda «" + id + "» en " + dir;
  if (is_live && is_retired) return "«" + id + "» está en shops/ y en " + kRetiredShopsFolder + "/: revíselo a mano";
  TFolderOwners owners;
  const std::string cert = (is_live ? live : retired) + "/" + kCertFile;
  if (FileExists(cert)) {
    const std::string serial = Serial(dir, cert, &failure);
    if (!failure.empty()) return failure;
    if (!RevokedInRecords(dir, serial)) {
      QStringList revoke{"ca", "-revoke", Q(cert)};
      revoke << CaArguments(dir, kNetworkCa);
      if (std::string why = OpenSsl(dir, revoke); !why.empty()) return why;
    }
  }
  if (std::string why = MakeCrl(dir, owners.Broker(), Now()); !why.empty()) return why;
  if (is_live) {
    if (std::string why = MakeFolder(retired_folder, 0750); !why.empty()) return why;
    if (::rename(live.c_str(), retired.c_str()) != 0)
      return Why("no se puede mover " + live + " a " + retired, errno);
  }
  return WriteAcl(dir, office->Network, owners.Broker());
}

std::string PrepareRotation(const std::string& folder, int64_t from_version, int64_t now,
                            TPendingRotation* pending) {
  const std::string dir = Slash(folder);
  std::string failure;
  const std::optional<TNetworkBundle> office = LoadOfficeFolder(dir, &failure);
  if (!office) return failure;
  TFolderLock lock(dir);
  if (!lock.Failure().empty()) return lock.Failure();
  try {
    const std::optional<TVerifyKey> current = LoadOfficeKey(*office, &failure);
    if (!current) return failure;
    const TTrustedKey from{*current, 0};
    const std::optional<std::string> kept_key = ReadFileIfExists(dir + kPendingKey);
    const std::optional<std::string> kept_chain = ReadFileIfExists(dir + kPendingChain);
    if (kept_key && kept_chain) {
      // Taken up: the same pair and the same chain as the run that stopped.
      const std::optional<TSigningKey> next = SigningKeyFromText(*kept_key);
      const TKeyChainResult followed = FollowKeyChain(*kept_chain, from, office->Network);
      if (!next || followed.Refusal != TKeyChainRefusal::None || followed.Taken != 1 ||
          followed.Trusted.Key != PublicKeyOf(*next))
        return dir + kPendingKey + " y " + kPendingChain +
               " no son un cambio de clave pendiente de esta red: revíselos a mano";
      *pending = {*kept_chain, VerifyKeyText(followed.Trusted.Key), followed.Trusted.FromVersion, true};
      return {};
    }
    const std::optional<TSigningKey> secret = SigningKeyFromText(ReadWholeFile(dir + kOfficeSigningKeyFile));
    if (!secret || PublicKeyOf(*secret) != *current)
      return dir + kOfficeSigningKeyFile + " no es la clave de firma de la red";
    std::vector<std::string> links;
    if (const std::optional<std::string> chain = ReadFileIfExists(dir + kKeyChainOfficeFile)) {
      const std::optional<std::vector<std::string>> read = KeyChainLinks(*chain);
      if (!read) return dir + kKeyChainOfficeFile + " no es una cadena de cambios de clave";
      links = *read;
    }
    const TKeyPair next = NewKeyPair();
    links.push_back(SignKeyChange({office->Network, next.Public, from_version, now}, *secret));
    const std::string message = KeyChainMessage(links);
    const TKeyChainResult followed = FollowKeyChain(message, from, office->Network);
    if (followed.Refusal != TKeyChainRefusal::None || followed.Trusted.Key != next.Public)
      return std::string("el cambio de clave no se lee: ") + KeyChainRefusalText(followed.Refusal);
    // The new secret is on disk before anything announces it.
    Put(dir + kPendingKey, SigningKeyText(next.Secret), 0600);
    struct stat previous {};
    if (::stat((dir + kOfficeSigningKeyFile).c_str(), &previous) == 0 && ::geteuid() == 0)
      if (std::string why = Own(dir + kPendingKey, TIds{previous.st_uid, previous.st_gid}); !why.empty())
        return why;
    Put(dir + kPendingChain, message, 0644);
    *pending = {message, VerifyKeyText(next.Public), from_version, false};
  } catch (const FileError& error) {
    return error.what();
  }
  return {};
}

std::string CommitRotation(const std::string& folder) {
  const std::string dir = Slash(folder);
  TFolderLock lock(dir);
  if (!lock.Failure().empty()) return lock.Failure();
  try {
    const std::optional<TSigningKey> next = SigningKeyFromText(ReadWholeFile(dir + kPendingKey));
    if (!next) return dir + kPendingKey + " no es una clave de firma";
    const std::string chain = ReadWholeFile(dir + kPendingChain);
    const std::optional<std::vector<std::string>> links = KeyChainLinks(chain);
    if (!links || links->empty()) return dir + kPendingChain + " no es una cadena de cambios de clave";
    const std::string public_text = VerifyKeyText(PublicKeyOf(*next)) + "\n";
    const std::string current = ReadWholeFile(dir + kOfficePublicKeyFile);
    if (current != public_text) {
      // The retired key's public half stays, for the record.
      if (std::string why = MakeFolder(dir + kRetiredKeysFolder, 0755); !why.empty()) return why;
      Put(dir + kRetiredKeysFolder + "/office-sign-" + std::to_string(links->size()) + ".pub", current,
          0644);
      Put(dir + kOfficePublicKeyFile, public_text, 0644);
    }
    if (::rename((dir + kPendingKey).c_str(), (dir + kOfficeSigningKeyFile).c_str()) != 0)
      return Why("no se puede escribir " + dir + kOfficeSigningKeyFile, errno);
    if (::rename((dir + kPendingChain).c_str(), (dir + kKeyChainOfficeFile).c_str()) != 0)
      return Why("no se puede escribir " + dir + kKeyChainOfficeFile, errno);
  } catch (const FileError& error) {
    return error.what();
  }
  return {};
}

}  // namespace quinterra
