// What every cycle shares: Timer1 and its dispatch to the cycle of the
// state, the link's two reports, the engine's time-out and the end states.

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
  timer1_.SetInterval(kTick);
  timer1_.OnTimer = [this] { Timer1Timer(); };

  engine_.OnPong = [this](TComVornBus*, uint8_t address) { PongReceived(address); };
  engine_.OnInfo = [this](TComVornBus*) { InfoReceived(); };
  engine_.OnBuild = [this](TComVornBus*) { BuildReceived(); };
  engine_.OnTimeout = [this](TComVornBus*) { LinkTimedOut(); };
  engine_.OnDirectoryWritten = [this](TComVornBus*) { DirectoryWritten(); };
  engine_.OnDisplayWritten = [this](TComVornBus*) { DisplayWritten(); };
  engine_.OnCheckResult = [this](TComVornBus*, bool match) { CheckAnswered(match); };
  engine_.OnDirectoryRead = [this](TComVornBus*, bool whole) { DirectoryReadBack(whole); };
  engine_.OnDisplayRead = [this](TComVornBus*, bool whole) { DisplayReadBack(whole); };
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
  engine_.OnDirectoryRead = nullptr;
  engine_.OnDisplayRead = nullptr;
}

bool TDeviceCycle::Running() const { return timer1_.Enabled(); }

void TDeviceCycle::Begin(TCycleKind kind) {
  kind_ = kind;
  awaiting_search_link_ = false;
  timer1_.SetEnabled(true);
  StartProgress();
  host_.RunningChanged(kind, true);
}

void TDeviceCycle::Timer1Timer() {
  if (awaiting_search_link_ && v_.CycleState == TCycleState::PingResults) {
    if (!WaitOver()) return;
    // The link of "Buscar" never opened: give the controls back.
    host_.Log("[ERROR]");
    v_.CycleState = TCycleState::EndLinkError;
  }
  const int state = StateNumber(v_.CycleState);
  if (state >= 0 && state <= StateNumber(TCycleState::SearchEnd)) {
    SearchStep();
  } else if (state >= StateNumber(TCycleState::DeliveryChoose) &&
             state <= StateNumber(TCycleState::DeliveryAwaitDisplayReadBack)) {
    DeliveryStep();
  } else if (state >= StateNumber(TCycleState::CheckChoose) &&
             state <= StateNumber(TCycleState::CheckAwaitAnswer)) {
    CheckStep();
  } else if (state >= StateNumber(TCycleState::ReadChoose) &&
             state <= StateNumber(TCycleState::ReadAwaitDisplay)) {
    ReadStep();
  } else if (state >= StateNumber(TCycleState::EndNormal) &&
             state <= StateNumber(TCycleState::EndLinkError)) {
    EndCycle(v_.CycleState);
    return;
  }
  UpdateProgress();
}

void TDeviceCycle::LinkOpened() {
  timer1_.SetEnabled(true);
  awaiting_search_link_ = false;
  // A device's serial link reports from inside OpenLink; the walk moves on
  // when that call returns. Only a walk waiting for its link moves on here:
  // a link left over from a cycle that was taken over may still report
  // itself open, and must not move the new cycle on.
  if (opening_link_) {
    opened_while_opening_ = true;
  } else if (kind_ != TCycleKind::Search && v_.CycleState == AwaitLinkState()) {
    v_.CycleState = FirstRequestState();
  }
}

void TDeviceCycle::LinkFailed() {
  awaiting_search_link_ = false;
  timer1_.SetEnabled(true);
  // A device whose link cannot be made (a serial port that cannot be opened,
  // a TCP connection refused) has failed like one that never answers: its
  // panel is failed and the walk goes on with the other devices.
  if (opening_link_) {
    failed_while_opening_ = true;
  } else if (kind_ != TCycleKind::Search && v_.CycleState == AwaitLinkState()) {
    DeviceFailed(TDeviceOutcome::LinkFailed);
  } else {
    v_.CycleState = TCycleState::EndLinkError;
  }
}

void TDeviceCycle::LinkTimedOut() {
  // A late time-out of a device whose cycle already ended concerns nobody.
  if (!timer1_.Enabled()) return;
  v_.CycleState = StateNumber(v_.CycleState) < StateNumber(TCycleState::SearchEnd)
                      ? TCycleState::SearchEnd
                      : TCycleState::EndLinkLost;
}

void TDeviceCycle::InfoReceived() {
  // An answer counts only in the state that waits for it: one arriving after
  // its wait ran out would otherwise push the state past its range (and stall
  // Timer1) or move a delivery on for the wrong device.
  if (v_.CycleState == TCycleState::AwaitVersion) {
    SearchInfoReceived();
  } else if (v_.CycleState == TCycleState::DeliveryAwaitInfo) {
    DeliveryInfoReceived();
  } else if (v_.CycleState == TCycleState::ReadAwaitInfo) {
    ReadInfoReceived();
  }
}

bool TDeviceCycle::WaitOver() {
  if (v_.WaitTicks != 0) {
    --v_.WaitTicks;
    return false;
  }
  return true;
}

DeviceRow* TDeviceCycle::RowAt(int index) {
  std::vector<DeviceRow>& rows = host_.Rows();
  if (index < 0 || static_cast<size_t>(index) >= rows.size()) return nullptr;
  return &rows[static_cast<size_t>(index)];
}

void TDeviceCycle::EndCycle(TCycleState state) {
  awaiting_search_link_ = false;
  // The link is closed below: the engine must not go on pinging into it and
  // declare the device lost long after the cycle ended.
  engine_.Stop();
  delivery_results_.reset();
  delivery_jackpots_.reset();
  SetProgress(100);
  const TCycleKind kind = kind_;
  if (kind == TCycleKind::Read && state != TCycleState::EndNormal) ReportUnreadRest();
  switch (state) {
    case TCycleState::EndNormal:
      timer1_.SetEnabled(false);
      host_.RunningChanged(kind, false);
      host_.CloseLink();
      break;
    case TCycleState::EndLinkLost:
      timer1_.SetEnabled(false);
      host_.CloseLink();
      host_.RunningChanged(kind, false);
      if (OnLinkLost) OnLinkLost();
      break;
    default:
      host_.CloseLink();
      timer1_.SetEnabled(false);
      host_.RunningChanged(kind, false);
      // A delivery or check cut short by a link error would otherwise leave
      // the main window believing it still runs: tell it the link was lost.
      if (kind != TCycleKind::Search && OnLinkLost) OnLinkLost();
      break;
  }
}

}  // namespace quinterra
