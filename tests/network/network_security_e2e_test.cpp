// The network's security against the real broker with the configuration
// quinterra-network makes: a removed shop is refused and no longer counted,
// a shop cannot take another's place, TLS takes only AEAD suites, clocks a
// day apart still work and the rest is told in Spanish, a rotation reaches a
// shop that was away and the retired key signs nothing, a shop's words do
// not drive the office's terminal.

#include <mosquitto.h>
#include <signal.h>

#include <QProcess>

#include <chrono>
#include <ctime>
#include <filesystem>

#include "network/bundle.h"
#include "network/connection_errors.h"
#include "network/key_change.h"
#include "network/mqtt_client.h"
#include "network/names.h"
#include "network/network_folder.h"
#include "network/shop_state.h"
#include "network/tls_policy.h"
#include "tests/e2e/sample_document.h"
#include "tests/network/network_fixture.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto end = Clock::now() + bound;
  while (!done() && Clock::now() < end) Spin(20ms);
  return done();
}

// One connection as the programs make it (libmosquitto, the network's TLS
// policy), its failure told as connection_errors.h tells it.
struct Attempt {
  bool Connected = false;
  std::string Text;
};

Attempt Connect(const TNetworkBundle& bundle, const std::string& host, const std::string& client_id,
                std::chrono::milliseconds hold = 0ms) {
  struct Seen {
    bool connack = false, disconnected = false;
    int connack_code = -1, disconnect_code = 0;
    std::vector<std::string> lines;
  } seen;
  mosquitto_lib_init();
  mosquitto* m = mosquitto_new(client_id.c_str(), true, &seen);
  mosquitto_log_callback_set(m, [](mosquitto*, void* s, int level, const char* line) {
    if (level & MOSQ_LOG_ERR) static_cast<Seen*>(s)->lines.push_back(line);
  });
  mosquitto_connect_callback_set(m, [](mosquitto*, void* s, int code) {
    static_cast<Seen*>(s)->connack = true;
    static_cast<Seen*>(s)->connack_code = code;
  });
  mosquitto_disconnect_callback_set(m, [](mosquitto*, void* s, int code) {
    static_cast<Seen*>(s)->disconnected = true;
    static_cast<Seen*>(s)->disconnect_code = code;
  });
  const std::string ca = bundle.File(kCaFile), cert = bundle.File(kCertFile);
  mosquitto_tls_set(m, ca.c_str(), nullptr, cert.c_str(), bundle.File(kKeyFile).c_str(), nullptr);
  mosquitto_tls_opts_set(m, 1, kTlsMinimumVersion, kTls12Ciphers);
  int rc = mosquitto_connect(m, host.c_str(), bundle.Port, 10);
  int error = errno;
  const auto end = Clock::now() + 3s;
  while (rc == MOSQ_ERR_SUCCESS && !seen.connack && !seen.disconnected && Clock::now() < end) {
    rc = mosquitto_loop(m, 100, 1);
    error = errno;
  }
  Attempt attempt;
  attempt.Connected = seen.connack && seen.connack_code == 0 && !seen.disconnected;
  if (attempt.Connected) {
    for (const auto stop = Clock::now() + hold; Clock::now() < stop && rc == MOSQ_ERR_SUCCESS;)
      rc = mosquitto_loop(m, 50, 1);
    mosquitto_disconnect(m);
  } else if (seen.connack) {
    attempt.Text = ConnackText(seen.connack_code);
  } else {
    const TConnectionAttempt failed{host, bundle.Port, seen.disconnected ? seen.disconnect_code : rc, error,
                                    seen.lines};
    attempt.Text = ConnectionFailureText(failed, ReadCertificateDates(ca, cert), Now());
  }
  mosquitto_destroy(m);
  return attempt;
}

Attempt Connect(const std::string& bundle_folder, const std::string& client_id = "probe") {
  const std::optional<TNetworkBundle> bundle = LoadBundle(bundle_folder, nullptr);
  EXPECT_TRUE(bundle) << bundle_folder;
  return bundle ? Connect(*bundle, bundle->Host, client_id) : Attempt{};
}

// A certificate the broker refuses, tried as a client tries again: under
// TLS 1.3 the broker's alert, which names the cause, is lost in the reset
// about a third of the time. Every attempt is refused; the text of the
// first that names cause, else of the last.
Attempt Refused(const std::string& bundle_folder, const std::string& cause) {
  Attempt attempt;
  for (int i = 0; i < 12; ++i) {
    attempt = Connect(bundle_folder);
    EXPECT_FALSE(attempt.Connected);
    if (attempt.Connected || attempt.Text.find(cause) != std::string::npos) break;
    EXPECT_NE(attempt.Text.find("¿el certificado de este equipo está revocado"), std::string::npos)
        << attempt.Text;
  }
  return attempt;
}

struct ProgramResult {
  int exit = -1;
  std::string out;
};

class NetworkSecurityTest : public NetworkTest {
 protected:
  // A program of ours, its output (both streams) and its exit status.
  ProgramResult Program(const std::string& program, const std::vector<std::string>& arguments) {
    const std::string output = folder_.File("program.out");
    std::remove(output.c_str());
    ChildProcess child;
    ProgramResult run;
    if (!child.Start(program, arguments, output)) return run;
    run.exit = child.WaitExit(60s).value_or(-1);
    run.out = ReadFileIfExists(output).value_or("");
    return run;
  }
  ProgramResult Network(const std::vector<std::string>& arguments) { return Program(QUINTERRA_NETWORK, arguments); }
  std::string BrokerLog() const { return ReadFileIfExists(net_ + "broker.log").value_or(""); }
  // The retained messages of topics, as a client with bundle's certificate
  // gets them.
  std::map<std::string, std::string> Retained(const std::string& bundle_folder,
                                              const std::vector<std::string>& topics) {
    const std::optional<TNetworkBundle> bundle = LoadBundle(bundle_folder, nullptr);
    EXPECT_TRUE(bundle);
    std::map<std::string, std::string> got;
    if (!bundle) return got;
    TMqttSettings settings = bundle->Mqtt();
    settings.CleanSession = true;
    TMqttClient client(settings);
    client.OnConnected = [&] {
      for (const std::string& topic : topics) client.Subscribe(topic);
    };
    client.OnMessage = [&](const std::string& topic, const std::string& payload, bool) { got[topic] = payload; };
    EXPECT_TRUE(client.Start(nullptr));
    RunUntil([&] { return got.size() == topics.size(); }, 5s);
    return got;
  }
};

TEST_F(NetworkSecurityTest, ARemovedShopIsRefusedAndTheOfficeNeitherCountsNorWaitsForIt) {
  StartAgent(AddShop("tienda-1"));
  TestShop& removed = AddShop("tienda-2");
  StartAgent(removed);
  AddShop("nunca");  // made, never deployed
  std::string out;
  EXPECT_EQ(Publish(DocumentA(), 4, &out), 3) << "a shop never deployed is waited for: " << out;

  for (const char* id : {"nunca", "tienda-2"}) {
    ProgramResult run = Network({"remove", net_, id});
    EXPECT_EQ(run.exit, 3) << run.out;
    EXPECT_NE(run.out.find("aún acepta el certificado de «" + std::string(id) + "»"), std::string::npos)
        << "the broker has not read the new CRL yet: " << run.out;
    EXPECT_NE(run.out.find("kill -HUP"), std::string::npos) << run.out;
    ReloadBroker();
    run = Network({"remove", net_, id});
    EXPECT_EQ(run.exit, 0) << run.out;
    EXPECT_NE(run.out.find("ya estaba retirada"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("El servidor ya rechaza a «" + std::string(id) + "»"), std::string::npos)
        << run.out;
  }
  // Its certificate, revoked, is refused, and it is told why.
  const Attempt retired = Refused(net_ + "shops-retirados/tienda-2", "está revocado (la tienda fue retirada");
  EXPECT_NE(retired.Text.find("está revocado (la tienda fue retirada"), std::string::npos) << retired.Text;

  EXPECT_EQ(Publish(DocumentB(), 30, &out), 0) << out;
  EXPECT_EQ(out.find("tienda-2"), std::string::npos) << out;
  EXPECT_EQ(out.find("nunca"), std::string::npos) << out;
  EXPECT_EQ(Display(*shops_["tienda-1"], TPanel::Results), e2e::ImagesOf(DocumentB()).results);
  EXPECT_EQ(Display(removed, TPanel::Results), e2e::ImagesOf(DocumentA()).results)
      << "the removed shop's agent, still running, got nothing more";
  ASSERT_TRUE(WaitFor([](const TFleet& f) { return f.Row("tienda-1").has_value(); }));
  EXPECT_FALSE(Row("tienda-2")) << "its state and presence were cleared";
  EXPECT_FALSE(Row("nunca"));
}

// Ids are the certificates' names on the shops' listener: another shop's
// certificate asking for the victim's id gets its own, and the victim stays.
TEST_F(NetworkSecurityTest, ATakeoverAttemptLeavesTheVictimConnected) {
  TestShop& victim = AddShop("tienda-1");
  AddShop("tienda-2");
  StartAgent(victim);
  ASSERT_TRUE(WaitFor([](const TFleet& f) { return f.Row("tienda-1")->Online == true; }));
  const std::optional<TNetworkBundle> attacker = LoadBundle(net_ + "shops/tienda-2", nullptr);
  ASSERT_TRUE(attacker);
  for (const char* id : {"tienda-1", "quinterra-cadena-tienda-1", "tienda-1", "tienda-1", "tienda-1"}) {
    const Attempt attempt = Connect(*attacker, "127.0.0.1", id, 300ms);
    EXPECT_TRUE(attempt.Connected) << attempt.Text;
  }
  // Nor on the office's listener, where ids are free: its CA signs no shop.
  TNetworkBundle at_office = *attacker;
  at_office.Port = office_port_;
  EXPECT_FALSE(Connect(at_office, "127.0.0.1", "tienda-1").Connected);
  // The office's window, its commands and this test share the office's
  // certificate on the office's listener, each with an id of its own.
  Office();
  EXPECT_EQ(Program(QUINTERRA_SEND, {"--network-state", "--network", net_}).exit, 1);
  Spin(500ms);
  EXPECT_EQ(Count(BrokerLog(), "already connected"), 0u) << BrokerLog();
  EXPECT_EQ(Count(victim.Log(), "desconectado del servidor"), 0u) << victim.Log();
  EXPECT_EQ(Office().Link(), TOfficeLink::Ready);
  EXPECT_EQ(Row("tienda-1")->Online, true);

  // The check can see a takeover: the shop's own certificate does take its
  // own place.
  const std::optional<TNetworkBundle> itself = LoadBundle(victim.Bundle, nullptr);
  EXPECT_TRUE(Connect(*itself, "127.0.0.1", "anything", 300ms).Connected);
  EXPECT_TRUE(RunUntil([&] { return Count(BrokerLog(), "Client tienda-1 already connected") == 1; }, 5s))
      << BrokerLog();
}

TEST_F(NetworkSecurityTest, TheBrokerTakesTls12OnlyWithAeadSuitesOnBothListeners) {
  auto handshake = [&](int port, const QStringList& options, const std::string& bundle) {
    QProcess openssl;
    openssl.start("openssl", QStringList{"s_client", "-connect", QString("127.0.0.1:%1").arg(port),
                                         "-CAfile", QString::fromStdString(bundle + "ca.crt"), "-cert",
                                         QString::fromStdString(bundle + "client.crt"), "-key",
                                         QString::fromStdString(bundle + "client.key"),
                                         "-verify_return_error"} + options);
    openssl.closeWriteChannel();
    openssl.waitForFinished(10000);
    return openssl.exitCode() == 0 && openssl.exitStatus() == QProcess::NormalExit;
  };
  AddShop("tienda-1");
  const std::string shop = net_ + "shops/tienda-1/";
  for (const auto& [port, bundle] : {std::pair<int, std::string>{port_, shop}, {office_port_, net_}}) {
    for (const char* cbc : {"ECDHE-ECDSA-AES128-SHA", "ECDHE-ECDSA-AES256-SHA", "ECDHE-ECDSA-AES128-SHA256"})
      EXPECT_FALSE(handshake(port, {"-tls1_2", "-cipher", cbc}, bundle)) << cbc << " on " << port;
    EXPECT_FALSE(handshake(port, {"-tls1_1", "-cipher", "ALL:@SECLEVEL=0"}, bundle)) << "TLS 1.1";
    for (const char* aead : {"ECDHE-ECDSA-AES128-GCM-SHA256", "ECDHE-ECDSA-AES256-GCM-SHA384",
                             "ECDHE-ECDSA-CHACHA20-POLY1305"})
      EXPECT_TRUE(handshake(port, {"-tls1_2", "-cipher", aead}, bundle)) << aead << " on " << port;
    EXPECT_TRUE(handshake(port, {"-tls1_3"}, bundle)) << "TLS 1.3";
  }
  EXPECT_EQ(BrokerLog().find("Warning"), std::string::npos) << "its rules load cleanly: " << BrokerLog();
}

// Certificates start a day before they are made: one made by an office whose
// clock is ten hours ahead is taken; thirty hours, and the shop is told which
// clock to look at, in Spanish.
TEST_F(NetworkSecurityTest, ClocksADayApartStillWorkAndEachFaultIsToldWithItsCause) {
  ASSERT_EQ(quinterra::AddShop(net_, "adelantada", Now() + 10 * 3600), "");
  ASSERT_EQ(quinterra::AddShop(net_, "futura", Now() + 30 * 3600), "");
  ReloadBroker();
  const Attempt ahead = Connect(net_ + "shops/adelantada");
  EXPECT_TRUE(ahead.Connected) << ahead.Text;
  const Attempt beyond = Refused(net_ + "shops/futura", "¿la hora del servidor es correcta?");
  EXPECT_NE(beyond.Text.find("¿la hora del servidor es correcta?"), std::string::npos) << beyond.Text;

  // The broker by a name its certificate does not carry.
  const std::optional<TNetworkBundle> shop = LoadBundle(net_ + "shops/adelantada", nullptr);
  const Attempt named = Connect(*shop, "localhost", "x");
  EXPECT_FALSE(named.Connected);
  EXPECT_NE(named.Text.find("no es para «localhost»"), std::string::npos) << named.Text;

}

TEST_F(NetworkSecurityTest, ARotationReachesAShopThatWasAwayAndTheRetiredKeySignsNothing) {
  AddShop("tienda-1");
  const std::string bundle = net_ + "shops/tienda-1";
  ASSERT_EQ(Publish(DocumentA(), std::nullopt), 0);
  const TSigningKey retired = SigningKeyFromText(ReadWholeFile(net_ + "office-sign.key")).value();
  const std::string retired_public = ReadWholeFile(net_ + "office-sign.pub");

  ProgramResult run = Network({"rotate-key", net_});
  ASSERT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("desde la versión 2"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("firmado de nuevo como versión 2"), std::string::npos) << run.out;
  EXPECT_EQ(ReadWholeFile(net_ + "claves-retiradas/office-sign-1.pub"), retired_public);
  run = Network({"rotate-key", net_});
  ASSERT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("desde la versión 3"), std::string::npos) << run.out;

  // The shop, away during both, comes back: the retained chain takes it
  // from the key of its bundle to the current one.
  const std::vector<std::string> topics = {KeysTopic("cadena"), DocumentTopic("cadena")};
  std::map<std::string, std::string> got = Retained(bundle, topics);
  ASSERT_EQ(got.size(), 2u);
  const TVerifyKey pinned = VerifyKeyFromText(ReadWholeFile(bundle + "/office-sign.pub")).value();
  const TKeyChainResult followed = FollowKeyChain(got[KeysTopic("cadena")], {pinned, 0}, "cadena");
  EXPECT_EQ(followed.Taken, 2);
  EXPECT_EQ(followed.Trusted.Key, VerifyKeyFromText(ReadWholeFile(net_ + "office-sign.pub")).value());
  const TReadResult current = ReadWithTrustedKey(got[DocumentTopic("cadena")], followed.Trusted, "cadena", Now());
  EXPECT_EQ(current.Refusal, TRefusal::None);
  EXPECT_EQ(current.Publication->Version, 3);
  EXPECT_EQ(ReadWithTrustedKey(SignPublication(Publication(99, DocumentB()), retired), followed.Trusted,
                               "cadena", Now())
                .Refusal,
            TRefusal::UnknownKey);
  // Kept in its folder, and read back from there.
  SaveKeyChain(shops_["tienda-1"]->Work, got[KeysTopic("cadena")]);
  EXPECT_EQ(LoadTrustedKey(pinned, "cadena", shops_["tienda-1"]->Work, nullptr).Key, followed.Trusted.Key);

  // A shop cannot write the chain; the office's stays.
  const std::string forged = KeyChainMessage({SignKeyChange({"cadena", NewKeyPair().Public, 100, Now()}, retired)});
  PublishAs(bundle, KeysTopic("cadena"), forged);
  EXPECT_EQ(Retained(bundle, {KeysTopic("cadena")})[KeysTopic("cadena")], got[KeysTopic("cadena")]);
  // A shop made now pins the current key.
  AddShop("tienda-2");
  EXPECT_EQ(ReadWholeFile(net_ + "shops/tienda-2/office-sign.pub"), ReadWholeFile(net_ + "office-sign.pub"));
}

TEST_F(NetworkSecurityTest, AnAgentAwayDuringARotationTakesTheNewKeyAndRefusesTheRetiredOne) {
  TestShop& shop = AddShop("tienda-1");
  StartAgent(shop);
  ASSERT_EQ(Publish(DocumentA(), 30), 0);
  shop.Agent->Signal(SIGTERM);
  ASSERT_EQ(shop.Agent->WaitExit(10s), 0);
  const TSigningKey retired = SigningKeyFromText(ReadWholeFile(net_ + "office-sign.key")).value();
  ASSERT_EQ(Network({"rotate-key", net_}).exit, 0);
  StartAgent(shop);
  ASSERT_TRUE(WaitFor([](const TFleet& f) {
    const std::optional<TShopRow> row = f.Row("tienda-1");
    return row && row->Verdict == TVerdict::Fine && row->State->AppliedVersion == 2;
  })) << shop.Log();
  const std::string forged = SignPublication(Publication(99, DocumentB()), retired);
  PublishAs(net_, DocumentTopic("cadena"), forged);
  ASSERT_TRUE(WaitFor([&](const TFleet& f) {
    const std::optional<TShopRow> row = f.Row("tienda-1");
    return row && row->State && row->State->DocumentHash == DocumentHashOf(forged);
  })) << shop.Log();
  EXPECT_EQ(Row("tienda-1")->State->Refusal, "unknown_key");
  EXPECT_EQ(Display(shop, TPanel::Results), e2e::ImagesOf(DocumentA()).results);
}

TEST_F(NetworkSecurityTest, AShopsOwnWordsCannotDriveTheOfficesTerminal) {
  AddShop("tienda-1");
  TShopState state;
  state.Shop = "tienda-1";
  state.Network = "cadena";
  state.Time = Now();
  state.Version = 1;
  state.Result = "failed";
  state.Reason = "\x1b]0;oficina\x07\x1b[2J\rtienda-2: bien, en línea\n";
  PublishAs(net_ + "shops/tienda-1", StateTopic("cadena", "tienda-1"), StateJson(state));
  const ProgramResult run = Program(QUINTERRA_SEND, {"--network-state", "--network", net_});
  EXPECT_EQ(run.exit, 1);
  for (const char control : {'\x1b', '\x07', '\r'})
    EXPECT_EQ(run.out.find(control), std::string::npos) << run.out;
  EXPECT_EQ(Count(run.out, "\n"), 2u) << "the document's line and one for the shop: " << run.out;
  EXPECT_EQ(run.out.find("\ntienda-2"), std::string::npos) << run.out;
}

TEST_F(NetworkSecurityTest, TheAgentRefusesTheOfficesFolderAndInitNeverGuessesTheHost) {
  const ProgramResult agent = Program(QUINTERRA_AGENT, {"--network", net_, "--folder", folder_.Path().string()});
  EXPECT_EQ(agent.exit, 2);
  EXPECT_NE(agent.out.find("es la carpeta de la oficina, no la de una tienda"), std::string::npos) << agent.out;
  const ProgramResult init = Network({"init", folder_.File("otra"), "--name", "otra"});
  EXPECT_EQ(init.exit, 2);
  EXPECT_NE(init.out.find("init necesita --host SERVIDOR"), std::string::npos) << init.out;
  EXPECT_FALSE(std::filesystem::exists(folder_.File("otra")));
}

}  // namespace
}  // namespace quinterra::test
