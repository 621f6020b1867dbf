#pragma once
// The office's network as a window uses it: the session opened once and
// kept (it reconnects by itself), and a publication that never waits in a
// local event loop. Each step that has to wait for the broker is bounded
// by a timer and ends in one call of its callback, on the Qt thread.

#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "network/office_publish.h"
#include "network/office_session.h"

namespace quinterra {

class TOfficeNetwork {
 public:
  // The office's folder; nothing, with the reason in Spanish, when it is
  // not one. Nothing connects before Start.
  static std::unique_ptr<TOfficeNetwork> Load(const std::string& folder, std::string* failure);
  ~TOfficeNetwork();

  // Connects in the background; false, with the reason, when the client
  // cannot start at all (unreadable certificates).
  bool Start(std::string* failure);

  const TOffice& Office() const { return office_; }
  const std::string& Network() const { return office_.Bundle.Network; }
  TOfficeSession& Session() { return session_; }
  const TFleet& Fleet() const { return session_.Fleet(); }
  // The version a publication made now would take; nothing, with the
  // reason, when the folder's last version cannot be read.
  std::optional<int64_t> NextVersion(std::string* failure = nullptr) const;

  // Called once: failure empty and the version published when the broker
  // took the message (unsaved: why the folder could not keep it, or empty),
  // else the reason in Spanish (then nothing was published, and no version
  // was kept).
  using TDone = std::function<void(const std::string& failure, int64_t version,
                                   const std::string& unsaved)>;
  // Signs the 134 texts for both panels and publishes them: the key is
  // checked at once, then it waits (bounded) for the connection and for
  // the broker to send the message back (done is called before Publish
  // returns when the key is wrong). False, without calling done, while
  // another publication runs.
  bool Publish(std::vector<std::string> items, TDone done);
  bool Publishing() const { return step_ != Step::Idle; }

  // After every message, once the fleet has taken it.
  std::function<void(const std::string& topic)> OnMessage;
  // Something the office did by itself (the kept publication given again
  // to a broker that lost it), in Spanish.
  std::function<void(const std::string& said)> OnNotice;

  std::chrono::milliseconds ConnectBound = std::chrono::seconds(10);
  std::chrono::milliseconds TakeBound = std::chrono::seconds(10);

 private:
  explicit TOfficeNetwork(TOffice office);
  enum class Step { Idle, Connecting, Taking };
  void Restore();
  void Advance();
  void Send();
  void TimedOut();
  void Finish(const std::string& failure);

  TOffice office_;
  TOfficeSession session_;
  Step step_ = Step::Idle;
  QTimer bound_;
  TSigningKey key_{};
  TPublication publication_;
  std::string hash_;
  std::string message_;
  TDone done_;
  bool synced_ = false;
};

}  // namespace quinterra
