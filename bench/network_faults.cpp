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
#include <stdlib.h>
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

constexpr auto kWindow = 30s;

class FaultMatrix : public NetworkTest {
 protected:
  // Two shops, checked every 5 s, both fine with a first document.
  void SetUpShops() {
    for (const char* id : {"tienda-1", "tienda-2"}) StartAgent(AddShop(id), {"--check-every", "5"});
    std::string out;
    reference_ = e2e::VariedDocumentTexts(1);
    ASSERT_EQ(Publish(reference_, 30, &out), 0) << out;
    CountFaultyMessages();
  }
  // Every state the faulty shop publishes, as the office receives it.
  void CountFaultyMessages() {
    Office().OnShopChanged = [this](const std::string& shop) {
      if (shop == "tienda-1") ++faulty_messages_;
    };
  }
  // What the panels of a shop really hold, against what the office published last.
  bool ShowsTheDocument(const std::string& shop) {
    const PanelImages images = e2e::ImagesOf(reference_);
    return Display(*shops_[shop], TPanel::Results) == images.results &&
           Display(*shops_[shop], TPanel::Jackpots) == images.jackpots;
  }
  // Watches for window: every shop's verdict should be the truth (for the
  // faulty shop, expected when given; else fine exactly when its panels
  // show what the office published). Prints the row: when the last stretch
  // of truth began, the samples (tenths of a second) that showed a shop
  // "bien" whose panels were wrong, the red ones once the truth had been
  // reached, and the faulty shop's states per minute.
  void Measure(const std::string& fault, std::function<TVerdict()> expected_faulty = nullptr,
               std::chrono::seconds window = kWindow) {
    const auto start = Clock::now();
    std::optional<Clock::time_point> truth_since;
    bool reached = false;
    int false_fine = 0, alarms = 0;
    faulty_messages_ = 0;
    while (Clock::now() - start < window) {
      Spin(100ms);
      bool consistent = true;
      for (const char* id : {"tienda-1", "tienda-2"}) {
        const std::optional<TShopRow> row = Row(id);
        const TVerdict verdict = row ? row->Verdict : TVerdict::Unknown;
        const bool truth = ShowsTheDocument(id);
        const bool faulty = std::string(id) == "tienda-1" && expected_faulty;
        if (verdict == TVerdict::Fine && !truth) ++false_fine;
        const bool right = faulty ? verdict == expected_faulty() : (verdict == TVerdict::Fine) == truth;
        if (reached && truth && !right && VerdictTone(verdict) == TVerdictTone::Bad) ++alarms;
        consistent = consistent && right;
      }
      if (!consistent) truth_since.reset();
      else if (!truth_since) truth_since = Clock::now();
      reached = reached || consistent;
    }
    const double settle = truth_since ? std::chrono::duration<double>(*truth_since - start).count() : -1;
    const double minutes = std::chrono::duration<double>(Clock::now() - start).count() / 60;
    std::printf("RESULT fault=%s settle_s=%.1f false_fine=%d alarms=%d per_minute=%.1f%s\n", fault.c_str(),
                std::max(settle, 0.0), false_fine, alarms, faulty_messages_ / minutes,
                truth_since ? "" : " unsettled=1");
    std::fflush(stdout);
  }
  TestShop& Faulty() { return *shops_["tienda-1"]; }
  // With a clock offset ("-16m"): libfaketime in the agent itself (its
  // faketime program would leave the agent behind when killed).
  void RestartFaultyAgent(const char* clock_offset = nullptr) {
    if (clock_offset) {
      setenv("LD_PRELOAD", "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1", 1);
      setenv("FAKETIME", clock_offset, 1);
    }
    StartAgent(Faulty(), {"--check-every", "5"});
    unsetenv("LD_PRELOAD");
    unsetenv("FAKETIME");
  }
  // Publishes without waiting; the publication's moment.
  void PublishNow(int seed) {
    std::string out;
    reference_ = e2e::VariedDocumentTexts(seed);
    ASSERT_EQ(Publish(reference_, std::nullopt, &out), 0) << out;
  }
  int faulty_messages_ = 0;
  std::vector<std::string> reference_;
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
  // The office's next session (the window, a publication, a look at the
  // network's state) gives the broker its kept publication again.
  ChildProcess office;
  ASSERT_TRUE(office.Start(QUINTERRA_SEND, {"--network-state", "--network", net_}, folder_.File("state.out")));
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
  RestartFaultyAgent("-16m");
  Spin(2s);
  PublishNow(2);
  Measure("reloj_16_min_atrasado", nullptr, 100s);
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
  Measure("dos_agentes", [] { return TVerdict::TwoAgents; }, 60s);
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
