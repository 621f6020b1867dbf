#pragma once
// A shop's agent: takes the office's retained document from the broker,
// checks it, delivers it to the shop's panels and reports what they hold.
//
// - A document is refused, before any device is touched, when it does not
//   read (size, form, key, signature, network, time) or its version is not
//   newer than the one applied; the refusal is reported with its reason.
// - A newer document is delivered; a failed delivery is tried again after
//   5 s, doubling to 5 min, until it is verified or a newer one comes.
//   A delivery whose panels took the bytes but cannot be read back (sent)
//   counts as applied and is not repeated.
// - The applied version is written to disk after each delivery that
//   applied it. The same version again (QoS 1 may repeat) writes nothing;
//   right after a start it is only read back, so the report is fresh.
// - After every (re)connection: online 1, the subscription, and the last
//   report again (the broker may have lost it); deliveries wait for the
//   subscription's acknowledgement, so the documents queued while the shop
//   was away are all seen first and only the newest is applied.
//
// Runs on the Qt event loop's thread.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "network/applied_version.h"
#include "network/bundle.h"
#include "network/panel_delivery.h"
#include "network/publication.h"
#include "network/shop_state.h"

namespace quinterra {

class TMqttClient;

struct TAgentSettings {
  TNetworkBundle Bundle;
  std::string Folder;  // equipos.ini and red-version.txt; ends in a separator
  TVerifyKey OfficeKey{};
  std::chrono::milliseconds FirstRetry = std::chrono::seconds(5);
  std::chrono::milliseconds LastRetry = std::chrono::minutes(5);
  // Seconds since 1970; the system clock unless replaced.
  std::function<int64_t()> Now;
};

class TShopAgent {
 public:
  TShopAgent(TAgentSettings settings, TPanelDelivery& delivery);
  ~TShopAgent();

  // Connects (in the background); false with the reason when it cannot start.
  bool Start(std::string* failure);
  // Lets a running delivery end, then says online 0, disconnects and calls
  // stopped.
  void Stop(std::function<void()> stopped);

  std::function<void(const std::string& line)> OnLog;
  // After every report, as published.
  std::function<void(const TShopState& state)> OnReport;

 private:
  struct Candidate {
    TPublication Publication;
    std::string Hash;
  };
  void Connected();
  void Message(const std::string& topic, const std::string& payload);
  void Consider(const std::string& payload);
  void StartAttempt();
  void Delivered(const Candidate& candidate, bool check, const TDeliveryReport& report);
  void Refuse(TRefusal refusal, const std::string& hash, int64_t version);
  void Report(TShopState state);
  void FinishStop();
  void Log(const std::string& line);
  int64_t Now() const;

  TAgentSettings settings_;
  TPanelDelivery& delivery_;
  std::unique_ptr<TMqttClient> mqtt_;
  TAppliedVersion applied_;
  std::optional<Candidate> target_;   // to deliver (or being delivered)
  std::optional<Candidate> running_;  // being delivered now
  bool check_pending_ = false;        // the applied version, to read back once
  int attempt_ = 0;
  int subscription_ = -1;
  bool subscribed_ = false;
  std::optional<TShopState> last_;
  QTimer retry_;
  bool stopping_ = false;
  std::function<void()> stopped_;
};

// The wait before attempt number attempt + 1: first, doubling, at most last.
std::chrono::milliseconds RetryDelay(int attempt, std::chrono::milliseconds first,
                                     std::chrono::milliseconds last);

}  // namespace quinterra
