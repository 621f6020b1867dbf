#pragma once
// A shop's delivery of a document to its panel devices, as "ENVIAR" does it:
// the devices of equipos.ini in the folder (read afresh each time, so a
// device found meanwhile in the program counts), each through its own link,
// with read-back verification. Also a check that only reads back and
// compares with the document's images.
//
// Each run has a device session of its own and opens links only while it
// runs; the session takes its turn on the devices with the shop's program
// and quinterra-send (a run waits while they hold them).
//
// Runs on one thread with its timers; done is called once, later, never
// inside Deliver or Check.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "devices/panel_types.h"
#include "network/shop_state.h"
#include "panels/display_image.h"
#include "platform/interval_timer.h"

namespace quinterra {

class IDeviceLink;
class TDeviceSession;

struct TDeliveryReport {
  // Status and the bytes a device of the panel holds (of the first device
  // that differs, else of the first one read); Version is left to the caller.
  TShopPanel Results, Jackpots;
  // A panel read back with nothing on it (a device that lost its memory).
  bool ResultsBlank = false, JackpotsBlank = false;
  // Why a panel asked for was not served (no equipos.ini, no selected device).
  std::string Reason;
};

class IPanelDelivery {
 public:
  virtual ~IPanelDelivery() = default;
  using Done = std::function<void(const TDeliveryReport& report)>;
  virtual void Deliver(const PanelImages& images, bool results, bool jackpots, Done done) = 0;
  virtual void Check(const PanelImages& images, bool results, bool jackpots, Done done) = 0;
  virtual bool Running() const = 0;
};

using TLinkFactory = std::function<std::unique_ptr<IDeviceLink>()>;

class TPanelDelivery : public IPanelDelivery {
 public:
  // folder ends in a separator; timers must outlive the delivery.
  TPanelDelivery(ITimerFactory& timers, TLinkFactory links, std::string folder);
  ~TPanelDelivery() override;

  void Deliver(const PanelImages& images, bool results, bool jackpots, Done done) override;
  void Check(const PanelImages& images, bool results, bool jackpots, Done done) override;
  bool Running() const override { return run_ != nullptr; }

  // The session's log lines worth keeping ("[OK] ...", "[ERROR]", "[Distinto] ..."),
  // without the bytes of every frame.
  std::function<void(const std::string& line)> OnLog;
  // Each run's session as it is made, before it starts (to record it).
  std::function<void(TDeviceSession& session, bool write)> OnSession;

 private:
  struct Run;
  void Start(const PanelImages& images, bool results, bool jackpots, bool write, Done done);
  void Finish();

  ITimerFactory& timers_;
  TLinkFactory links_;
  std::string folder_;
  uint32_t seed_;
  std::unique_ptr<Run> run_;
  // Ends a run after the session's own event has returned.
  std::unique_ptr<IIntervalTimer> finish_;
};

// What one device's turn came to, from the events the session raises for
// it in the order it raises them: a read's bytes (equal or not) count over
// the Done that follows them.
class TDeviceOutcomes {
 public:
  void Done(int row, TDeviceOutcome outcome);
  void Read(int row, bool equal);
  // Any different, then any failed, then any unread; verified only when
  // every device was; failed when no device reported at all.
  TPanelStatus Status() const;

 private:
  std::map<int, TDeviceOutcome> outcomes_;
};

}  // namespace quinterra
