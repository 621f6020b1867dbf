#pragma once
// The worker thread of a serial link. It owns a TSerialComm and a
// TByteQueue, polls the port for received bytes and writes what the owner
// queued. Every event runs on the UI thread (RunOnUiThread) while the worker
// waits for it. A read that fails (the device gone) is reported once: the
// port is then no longer connected, and the loop neither reads nor writes
// until it is opened again.
//
// Threads: construction, the properties, OpenPort, SendBytes and Terminate
// belong to the UI thread; the loop and the destruction to the worker.
// Handlers are set and cleared on the UI thread only and read there too.
//
// Lifetime: the object ends only through Terminate() and then frees itself on
// its own thread once its loop has ended and no UI-thread call into it is
// still running (a handler may call Terminate from inside OpenPort). The
// owner must forget the pointer when it calls Terminate: the object may be
// gone at any moment after. Calls still running at that moment are ignored.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "links/byte_queue.h"
#include "links/com_port_map.h"
#include "links/serial_comm.h"

namespace quinterra {

class TComunicacionSerie {
 public:
  static constexpr int kReceiveBufferSize = 40;

  // The loop starts at once unless create_suspended (then at Start()).
  // device: null for the platform's own.
  TComunicacionSerie(bool create_suspended, TComPortMap ports,
                     std::unique_ptr<TSerialDevice> device = nullptr);
  TComunicacionSerie(const TComunicacionSerie&) = delete;
  TComunicacionSerie& operator=(const TComunicacionSerie&) = delete;

  void Start();

  // Properties: the last accepted value, 0 until then; other values are
  // ignored. The setters pass the value on to the port at once.
  int VelocidadSerie() const { return velocidad_; }  // 110 .. 256000 of the rate list
  void SetVelocidadSerie(int bits_per_second);
  int PuertoSerie() const { return puerto_; }  // closes the port before changing
  void SetPuertoSerie(int com_number);
  int StopBitsSerie() const { return stop_bits_; }  // 0 one, 1 one and a half, 2 two
  void SetStopBitsSerie(int code);
  int DataBitsSerie() const { return data_bits_; }  // 4 .. 8
  void SetDataBitsSerie(int bits);
  int ParitySerie() const { return parity_; }  // 0 none, 1 odd, 2 even, 3 mark, 4 space
  void SetParitySerie(int code);
  // The port's pause before each sent character; -1 once terminating.
  int PauseAfterChar() const;
  void SetPauseAfterChar(int ms);

  // Opens the port; failures arrive as OnSerieError (before this returns).
  void OpenPort();
  // Queues bytes for the loop to write.
  void SendBytes(const uint8_t* bytes, int count);

  void Terminate();
  bool Terminated() const { return terminate_.load(std::memory_order_acquire); }

  // The latest error text ("ERROR: 0x%X %s") and its error; UI thread.
  const std::string& LastErrorText() const { return last_error_text_; }
  const TSerialError& LastError() const { return last_error_; }

  // Objects not yet freed, for leak checks.
  static int LiveCount();

  std::function<void(TComunicacionSerie* sender, const std::string& text)> OnSerieError;
  // The bytes are valid during the call only.
  std::function<void(TComunicacionSerie* sender, const uint8_t* bytes, int count)> OnSerieReceive;
  // bytes: those taken from the queue; count: what the port accepted.
  std::function<void(TComunicacionSerie* sender, const uint8_t* bytes, int count)> OnSerieTransmit;
  std::function<void(TComunicacionSerie* sender)> OnSerieConnect;
  std::function<void(TComunicacionSerie* sender)> OnSerieConnected;
  std::function<void(TComunicacionSerie* sender)> OnSerieClose;
  // After the loop has ended, before the object is freed.
  std::function<void(TComunicacionSerie* sender)> OnTerminate;
  // Clears every handler above; an owner letting go of the worker does so
  // before Terminate, so that nothing reaches it afterwards. UI thread.
  void DetachHandlers();

 private:
  // The loop ends only through Terminate; Stopped marks that it has ended.
  enum class StopState { Running, Stopped };
  class UiCall;

  ~TComunicacionSerie();
  bool Accepting() const;
  void Execute();
  void Finish();
  void PortError(const TSerialError& error);
  void DeliverError(const TSerialError& error);
  void DeliverPendingErrors();
  void Synchronize(const std::function<void()>& call);

  // First member, so that LiveCount() drops only once everything is gone.
  struct LiveToken {
    LiveToken();
    ~LiveToken();
  } live_token_;
  TByteQueue queue_;
  std::unique_ptr<TSerialComm> port_;
  std::atomic<bool> terminate_{false};
  std::atomic<StopState> stop_state_{StopState::Running};
  std::atomic<bool> started_{false};
  // UI-thread calls into this object still running; the worker waits for 0
  // before freeing it.
  std::atomic<int> ui_calls_{0};

  int velocidad_ = 0;
  int puerto_ = 0;
  int stop_bits_ = 0;
  int data_bits_ = 0;
  int parity_ = 0;

  // Worker thread only.
  uint8_t receive_buffer_[kReceiveBufferSize] = {};
  int last_received_ = 0;
  int last_sent_ = 0;
  // Errors raised while the queue lock is held, delivered after Release.
  std::vector<TSerialError> deferred_errors_;

  // UI thread only.
  std::string last_error_text_;
  TSerialError last_error_;
};

}  // namespace quinterra
