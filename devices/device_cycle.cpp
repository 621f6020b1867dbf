#include "devices/device_cycle.h"

#include "bus/bus_engine.h"
#include "platform/interval_timer.h"

namespace quinterra {

const std::array<uint8_t, 32> TDeviceCycle::kDirectoryRecord = {
    // First entry: type 1 (display object), address 0, count 1, fixed bytes.
    0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x01, 0x00, 0x04, 0x00, 0x00, 0xFF, 0x00, 0x00,
    // Second entry: the end of the list.
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

TDeviceCycle::TDeviceCycle(TComVornBus& engine, IIntervalTimer& timer1, IDeviceCycleHost& host)
    : engine_(engine), timer1_(timer1), host_(host) {
  timer1_.SetEnabled(false);
  timer1_.SetInterval(kTickMs);
  timer1_.OnTimer = [this] { Timer1Timer(); };

  engine_.OnPong = [this](TComVornBus*, uint8_t address) { PongReceived(address); };
  engine_.OnInfo = [this](TComVornBus*) { InfoReceived(); };
  engine_.OnBuild = [this](TComVornBus*) { BuildReceived(); };
  engine_.OnTimeout = [this](TComVornBus*) { LinkTimedOut(); };
  engine_.OnDirectoryWritten = [this](TComVornBus*) { DirectoryWritten(); };
  engine_.OnDisplayWritten = [this](TComVornBus*) { DisplayWritten(); };
  engine_.OnCheckResult = [this](TComVornBus*, bool match) { CheckAnswered(match); };
}

TDeviceCycle::~TDeviceCycle() {
  // The engine and the timer may outlive the cycle: leave no handler behind.
  timer1_.SetEnabled(false);
  timer1_.OnTimer = nullptr;
  engine_.OnPong = nullptr;
  engine_.OnInfo = nullptr;
  engine_.OnBuild = nullptr;
  engine_.OnTimeout = nullptr;
  engine_.OnDirectoryWritten = nullptr;
  engine_.OnDisplayWritten = nullptr;
  engine_.OnCheckResult = nullptr;
}

bool TDeviceCycle::Running() const { return timer1_.Enabled(); }

void TDeviceCycle::Button1Click() {
  // A search on top of a delivery or check would open a second link and
  // abandon the running cycle; the operator presses again when it is done.
  if (Running()) return;
  if (!host_.TcpChecked() && !host_.SerialChecked()) return;
  host_.SetControlsEnabled(false);
  cycle_kind_ = CycleKind::Search;
  CycleState = 0;
  AwaitingLink = true;
  WaitTicks = kLinkOpenWaitTicks;
  host_.OpenLink(-1, "", "");
  // A TCP link reports later, or never: tick meanwhile so the wait is bounded.
  if (AwaitingLink) timer1_.SetEnabled(true);
}

bool TDeviceCycle::SendPanels(int mode) {
  if (Running()) return false;
  DeliveryIndex = 0;
  CycleState = kDeliveryStart;
  ResultsFailed = JackpotsFailed = false;
  ResultsTried = JackpotsTried = 0;
  WantResults = (mode == 0 || mode == 1) && ResultsPayload != nullptr;
  WantJackpots = (mode == 0 || mode == 2) && JackpotsPayload != nullptr;
  if (!WantResults && !WantJackpots) return false;
  cycle_kind_ = CycleKind::Delivery;
  AwaitingLink = false;
  delivery_results_ = ResultsPayload;
  delivery_jackpots_ = JackpotsPayload;
  timer1_.SetEnabled(true);
  return true;
}

void TDeviceCycle::CheckPanels(int mode) {
  // A delivery taken over would never report: its panels would stay
  // unanswered ("ENVIAR" yellow for good) with the device holding half the
  // work. Its requested panels count as failed, so the operator can send again.
  if (Running() && cycle_kind_ == CycleKind::Delivery) {
    const bool want_results = WantResults;
    const bool want_jackpots = WantJackpots;
    if (want_results && OnPanelSent) OnPanelSent(1, true);
    if (want_jackpots && OnPanelSent) OnPanelSent(2, true);
  }
  DeliveryIndex = 0;
  CycleState = kCheckStart;
  ResultsFailed = JackpotsFailed = false;
  ResultsTried = JackpotsTried = 0;
  WantResults = mode == 0 || mode == 1;
  WantJackpots = mode == 0 || mode == 2;
  cycle_kind_ = CycleKind::Check;
  AwaitingLink = false;
  timer1_.SetEnabled(true);
}

void TDeviceCycle::Timer1Timer() {
  if (AwaitingLink && CycleState == 0) {
    if (!WaitOver()) return;
    // The link of "Buscar" never opened: give the controls back.
    host_.Log("[ERROR]");
    CycleState = kEndLinkError;
  }
  if (CycleState >= 0 && CycleState <= kSearchEnd) {
    SearchStep();
  } else if (CycleState >= kDeliveryStart && CycleState <= 107) {
    DeliveryStep();
  } else if (CycleState >= kCheckStart && CycleState <= 203) {
    CheckStep();
  } else if (CycleState >= kEndNormal && CycleState <= kEndLinkError) {
    EndCycle(CycleState);
  }
}

void TDeviceCycle::LinkOpened() {
  timer1_.SetEnabled(true);
  AwaitingLink = false;
  // Only a delivery or check that is opening a link moves on. A link left
  // over from a cycle that was taken over may still report itself open at
  // 100 or 200: that one must not move the new cycle on.
  const bool choosing = CycleState == 100 || CycleState == 200;
  const bool waiting = CycleState == 101 || CycleState == 201;
  if (waiting || (choosing && opening_link_)) CycleState += 1;
}

void TDeviceCycle::LinkFailed() {
  AwaitingLink = false;
  timer1_.SetEnabled(true);
  // A device's serial port that cannot be opened reports from within
  // OpenLink: that device fails, as an unreachable TCP device does, and the
  // walk goes on.
  if (opening_link_ && (CycleState == kDeliveryStart || CycleState == kCheckStart)) {
    opening_link_failed_ = true;
    return;
  }
  // A device whose TCP connection cannot be made (refused, unreachable) has
  // failed like one that never connects: its panel is reported failed and the
  // walk goes on, instead of ending the cycle for the other panel's devices.
  if (CycleState == kDeliveryStart + 1 || CycleState == kCheckStart + 1) {
    DeviceFailed(CycleState - 1);
    return;
  }
  CycleState = kEndLinkError;
}

void TDeviceCycle::LinkTimedOut() {
  // A late time-out of a device whose cycle already ended concerns nobody.
  if (!timer1_.Enabled()) return;
  CycleState = CycleState < kSearchEnd ? kSearchEnd : kEndLinkLost;
}

bool TDeviceCycle::WaitOver() {
  if (WaitTicks != 0) {
    --WaitTicks;
    return false;
  }
  return true;
}

DeviceRow* TDeviceCycle::RowAt(int index) {
  std::vector<DeviceRow>& rows = host_.Rows();
  if (index < 0 || static_cast<size_t>(index) >= rows.size()) return nullptr;
  return &rows[static_cast<size_t>(index)];
}

void TDeviceCycle::EndCycle(int state) {
  AwaitingLink = false;
  // The link is closed below: the engine must not go on pinging into it and
  // declare the device lost long after the cycle ended.
  engine_.Stop();
  delivery_results_.reset();
  delivery_jackpots_.reset();
  const bool panels_cycle = cycle_kind_ != CycleKind::Search;
  switch (state) {
    case kEndNormal:
      timer1_.SetEnabled(false);
      host_.SetControlsEnabled(true);
      host_.CloseLink();
      break;
    case kEndLinkLost:
      timer1_.SetEnabled(false);
      host_.CloseLink();
      host_.SetControlsEnabled(true);
      if (OnLinkLost) OnLinkLost();
      break;
    default:
      host_.CloseLink();
      timer1_.SetEnabled(false);
      host_.SetControlsEnabled(true);
      // A delivery or check cut short by a link error would otherwise leave
      // the main window believing it still runs: tell it the link was lost.
      if (panels_cycle && OnLinkLost) OnLinkLost();
      break;
  }
}

}  // namespace quinterra
