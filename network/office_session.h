#pragma once
// The office's connection to its network: the office's bundle (the
// network's folder), a clean session, subscribed to the document and to
// every shop's state and presence, feeding a TFleet. Its calls wait in a
// local event loop, with bounds, as a console command does.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "network/bundle.h"
#include "network/fleet.h"

namespace quinterra {

class TMqttClient;

class TOfficeSession {
 public:
  TOfficeSession(TNetworkBundle office, TVerifyKey office_key);
  ~TOfficeSession();

  // Connects and waits until the broker has sent every retained message
  // (a marker of our own comes back after them). False, with the reason,
  // on time-out.
  bool Open(std::chrono::milliseconds timeout, std::string* failure);
  // Publishes the message retained on the document topic and waits until
  // it comes back from the broker: a publication the broker refuses gets an
  // acknowledgement all the same, so only that proves it was taken.
  bool PublishDocument(const std::string& message, std::chrono::milliseconds timeout,
                       std::string* failure);
  // Runs the event loop until done() holds (checked after every message)
  // or the time is up; true when done.
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  TFleet& Fleet() { return fleet_; }
  // After every message the fleet has taken, with its topic.
  std::function<void(const std::string& topic)> OnMessage;

 private:
  TNetworkBundle office_;
  TFleet fleet_;
  std::unique_ptr<TMqttClient> mqtt_;
  std::function<void()> changed_;
  bool connected_ = false;
  int pending_subscriptions_ = 0;
  std::string marker_;
  bool synced_ = false;
  std::string failure_;
};

// The shops listed in the network's folder (DIR/shops/*), by name.
std::vector<std::string> ShopsOfFolder(const std::string& folder);

}  // namespace quinterra
