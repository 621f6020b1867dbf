#include "devices/device_session.h"

#include "bus/bus_engine.h"
#include "devices/device_registry_file.h"
#include "links/device_link.h"
#include "platform/device_turn.h"
#include "platform/file_io.h"
#include "platform/interval_timer.h"

namespace quinterra {
namespace {

// The registry is read once per run of the program, whichever session asks.
bool devices_loaded = false;

}  // namespace

TDeviceSession::TDeviceSession(ITimerFactory& timers, std::unique_ptr<IDeviceLink> link,
                               std::string folder, uint32_t seed)
    : registry_path_(folder + "equipos.ini"),
      link_(std::move(link)),
      timer1_(timers.CreateTimer()),
      engine_(std::make_unique<TComVornBus>(timers)),
      cycle_(std::make_unique<TDeviceCycle>(*engine_, *timer1_, static_cast<IDeviceCycleHost&>(*this))),
      random_(seed),
      turn_(std::make_unique<TDeviceTurn>(folder)),
      turn_timer_(timers.CreateTimer()) {
  turn_timer_->SetInterval(std::chrono::milliseconds(100));
  turn_timer_->OnTimer = [this] { TurnTimer(); };
  link_->OnLog = [this](const std::string& line) { Log(line); };
  link_->OnLinkOpened = [this] { cycle_->LinkOpened(); };
  link_->OnLinkFailed = [this] { cycle_->LinkFailed(); };
  link_->OnReceived = [this](const uint8_t* bytes, int count) { ReceivedBytes(bytes, count); };
  engine_->OnSend = [this](TComVornBus*, const uint8_t* bytes, int, int count) {
    link_->SendToLink(bytes, count);
  };
  engine_->OnProgress = [this](TComVornBus*, uint32_t, uint32_t) { cycle_->UpdateProgress(); };
  cycle_->OnProgress = [this](int percent) {
    if (OnProgress) OnProgress(this, percent);
  };
  cycle_->OnPanelSent = [this](TPanel panel, TPanelResult result) {
    if (OnPanelSent) OnPanelSent(this, panel, result);
  };
  cycle_->OnPanelChecked = [this](TPanel panel, bool active) {
    if (OnPanelChecked) OnPanelChecked(this, panel, active);
  };
  cycle_->OnLinkLost = [this] {
    if (OnLinkLost) OnLinkLost(this);
  };
}

TDeviceSession::~TDeviceSession() {
  // The link goes first and quietly: its events would reach a cycle that is
  // being taken apart.
  link_->OnLog = nullptr;
  link_->OnLinkOpened = nullptr;
  link_->OnLinkFailed = nullptr;
  link_->OnReceived = nullptr;
  link_->CloseLink();
  engine_->OnSend = nullptr;
  engine_->OnProgress = nullptr;
}

void TDeviceSession::ForgetDevicesLoaded() { devices_loaded = false; }

void TDeviceSession::LoadDevices() {
  if (devices_loaded) return;
  devices_loaded = true;
  rows_.clear();
  const ProfileText file = ReadDeviceFile(registry_path_);
  for (const std::string& section : file.SectionNames()) {
    if (std::optional<DeviceRow> row = ReadDeviceSection(file, section)) rows_.push_back(*row);
  }
  RowsChanged();
  PublishDevices();
}

void TDeviceSession::PublishDevices() {
  if (OnDevicesCleared) OnDevicesCleared(this);
  // A handler may change the list (a menu rebuilt from it calls back); walk
  // a copy.
  const std::vector<DeviceRow> rows = rows_;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (OnDeviceListed) {
      OnDeviceListed(this, rows[i].Address().value_or(0), static_cast<int>(i), rows[i].Name,
                     rows[i].IsSelected());
    }
  }
  if (OnDevicesListed) OnDevicesListed(this);
}

bool TDeviceSession::SaveDevices(std::string* failure) {
  bool saved = true;
  try {
    SaveDeviceFile(registry_path_, rows_);
  } catch (const FileError& error) {
    saved = false;
    if (failure) *failure = error.what();
  }
  // The menu follows the list, whether or not the file could keep it.
  PublishDevices();
  return saved;
}

bool TDeviceSession::SetDeviceSelected(int row_index, bool selected, std::string* failure) {
  if (row_index >= 0 && row_index < static_cast<int>(rows_.size())) {
    rows_[static_cast<size_t>(row_index)].Selected = selected ? "*" : " ";
    RowsChanged();
  }
  return SaveDevices(failure);
}

bool TDeviceSession::RemoveDevice(int row_index) {
  if (Running()) return false;
  if (row_index < 0 || row_index >= static_cast<int>(rows_.size())) return false;
  rows_.erase(rows_.begin() + row_index);
  return true;
}

bool TDeviceSession::Search(const TLinkSettings& settings) {
  return StartInTurn(TCycleKind::Search, [this, settings] { return cycle_->Search(settings); });
}

void TDeviceSession::SetPayloads(TPanelPayload results, TPanelPayload jackpots) {
  results_payload_ = std::move(results);
  jackpots_payload_ = std::move(jackpots);
}

bool TDeviceSession::SendPanels(TPanelMode mode) {
  // The payloads of the moment of the order, whenever its turn comes.
  return StartInTurn(TCycleKind::Delivery, [this, mode, results = results_payload_,
                                            jackpots = jackpots_payload_] {
    return cycle_->SendPanels(mode, results, jackpots, verify_after_write_);
  });
}

void TDeviceSession::CheckPanels(TPanelMode mode) {
  auto start = [this, mode] {
    cycle_->CheckPanels(mode);
    return true;
  };
  if (waiting_) {
    // A check takes over what waits, as it takes over what runs.
    if (OnRunningChanged) OnRunningChanged(this, waiting_->Kind, false);
    waiting_->Kind = TCycleKind::Check;
    waiting_->Start = start;
    announced_ = TCycleKind::Check;
    if (OnRunningChanged) OnRunningChanged(this, TCycleKind::Check, true);
    return;
  }
  StartInTurn(TCycleKind::Check, start);
}

void TDeviceSession::SetVerifyAfterWrite(bool on) { verify_after_write_ = on; }

bool TDeviceSession::ReadPanels(TPanelMode mode) {
  return StartInTurn(TCycleKind::Read, [this, mode] { return cycle_->ReadPanels(mode); });
}

bool TDeviceSession::StartInTurn(TCycleKind kind, std::function<bool()> start) {
  if (!share_ || cycle_->Running() || turn_->TryTake()) {
    const bool started = start();
    if (share_ && !cycle_->Running()) turn_->Release();
    return started;
  }
  if (waiting_) return false;
  waiting_ = Waiting{kind, std::move(start)};
  announced_ = kind;
  Log("[Espera] otro programa está usando los equipos: se espera a que termine");
  if (OnRunningChanged) OnRunningChanged(this, kind, true);
  turn_timer_->SetEnabled(true);
  return true;
}

void TDeviceSession::TurnTimer() {
  if (!waiting_) {
    turn_timer_->SetEnabled(false);
    return;
  }
  waiting_->Waited += turn_timer_->Interval();
  const bool taken = turn_->TryTake();
  if (!taken && waiting_->Waited < kTurnWait) return;
  turn_timer_->SetEnabled(false);
  if (!taken) Log("[Espera] los equipos siguen ocupados: se empieza de todos modos");
  const Waiting waiting = std::move(*waiting_);
  waiting_.reset();
  if (!waiting.Start()) {
    announced_.reset();
    turn_->Release();
    if (OnRunningChanged) OnRunningChanged(this, waiting.Kind, false);
  }
}

void TDeviceSession::DeviceDone(int row_index, TPanel panel, TDeviceOutcome outcome) {
  if (OnDeviceDone) OnDeviceDone(this, row_index, panel, outcome);
}

void TDeviceSession::DeviceRead(int row_index, TPanel panel, const std::vector<uint8_t>& bytes) {
  if (OnDeviceRead) OnDeviceRead(this, panel, row_index, bytes);
}

void TDeviceSession::DeviceReadBack(int row_index, TPanel panel,
                                    const std::vector<uint8_t>& bytes) {
  if (OnDisplayReadBack) OnDisplayReadBack(this, panel, row_index, bytes);
}

void TDeviceSession::DeviceDifferent(int row_index, TPanel panel,
                                     const TByteDifference& difference) {
  if (OnDeviceDifferent) OnDeviceDifferent(this, panel, row_index, difference);
}

void TDeviceSession::OpenLink(TLinkKind kind, const std::string& target,
                              const std::string& speed) {
  if (kind == TLinkKind::Tcp) {
    // Blanks around a typed address would only make the connect fail.
    const std::size_t first = target.find_first_not_of(" \t\r\n");
    const std::string address =
        first == std::string::npos
            ? std::string()
            : target.substr(first, target.find_last_not_of(" \t\r\n") - first + 1);
    // The link opens nothing for an empty address or a port outside 1..65535.
    link_->OpenTcp(address, NumberOrZero(speed));
  } else if (kind == TLinkKind::Serial) {
    link_->OpenSerial(NumberOrZero(target), NumberOrZero(speed));
  }
}

void TDeviceSession::CloseLink() { link_->CloseLink(); }

bool TDeviceSession::SerialLinkAlive() { return link_->SerialLinkAlive(); }

int TDeviceSession::SerialRate() { return link_->SerialRate(); }

void TDeviceSession::SetSerialRate(int rate) { link_->SetSerialRate(rate); }

void TDeviceSession::Log(const std::string& line) {
  log_.push_back(line);
  if (OnLog) OnLog(this, line);
}

void TDeviceSession::RunningChanged(TCycleKind kind, bool running) {
  if (running) {
    if (share_) turn_->TryTake();  // a check taking over a cycle keeps its turn
    const bool told = announced_ == kind;
    announced_.reset();
    if (told) return;
  } else if (!waiting_) {
    turn_->Release();
  }
  if (OnRunningChanged) OnRunningChanged(this, kind, running);
  if (kind == TCycleKind::Read && !running && OnPanelsRead) OnPanelsRead(this);
}

void TDeviceSession::RowsChanged() {
  if (OnRowsChanged) OnRowsChanged(this);
}

int TDeviceSession::Random(int n) {
  if (n <= 1) return 0;
  return std::uniform_int_distribution<int>(0, n - 1)(random_);
}

void TDeviceSession::ReceivedBytes(const uint8_t* bytes, int count) {
  if (count <= 0) return;
  // The engine's events may close the link, and with it the buffer these
  // bytes came in; every byte still reaches the engine, in order.
  const std::vector<uint8_t> received(bytes, bytes + count);
  for (uint8_t b : received) engine_->ReceiveByte(b);
}

}  // namespace quinterra
