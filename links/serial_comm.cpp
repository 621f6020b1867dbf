#include "links/serial_comm.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>
#include <utility>

namespace quinterra {
namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// SendTimeOut per byte for count bytes, without overflowing.
int WriteBudget(int per_byte_ms, int count) {
  if (per_byte_ms <= 0) return 0;  // no limit
  const long long total = static_cast<long long>(per_byte_ms) * std::max(count, 1);
  return static_cast<int>(std::min<long long>(total, INT_MAX));
}

}  // namespace

TSerialComm::TSerialComm(TComPortMap ports, std::unique_ptr<TSerialDevice> device)
    : ports_(std::move(ports)),
      device_(device ? std::move(device) : CreateNativeSerialDevice()) {}

TSerialComm::~TSerialComm() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (device_->IsOpen()) device_->Close();
}

// --- events ---

void TSerialComm::ReportLocked(const TSerialError& error, Events& events) {
  error_flag_ = true;
  if (error.kind == TSerialErrorKind::Gone) connected_.store(false, std::memory_order_release);
  events.push_back({EventKind::Error, 0, error});
}

void TSerialComm::ApplyLocked(const TSerialError& result, Events& events) {
  if (result) ReportLocked(result, events);
}

void TSerialComm::Raise(const Events& events) {
  for (const Event& event : events) {
    switch (event.kind) {
      case EventKind::Error:
        if (OnError) OnError(this, event.error);
        break;
      case EventKind::Receive:
        if (OnReceive) OnReceive(this, event.count);
        break;
      case EventKind::Transmit:
        if (OnTransmit) OnTransmit(this, event.count);
        break;
      case EventKind::Connect:
        if (OnConnect) OnConnect(this);
        break;
      case EventKind::Connected:
        if (OnConnected) OnConnected(this);
        break;
      case EventKind::Close:
        if (OnClose) OnClose(this);
        break;
    }
  }
}

// --- properties ---

#define QUINTERRA_LOCKED_GETTER(Type, Name, member) \
  Type TSerialComm::Name() const {                  \
    std::lock_guard<std::mutex> lock(mutex_);       \
    return member;                                  \
  }

QUINTERRA_LOCKED_GETTER(int, Port, port_)
QUINTERRA_LOCKED_GETTER(TSerialBaudRate, BaudRate, baud_rate_)
QUINTERRA_LOCKED_GETTER(TSerialParity, Parity, parity_)
QUINTERRA_LOCKED_GETTER(TSerialDataBits, DataBits, data_bits_)
QUINTERRA_LOCKED_GETTER(TSerialStopBits, StopBits, stop_bits_)
QUINTERRA_LOCKED_GETTER(TDtrFlow, DtrFlow, dtr_flow_)
QUINTERRA_LOCKED_GETTER(TRtsFlow, RtsFlow, rts_flow_)
QUINTERRA_LOCKED_GETTER(int, RecvTimeOut, recv_timeout_)
QUINTERRA_LOCKED_GETTER(int, ByteIntervalTimeOut, byte_interval_timeout_)
QUINTERRA_LOCKED_GETTER(int, SendTimeOut, send_timeout_)
QUINTERRA_LOCKED_GETTER(int, PauseAfterChar, pause_after_char_)
QUINTERRA_LOCKED_GETTER(bool, RtsManual, rts_manual_)
QUINTERRA_LOCKED_GETTER(bool, ErrorFlag, error_flag_)
#undef QUINTERRA_LOCKED_GETTER

// Read without the lock: the worker polls it while the UI thread may spend
// seconds in Open's retries.
bool TSerialComm::Connected() const { return connected_.load(std::memory_order_acquire); }

void TSerialComm::SetPort(int com_number) {
  if (com_number < 0 || com_number > TComPortMap::kMaxComNumber) return;
  std::lock_guard<std::mutex> lock(mutex_);
  port_ = com_number;
}

// Stores the value and, when a port is open, applies it at once.
#define QUINTERRA_LINE_SETTER(Type, Name, member, apply)  \
  void TSerialComm::Set##Name(Type value) {                \
    Events events;                                         \
    {                                                      \
      std::lock_guard<std::mutex> lock(mutex_);            \
      member = value;                                      \
      if (device_->IsOpen()) ApplyLocked(apply, events);   \
    }                                                      \
    Raise(events);                                         \
  }

QUINTERRA_LINE_SETTER(TSerialBaudRate, BaudRate, baud_rate_,
                      device_->SetBaudRate(BaudRateValue(value)))
QUINTERRA_LINE_SETTER(TSerialParity, Parity, parity_, device_->SetParity(value))
QUINTERRA_LINE_SETTER(TSerialDataBits, DataBits, data_bits_, device_->SetDataBits(value))
QUINTERRA_LINE_SETTER(TSerialStopBits, StopBits, stop_bits_, device_->SetStopBits(value))
QUINTERRA_LINE_SETTER(TDtrFlow, DtrFlow, dtr_flow_, device_->SetDtrFlow(value))
QUINTERRA_LINE_SETTER(TRtsFlow, RtsFlow, rts_flow_, device_->SetRtsFlow(value))
#undef QUINTERRA_LINE_SETTER

// Reads here never wait, so the read time-outs are only kept.
void TSerialComm::SetRecvTimeOut(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  recv_timeout_ = ms;
}

void TSerialComm::SetByteIntervalTimeOut(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  byte_interval_timeout_ = ms;
}

// Applied by each write.
void TSerialComm::SetSendTimeOut(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  send_timeout_ = ms;
}

void TSerialComm::SetPauseAfterChar(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  pause_after_char_ = ms;
}

void TSerialComm::SetRtsManual(bool manual) {
  std::lock_guard<std::mutex> lock(mutex_);
  rts_manual_ = manual;
}

// --- operations ---

bool TSerialComm::CloseHandleLocked(Events& events) {
  events.push_back({EventKind::Close, 0, {}});
  if (TSerialError error = device_->Close()) {
    ReportLocked(error, events);
    return false;
  }
  return true;
}

bool TSerialComm::Open() {
  Events events;
  bool result = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connected_.store(false, std::memory_order_release);
    if (device_->IsOpen() && !CloseHandleLocked(events)) {
      result = false;
    } else if (port_ == TsPortNone) {
      result = true;
    } else {
      const std::string path = ports_.DevicePath(port_);
      events.push_back({EventKind::Connect, 0, {}});
      TSerialError error;
      for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        if (attempt > 0) SleepMs(kOpenRetryPauseMs);
        error = device_->Open(path);
        if (!error) break;
      }
      if (error) {
        ReportLocked(error, events);
      } else {
        connected_.store(true, std::memory_order_release);
        events.push_back({EventKind::Connected, 0, {}});
        // DTR and RTS end up dropped; DtrFlow and RtsFlow are not applied.
        ApplyLocked(device_->ApplyLineDefaults(), events);
        ApplyLocked(device_->SetBaudRate(BaudRateValue(baud_rate_)), events);
        ApplyLocked(device_->SetParity(parity_), events);
        ApplyLocked(device_->SetDataBits(data_bits_), events);
        ApplyLocked(device_->SetStopBits(stop_bits_), events);
        result = true;
      }
    }
  }
  Raise(events);
  return result;
}

bool TSerialComm::Close() {
  Events events;
  bool result = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    port_ = TsPortNone;
    connected_.store(false, std::memory_order_release);
    if (device_->IsOpen()) result = CloseHandleLocked(events);
  }
  Raise(events);
  return result;
}

int TSerialComm::ReadBytes(uint8_t* buffer, int size) {
  Events events;
  int count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!device_->IsOpen() || !connected_.load(std::memory_order_relaxed)) return 0;
    if (TSerialError error = device_->Read(buffer, size, &count)) {
      // Reads never wait, so a failing one would fail again at once, pass
      // after pass: the port is not read again until it is reopened.
      count = 0;
      connected_.store(false, std::memory_order_release);
      ReportLocked(error, events);
    } else {
      events.push_back({EventKind::Receive, count, {}});
    }
  }
  Raise(events);
  return count;
}

int TSerialComm::WriteBytes(const uint8_t* bytes, int count) {
  Events events;
  int total = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!device_->IsOpen()) return 0;
    if (rts_manual_) {
      rts_flow_ = TrfEnable;
      ApplyLocked(device_->SetRtsFlow(TrfEnable), events);
    }
    if (pause_after_char_ != 0) {
      for (int i = 0; i < count; ++i) {
        SleepMs(pause_after_char_);
        int written = 0;
        if (TSerialError error = device_->Write(bytes + i, 1, WriteBudget(send_timeout_, 1), &written)) {
          ReportLocked(error, events);
          break;
        }
        total += written;
      }
    } else if (count > 0) {
      if (TSerialError error = device_->Write(bytes, count, WriteBudget(send_timeout_, count), &total)) {
        ReportLocked(error, events);
      }
    }
    if (!error_flag_) events.push_back({EventKind::Transmit, total, {}});
    if (rts_manual_) {
      ApplyLocked(device_->WaitTransmitEmpty(WriteBudget(send_timeout_, count)), events);
      SleepMs(10);
      rts_flow_ = TrfDisable;
      ApplyLocked(device_->SetRtsFlow(TrfDisable), events);
    }
  }
  Raise(events);
  return total;
}

}  // namespace quinterra
