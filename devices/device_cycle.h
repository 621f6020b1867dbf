#pragma once
// The device session's timer-driven cycle: the search started by "Buscar",
// the delivery of panels, the presence check of panel devices, and the ends
// of all three. One state, stepped by Timer1 every 100 ms; answers arrive as
// bus engine events and move the state on.
//
// TDeviceCycle owns no link and no list. Its host (the device session) opens
// and closes links, keeps the rows and the log, and forwards the link's two
// reports, LinkOpened and LinkFailed. The constructor takes over Timer1's
// OnTimer and the engine events OnPong, OnInfo, OnBuild, OnTimeout,
// OnDirectoryWritten, OnDisplayWritten, OnCheckResult, OnDirectoryRead and
// OnDisplayRead; OnSend stays the host's.
//
// Each cycle's states and transitions live in its own file:
// device_cycle_search.cpp, device_cycle_delivery.cpp, device_cycle_check.cpp.
//
// Threading: everything runs on one thread (the UI thread in the program).
// Host calls may re-enter the cycle: a serial link reports LinkOpened or
// LinkFailed from within OpenLink.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "devices/device_row.h"
#include "devices/link_settings.h"
#include "devices/panel_types.h"

namespace quinterra {

class TComVornBus;
class IIntervalTimer;

// The cycle's states. Their numbers are the ones the log and the tests use:
// 0-11 search, 100-107 delivery (108-109 when it reads back what it wrote),
// 200-203 check, 300-304 reading the panels, 253-255 ends.
enum class TCycleState : int {
  PingResults = 0,
  AwaitResultsPongs = 1,
  PingJackpots = 2,
  AwaitJackpotsPongs = 3,
  PickRow = 4,
  AskVersion = 5,
  AwaitVersion = 6,
  AskBuild = 7,
  AwaitBuild = 8,
  SearchEnd = 11,

  DeliveryChoose = 100,
  DeliveryAwaitLink = 101,
  DeliveryAskInfo = 102,
  DeliveryAwaitInfo = 103,
  DeliveryWriteDirectory = 104,
  DeliveryAwaitDirectory = 105,
  DeliveryWriteDisplay = 106,
  DeliveryAwaitDisplay = 107,
  DeliveryAwaitDirectoryReadBack = 108,
  DeliveryAwaitDisplayReadBack = 109,

  CheckChoose = 200,
  CheckAwaitLink = 201,
  CheckSend = 202,
  CheckAwaitAnswer = 203,

  ReadChoose = 300,
  ReadAwaitLink = 301,
  ReadAskInfo = 302,
  ReadAwaitInfo = 303,
  ReadAwaitDisplay = 304,

  EndNormal = 253,
  EndLinkLost = 254,
  EndLinkError = 255,
};

inline int StateNumber(TCycleState state) { return static_cast<int>(state); }

enum class TCycleKind { Search, Delivery, Check, Read };

// What the cycle needs of the session.
class IDeviceCycleHost {
 public:
  virtual ~IDeviceCycleHost() = default;
  // Opens a link to target at speed: a COM number and a rate, or an IP
  // address and a TCP port, as texts. Texts that name no link open nothing.
  // Reports back through LinkOpened or LinkFailed (a serial link from within
  // this call).
  virtual void OpenLink(TLinkKind kind, const std::string& target, const std::string& speed) = 0;
  virtual void CloseLink() = 0;
  // A serial link is open and not closing; its rate; a new rate (the port
  // stays open).
  virtual bool SerialLinkAlive() = 0;
  virtual int SerialRate() = 0;
  virtual void SetSerialRate(int rate) = 0;
  virtual void Log(const std::string& line) = 0;
  // A cycle of kind starts (also when it takes over another) or ends.
  virtual void RunningChanged(TCycleKind kind, bool running) = 0;
  virtual std::vector<DeviceRow>& Rows() = 0;
  // A row was added or a field of one changed.
  virtual void RowsChanged() = 0;
  // Pseudo-random integer in 0..n-1.
  virtual int Random(int n) = 0;
  // One served device's turn ended.
  virtual void DeviceDone(int row_index, TPanel panel, TDeviceOutcome outcome) = 0;
  // One device of a read: the bytes its display holds, empty when unread.
  // Every device a read meant to read is reported, also when the read ends
  // early.
  virtual void DeviceRead(int row_index, TPanel panel, const std::vector<uint8_t>& bytes) = 0;
  // A verifying delivery read a device's display back whole: the panel's
  // bytes as the device returned them, before that device's DeviceDone.
  virtual void DeviceReadBack(int row_index, TPanel panel, const std::vector<uint8_t>& bytes) = 0;
  // A verifying delivery found the device holding other bytes, before that
  // device's DeviceDone (Different).
  virtual void DeviceDifferent(int row_index, TPanel panel, const TByteDifference& difference) = 0;
};

using TPanelPayload = std::shared_ptr<const std::vector<uint8_t>>;

// The cycle's variables, for reading.
struct TCycleVariables {
  TCycleState CycleState = TCycleState::EndNormal;
  int WaitTicks = 0;
  int IdentifyIndex = 0;
  // Place in RateList of the automatic rate search; -1 for a fixed rate.
  int RateIndex = -1;
  int DeliveryIndex = 0;
  bool WantResults = false;
  bool WantJackpots = false;
  // A device of the panel did not answer in time: the panel failed and its
  // later devices are skipped.
  bool ResultsFailed = false;
  bool JackpotsFailed = false;
  // A device read back other bytes than were written: the panel failed, its
  // later devices are still written.
  bool ResultsDifferent = false;
  bool JackpotsDifferent = false;
  // A device acknowledged every write but could not be read back: the panel
  // is sent, not verified.
  bool ResultsUnverified = false;
  bool JackpotsUnverified = false;
  int ResultsTried = 0;
  int JackpotsTried = 0;
  int PanelKind = 0;
  TLinkKind LinkKind = TLinkKind::None;
  std::string LinkTarget;
  std::string LinkSpeed;
};

class TDeviceCycle {
 public:
  // Timer1's period. Waits count its ticks; a wait set to n lasts n+1 ticks.
  static constexpr std::chrono::milliseconds kTick{100};
  static constexpr int kPingWaitTicks = 10;
  static constexpr int kIdentifyWaitTicks = 15;
  static constexpr int kDeviceStepWaitTicks = 25;
  // Bound on the wait for a link to open (a TCP connect that never
  // completes).
  static constexpr int kLinkOpenWaitTicks = 50;
  // The automatic rate search tries at most this many rates of RateList.
  static constexpr int kMaxAutoRates = 4;

  // The record written to the directory area before every panel: one entry
  // for the object at display offset 0, then the end of the list.
  static const std::array<uint8_t, 32> kDirectoryRecord;

  // engine, timer1 and host must outlive the cycle.
  TDeviceCycle(TComVornBus& engine, IIntervalTimer& timer1, IDeviceCycleHost& host);
  ~TDeviceCycle();
  TDeviceCycle(const TDeviceCycle&) = delete;
  TDeviceCycle& operator=(const TDeviceCycle&) = delete;

  // "Buscar" on the link of settings. Refused (false) while any cycle runs,
  // or when settings name no link kind.
  bool Search(const TLinkSettings& settings);
  // Starts a delivery of the payloads for mode; false when a cycle runs or
  // no requested panel has a payload. The delivery keeps these payloads.
  // With verify, it reads back what it wrote to each device before going on.
  bool SendPanels(TPanelMode mode, TPanelPayload results, TPanelPayload jackpots,
                  bool verify = false);
  // Starts a presence check, taking over whatever runs.
  void CheckPanels(TPanelMode mode);
  // Reads what every selected device of the panels of mode holds; false
  // while a cycle runs.
  bool ReadPanels(TPanelMode mode);

  // Timer1's handler.
  void Timer1Timer();
  // The link's two reports.
  void LinkOpened();
  void LinkFailed();

  // Engine event handlers (assigned by the constructor).
  void PongReceived(uint8_t address);
  void InfoReceived();
  void BuildReceived();
  void LinkTimedOut();
  void DirectoryWritten();
  void DisplayWritten();
  void CheckAnswered(bool match);
  void DirectoryReadBack(bool whole);
  void DisplayReadBack(bool whole);

  // How far the running cycle is, in percent for a person: from 0 when it
  // starts, never going back, 100 when it ends. Raised when the share moves.
  std::function<void(int percent)> OnProgress;
  // Works the share out again (after a tick, or when the engine has moved a
  // block) and raises OnProgress when it moved.
  void UpdateProgress();

  // Reports, called only when filled.
  std::function<void(TPanel panel, TPanelResult result)> OnPanelSent;
  std::function<void(TPanel panel, bool active)> OnPanelChecked;
  std::function<void()> OnLinkLost;

  bool Running() const;
  TCycleKind Kind() const { return kind_; }
  TCycleState State() const { return v_.CycleState; }
  const TCycleVariables& Variables() const { return v_; }
  // The bytes the running (or last) delivery writes to panel's devices.
  TPanelPayload DeliveryPayload(TPanel panel) const {
    return panel == TPanel::Results ? delivery_results_ : delivery_jackpots_;
  }

 private:
  // A cycle starts: Timer1 runs, the host hears of it.
  void Begin(TCycleKind kind);
  // The tick rule of the waiting states: true when the wait is over.
  bool WaitOver();
  void EndCycle(TCycleState state);
  DeviceRow* RowAt(int index);

  // The search (device_cycle_search.cpp).
  void SearchStep();
  void SearchInfoReceived();
  void PingAddress(uint8_t address, TCycleState waiting);
  void PickNextRow();
  void NextRate();
  std::string LinkAddressOfSearch() const;
  std::string SpeedOrPortOfSearch();

  // The delivery (device_cycle_delivery.cpp), and what it shares with the
  // check and the read: the walk over the rows (device_cycle_walk.cpp) and
  // its reports.
  void DeliveryStep();
  void DeliveryInfoReceived();
  void CompareReadBack();
  // The device acknowledged its writes but could not be read back: sent,
  // not verified, as a delivery without verification would have it.
  // deaf_to_reads: nothing at all came back, so later deliveries do not
  // wait on its reads.
  void DeviceUnverified(bool deaf_to_reads);
  // The link and number of the device being served, as a key.
  std::string ServedDeviceKey() const;
  void ReportAbandonedDelivery();
  // A read ending before its walk: each device it has not reported yet is
  // reported unread.
  void ReportUnreadRest();
  void ChooseNextDevice();
  bool Serves(const DeviceRow& row) const;
  void PrepareLinkParameters(const DeviceRow& row);
  // The device being served failed: its panel is failed, the walk goes on.
  void DeviceFailed(TDeviceOutcome outcome);
  // One tick of the wait for the served row's link: once over, the link
  // never opened and the device fails.
  void AwaitLinkStep();
  // The device being served is done; the walk goes on with the next row.
  void DeviceServed(TDeviceOutcome outcome);
  TPanel ServedPanel() const;
  void ReportWalk();
  // A walk starts at its first row, nothing tried or failed yet.
  void ResetWalk(TCycleState choose, bool want_results, bool want_jackpots);
  // The walk's states for the running kind.
  TCycleState ChooseState() const;
  TCycleState AwaitLinkState() const;
  TCycleState FirstRequestState() const;

  // The check (device_cycle_check.cpp).
  void CheckStep();

  // Reading the panels (device_cycle_read.cpp).
  void ReadStep();
  void ReadInfoReceived();
  void ReadDisplayReceived(bool whole);

  // Progress (device_cycle_progress.cpp): the share done, 0 to 1.
  double ShareDone() const;
  double SearchShare() const;
  double WalkShare() const;
  void StartProgress();
  void SetProgress(int percent);

  TComVornBus& engine_;
  IIntervalTimer& timer1_;
  IDeviceCycleHost& host_;
  TCycleVariables v_;
  TCycleKind kind_ = TCycleKind::Search;
  TLinkSettings search_;
  // A search waits for the link "Buscar" opened (counted in WaitTicks).
  bool awaiting_search_link_ = false;
  // True only while a device's link is being opened: a serial link reports
  // itself open, or failed, from inside that call.
  bool opening_link_ = false;
  bool opened_while_opening_ = false;
  bool failed_while_opening_ = false;
  // The payloads of the running delivery.
  TPanelPayload delivery_results_;
  TPanelPayload delivery_jackpots_;
  bool verify_ = false;
  // Devices that answered no read-back, by ServedDeviceKey: their reads are
  // not waited on again while the program runs.
  std::set<std::string> deaf_to_reads_;
  // The rows a delivery or check meant to serve when it started, and the
  // percent last raised.
  std::vector<int> walk_rows_;
  int progress_percent_ = 0;
};

}  // namespace quinterra
