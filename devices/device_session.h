#pragma once
// The device side of the program, apart from any window: the bus engine,
// the one link, the device registry (equipos.ini), the log lines and the
// search, delivery and check cycle. The search window shows it and asks it
// to act; a console program can drive it the same way.
//
// The session is standard C++; its link comes from outside (TLinkLayer in
// the program, lines to emulated devices in tests). Everything runs on one
// thread, the UI thread in the program; events may call back into the
// session.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "devices/device_cycle.h"
#include "devices/device_row.h"
#include "devices/link_settings.h"
#include "devices/panel_types.h"

namespace quinterra {

class IDeviceLink;
class IIntervalTimer;
class ITimerFactory;
class TComVornBus;
class TDeviceTurn;

class TDeviceSession : private IDeviceCycleHost {
 public:
  // timers makes Timer1 and the engine's timers and must outlive the
  // session. folder holds equipos.ini (it ends in a separator). seed draws
  // the check bytes.
  TDeviceSession(ITimerFactory& timers, std::unique_ptr<IDeviceLink> link, std::string folder,
                 uint32_t seed);
  ~TDeviceSession() override;
  TDeviceSession(const TDeviceSession&) = delete;
  TDeviceSession& operator=(const TDeviceSession&) = delete;

  // --- the registry ---
  // Fills the list from equipos.ini once per program run, then publishes it.
  void LoadDevices();
  // Tests run many sessions in one process.
  static void ForgetDevicesLoaded();
  // Rewrites equipos.ini from the list and publishes it. False, with the
  // reason in *failure, when the file could not be written; the previous
  // file is then left whole.
  bool SaveDevices(std::string* failure);
  // Sets the row's "S" if the row exists, then saves in any case (as
  // SaveDevices).
  bool SetDeviceSelected(int row_index, bool selected, std::string* failure);
  // Removes a row; refused (false) while a delivery or check walks the rows
  // by index, since a row taken away would shift the device being served.
  bool RemoveDevice(int row_index);
  const std::vector<DeviceRow>& Devices() const { return rows_; }
  std::vector<DeviceRow>& Rows() override { return rows_; }
  // Raises OnRowsChanged: a row was added or changed.
  void RowsChanged() override;

  // --- the cycles ---
  // "Buscar" on the link of settings; false when refused.
  bool Search(const TLinkSettings& settings);
  // The main window's panel contents, handed over before SendPanels; null
  // for no data. A running delivery keeps the ones it started with.
  void SetPayloads(TPanelPayload results, TPanelPayload jackpots);
  bool SendPanels(TPanelMode mode);
  void CheckPanels(TPanelMode mode);
  // With verification on, a delivery reads back what it wrote to each device
  // and reports a panel Verified only when every device holds it exactly;
  // Failed when one holds other bytes ("[Distinto]"); Sent when every device
  // acknowledged its writes but one could not be read back ("[Sin lectura]",
  // as without verification). A device that answers no reads at all is not
  // waited on again while the session lives. Off (as created), a delivery is
  // exactly the described one.
  void SetVerifyAfterWrite(bool on);
  // Reads what every selected device of the requested panels holds (the
  // display bytes of its panel's size); OnDeviceRead once per device, then
  // the end of the cycle. False when a cycle runs.
  bool ReadPanels(TPanelMode mode);
  // Running also while a cycle waits for its turn on the devices.
  bool Running() const { return cycle_->Running() || waiting_.has_value(); }
  // From now on, other programs on the same folder's devices (the program,
  // the network's agent, quinterra-send) take turns with this session: a
  // search, delivery, check or read that finds them holding the devices says
  // "[Espera] ..." and starts once they are done, or after kTurnWait in any
  // case. Meanwhile the session counts as running and OnRunningChanged has
  // said so. Off (as made), nothing waits.
  void TakeTurnsWithOtherPrograms() { share_ = true; }
  static constexpr std::chrono::milliseconds kTurnWait{60000};

  // --- the link ---
  // kind's link to target at speed (COM number and rate, or IP address and
  // port, as texts; blanks around a number are allowed). Texts that name no
  // link open nothing and say nothing.
  void OpenLink(TLinkKind kind, const std::string& target, const std::string& speed) override;
  void CloseLink() override;
  bool SerialLinkAlive() override;
  int SerialRate() override;

  // --- the log ---
  void Log(const std::string& line) override;
  const std::vector<std::string>& LogLines() const { return log_; }
  void ClearLog() { log_.clear(); }

  // --- parts, for the window and tests ---
  TComVornBus& Engine() { return *engine_; }
  IDeviceLink& Link() { return *link_; }
  const TDeviceCycle& Cycle() const { return *cycle_; }
  const IIntervalTimer& Timer1() const { return *timer1_; }

  // --- events, each called only when filled, the session first ---
  std::function<void(TDeviceSession*, const std::string& line)> OnLog;
  // A row was added or changed by a search.
  std::function<void(TDeviceSession*)> OnRowsChanged;
  // Raises the list events below for the list as it is now (they come by
  // themselves after every load and save).
  void PublishDevices();
  // A cycle starts (also when it takes over another) or ends.
  std::function<void(TDeviceSession*, TCycleKind kind, bool running)> OnRunningChanged;
  // How far the running search, delivery or check is, in percent: 0 when
  // it starts, never going back, 100 when it ends (TDeviceCycle::OnProgress).
  std::function<void(TDeviceSession*, int percent)> OnProgress;
  // The list, row by row, after every load and save.
  std::function<void(TDeviceSession*)> OnDevicesCleared;
  std::function<void(TDeviceSession*, int number, int row_index, const std::string& name,
                     bool selected)>
      OnDeviceListed;
  std::function<void(TDeviceSession*)> OnDevicesListed;
  // The outcome of deliveries and checks.
  std::function<void(TDeviceSession*, TPanel panel, TPanelResult result)> OnPanelSent;
  std::function<void(TDeviceSession*, TPanel panel, bool active)> OnPanelChecked;
  std::function<void(TDeviceSession*)> OnLinkLost;
  // A read (ReadPanels) has ended; every OnDeviceRead came before it.
  std::function<void(TDeviceSession*)> OnPanelsRead;
  // One device served by a delivery, check or read, in list order, as its
  // turn ends.
  std::function<void(TDeviceSession*, int row_index, TPanel panel, TDeviceOutcome outcome)>
      OnDeviceDone;
  // One device read by ReadPanels: its row, its panel, and the bytes it
  // holds; empty when it could not be read. Every device the read meant to
  // read is reported, also when the read ends early (a lost link, a check
  // that takes over).
  std::function<void(TDeviceSession*, TPanel panel, int row_index,
                     const std::vector<uint8_t>& bytes)>
      OnDeviceRead;
  // A verifying delivery read a device's display back whole: the panel's
  // bytes as the device returned them (never the bytes written), before
  // that device's OnDeviceDone.
  std::function<void(TDeviceSession*, TPanel panel, int row_index,
                     const std::vector<uint8_t>& bytes)>
      OnDisplayReadBack;
  // A verifying delivery found a device holding other bytes than it wrote:
  // how many and where, before that device's OnDeviceDone (Different).
  std::function<void(TDeviceSession*, TPanel panel, int row_index,
                     const TByteDifference& difference)>
      OnDeviceDifferent;

 private:
  // IDeviceCycleHost.
  void SetSerialRate(int rate) override;
  void RunningChanged(TCycleKind kind, bool running) override;
  int Random(int n) override;
  void DeviceDone(int row_index, TPanel panel, TDeviceOutcome outcome) override;
  void DeviceRead(int row_index, TPanel panel, const std::vector<uint8_t>& bytes) override;
  void DeviceReadBack(int row_index, TPanel panel, const std::vector<uint8_t>& bytes) override;
  void DeviceDifferent(int row_index, TPanel panel, const TByteDifference& difference) override;

  void ReceivedBytes(const uint8_t* bytes, int count);
  // Runs start now when the devices are ours, else once they are.
  bool StartInTurn(TCycleKind kind, std::function<bool()> start);
  void TurnTimer();

  struct Waiting {
    TCycleKind Kind;
    std::function<bool()> Start;
    std::chrono::milliseconds Waited{0};
  };

  std::string registry_path_;
  std::unique_ptr<IDeviceLink> link_;
  std::unique_ptr<IIntervalTimer> timer1_;
  std::unique_ptr<TComVornBus> engine_;
  std::unique_ptr<TDeviceCycle> cycle_;
  std::mt19937 random_;
  std::vector<DeviceRow> rows_;
  std::vector<std::string> log_;
  TPanelPayload results_payload_;
  TPanelPayload jackpots_payload_;
  bool verify_after_write_ = false;
  bool share_ = false;
  std::unique_ptr<TDeviceTurn> turn_;
  std::unique_ptr<IIntervalTimer> turn_timer_;
  std::optional<Waiting> waiting_;
  // The start of a waiting cycle was announced already: its own comes twice.
  std::optional<TCycleKind> announced_;
};

}  // namespace quinterra
