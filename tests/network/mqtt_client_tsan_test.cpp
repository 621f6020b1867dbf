// The broker connection as its owners meet it: stopping and destroying it
// never hold the owner's thread, whether the broker is up, absent, killed,
// or at an address that never answers, and it comes back by itself when
// the broker does. Run under ThreadSanitizer too: the only other thread is
// the lookup of a broker named by a host name.

#include <signal.h>

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <ctime>

#include "network/bundle.h"
#include "network/mqtt_client.h"
#include "tests/e2e/stalled_listener.h"
#include "tests/network/network_fixture.h"

// OpenSSL is not built with ThreadSanitizer: it counts references to its
// contexts and certificate stacks with atomics the sanitizer cannot see, so
// an SSL object made on one name lookup's thread and freed by the library on
// the next lookup's thread looks like a race. Races with an OpenSSL frame are
// not reported; ours still are.
extern "C" const char* __tsan_default_suppressions() { return "race:libcrypto.so\nrace:libssl.so\n"; }

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kStopBound = 100ms;

class MqttClientTest : public NetworkTest {
 protected:
  // The office's client (on the office's listener), or at another port.
  TMqttSettings Settings(const std::string& host, int port = 0) {
    TMqttSettings settings = LoadBundle(net_, nullptr).value().Mqtt("prueba-cliente");
    settings.Host = host;
    if (port) settings.Port = port;
    return settings;
  }
  // Waits (running the event loop) until done, up to wait.
  bool Until(const std::function<bool()>& done, std::chrono::milliseconds wait) {
    const auto end = Clock::now() + wait;
    while (!done() && Clock::now() < end) Spin(10ms);
    return done();
  }
  // Stops the client and destroys it; how long the caller was held, and
  // whether the stop's callback came within the bound.
  std::chrono::milliseconds StopAndDestroy(std::unique_ptr<TMqttClient>& client,
                                           bool* stopped_in_time = nullptr) {
    bool stopped = false;
    const auto start = Clock::now();
    client->Stop("quinterra/cadena/office/prueba", "fin", [&stopped] { stopped = true; });
    const auto held = Clock::now() - start;
    if (stopped_in_time) *stopped_in_time = Until([&] { return stopped; }, client->LastWordsBound + kStopBound);
    const auto destroy = Clock::now();
    client.reset();
    return std::chrono::duration_cast<std::chrono::milliseconds>(held + (Clock::now() - destroy));
  }
};

TEST_F(MqttClientTest, StoppingNeverHoldsTheOwnerWhateverTheBrokerDoes) {
  // Connected: last words, then away.
  auto client = std::make_unique<TMqttClient>(Settings("127.0.0.1"));
  int connections = 0;
  client->OnConnected = [&] { ++connections; };
  ASSERT_TRUE(client->Start(nullptr));
  ASSERT_TRUE(Until([&] { return connections == 1; }, 10s));
  bool in_time = false;
  EXPECT_LT(StopAndDestroy(client, &in_time), kStopBound);
  EXPECT_TRUE(in_time);

  // Nobody listening: each refusal is said, and waited out without spinning
  // (the library alone would retry the handshake on the dead socket); and an
  // address that never completes a connection.
  const e2e::StalledListener stalled;
  const int refusing = e2e::RefusingPort();
  for (const int port : {refusing, stalled.Port()}) {
    client = std::make_unique<TMqttClient>(Settings("127.0.0.1", port));
    std::vector<std::string> log;
    client->OnLog = [&](const std::string& line) { log.push_back(line); };
    ASSERT_TRUE(client->Start(nullptr));
    const std::clock_t cpu = std::clock();
    Spin(1500ms);
    if (port == refusing) {
      EXPECT_LT(std::clock() - cpu, CLOCKS_PER_SEC / 3) << "the owner's thread spun";
      ASSERT_FALSE(log.empty());
      EXPECT_NE(log[0].find("sin conexión con el servidor 127.0.0.1:"), std::string::npos) << log[0];
    }
    EXPECT_LT(StopAndDestroy(client, &in_time), kStopBound) << port;
    EXPECT_TRUE(in_time);
  }
  // A broker whose certificate is of another name is said so, in Spanish;
  // destroyed while the name is being looked up on the other thread.
  client = std::make_unique<TMqttClient>(Settings("localhost"));
  std::vector<std::string> log;
  client->OnLog = [&](const std::string& line) { log.push_back(line); };
  ASSERT_TRUE(client->Start(nullptr));
  const auto said = [&] {
    for (const std::string& line : log)
      if (line.find("el certificado del servidor es de otro nombre") != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(Until(said, 10s)) << (log.empty() ? std::string("nothing said") : log.back());
  client->Stop();
  Spin(1100ms);  // its next attempt is under way
  EXPECT_LT(StopAndDestroy(client), kStopBound);
  Spin(200ms);
}

// A broker named as the shops of a real network name it.
class MqttClientByNameTest : public MqttClientTest {
 protected:
  MqttClientByNameTest() { broker_host_ = "localhost"; }
};

TEST_F(MqttClientByNameTest, AKilledBrokerIsWaitedForWithoutHoldingTheOwnerAndFoundAgain) {
  auto client = std::make_unique<TMqttClient>(Settings("localhost"));
  int connections = 0;
  std::vector<std::string> gone;
  client->OnConnected = [&] { ++connections; };
  client->OnDisconnected = [&](const std::string& why) { gone.push_back(why); };
  ASSERT_TRUE(client->Start(nullptr));
  ASSERT_TRUE(Until([&] { return connections == 1; }, 10s));
  broker_->Signal(SIGKILL);
  broker_->WaitExit(5s);
  ASSERT_TRUE(Until([&] { return !gone.empty(); }, 10s));
  EXPECT_FALSE(client->Connected());
  EXPECT_EQ(client->Publish("quinterra/cadena/office/prueba", "x", false), -1);
  StartBroker();
  ASSERT_TRUE(Until([&] { return connections == 2; }, 20s)) << "it reconnects by itself";
  broker_->Signal(SIGKILL);
  broker_->WaitExit(5s);
  Spin(300ms);
  bool in_time = false;
  EXPECT_LT(StopAndDestroy(client, &in_time), kStopBound);
  EXPECT_TRUE(in_time);
}

}  // namespace
}  // namespace quinterra::test
