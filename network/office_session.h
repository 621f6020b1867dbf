#pragma once
// The office's connection to its network: the office's bundle (the
// network's folder), a clean session, subscribed to the document and to
// every shop's state and presence, feeding a TFleet. Open, PublishDocument
// and WaitUntil wait in a local event loop, with bounds, as a console
// command does; a window uses Start and Publish, which never wait, and
// follows OnMessage.

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
  // Connects in the background and returns at once; false, with the
  // reason, when the client cannot start at all. Synced() tells when the
  // retained messages are all in (again after each reconnection); the
  // connection is kept and renewed.
  bool Start(std::string* failure);
  bool Synced() const { return synced_; }
  bool Connected() const { return connected_; }
  // Why the session is not (yet) synced, in Spanish.
  std::string ConnectionProblem() const;
  // Publishes the message retained on the document topic without waiting;
  // false when there is no connection. It is taken once
  // Fleet().DocumentHash() is the message's hash.
  bool Publish(const std::string& message);
  // Publishes the message retained on the document topic and waits until
  // it comes back from the broker: a publication the broker refuses gets an
  // acknowledgement all the same, so only that proves it was taken.
  bool PublishDocument(const std::string& message, std::chrono::milliseconds timeout,
                       std::string* failure);
  // Runs the event loop until done() holds (checked after every message)
  // or the time is up; true when done.
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // Once synced: when the broker lacks the office's kept publication (it
  // holds none, or an older one), publishes the same bytes again without
  // waiting, and returns what to say of it; empty when nothing was needed.
  // Throws FileError when the kept publication cannot be read.
  std::string RestoreKept();
  // The hash of the kept publication given again, until it came back.
  const std::string& Restoring() const { return restoring_; }

  TFleet& Fleet() { return fleet_; }
  const TFleet& Fleet() const { return fleet_; }
  // After every message the fleet has taken, with its topic.
  std::function<void(const std::string& topic)> OnMessage;

 private:
  TNetworkBundle office_;
  TVerifyKey office_key_;
  TFleet fleet_;
  std::string restoring_;
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
