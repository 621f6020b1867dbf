#pragma once
// The office's one client of its network, for the window and the console
// alike: a clean session subscribed to the document and to every shop's
// state and presence, feeding a TFleet, and the publication of documents.
// Every call returns at once; what happens later comes as an event on the
// owner's thread, never from inside the call that caused it. A console
// command waits for its events with the application's event loop.
//
// The connection (TOfficeLink):
//   Connecting  started, never connected yet
//   Syncing     connected and subscribed: the broker's retained messages
//               (the document, the shops' states and presence) are coming,
//               until a marker of our own comes back after them
//   Ready       everything retained is in; what comes now is news
//   Lost        no connection: it went away, or none was Ready within
//               ConnectBound of the start; the transport keeps trying
//
// A publication (TPublishStep):
//   Idle
//   Waiting     for the connection to be Ready (and a kept publication given
//               again to be back), within PublishWait: a broker just
//               restarted under thousands of shops takes its time; it may be
//               cancelled
//   Taking      sent; until the broker sends it back, within TakeBound (a
//               broker acknowledges even what its rules drop)
//
// Each time it is Ready, a broker that lacks the office's kept publication
// (network/office_document.h) is given the same bytes again.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network/fleet.h"
#include "network/mqtt_client.h"
#include "network/office_document.h"
#include "platform/interval_timer.h"

namespace quinterra {

enum class TOfficeLink { Connecting, Syncing, Ready, Lost };
enum class TPublishStep { Idle, Waiting, Taking };

struct TPublishRequest {
  std::vector<std::string> Items;  // the document's cell texts
  bool Results = true, Jackpots = true;
  int64_t LifetimeSeconds = kDefaultLifetimeSeconds;
};

enum class TPublishResult {
  Published,    // the broker took it
  Refused,      // it could not be made (the kept version unreadable ...)
  Unreachable,  // no Ready connection within PublishWait
  NotTaken,     // sent, but the broker did not send it back within TakeBound
};

struct TPublishOutcome {
  TPublishResult Result = TPublishResult::Refused;
  int64_t Version = 0;  // Published
  std::string Hash;     // Published: the document's name
  // In Spanish: why it failed; for Published, why the network's folder
  // could not keep it (empty when it did).
  std::string Why;
};

// Makes the transport for a member's settings: TMqttClient in the programs.
using TTransportFactory = std::function<std::unique_ptr<IMqttTransport>(const TMqttSettings&)>;
TTransportFactory MqttTransports();

// The office's client settings: a client id of its own per session (two
// office sessions may run at once), a clean session.
TMqttSettings OfficeMqttSettings(const TNetworkBundle& bundle);

class TOfficeClient {
 public:
  TOfficeClient(TOffice office, std::unique_ptr<IMqttTransport> transport, ITimerFactory& timers);
  ~TOfficeClient();
  TOfficeClient(const TOfficeClient&) = delete;
  TOfficeClient& operator=(const TOfficeClient&) = delete;

  // The office of a network's folder, its client not yet started; nothing,
  // with the reason in Spanish, when the folder is not an office's.
  static std::unique_ptr<TOfficeClient> Open(const std::string& folder, ITimerFactory& timers,
                                             std::string* failure,
                                             const TTransportFactory& transports = MqttTransports());

  // Connects in the background; false, with the reason, when the transport
  // cannot start at all (unreadable certificates).
  bool Start(std::string* failure);

  const TOffice& Office() const { return office_; }
  const std::string& Network() const { return office_.Bundle.Network; }
  const TFleet& Fleet() const { return fleet_; }
  TOfficeLink Link() const { return link_; }
  // When the link last changed, seconds since 1970.
  int64_t LinkSince() const { return link_since_; }
  // Why the link is not Ready, in Spanish; empty when it is.
  std::string LinkProblem() const;
  // The transport's last word on a connection that failed or went away.
  const std::string& LinkFailure() const { return failure_; }
  // A kept publication given again has not come back yet.
  bool Restoring() const { return !restoring_.empty(); }
  // The version a publication made now would take; nothing, with the
  // reason, when a kept file cannot be read.
  std::optional<int64_t> NextVersion(std::string* failure = nullptr) const;

  // Signs and publishes the items once the connection is Ready. Empty when
  // it started (OnPublished follows, once); else why not, in Spanish, and
  // nothing was signed: another publication runs, the items are not a
  // document every shop can show, or the signing key is not the network's.
  std::string Publish(TPublishRequest request);
  TPublishStep Step() const { return step_; }
  // Drops a publication still waiting for the connection; true when it
  // did (no OnPublished follows). One already sent cannot be called back.
  bool Cancel();

  // The link is Lost when it is not Ready within this bound of the start
  // (the transport keeps trying); a publication waits PublishWait.
  std::chrono::milliseconds ConnectBound = std::chrono::seconds(10);
  std::chrono::milliseconds PublishWait = std::chrono::seconds(60);
  std::chrono::milliseconds TakeBound = std::chrono::seconds(10);
  // Seconds since 1970; the system's clock unless replaced (also the
  // fleet's).
  std::function<int64_t()> Now;

  std::function<void()> OnLinkChanged;
  // A shop's state or presence came (or every shop's, when the document
  // changed, which OnDocumentChanged says).
  std::function<void(const std::string& shop)> OnShopChanged;
  std::function<void()> OnDocumentChanged;
  std::function<void(const TPublishOutcome& outcome)> OnPublished;
  // Something the office did by itself, in Spanish: the kept publication
  // given again, or why it could not be.
  std::function<void(const std::string& said)> OnNotice;
  // An attempt to connect failed while the link is not Ready; the
  // transport's words, in Spanish: why, and when it tries again.
  std::function<void(const std::string& why)> OnWaiting;

 private:
  void Connected();
  void Disconnected(const std::string& why);
  void Subscribed(int mid, const std::vector<int>& granted);
  void Message(const std::string& topic, const std::string& payload, bool retained);
  void SetLink(TOfficeLink link);
  void BecameReady();
  void Restore();
  void RestoreTimedOut();
  void Advance();
  void Send();
  void BoundPassed();
  void Finish(TPublishResult result, const std::string& why);
  int64_t Clock() const;

  TOffice office_;
  std::unique_ptr<IMqttTransport> transport_;
  TFleet fleet_;
  TOfficeLink link_ = TOfficeLink::Connecting;
  int64_t link_since_ = 0;
  std::string failure_;  // the transport's last word on a failed connection
  std::string marker_;
  int subscription_ = -1;
  // The broker sent a document since the last connection: the fleet
  // remembers one from before, which a broker that lost its data lacks.
  bool broker_has_document_ = false;
  std::unique_ptr<IIntervalTimer> link_bound_;
  // The kept publication being given again, and what to say once it is back.
  std::string restoring_, restoring_said_;
  int64_t restoring_version_ = 0;
  std::unique_ptr<IIntervalTimer> restore_bound_;
  // The publication under way.
  TPublishStep step_ = TPublishStep::Idle;
  TPublishRequest request_;
  TSigningKey key_{};
  std::string message_, hash_;
  int64_t version_ = 0;
  std::unique_ptr<IIntervalTimer> bound_, kick_;
};

// The shops listed in the network's folder (FOLDER/shops/*), by name.
std::vector<std::string> ShopsOfFolder(const std::string& folder);

}  // namespace quinterra
