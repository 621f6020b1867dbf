#pragma once
// A broker of the tests' own, in process and on the simulated clock: retained
// messages, subscriptions with '+' and '#', QoS 1 acknowledgements, the
// retained messages of a subscription sent after its acknowledgement as
// Mosquitto sends them, and every message a millisecond late so that nothing
// arrives inside the call that sent it. It can drop connections, stay down,
// and deliver a message twice.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "network/mqtt_transport.h"
#include "platform/simulated_clock.h"

namespace quinterra::test {

class TestBroker {
 public:
  explicit TestBroker(SimulatedClock& clock);
  ~TestBroker();

  class Client : public IMqttTransport {
   public:
    Client(TestBroker& broker, std::string id) : broker_(broker), id_(std::move(id)) {}
    ~Client() override;
    bool Start(std::string* failure) override;
    bool Connected() const override { return connected_; }
    int Publish(const std::string& topic, const std::string& payload, bool retain) override;
    int Subscribe(const std::vector<std::string>& topics) override;
    void Stop(const std::string& topic, const std::string& payload,
              std::function<void()> done) override;
    void HoldOff(std::chrono::milliseconds delay) override { HoldOffs.push_back(delay); }

    std::vector<std::chrono::milliseconds> HoldOffs;
    const std::string& Id() const { return id_; }

   private:
    friend class TestBroker;
    void Connect();
    TestBroker& broker_;
    std::string id_;
    bool started_ = false, connected_ = false, stopped_ = false;
    uint64_t serial_ = 0;  // this client among every one made, for its queued calls
    std::set<std::string> subscriptions_;
    int next_mid_ = 1;
  };

  std::unique_ptr<Client> NewClient(const std::string& id);
  // A message from outside the clients (the office's publication).
  void Publish(const std::string& topic, const std::string& payload, bool retain);
  // Ends a client's connection; it comes back a second later while the
  // broker is up.
  void Drop(Client& client);
  // Down: every connection ends and none is taken; up again: they return.
  void SetUp(bool up);

  struct Sent {
    std::string From, Topic, Payload;
    bool Retain = false;
    std::chrono::milliseconds At{0};
  };
  // Every message a client published, in order.
  std::vector<Sent> Log;
  std::vector<Sent> LogOf(const std::string& topic) const;
  std::map<std::string, std::string> Retained;
  // Delivers each of the next n messages twice, as QoS 1 may.
  int DuplicateNext = 0;

 private:
  // Runs call after delay; one for a client is dropped once that client is gone.
  void Later(std::function<void()> call,
             std::chrono::milliseconds delay = std::chrono::milliseconds(1),
             const Client* client = nullptr);
  void Pump();
  void Route(const std::string& topic, const std::string& payload, bool retain);

  SimulatedClock& clock_;
  std::unique_ptr<IIntervalTimer> pump_;
  struct Call {
    std::chrono::milliseconds Due{0};
    std::function<void()> Run;
    const Client* For = nullptr;
    uint64_t Serial = 0;
  };
  std::deque<Call> queue_;
  uint64_t next_serial_ = 1;
  std::vector<Client*> clients_;
  bool up_ = true;
};

bool TopicMatches(const std::string& filter, const std::string& topic);

}  // namespace quinterra::test
