#pragma once
// The search window's timer-driven cycle: the search started by "Buscar"
// (states 0-11), the delivery of panels (100-107), the presence check of panel
// devices (200-203) and the end states (253 normal, 254 link lost, 255 link
// error). One integer state, stepped by Timer1 every 100 ms; answers arrive as
// bus engine events and move the state on.
//
// TDeviceCycle owns no widget and no link. The search window owns it, hands it
// the bus engine, its Timer1 and itself as the host, and forwards to it:
// Button1Click, LinkOpened and LinkFailed (from its link layer), SendPanels and
// CheckPanels (from the main window). The constructor takes over Timer1's
// OnTimer and the engine events OnPong, OnInfo, OnBuild, OnTimeout,
// OnDirectoryWritten, OnDisplayWritten and OnCheckResult; OnSend stays the
// window's. The window's OpenLink sets RateIndex (0 for "Auto", -1 for a fixed
// rate) and its ListRates fills RateList.
//
// Threading: everything runs on the UI thread. Host calls may re-enter the
// cycle (a serial link reports LinkOpened or LinkFailed from within OpenLink).

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/device_row.h"

namespace quinterra {

class TComVornBus;
class IIntervalTimer;

// What the cycle needs of the search window.
class IDeviceCycleHost {
 public:
  virtual ~IDeviceCycleHost() = default;
  // kind: 1 serial, 2 TCP, -1 from the radio buttons; any other kind opens
  // nothing. address/second: COM number and rate, or IP address and port;
  // empty texts take the window's controls. Reports back through LinkOpened
  // or LinkFailed (a serial link from within this call).
  virtual void OpenLink(int kind, const std::string& address, const std::string& second) = 0;
  virtual void CloseLink() = 0;
  virtual bool TcpChecked() = 0;     // "TCP/IP"
  virtual bool SerialChecked() = 0;  // "SERIE"
  virtual std::string IpText() = 0;    // Edit1
  virtual std::string PortText() = 0;  // Edit2
  virtual std::string ComText() = 0;   // ComboBox1, e.g. "COM3 - Communications Port"
  // A serial worker exists and is not stopping.
  virtual bool SerialWorkerAlive() = 0;
  virtual int SerialRate() = 0;             // the worker's VelocidadSerie
  virtual void SetSerialRate(int rate) = 0;  // the port stays open
  virtual void Log(const std::string& line) = 0;
  // false when a search starts; true applies the re-enable rule of the end
  // states (both radio buttons and buttons, then the checked kind's boxes).
  virtual void SetControlsEnabled(bool enabled) = 0;
  virtual std::vector<DeviceRow>& Rows() = 0;
  // A row was added or a field of one changed.
  virtual void RowsChanged() = 0;
  // Pseudo-random integer in 0..n-1.
  virtual int Random(int n) = 0;
};

enum class TLinkKind { None = 0, Serial = 1, Tcp = 2 };

using TPanelPayload = std::shared_ptr<const std::vector<uint8_t>>;

class TDeviceCycle {
 public:
  // Tick and waits, in Timer1 ticks of 100 ms. A wait set to n lasts n+1
  // ticks.
  static constexpr int kTickMs = 100;
  static constexpr int kPingWaitTicks = 10;
  static constexpr int kIdentifyWaitTicks = 15;
  static constexpr int kDeviceStepWaitTicks = 25;
  // Bound on the wait for a link to open (a TCP connect that never
  // completes, a TCP address that opens nothing).
  static constexpr int kLinkOpenWaitTicks = 50;
  // The automatic rate search tries at most this many rates of RateList.
  static constexpr int kMaxAutoRates = 4;

  // States with a name.
  static constexpr int kSearchEnd = 11;
  static constexpr int kDeliveryStart = 100;
  static constexpr int kCheckStart = 200;
  static constexpr int kEndNormal = 253;
  static constexpr int kEndLinkLost = 254;
  static constexpr int kEndLinkError = 255;

  // The record written to the directory area before every panel: one entry
  // for the object at display offset 0, then the end of the list.
  static const std::array<uint8_t, 32> kDirectoryRecord;

  // engine, timer1 and host must outlive the cycle.
  TDeviceCycle(TComVornBus& engine, IIntervalTimer& timer1, IDeviceCycleHost& host);
  ~TDeviceCycle();
  TDeviceCycle(const TDeviceCycle&) = delete;
  TDeviceCycle& operator=(const TDeviceCycle&) = delete;

  // "Buscar". Refused (nothing happens) while Timer1 runs any cycle.
  void Button1Click();
  // Starts a delivery; false when Timer1 runs or nothing is to be sent.
  bool SendPanels(int mode);
  // Starts a presence check, taking over whatever runs.
  void CheckPanels(int mode);

  // Timer1's handler.
  void Timer1Timer();
  // The link layer's two steps.
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

  // Reports to the window, called only when filled.
  std::function<void(int panel, bool failed)> OnPanelSent;
  std::function<void(int panel, bool active)> OnPanelChecked;
  std::function<void()> OnLinkLost;

  // Panel contents handed over by the main window before SendPanels. A
  // delivery keeps the payloads it started with, so a slot replaced or
  // emptied meanwhile changes nothing for it.
  TPanelPayload ResultsPayload;
  TPanelPayload JackpotsPayload;

  // Cycle variables.
  int CycleState = kEndNormal;
  int WaitTicks = 0;
  int IdentifyIndex = 0;
  int RateIndex = -1;
  std::vector<int> RateList;
  int DeliveryIndex = 0;
  bool WantResults = false;
  bool WantJackpots = false;
  bool ResultsFailed = false;
  bool JackpotsFailed = false;
  int ResultsTried = 0;
  int JackpotsTried = 0;
  int PanelKind = 0;
  TLinkKind LinkKind = TLinkKind::None;
  std::string LinkTarget;
  std::string LinkSpeed;
  // A search waits for the link "Buscar" opened (counted in WaitTicks).
  bool AwaitingLink = false;

  bool Running() const;

 private:
  // True only while a device's link is being opened: a serial link reports
  // itself open from inside that call.
  bool opening_link_ = false;
  bool opening_link_failed_ = false;
  void SearchStep();
  void PingAddress(uint8_t address);
  void PickNextRow();
  void NextRate();
  void DeliveryStep();
  void CheckStep();
  void ChooseNextDevice(int start_state);
  bool Serves(const DeviceRow& row) const;
  void PrepareLinkParameters(const DeviceRow& row);
  void DeviceFailed(int start_state);
  void ReportWalk(int start_state);
  void EndCycle(int state);
  // The tick rule of the waiting states: true when the wait is over.
  bool WaitOver();
  std::string LinkAddressOfCheckedLink();
  std::string SpeedOrPortOfCheckedLink();
  DeviceRow* RowAt(int index);

  // Which cycle the end states finish.
  enum class CycleKind { Search, Delivery, Check };

  TComVornBus& engine_;
  IIntervalTimer& timer1_;
  IDeviceCycleHost& host_;
  CycleKind cycle_kind_ = CycleKind::Search;
  // The payloads of the running delivery.
  TPanelPayload delivery_results_;
  TPanelPayload delivery_jackpots_;
};

}  // namespace quinterra
