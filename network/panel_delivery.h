#pragma once
// A shop's delivery of a document to its panel devices, as "ENVIAR" does it:
// the devices of equipos.ini in the folder (read afresh each time, so a
// device found meanwhile in the program counts), each through its own link,
// with read-back verification. Also a check that only reads back and
// compares, for a document applied before the agent started.
//
// Each run has a device session of its own and opens links only while it
// runs, so the program in the same shop can take its turn between runs; a
// port it holds fails the run's device like any other link.
//
// Runs on the thread of the Qt event loop; done is called once, later,
// never inside Deliver or Check.

#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "network/shop_state.h"
#include "panels/display_image.h"

namespace quinterra {

class IDeviceLink;
class ITimerFactory;

struct TDeliveryReport {
  TPanelState Results, Jackpots;
  // Why nothing could be served (no selected device of the asked panels).
  std::string Reason;
};

using TLinkFactory = std::function<std::unique_ptr<IDeviceLink>()>;

class TPanelDelivery {
 public:
  // folder ends in a separator; timers must outlive the delivery.
  TPanelDelivery(ITimerFactory& timers, TLinkFactory links, std::string folder);
  ~TPanelDelivery();

  using Done = std::function<void(const TDeliveryReport& report)>;
  void Deliver(const PanelImages& images, bool results, bool jackpots, Done done);
  void Check(const PanelImages& images, bool results, bool jackpots, Done done);
  bool Running() const { return run_ != nullptr; }

  // The session's log lines worth keeping ("[OK] ...", "[ERROR]", "[Distinto] ..."),
  // without the bytes of every frame.
  std::function<void(const std::string& line)> OnLog;

 private:
  struct Run;
  void Start(const PanelImages& images, bool results, bool jackpots, bool write, Done done);
  void Finish();

  ITimerFactory& timers_;
  TLinkFactory links_;
  std::string folder_;
  uint32_t seed_;
  std::unique_ptr<Run> run_;
  QObject context_;
};

// A panel's state from the outcomes of its devices: any different, then any
// failed, then any unread; verified only when every device was.
TPanelStatus PanelStatusOf(const std::vector<int>& outcomes);

}  // namespace quinterra
