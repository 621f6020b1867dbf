#pragma once
// A network made by quinterra-network's own code in a temporary folder, its
// broker (the real mosquitto, with the made configuration, on a free
// loopback port), shops with two emulated panels each (quinterra-emulator
// on 127.0.0.1) and their quinterra-agent processes, and the office's
// session in this process.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "network/office_client.h"
#include "platform/qt_interval_timer.h"
#include "network/publication.h"
#include "devices/panel_types.h"
#include "panels/display_image.h"
#include "platform/file_io.h"
#include "tests/support/emulator_process.h"
#include "tests/support/temp_folder.h"

namespace quinterra::test {

// Runs the event loop for a while (the clients' events come through it).
void Spin(std::chrono::milliseconds time);

// A program run by a test, killed with the object whatever happened.
class ChildProcess {
 public:
  ~ChildProcess();
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& output_path);
  void Signal(int signal_number);
  std::optional<int> WaitExit(std::chrono::milliseconds wait);
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

struct TestShop {
  std::string Id;
  std::string Bundle;  // the network's shops/ID
  std::string Work;    // equipos.ini, the agent's log, the emulators' dumps
  std::unique_ptr<EmulatorProcess> Results, Jackpots;
  std::unique_ptr<ChildProcess> Agent;
  std::string Log() const;
};

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void StartBroker();
  void StopBroker();
  // SIGHUP: the broker reads its rules and its CRL again (a shop added or
  // removed), keeping every connection.
  void ReloadBroker();
  // Stops the broker, throws its persistence away and starts it again: what
  // it had retained is gone.
  void RestartBrokerWithoutData();
  // results_options: more options of the results panel's emulator;
  // results_on_serial: that emulator on a pseudo-terminal, as COM201 at 9600 baud.
  TestShop& AddShop(const std::string& id, const std::vector<std::string>& results_options = {},
                    bool results_on_serial = false);
  void StartAgent(TestShop& shop, const std::vector<std::string>& options = {});
  // quinterra-send in the shop's folder (its own ENVIAR): the exit status.
  int SendAtShop(const TestShop& shop, const std::vector<std::string>& texts, std::string* out = nullptr);
  // The bytes of a panel's display memory, as long as its image.
  Bytes Display(const TestShop& shop, TPanel panel) const;

  // quinterra-send --publish (the program): its exit status, what it
  // printed into *out.
  int Publish(const std::vector<std::string>& texts, std::optional<int> wait, std::string* out = nullptr);
  // quinterra-send with these arguments: its exit status, what it printed
  // (standard output and error) into *out.
  int RunSend(const std::vector<std::string>& arguments, std::string* out = nullptr,
              std::chrono::seconds wait = std::chrono::seconds(30));
  // A message signed with the office's key (or another), as the office would.
  TPublication Publication(int64_t version, const std::vector<std::string>& texts) const;
  std::string Sign(const TPublication& publication) const;
  // Publishes with the certificate of bundle, waiting for the broker's
  // acknowledgement (which it gives even to what it drops).
  void PublishAs(const std::string& bundle, const std::string& topic, const std::string& payload);

  // The office's view, kept open (it leaves the broker's document as it
  // finds it); waits until done holds.
  TOfficeClient& Office();
  bool WaitFor(const std::function<bool(const TFleet&)>& done,
               std::chrono::milliseconds wait = std::chrono::seconds(20));
  std::optional<TShopRow> Row(const std::string& shop) { return Office().Fleet().Row(shop); }

  // How the shops name the broker (its certificate's name); it listens on
  // 127.0.0.1 whatever the name.
  std::string broker_host_ = "127.0.0.1";
  TempFolder folder_;
  std::string net_;  // the network's folder, ending in '/'
  int port_ = 0;         // the shops'
  int office_port_ = 0;  // the office's
  std::unique_ptr<ChildProcess> broker_;
  std::map<std::string, std::unique_ptr<TestShop>> shops_;
  QtTimerFactory timers_;
  std::unique_ptr<TOfficeClient> office_;
};

// The filled document of the end-to-end tests, and another one.
std::vector<std::string> DocumentA();
std::vector<std::string> DocumentB();

}  // namespace quinterra::test
