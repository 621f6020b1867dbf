#include "links/comunicacion_serie.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/ui_thread.h"

namespace quinterra {
namespace {

std::atomic<int> g_live_count{0};

// True on a worker thread between TakeAll and Release: an error raised then
// must wait, because the UI thread may itself be waiting for the queue lock
// in SendBytes and could never run the error's handler.
thread_local bool t_holding_queue_lock = false;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

// Counts the UI thread as inside the object, so the worker does not free it
// under that call (a handler run from OpenPort may call Terminate).
class TComunicacionSerie::UiCall {
 public:
  explicit UiCall(TComunicacionSerie* owner) : owner_(owner) {
    owner_->ui_calls_.fetch_add(1, std::memory_order_acq_rel);
  }
  ~UiCall() { owner_->ui_calls_.fetch_sub(1, std::memory_order_release); }
  UiCall(const UiCall&) = delete;
  UiCall& operator=(const UiCall&) = delete;

 private:
  TComunicacionSerie* owner_;
};

TComunicacionSerie::LiveToken::LiveToken() { g_live_count.fetch_add(1); }
TComunicacionSerie::LiveToken::~LiveToken() { g_live_count.fetch_sub(1); }

int TComunicacionSerie::LiveCount() { return g_live_count.load(); }

TComunicacionSerie::TComunicacionSerie(bool create_suspended, TComPortMap ports,
                                       std::unique_ptr<TSerialDevice> device)
    : queue_([this] { return Accepting(); }),
      port_(std::make_unique<TSerialComm>(std::move(ports), std::move(device))) {
  port_->OnError = [this](TSerialComm*, const TSerialError& error) { PortError(error); };
  port_->OnConnect = [this](TSerialComm*) {
    Synchronize([this] {
      if (auto handler = OnSerieConnect) handler(this);
    });
  };
  port_->OnConnected = [this](TSerialComm*) {
    Synchronize([this] {
      if (auto handler = OnSerieConnected) handler(this);
    });
  };
  port_->OnClose = [this](TSerialComm*) {
    Synchronize([this] {
      if (auto handler = OnSerieClose) handler(this);
    });
  };
  if (!create_suspended) Start();
}

// Runs on the worker thread after its loop has ended (Finish).
TComunicacionSerie::~TComunicacionSerie() {
  // Closes the port without any event.
  port_->OnError = nullptr;
  port_->OnConnect = nullptr;
  port_->OnConnected = nullptr;
  port_->OnClose = nullptr;
  port_.reset();
}

void TComunicacionSerie::Start() {
  if (started_.exchange(true)) return;
  std::thread([this] {
    Execute();
    Finish();
  }).detach();
}

bool TComunicacionSerie::Accepting() const {
  return stop_state_.load() == StopState::Running && !Terminated();
}

// --- properties and operations (UI thread) ---

void TComunicacionSerie::SetVelocidadSerie(int bits_per_second) {
  UiCall call(this);
  if (!Accepting()) return;
  TSerialBaudRate rate;
  if (!BaudRateFromValue(bits_per_second, &rate)) return;
  velocidad_ = bits_per_second;
  port_->SetBaudRate(rate);
}

void TComunicacionSerie::SetPuertoSerie(int com_number) {
  UiCall call(this);
  if (!Accepting()) return;
  if (com_number < 0 || com_number > TComPortMap::kMaxComNumber) return;
  port_->Close();
  puerto_ = com_number;
  port_->SetPort(com_number);
}

void TComunicacionSerie::SetStopBitsSerie(int code) {
  UiCall call(this);
  if (!Accepting() || code < 0 || code > 2) return;
  stop_bits_ = code;
  port_->SetStopBits(static_cast<TSerialStopBits>(code));
}

void TComunicacionSerie::SetDataBitsSerie(int bits) {
  UiCall call(this);
  if (!Accepting() || bits < 4 || bits > 8) return;
  data_bits_ = bits;
  port_->SetDataBits(static_cast<TSerialDataBits>(Tsd4Bits + (bits - 4)));
}

void TComunicacionSerie::SetParitySerie(int code) {
  UiCall call(this);
  if (!Accepting() || code < 0 || code > 4) return;
  parity_ = code;
  port_->SetParity(static_cast<TSerialParity>(code));
}

int TComunicacionSerie::PauseAfterChar() const {
  if (!Accepting() || !port_) return -1;
  return port_->PauseAfterChar();
}

void TComunicacionSerie::SetPauseAfterChar(int ms) {
  UiCall call(this);
  if (!Accepting()) return;
  port_->SetPauseAfterChar(ms);
}

void TComunicacionSerie::OpenPort() {
  UiCall call(this);
  if (!Accepting()) return;
  port_->Open();
}

void TComunicacionSerie::SendBytes(const uint8_t* bytes, int count) {
  UiCall call(this);
  queue_.Put(bytes, count);  // refuses by itself once terminating
}

void TComunicacionSerie::DetachHandlers() {
  OnSerieError = nullptr;
  OnSerieReceive = nullptr;
  OnSerieTransmit = nullptr;
  OnSerieConnect = nullptr;
  OnSerieConnected = nullptr;
  OnSerieClose = nullptr;
  OnTerminate = nullptr;
}

void TComunicacionSerie::Terminate() {
  UiCall call(this);
  terminate_.store(true, std::memory_order_release);
  // Let go of the device at once: the next link may open it right away,
  // while this worker may still wait for the UI thread to run an event.
  port_->Close();
  Start();  // a suspended thread must still run to its end to free itself
}

// --- worker thread ---

// The handlers are copied before they are called (above and below), so that
// a handler may clear them all, as ending the link does.
void TComunicacionSerie::Synchronize(const std::function<void()>& call) {
  // Once terminating, the owner has let go of the handlers.
  if (Terminated()) return;
  RunOnUiThread(call);
}

void TComunicacionSerie::PortError(const TSerialError& error) {
  if (t_holding_queue_lock) {
    deferred_errors_.push_back(error);
    return;
  }
  DeliverError(error);
}

void TComunicacionSerie::DeliverError(const TSerialError& error) {
  const std::string text = SerialErrorText(error);
  Synchronize([this, &error, &text] {
    last_error_ = error;
    last_error_text_ = text;
    if (auto handler = OnSerieError) handler(this, last_error_text_);
  });
}

void TComunicacionSerie::DeliverPendingErrors() {
  std::vector<TSerialError> errors;
  errors.swap(deferred_errors_);
  for (const TSerialError& error : errors) DeliverError(error);
}

void TComunicacionSerie::Execute() {
  while (stop_state_.load() == StopState::Running && !Terminated()) {
    SleepMs(1);
    if (port_->Connected()) {
      std::memset(receive_buffer_, 0, sizeof receive_buffer_);
      last_received_ = port_->ReadBytes(receive_buffer_, kReceiveBufferSize);
      if (last_received_ != 0) {
        Synchronize([this] {
          if (auto handler = OnSerieReceive) handler(this, receive_buffer_, last_received_);
        });
      } else {
        SleepMs(3);
      }
      // A failed read has just ended the port's session: nothing more is
      // written to a device that is gone.
      if (!port_->Connected()) continue;
      const int taken = queue_.TakeAll();
      if (taken > 0) {
        t_holding_queue_lock = true;
        port_->SetRtsManual(false);
        port_->SetRtsFlow(TrfDisable);  // RTS stays low
        last_sent_ = port_->WriteBytes(queue_.SendBuffer(), taken);
        queue_.Release();
        t_holding_queue_lock = false;
        DeliverPendingErrors();
        Synchronize([this] {
          if (auto handler = OnSerieTransmit) handler(this, queue_.SendBuffer(), last_sent_);
        });
      }
    }
  }
  stop_state_.store(StopState::Stopped);
}

void TComunicacionSerie::Finish() {
  // The loop ends only once terminate is set: from then on the UI thread no
  // longer touches the handlers, so reading OnTerminate here is safe.
  if (OnTerminate) {
    RunOnUiThread([this] {
      if (auto handler = OnTerminate) handler(this);
    });
  }
  while (ui_calls_.load(std::memory_order_acquire) > 0) SleepMs(1);
  delete this;
}

}  // namespace quinterra
