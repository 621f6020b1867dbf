// The network's safety that needs no broker: texts from shops made safe for
// a terminal, hosts that cannot break a line of a configuration, the
// library's failures told in Spanish with their cause, and the folder
// quinterra-network makes (owners and modes, dates, a retired shop).

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "network/bundle.h"
#include "network/connection_errors.h"
#include "network/names.h"
#include "network/network_folder.h"
#include "network/terminal_text.h"
#include "platform/file_io.h"
#include "tests/support/temp_folder.h"

namespace quinterra {
namespace {

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

TEST(TerminalText, ControlsAndReorderingAreReplacedAndAccentsKept) {
  EXPECT_EQ(TerminalSafe("Resultados: año 2024, €"), "Resultados: año 2024, €");
  // A title set, a screen cleared, a line forged for another shop.
  EXPECT_EQ(TerminalSafe("\x1b]0;hola\x07\x1b[2J"), "?]0;hola??[2J");
  EXPECT_EQ(TerminalSafe("fallo\r\ntienda-2: bien"), "fallo??tienda-2: bien");
  EXPECT_EQ(TerminalSafe("a\x7f" "b\t"), "a?b?");
  // C1 as UTF-8 and as a raw byte (CSI to a one-byte terminal), a byte that
  // is no UTF-8, an overlong form, and a right-to-left override.
  EXPECT_EQ(TerminalSafe("\xc2\x9b" "31m"), "?31m");
  EXPECT_EQ(TerminalSafe("\x9b" "31m"), "?31m");
  EXPECT_EQ(TerminalSafe("\xc0\xaf"), "??");
  EXPECT_EQ(TerminalSafe("abc\xe2\x80\xae" "fed"), "abc?fed");
  EXPECT_EQ(TerminalSafe("\xf0\x9f\x98"), "???") << "a sequence cut short";
}

TEST(HostNames, AddressesAndNamesPassAndNothingThatCouldBreakALine) {
  for (const char* good : {"127.0.0.1", "10.0.0.5", "::1", "fe80::1", "broker.example.org", "servidor-1",
                           "a.b-c.d"})
    EXPECT_EQ(HostProblem(good), "") << good;
  for (const char* bad : {"", "host\nallow_anonymous true", "a b", "a/b", "-a.org", "a-.org", "a..org",
                          "a.org.", "ñandú.es", "a\"b", "127.0.0.1 ", "x\x1b"})
    EXPECT_NE(HostProblem(bad), "") << bad;
  EXPECT_NE(HostProblem(std::string(64, 'a') + ".org"), "") << "a part longer than 63";
}

// The lines are libmosquitto's own, as it logged them against the real
// broker for each fault (the end-to-end tests see the rest).
TEST(ConnectionErrors, TheLibrarysFailuresBecomeSpanishWithTheirLikelyCause) {
  const int64_t now = Now();
  TCertificateDates valid;
  valid.NotBefore = valid.CaNotBefore = now - 86400;
  valid.NotAfter = valid.CaNotAfter = now + 86400 * 365;
  TCertificateDates early = valid;
  early.NotBefore = now + 3 * 3600;
  TCertificateDates late = valid;
  late.NotAfter = now - 60;
  const std::string verify = "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed";
  const struct {
    std::vector<std::string> lines;
    int result, error_number;
    TCertificateDates dates;
    std::string host, expected;
  } cases[] = {
      {{"OpenSSL Error[0]: error:0A000412:SSL routines::sslv3 alert bad certificate"},
       MOSQ_ERR_CONN_LOST, 0, valid, "127.0.0.1", "¿la hora del servidor es correcta?"},
      {{verify}, MOSQ_ERR_TLS, 0, early, "127.0.0.1",
       "el certificado aún no es válido: ¿la hora de este equipo es correcta?"},
      {{verify}, MOSQ_ERR_TLS, 0, late, "127.0.0.1", "caducó"},
      {{verify}, MOSQ_ERR_TLS, 0, valid, "127.0.0.1", "el servidor no presenta un certificado de esta red"},
      {{"OpenSSL Error[0]: error:0A00010B:SSL routines::wrong version number"}, MOSQ_ERR_TLS, 0, valid,
       "127.0.0.1", "no responde un servidor TLS"},
      {{"OpenSSL Error[0]: error:0A000410:SSL routines::sslv3 alert handshake failure"}, MOSQ_ERR_TLS, 0,
       valid, "127.0.0.1", "cifrado en común"},
      {{}, MOSQ_ERR_ERRNO, ECONNREFUSED, valid, "127.0.0.1", "nadie acepta conexiones en 127.0.0.1:8883"},
      {{}, MOSQ_ERR_ERRNO, EPROTO, valid, "127.0.0.1", "¿el certificado de este equipo está revocado"},
      {{}, MOSQ_ERR_EAI, 0, valid, "no-such-host.invalid", "no se encuentra el servidor «no-such-host.invalid»"},
      {{}, MOSQ_ERR_TLS, 0, early, "127.0.0.1", "¿la hora de este equipo es correcta?"},
  };
  for (const auto& c : cases) {
    TConnectionAttempt attempt{c.host, 8883, c.result, c.error_number, c.lines};
    const std::string text = ConnectionFailureText(attempt, c.dates, now);
    EXPECT_NE(text.find(c.expected), std::string::npos) << text;
    for (const char* english : {"SSL", "failed", "connection", "error", "alert", "Error"})
      EXPECT_EQ(text.find(english), std::string::npos) << english << " in: " << text;
  }
}

TEST(ConnectionErrors, AnUnreadableFileIsNamedWithItsReasonBeforeTheLibrarySaysInvalidArguments) {
  test::TempFolder folder;
  folder.Put("ca.crt", "x");
  folder.Put("client.crt", "x");
  EXPECT_EQ(TlsFilesProblem(folder.File("ca.crt"), folder.File("client.crt"), folder.File("ca.crt")), "");
  const std::string text =
      TlsFilesProblem(folder.File("ca.crt"), folder.File("client.crt"), folder.File("client.key"));
  EXPECT_NE(text.find(folder.File("client.key")), std::string::npos) << text;
  EXPECT_NE(text.find("No existe el archivo"), std::string::npos) << text;
}

class NetworkFolderTest : public ::testing::Test {
 protected:
  static TNetworkInit Init(const std::string& folder) {
    TNetworkInit init;
    init.Folder = folder;
    init.Name = "cadena";
    init.Host = "broker.example.org";
    init.Port = 18883;
    return init;
  }
  static mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
  }
  static std::string OwnerOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    const passwd* user = ::getpwuid(info.st_uid);
    return user ? user->pw_name : std::to_string(info.st_uid);
  }
  static bool AsRootWithBrokerUser() { return ::geteuid() == 0 && ::getpwnam("mosquitto"); }
  test::TempFolder folder_;
};

TEST_F(NetworkFolderTest, InitRefusesWhatCouldWriteALineOfItsOwnIntoTheBrokersFiles) {
  TNetworkInit init = Init(folder_.File("red"));
  init.Host = "127.0.0.1\nallow_anonymous true";
  EXPECT_NE(InitNetwork(init), "");
  init = Init(folder_.File("red"));
  init.Listen = "0.0.0.0\nallow_anonymous true";
  EXPECT_NE(InitNetwork(init), "");
  init = Init(folder_.File("red\nallow_anonymous true"));
  EXPECT_NE(InitNetwork(init), "");
  init = Init(folder_.File("red"));
  init.OfficePort = init.Port;
  EXPECT_NE(InitNetwork(init), "");
  init = Init(folder_.File("red"));
  init.Owner = "no-such-user-here";
  EXPECT_NE(InitNetwork(init), "");
  EXPECT_FALSE(std::filesystem::exists(folder_.File("red"))) << "nothing made";
}

TEST_F(NetworkFolderTest, TheBrokerMayReadItsRulesButOnlyItsKeyAndDataAreItsOwn) {
  if (!AsRootWithBrokerUser()) GTEST_SKIP() << "needs root and the user mosquitto";
  const std::string dir = folder_.File("red") + "/";
  ASSERT_EQ(InitNetwork(Init(dir)), "");
  for (const char* file : {"mosquitto.conf", "broker", "broker/acl", "broker/acl-office", "broker/ca.crt",
                           "broker/office-ca.crt", "broker/crl.pem", "broker/broker.crt"})
    EXPECT_EQ(OwnerOf(dir + file), "root") << file;
  for (const char* file : {"broker/broker.key", "broker/data"}) EXPECT_EQ(OwnerOf(dir + file), "mosquitto") << file;
  EXPECT_EQ(ModeOf(dir + "broker/acl"), 0640u);
  EXPECT_EQ(ModeOf(dir + "broker/broker.key"), 0600u);
  EXPECT_EQ(ModeOf(dir + "mosquitto.conf"), 0644u);
  for (const char* key : {"ca.key", "office-ca.key", "client.key", "office-sign.key"}) {
    EXPECT_EQ(ModeOf(dir + key), 0600u) << key;
    EXPECT_EQ(OwnerOf(dir + key), "root") << key;
  }
  ASSERT_EQ(AddShop(dir, "tienda-1"), "");
  EXPECT_EQ(OwnerOf(dir + "broker/acl"), "root") << "written again, still root's";
  EXPECT_EQ(ModeOf(dir + "broker/acl"), 0640u);
  EXPECT_EQ(ModeOf(dir + "shops/tienda-1/client.key"), 0600u);
}

// The office's operator is no root: its keys are its own, and it may add
// files to the folder (office-version.txt) but not replace or read root's.
TEST_F(NetworkFolderTest, AnOwnerGetsTheOfficesKeysAloneAndMayAddFilesButNotReplaceRoots) {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || !nobody) GTEST_SKIP() << "needs root and the user nobody";
  ASSERT_EQ(::chmod(folder_.Path().c_str(), 0755), 0);
  const std::string dir = folder_.File("red") + "/";
  TNetworkInit init = Init(dir);
  init.Owner = "nobody";
  ASSERT_EQ(InitNetwork(init), "");
  for (const char* key : {"client.key", "office-sign.key"}) {
    EXPECT_EQ(OwnerOf(dir + key), "nobody") << key;
    EXPECT_EQ(ModeOf(dir + key), 0600u) << key;
  }
  EXPECT_EQ(OwnerOf(dir + "ca.key"), "root");
  EXPECT_EQ(ModeOf(dir), 01775u);

  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) ::_exit(10);
    int failures = 0;
    try {
      WriteFileAtomically(dir + "office-version.txt", "1\n");
      WriteFileAtomically(dir + "office-version.txt", "2\n");
    } catch (const FileError&) {
      failures |= 1;
    }
    if (std::FILE* key = std::fopen((dir + "office-sign.key").c_str(), "r")) std::fclose(key);
    else failures |= 2;
    if (std::fopen((dir + "ca.key").c_str(), "r")) failures |= 4;
    const std::string mine = dir + "mine";
    if (std::FILE* made = std::fopen(mine.c_str(), "w")) std::fclose(made);
    if (::rename(mine.c_str(), (dir + "mosquitto.conf").c_str()) == 0 || errno != EPERM) failures |= 8;
    if (::rename((dir + "broker").c_str(), (dir + "aside").c_str()) == 0) failures |= 16;
    ::_exit(failures);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1 write, 2 own key, 4 CA key, 8 replace, 16 move";
  EXPECT_EQ(ReadWholeFile(dir + "office-version.txt"), "2\n");
}

TEST_F(NetworkFolderTest, ARetiredShopIsDeniedEverythingAndItsNameIsNotGivenAgain) {
  const std::string dir = folder_.File("red") + "/";
  ASSERT_EQ(InitNetwork(Init(dir)), "");
  ASSERT_EQ(AddShop(dir, "tienda-1"), "");
  ASSERT_EQ(AddShop(dir, "tienda-2"), "");
  bool again = true;
  ASSERT_EQ(RetireShopFiles(dir, "tienda-1", &again), "");
  EXPECT_FALSE(again);
  EXPECT_EQ(LiveShops(dir), std::vector<std::string>{"tienda-2"});
  EXPECT_EQ(RetiredShops(dir), std::vector<std::string>{"tienda-1"});
  const std::string acl = ReadWholeFile(dir + "broker/acl");
  EXPECT_NE(acl.find("user tienda-1\ntopic deny #\n"), std::string::npos) << acl;
  // Again: the files are made again, nothing else moves.
  ASSERT_EQ(RetireShopFiles(dir, "tienda-1", &again), "");
  EXPECT_TRUE(again);
  EXPECT_NE(AddShop(dir, "tienda-1").find("fue retirada"), std::string::npos);
  EXPECT_NE(RetireShopFiles(dir, "tienda-9"), "");
}

// The agent refuses the office's folder (end to end); a shop's bundle with
// the signing key copied in is no shop's either.
TEST_F(NetworkFolderTest, ABundleHoldingTheSigningKeyIsNoShops) {
  const std::string dir = folder_.File("red") + "/";
  ASSERT_EQ(InitNetwork(Init(dir)), "");
  ASSERT_EQ(AddShop(dir, "tienda-1"), "");
  const std::optional<TNetworkBundle> shop = LoadBundle(dir + "shops/tienda-1", nullptr);
  ASSERT_TRUE(shop);
  EXPECT_EQ(ShopBundleProblem(*shop), "");
  std::filesystem::copy_file(dir + "office-sign.key", dir + "shops/tienda-1/office-sign.key");
  EXPECT_NE(ShopBundleProblem(*shop), "");
}

}  // namespace
}  // namespace quinterra
