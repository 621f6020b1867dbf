#pragma once
// A shop's agent on the simulated clock: the real delivery (device sessions,
// cycle, engine) against two in-process emulated devices, the results panel
// at 127.0.0.1:17001 and the jackpots panel at 127.0.0.1:17002, listed in
// the equipos.ini of a temporary folder, and the test broker. Agents can be
// stopped and started again on the same devices, folder and broker, as a
// shop's machine restarts.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "network/panel_delivery.h"
#include "network/publication.h"
#include "network/shop_agent.h"
#include "network/shop_state.h"
#include "platform/simulated_clock.h"
#include "tests/devices_cycle/emulated_lines.h"
#include "tests/network/test_broker.h"
#include "tests/support/temp_folder.h"

namespace quinterra::test {

// The simulated clock's zero, in seconds since 1970.
constexpr int64_t kEpoch = 1'800'000'000;

class AgentRig {
 public:
  AgentRig();
  ~AgentRig();

  // Starts an agent (a new instance) with these settings' changes.
  void StartAgent(const std::function<void(TAgentSettings&)>& change = nullptr);
  // Stops it the way SIGTERM does and waits for it.
  void StopAgent();
  TShopAgent& Agent() { return *agent_; }

  // Signs and publishes a document (retained) as the office does.
  std::string Publish(int64_t version, const std::vector<std::string>& items,
                      int64_t published_offset = 0, int64_t lifetime = kDefaultLifetimeSeconds);
  void Run(std::chrono::milliseconds time) { clock.Advance(time); }
  int64_t Now() const;

  // What the shop last reported on its retained state topic.
  std::optional<TShopState> State() const;
  // The states it published, in order.
  std::vector<TShopState> States() const;
  // Memory writes the devices received.
  int Writes() const;
  std::vector<uint8_t> Display(bool results);
  const std::string& Folder() const { return folder_; }
  std::string Log() const;

  SimulatedClock clock;
  TestBroker broker{clock};
  cycle_test::EmulatedLines lines{clock};
  cycle_test::LineDevice* Results = nullptr;
  cycle_test::LineDevice* Jackpots = nullptr;
  TKeyPair Office = NewKeyPair();
  // The office's key as the shop's bundle pins it.
  TVerifyKey Pinned = Office.Public;
  std::vector<std::string> LogLines;
  std::unique_ptr<TestBroker::Client> Transport;

 private:
  TempFolder temp_;
  std::string folder_;
  std::unique_ptr<TPanelDelivery> delivery_;
  std::unique_ptr<TShopAgent> agent_;
};

// Valid documents that differ: every cell holds a value of its kind.
std::vector<std::string> ValidItems(int seed);

}  // namespace quinterra::test
