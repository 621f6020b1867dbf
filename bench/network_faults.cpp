// The network's fault matrix (bench/network-faults.sh): the real broker,
// quinterra-agent processes and emulated panels, each fault made as it
// happens in a chain of shops, and for each one: the seconds until every
// shop's report tells the truth again, the office's verdicts against the
// bytes read straight from the emulators (shops "bien" that are not, and
// alarms once settled), and the messages per minute the faulty shop
// published. One line per fault:
//
//   RESULT fault=<name> settle_s=<s> false_fine=<n> alarms=<n> per_minute=<n>

#include <signal.h>
#include <sys/stat.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "network/names.h"
#include "platform/file_io.h"
#include "tests/e2e/sample_document.h"
#include "tests/network/network_fixture.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kSettleHold = 3s;
constexpr auto kLongest = 150s;

class FaultMatrix : public NetworkTest {
 protected:
  // Two shops, checked every 5 s, both fine with a first document.
  void SetUpShops() {
    for (const char* id : {"tienda-1", "tienda-2"}) StartAgent(AddShop(id), {"--check-every", "5"});
    std::string out;
    ASSERT_EQ(Publish(e2e::VariedDocumentTexts(1), 30, &out), 0) << out;
    CountFaultyMessages();
  }
  // Every state the faulty shop publishes, as the office receives it.
  void CountFaultyMessages() {
    Office().OnMessage = [this](const std::string& topic) {
      if (topic == StateTopic("cadena", "tienda-1")) ++faulty_messages_;
    };
  }
  // What the panels of a shop really hold, against the latest document.
  bool ShowsTheDocument(const std::string& shop) {
    const std::optional<TPublication>& document = Office().Fleet().Document();
    if (!document) return false;
    const PanelImages images = PublicationImages(*document);
    return Display(*shops_[shop], TPanel::Results) == images.results &&
           Display(*shops_[shop], TPanel::Jackpots) == images.jackpots;
  }
  // Watches until every shop's verdict is what it should be (expected for
  // the faulty shop, else fine exactly when its panels show the document)
  // and stays so for a while; prints the row.
  void Measure(const std::string& fault, std::function<TVerdict()> expected_faulty = nullptr) {
    const auto start = Clock::now();
    std::optional<Clock::time_point> consistent_since;
    int false_fine = 0, alarms = 0;
    faulty_messages_ = 0;
    while (Clock::now() - start < kLongest) {
      Spin(100ms);
      bool consistent = true;
      for (const char* id : {"tienda-1", "tienda-2"}) {
        const std::optional<TShopRow> row = Row(id);
        const TVerdict verdict = row ? row->Verdict : TVerdict::Unknown;
        const bool truth = ShowsTheDocument(id);
        const bool faulty = std::string(id) == "tienda-1" && expected_faulty;
        const TVerdict expected = faulty ? expected_faulty() : truth ? TVerdict::Fine : TVerdict::Failing;
        if (verdict == TVerdict::Fine && !truth) ++false_fine;
        const bool same = verdict == expected || (!faulty && !truth && verdict != TVerdict::Fine);
        if (consistent_since && !same && VerdictTone(verdict) == TVerdictTone::Bad && truth) ++alarms;
        consistent = consistent && same;
      }
      if (!consistent) consistent_since.reset();
      else if (!consistent_since) consistent_since = Clock::now();
      if (consistent_since && Clock::now() - *consistent_since >= kSettleHold) break;
    }
    const auto settled = (consistent_since ? *consistent_since : Clock::now()) - start;
    const double minutes = std::chrono::duration<double>(Clock::now() - start).count() / 60;
    std::printf("RESULT fault=%s settle_s=%.1f false_fine=%d alarms=%d per_minute=%.1f%s\n", fault.c_str(),
                std::chrono::duration<double>(settled).count(), false_fine / 10, alarms / 10,
                faulty_messages_ / minutes, consistent_since ? "" : " unsettled=1");
    std::fflush(stdout);
  }
  TestShop& Faulty() { return *shops_["tienda-1"]; }
  void RestartFaultyAgent(const std::vector<std::string>& prefix = {}) {
    TestShop& shop = Faulty();
    if (prefix.empty()) {
      StartAgent(shop, {"--check-every", "5"});
      return;
    }
    shop.Agent = std::make_unique<ChildProcess>();
    std::vector<std::string> arguments = prefix;
    arguments.insert(arguments.end(), {QUINTERRA_AGENT, "--network", shop.Bundle, "--folder", shop.Work,
                                       "--check-every", "5"});
    ASSERT_TRUE(shop.Agent->Start(arguments[0], {arguments.begin() + 1, arguments.end()}, shop.Work + "agent.log"));
  }
  // Publishes without waiting; the publication's moment.
  void PublishNow(int seed) {
    std::string out;
    ASSERT_EQ(Publish(e2e::VariedDocumentTexts(seed), std::nullopt, &out), 0) << out;
  }
  int faulty_messages_ = 0;
};

TEST_F(FaultMatrix, AgentKilledMidDelivery) {
  SetUpShops();
  PublishNow(2);
  const auto end = Clock::now() + 10s;
  while (Faulty().Log().find("entregando la versión 2") == std::string::npos && Clock::now() < end) Spin(5ms);
  Faulty().Agent->Signal(SIGKILL);
  Faulty().Agent->WaitExit(5s);
  RestartFaultyAgent();
  Measure("agente_matado_entregando");
}

TEST_F(FaultMatrix, AgentRestarted) {
  SetUpShops();
  Faulty().Agent->Signal(SIGTERM);
  Faulty().Agent->WaitExit(10s);
  RestartFaultyAgent();
  Measure("agente_reiniciado");
}

TEST_F(FaultMatrix, BrokerKilledAfterAPublicationAndItsDataLost) {
  SetUpShops();
  PublishNow(2);
  Spin(200ms);
  office_.reset();
  broker_->Signal(SIGKILL);
  broker_->WaitExit(5s);
  std::filesystem::remove_all(net_ + "broker/data");
  std::filesystem::create_directories(net_ + "broker/data");
  StartBroker();
  CountFaultyMessages();
  Measure("servidor_caido_sin_datos");
}

TEST_F(FaultMatrix, DevicePowerCycledBlank) {
  SetUpShops();
  TestShop& shop = Faulty();
  const int port = shop.Results->TcpPort();
  shop.Results.reset();
  std::filesystem::remove_all(shop.Work + "dev1");
  shop.Results = std::make_unique<EmulatorProcess>();
  ASSERT_TRUE(shop.Results->StartAndAnnounce({"--tcp", std::to_string(port), "--address", "1", "--dump",
                                              shop.Work + "dev1"}));
  Measure("equipo_apagado_en_blanco");
}

TEST_F(FaultMatrix, PanelOverwrittenByALocalSending) {
  SetUpShops();
  std::string out;
  ASSERT_EQ(SendAtShop(Faulty(), e2e::VariedDocumentTexts(7), &out), 0) << out;
  Measure("envio_local_encima");
}

TEST_F(FaultMatrix, ShopClockSixteenMinutesBehind) {
  SetUpShops();
  Faulty().Agent->Signal(SIGTERM);
  Faulty().Agent->WaitExit(10s);
  RestartFaultyAgent({"faketime", "-f", "-16m"});
  Spin(2s);
  PublishNow(2);
  Measure("reloj_16_min_atrasado");
}

TEST_F(FaultMatrix, VersionFileCorruptThenUnwritable) {
  SetUpShops();
  TestShop& shop = Faulty();
  shop.Agent->Signal(SIGTERM);
  shop.Agent->WaitExit(10s);
  WriteFileAtomically(shop.Work + "red-version.txt", "basura\n");
  RestartFaultyAgent();
  Measure("red_version_corrupto");
  std::filesystem::remove(shop.Work + "red-version.txt");
  std::filesystem::create_directory(shop.Work + "red-version.txt");
  PublishNow(2);
  Measure("red_version_no_escribible", [] { return TVerdict::CannotSave; });
  std::filesystem::remove(shop.Work + "red-version.txt");
}

TEST_F(FaultMatrix, TwoAgentsWithOneBundle) {
  SetUpShops();
  ChildProcess second;
  TestShop& shop = Faulty();
  ASSERT_TRUE(second.Start(QUINTERRA_AGENT, {"--network", shop.Bundle, "--folder", shop.Work, "--check-every", "5"},
                           shop.Work + "agent2.log"));
  Measure("dos_agentes", [] { return TVerdict::TwoAgents; });
}

TEST_F(FaultMatrix, NoEquiposIni) {
  SetUpShops();
  TestShop& shop = Faulty();
  std::filesystem::rename(shop.Work + "equipos.ini", shop.Work + "equipos.ini.aparte");
  PublishNow(2);
  Measure("sin_equipos_ini", [] { return TVerdict::NoDevice; });
  std::filesystem::rename(shop.Work + "equipos.ini.aparte", shop.Work + "equipos.ini");
  Measure("equipos_ini_de_vuelta");
}

}  // namespace
}  // namespace quinterra::test

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
