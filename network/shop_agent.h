#pragma once
// A shop's agent: takes the office's retained document from the broker,
// checks it, delivers it to the shop's panels, reads them back every so
// often, and reports what they hold. What it does next is decided in one
// place, from its phase:
//
//   WaitingSubscription  nothing is decided until the broker has sent the
//                        retained document and this shop's own last state
//                        (its marker comes back after them)
//   Idle                 nothing to do until a newer document, the
//                        periodic check or a stop
//   Delivering           writing the target document, read back to verify
//   Checking             reading the panels back against the applied one
//   WaitingRetry         a failed attempt waits for its time (5 s doubling
//                        to 5 min), for a newer document, or for equipos.ini
//                        to change; nothing is written or published meanwhile
//   Stopping, Stopped    a running delivery ends, then online 0 and away
//
// Between two runs on the devices it rests half a second: the shop's
// program and quinterra-send, which wait for the devices while the agent
// holds them, get their turn.
//
// - A document is refused, before any device is touched, when it does not
//   read (size, form, key, signature, network, cells) or its version is not
//   above the applied one; the refusal is reported once. The key it must be
//   signed with is the bundle's, moved on by the office's key changes (the
//   retained keys topic, kept in the folder); a retired key signs nothing. One that is not
//   yet valid on this shop's clock waits for it.
// - The applied version never goes back: at start the larger of
//   red-version.txt and the applied version of the shop's own last state on
//   the broker; saved after every delivery that applies one (a failure to
//   save is reported in the state, and tried again).
// - check_every after the last check the panels are read back; panels that differ or came
//   back blank are written again (correct) and the state says so.
// - An applied document that expires stays on the panels, reported expired.
//
// Runs on one thread with its timers and its transport.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "network/applied_version.h"
#include "network/bundle.h"
#include "network/key_change.h"
#include "network/panel_delivery.h"
#include "network/publication.h"
#include "network/shop_state.h"
#include "platform/interval_timer.h"

namespace quinterra {

class IMqttTransport;

struct TAgentSettings {
  TNetworkBundle Bundle;
  std::string Folder;  // equipos.ini and red-version.txt; ends in a separator
  TVerifyKey OfficeKey{};  // pinned by the bundle; the key chain moves on from it
  std::chrono::milliseconds FirstRetry = std::chrono::seconds(5);
  std::chrono::milliseconds LastRetry = std::chrono::minutes(5);
  // How often the panels are read back; zero: never.
  std::chrono::seconds CheckEvery = std::chrono::seconds(600);
  // Whether a check writes back panels that differ.
  bool Correct = true;
  // The panels this shop has (red.ini [Red] Paneles=); a document's panel
  // the shop lacks is not asked of it.
  bool HasResults = true, HasJackpots = true;
  // This start of the agent, in its reports; random unless given.
  std::string Instance;
  // Seconds since 1970; the system clock unless replaced.
  std::function<int64_t()> Now;
};

enum class TAgentPhase { WaitingSubscription, Idle, Delivering, Checking, WaitingRetry, Stopping, Stopped };
const char* AgentPhaseName(TAgentPhase phase);

class TShopAgent {
 public:
  TShopAgent(TAgentSettings settings, IMqttTransport& transport, IPanelDelivery& delivery,
             ITimerFactory& timers);
  ~TShopAgent();
  TShopAgent(const TShopAgent&) = delete;
  TShopAgent& operator=(const TShopAgent&) = delete;

  // Connects (in the background); false with the reason when it cannot start.
  bool Start(std::string* failure);
  // Lets a running delivery or check end, then says online 0, disconnects
  // and calls stopped.
  void Stop(std::function<void()> stopped);

  TAgentPhase Phase() const { return phase_; }
  // The document being written or checked now; none between runs.
  const TPublication* RunningDocument() const;
  const TAppliedVersion& Applied() const { return applied_; }

  std::function<void(const std::string& line)> OnLog;
  // After every report, as published.
  std::function<void(const TShopState& state)> OnReport;

 private:
  struct Target;
  struct Offer {
    std::string Payload;
    TPublication Publication;
    std::string Hash;
  };

  // Events.
  void Connected();
  void Disconnected();
  void Subscribed(int mid, const std::vector<int>& granted);
  void Message(const std::string& topic, const std::string& payload, bool retained);
  void Synced();
  void Tick();
  void CheckTime();
  void RetryTime();
  // Decisions.
  void TakeDocument(const std::string& payload);
  void TakeOwnState(const std::string& payload);
  void TakeKeyChain(const std::string& payload);
  void Decide();
  void StartDelivery();
  void StartCheck();
  void Rest();
  void Delivered(const TDeliveryReport& report);
  void Checked(const TDeliveryReport& report);
  void WaitRetry(bool check);
  void Apply(const Offer& offer);
  void SaveApplied();
  void Refuse(const TReadResult& read, const std::string& hash);
  // The state of the panels a document asks for, summed up.
  void ReportPanels(const Offer& about, const std::string& no_device_reason);
  // asking: the document whose panels the state lists; none for a refusal.
  void Report(int64_t version, const std::string& hash, const std::string& result,
              const std::string& reason, const std::string& refusal, const TPublication* asking);
  // The last state again, with what changed since (expiry, the version saved).
  void Republish();
  void Finish(TShopState& state);
  void FinishStop();
  void Log(const std::string& line);
  int64_t Now() const;
  // The panels a document asks of this shop.
  bool Wants(const TPublication& publication, bool results) const;
  TShopPanel& Panel(bool results) { return results ? results_ : jackpots_; }
  std::string RegistrySignature() const;

  TAgentSettings settings_;
  IMqttTransport& transport_;
  IPanelDelivery& delivery_;
  std::unique_ptr<IIntervalTimer> retry_timer_, check_timer_, tick_timer_, rest_timer_;
  // After each run on the devices the agent rests a moment, so that the
  // shop's program, waiting its turn, finds the devices free.
  bool resting_ = false;

  TAgentPhase phase_ = TAgentPhase::WaitingSubscription;
  TAppliedVersion applied_;
  TTrustedKey trusted_;        // the office's key as the chain has moved it
  std::string last_payload_;  // the document topic's last message
  bool saved_ = true;  // red-version.txt holds applied_
  std::string problem_;
  std::optional<Offer> applied_document_;  // the applied version's document, once seen
  std::unique_ptr<Target> target_;         // to deliver, and how far it got
  std::unique_ptr<Target> running_;        // being delivered now
  std::optional<std::string> last_document_;  // before the first sync, judged then
  std::optional<Offer> future_;            // valid once this shop's clock reaches it
  std::string refused_hash_;               // reported once
  bool check_due_ = false;
  bool retry_is_check_ = false;
  int attempt_ = 0;
  int retry_in_ = 0;
  std::string registry_signature_;  // equipos.ini at the last attempt
  TShopPanel results_, jackpots_;   // what the panels were last found to hold
  int64_t checked_ = 0;
  std::string restored_;
  bool expired_ = false;
  std::optional<TShopState> last_;
  // The broker.
  bool synced_ = false;
  bool synced_once_ = false;
  int subscription_ = -1;
  std::string marker_;
  std::optional<TAppliedVersion> broker_applied_;  // from this shop's retained state
  int64_t connected_at_ = 0;
  int quick_drops_ = 0;
  std::chrono::seconds hold_off_{60};
  std::function<void()> stopped_;
};

// The wait before attempt number attempt + 1: first, doubling, at most last.
std::chrono::milliseconds RetryDelay(int attempt, std::chrono::milliseconds first,
                                     std::chrono::milliseconds last);

}  // namespace quinterra
