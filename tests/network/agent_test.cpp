// The shop's agent on the simulated clock: its real delivery against
// emulated devices, the test broker, and what it publishes and writes when
// it restarts, fails, retries, checks, and meets documents out of time.

#include <gtest/gtest.h>

#include <algorithm>

#include "network/applied_version.h"
#include "network/fleet.h"
#include "network/key_change.h"
#include "network/names.h"
#include "platform/file_io.h"
#include "tests/network/agent_rig.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;

class AgentTest : public ::testing::Test {
 protected:
  PanelImages Images(int seed) {
    TPublication p;
    p.Items = ValidItems(seed);
    return PublicationImages(p);
  }
  // equipos.ini with the results device at another port, where nobody answers.
  void ResultsDeviceGone() {
    WriteFileAtomically(rig.Folder() + "equipos.ini",
                        "[0]\r\nNombre=R\r\nCOMIP=127.0.0.1\r\nSpeedPort=17009\r\nNumDispositivo=1\r\nSelected=*\r\n"
                        "[1]\r\nNombre=B\r\nCOMIP=127.0.0.1\r\nSpeedPort=17002\r\nNumDispositivo=2\r\nSelected=*\r\n");
  }
  int Count(const std::string& text) const {
    const std::string log = rig.Log();
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
  AgentRig rig;
};

TEST_F(AgentTest, ARestartedAgentReadsItsPanelsBackAndWritesOnlyWhatTheyLost) {
  rig.StartAgent();
  rig.Publish(1, ValidItems(1));
  rig.Run(10s);
  ASSERT_EQ(rig.State()->Result, "verified") << rig.Log();
  const int writes = rig.Writes();
  const std::string first_instance = rig.State()->Instance;

  // The shop's PC boots again: its panels hold the document byte for byte.
  rig.StopAgent();
  rig.StartAgent();
  rig.Run(10s);
  TShopState state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_EQ(state.Results.Status, TPanelStatus::Verified);
  EXPECT_EQ(state.Jackpots.Status, TPanelStatus::Verified);
  EXPECT_EQ(state.Results.Version, 1);
  EXPECT_NE(state.Instance, first_instance);
  EXPECT_GT(state.Checked, 0);
  EXPECT_EQ(rig.Writes(), writes) << "read back, nothing written";

  // Before the next boot, a local ENVIAR put something else on the jackpots panel.
  rig.StopAgent();
  rig.Jackpots->Device->Display()[7] ^= 0x5A;
  rig.StartAgent();
  rig.Run(10s);
  state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_NE(state.Restored.find("Panel Botes mostraba otro contenido"), std::string::npos) << state.Restored;
  EXPECT_EQ(rig.Display(false), Images(1).jackpots);
  EXPECT_GT(rig.Writes(), writes);
}

TEST_F(AgentTest, AFailedAttemptWaitsItsTimeAndTheRetryWritesOnlyThePanelThatFailed) {
  ResultsDeviceGone();
  rig.StartAgent();
  rig.Publish(1, ValidItems(1));
  rig.Run(20s);
  const std::vector<TestBroker::Sent> states = rig.broker.LogOf(StateTopic("cadena", "t1"));
  ASSERT_GE(states.size(), 2u) << rig.Log();
  TShopState first = ParseStateJson(states[0].Payload).value();
  EXPECT_EQ(first.Result, "failed");
  EXPECT_EQ(first.RetryIn, 5);
  EXPECT_EQ(first.Jackpots.Status, TPanelStatus::Verified);
  // One state per attempt, each after the back-off: 5 s, then 10 s.
  ASSERT_LE(states.size(), 3u);
  EXPECT_GE(states[1].At - states[0].At, 5s);
  if (states.size() == 3) {
    EXPECT_GE(states[2].At - states[1].At, 10s);
  }
  EXPECT_EQ(Count("entregando la versión 1"), static_cast<int>(states.size()));
  const auto jackpots_writes = std::count_if(rig.lines.sent.begin(), rig.lines.sent.end(), [](const auto& f) {
    return f.Link == "127.0.0.1:17002" && f.Command() == 0x10;
  });
  const int jackpots_attempt_writes = jackpots_writes;  // all from the first attempt
  rig.Run(60s);
  EXPECT_EQ(std::count_if(rig.lines.sent.begin(), rig.lines.sent.end(),
                          [](const auto& f) { return f.Link == "127.0.0.1:17002" && f.Command() == 0x10; }),
            jackpots_attempt_writes)
      << "the verified panel is not written again";
}

TEST_F(AgentTest, WithoutEquiposIniItSaysSoOnceAnAttemptAndTriesAgainWhenTheFileComes) {
  std::filesystem::remove(rig.Folder() + "equipos.ini");
  rig.StartAgent();
  rig.Publish(1, ValidItems(1));
  rig.Run(12s);
  const std::vector<TShopState> states = rig.States();
  ASSERT_EQ(states.size(), 2u) << "attempts at 0 s and 5 s\n" << rig.Log();
  EXPECT_EQ(states[0].Result, "no_device");
  EXPECT_NE(states[0].Reason.find("equipos.ini"), std::string::npos) << states[0].Reason;
  EXPECT_LE(rig.LogLines.size(), 12u) << rig.Log();
  // The operator makes the file: the next attempt follows within a tick,
  // not after the 10 s the back-off had left.
  WriteFileAtomically(rig.Folder() + "equipos.ini",
                      "[0]\r\nNombre=R\r\nCOMIP=127.0.0.1\r\nSpeedPort=17001\r\nNumDispositivo=1\r\nSelected=*\r\n");
  rig.Run(5s);
  TShopState state = rig.State().value();
  EXPECT_EQ(state.Results.Status, TPanelStatus::Verified) << rig.Log();
  EXPECT_EQ(state.Jackpots.Status, TPanelStatus::NoDevice);
  EXPECT_EQ(state.Result, "no_device");
  EXPECT_NE(state.Reason.find("Botes"), std::string::npos);
  EXPECT_EQ(state.AppliedVersion, 1) << "applied where it has a device";
  // A shop that lists only the panels it has is fine with that.
  rig.StopAgent();
  rig.StartAgent([](TAgentSettings& s) { s.HasJackpots = false; });
  rig.Run(10s);
  state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_EQ(state.Jackpots.Status, TPanelStatus::NotRequested);
}

TEST_F(AgentTest, DuplicatesAndADocumentNewerThanTheOneBeingDeliveredEndWithTheNewestOnce) {
  rig.StartAgent();
  rig.Run(1s);
  rig.broker.DuplicateNext = 1;
  rig.Publish(1, ValidItems(1));
  rig.Run(300ms);
  rig.Publish(2, ValidItems(2));
  rig.Run(15s);
  const TShopState state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_EQ(state.AppliedVersion, 2);
  EXPECT_EQ(rig.Display(true), Images(2).results);
  EXPECT_EQ(Count("entregando la versión 1"), 1) << rig.Log();
  EXPECT_EQ(Count("entregando la versión 2"), 1);
  for (const TShopState& s : rig.States()) EXPECT_EQ(s.Version, 2) << "the superseded one does not report";
  EXPECT_EQ(ReadWholeFile(rig.Folder() + kAppliedVersionFile).substr(0, 2), "2 ");
}

TEST_F(AgentTest, AStopDuringADeliveryLetsItEndReportsThenSaysOffline) {
  rig.StartAgent();
  rig.Publish(1, ValidItems(1));
  rig.Run(500ms);
  ASSERT_EQ(rig.Agent().Phase(), TAgentPhase::Delivering);
  rig.StopAgent();
  const std::vector<TestBroker::Sent>& log = rig.broker.Log;
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.back().Topic, OnlineTopic("cadena", "t1"));
  EXPECT_EQ(log.back().Payload, "0");
  EXPECT_EQ(ParseStateJson(log[log.size() - 2].Payload).value().Result, "verified");
}

TEST_F(AgentTest, TheCheckRestoresWhatDiffersOrWentBlankAndOnlyReportsWhenToldNotToCorrect) {
  rig.StartAgent([](TAgentSettings& s) { s.CheckEvery = 60s; });
  rig.Publish(1, ValidItems(1));
  rig.Run(10s);
  ASSERT_EQ(rig.State()->Result, "verified");
  std::vector<uint8_t>& jackpots = rig.Jackpots->Device->Display();
  std::fill(jackpots.begin(), jackpots.end(), 0);  // a power cut emptied it
  rig.Results->Device->Display()[3] ^= 0x11;       // the program sent something else
  rig.Run(60s);
  TShopState state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_NE(state.Restored.find("restaurado a las "), std::string::npos) << state.Restored;
  EXPECT_NE(state.Restored.find("Panel Resultados mostraba otro contenido"), std::string::npos);
  EXPECT_NE(state.Restored.find("Panel Botes estaba en blanco"), std::string::npos);
  EXPECT_EQ(rig.Display(true), Images(1).results);
  EXPECT_EQ(rig.Display(false), Images(1).jackpots);
  EXPECT_GE(state.Checked, rig.Now() - 60);

  rig.StopAgent();
  rig.StartAgent([](TAgentSettings& s) {
    s.CheckEvery = 60s;
    s.Correct = false;
  });
  rig.Run(10s);
  const int writes = rig.Writes();
  rig.Results->Device->Display()[3] ^= 0x11;
  rig.Run(60s);
  state = rig.State().value();
  EXPECT_EQ(state.Result, "different") << rig.Log();
  EXPECT_NE(state.Reason.find("Corregir=0"), std::string::npos);
  EXPECT_EQ(rig.Writes(), writes);
}

TEST_F(AgentTest, TheAppliedVersionNeverGoesBackAndAFileThatCannotBeSavedIsReported) {
  // The file is gone, but the shop's last state on the broker says 5.
  TShopState kept;
  kept.Shop = "t1";
  kept.Network = "cadena";
  kept.Result = "verified";
  kept.Version = kept.AppliedVersion = 5;
  kept.DocumentHash = "abc";
  rig.broker.Retained[StateTopic("cadena", "t1")] = StateJson(kept);
  rig.Publish(4, ValidItems(4));
  rig.Run(10ms);
  rig.StartAgent();
  rig.Run(5s);
  TShopState state = rig.State().value();
  EXPECT_EQ(state.Result, "refused") << rig.Log();
  EXPECT_EQ(state.Refusal, "old_version");
  EXPECT_EQ(state.AppliedVersion, 5);
  EXPECT_EQ(rig.Writes(), 0);
  EXPECT_EQ(ReadWholeFile(rig.Folder() + kAppliedVersionFile).substr(0, 2), "5 ");

  // red-version.txt cannot be written: the panels are right, the state says what is wrong.
  std::filesystem::remove(rig.Folder() + kAppliedVersionFile);
  std::filesystem::create_directory(rig.Folder() + kAppliedVersionFile);
  rig.Publish(6, ValidItems(6));
  rig.Run(10s);
  state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_NE(state.Problem.find("no se puede guardar la versión aplicada"), std::string::npos) << state.Problem;
  TFleet fleet("cadena", rig.Office.Public);
  fleet.Clock = [this] { return rig.Now(); };
  fleet.Message(DocumentTopic("cadena"), rig.broker.Retained[DocumentTopic("cadena")]);
  fleet.Message(OnlineTopic("cadena", "t1"), "1");
  fleet.Message(StateTopic("cadena", "t1"), StateJson(state));
  EXPECT_EQ(fleet.Row("t1")->Verdict, TVerdict::CannotSave);
  // Once it can be written again, the state says so.
  std::filesystem::remove(rig.Folder() + kAppliedVersionFile);
  rig.Run(3s);
  EXPECT_EQ(rig.State()->Problem, "");
  EXPECT_EQ(ReadWholeFile(rig.Folder() + kAppliedVersionFile).substr(0, 2), "6 ");
}

TEST_F(AgentTest, TimeIsJudgedAgainFutureDocumentsWaitAndExpiredOnesStayShown) {
  rig.StartAgent();
  rig.Publish(1, ValidItems(1), 20 * 60, 30 * 60);
  rig.Run(5s);
  TShopState state = rig.State().value();
  EXPECT_EQ(state.Refusal, "not_yet_valid");
  EXPECT_NE(state.Reason.find("el reloj de esta tienda va 20 minutos por detrás del de la oficina"),
            std::string::npos) << state.Reason;
  EXPECT_EQ(rig.Writes(), 0);
  rig.Run(5min);  // within the 15 minutes the clocks may differ
  state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_FALSE(state.Expired);
  // Its 30 minutes of life and the 15 the clocks may differ later, it has
  // expired, and stays.
  rig.Run(65min);
  state = rig.State().value();
  EXPECT_TRUE(state.Expired) << rig.Log();
  EXPECT_EQ(rig.Display(true), Images(1).results);
  // Restarted then, it still shows it, expired, and says so: not refused.
  rig.StopAgent();
  rig.StartAgent();
  rig.Run(10s);
  state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_TRUE(state.Expired);

  // A document that expires while its delivery keeps failing is dropped.
  ResultsDeviceGone();
  rig.Publish(2, ValidItems(2), 0, 60);
  rig.Run(20min);
  const std::vector<TShopState> states = rig.States();
  EXPECT_TRUE(std::any_of(states.begin(), states.end(),
                          [](const TShopState& s) { return s.Version == 2 && s.Refusal == "expired"; }))
      << rig.Log();
  const int attempts = Count("entregando la versión 2");
  rig.Run(20min);
  EXPECT_EQ(Count("entregando la versión 2"), attempts);
}

TEST_F(AgentTest, ADocumentWhoseCellsAreWrongIsRefusedNamingTheCell) {
  rig.StartAgent();
  std::vector<std::string> items = ValidItems(1);
  items[0] = "-1";
  rig.Publish(1, items);
  rig.Run(3s);
  const TShopState state = rig.State().value();
  EXPECT_EQ(state.Refusal, "malformed");
  EXPECT_NE(state.Reason.find("la casilla 1 del panel Resultados"), std::string::npos) << state.Reason;
  EXPECT_EQ(rig.Writes(), 0);
}

TEST_F(AgentTest, AnAgentAwayDuringARotationTakesTheNewKeyAndTheRetiredOneSignsNothing) {
  rig.StartAgent();
  rig.Publish(1, ValidItems(1));
  rig.Run(10s);
  rig.StopAgent();
  const TKeyPair retired = rig.Office, next = NewKeyPair();
  rig.broker.Publish(KeysTopic("cadena"),
                     KeyChainMessage({SignKeyChange({"cadena", next.Public, 2, rig.Now()}, retired.Secret)}),
                     true);
  rig.Office = next;
  rig.Publish(2, ValidItems(2));
  rig.StartAgent();
  rig.Run(10s);
  TShopState state = rig.State().value();
  EXPECT_EQ(state.Result, "verified") << rig.Log();
  EXPECT_EQ(state.AppliedVersion, 2);
  EXPECT_TRUE(FileExists(rig.Folder() + kKeyChainFile)) << "kept for the next start";
  rig.Office = retired;
  rig.Publish(9, ValidItems(3));
  rig.Run(3s);
  state = rig.State().value();
  EXPECT_EQ(state.Refusal, "unknown_key") << rig.Log();
  EXPECT_EQ(rig.Display(true), Images(2).results);
}

TEST_F(AgentTest, AConnectionTakenOverRightAfterConnectingBacksOffInsteadOfFighting) {
  rig.StartAgent();
  for (int i = 0; i < 3; ++i) {
    rig.Run(1500ms);
    ASSERT_TRUE(rig.Transport->Connected());
    rig.broker.Drop(*rig.Transport);
  }
  rig.Run(10ms);
  EXPECT_EQ(Count("otra copia de esta tienda está conectada con la misma identidad"), 1) << rig.Log();
  ASSERT_EQ(rig.Transport->HoldOffs.size(), 1u);
  EXPECT_EQ(rig.Transport->HoldOffs[0], 60s);
}

}  // namespace
}  // namespace quinterra::test
