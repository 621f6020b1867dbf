#pragma once
// One serial port, opened by COM number: line settings as properties,
// reads that never wait, writes bounded by SendTimeOut per byte with an
// optional pause before each character, and every OS failure reported once
// through OnError with its kind and OS code.
//
// Thread safety: the UI thread (Open, Close, setters) and the serial worker
// (ReadBytes, WriteBytes, RtsManual/RtsFlow before a write) share one object.
// Every operation holds an internal lock, and events are raised after the
// lock is let go, so a handler that waits for another thread cannot deadlock
// against an operation of that thread. Events run on the calling thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "links/com_port_map.h"
#include "links/serial_device.h"
#include "links/serial_types.h"

namespace quinterra {

class TSerialComm {
 public:
  static constexpr int kOpenTries = 101;
  static constexpr int kOpenRetryPauseMs = 50;

  // device: null for the platform's own.
  explicit TSerialComm(TComPortMap ports, std::unique_ptr<TSerialDevice> device = nullptr);
  // Closes an open port without raising any event.
  ~TSerialComm();
  TSerialComm(const TSerialComm&) = delete;
  TSerialComm& operator=(const TSerialComm&) = delete;

  // COM number 0..255 (0 = none); used by the next Open.
  int Port() const;
  void SetPort(int com_number);

  // Stored, and applied at once when a port is open.
  TSerialBaudRate BaudRate() const;
  void SetBaudRate(TSerialBaudRate rate);
  TSerialParity Parity() const;
  void SetParity(TSerialParity parity);
  TSerialDataBits DataBits() const;
  void SetDataBits(TSerialDataBits bits);
  TSerialStopBits StopBits() const;
  void SetStopBits(TSerialStopBits bits);
  TDtrFlow DtrFlow() const;
  void SetDtrFlow(TDtrFlow flow);
  TRtsFlow RtsFlow() const;
  void SetRtsFlow(TRtsFlow flow);

  // Milliseconds. Reads return at once whatever these hold; they are kept
  // for callers that read them back.
  int RecvTimeOut() const;
  void SetRecvTimeOut(int ms);
  int ByteIntervalTimeOut() const;
  void SetByteIntervalTimeOut(int ms);
  // Milliseconds per byte a write may take (0: no limit).
  int SendTimeOut() const;
  void SetSendTimeOut(int ms);
  // Milliseconds slept before each character of a write, 0 = one write.
  int PauseAfterChar() const;
  void SetPauseAfterChar(int ms);
  // Raise RTS for the length of each write.
  bool RtsManual() const;
  void SetRtsManual(bool manual);

  // From a successful Open until Close, or until a read fails or the
  // device is found gone: the handle then stays until Close or the next
  // Open, but the worker no longer reads or writes.
  bool Connected() const;
  // Set by the first failure, never cleared; while set OnTransmit is not raised.
  bool ErrorFlag() const;

  // (Re)opens the port named by Port(), trying kOpenTries times, and applies
  // the line settings. Port 0 opens nothing and succeeds.
  bool Open();
  // Closes the port and forgets its number.
  bool Close();
  // What is buffered, at most size bytes; 0 when not connected.
  int ReadBytes(uint8_t* buffer, int size);
  // The count the port accepted.
  int WriteBytes(const uint8_t* bytes, int count);

  std::function<void(TSerialComm* sender, const TSerialError& error)> OnError;
  std::function<void(TSerialComm* sender, int bytes_recv)> OnReceive;
  std::function<void(TSerialComm* sender, int bytes_sent)> OnTransmit;
  std::function<void(TSerialComm* sender)> OnConnect;
  std::function<void(TSerialComm* sender)> OnConnected;
  std::function<void(TSerialComm* sender)> OnClose;

 private:
  enum class EventKind { Error, Receive, Transmit, Connect, Connected, Close };
  struct Event {
    EventKind kind;
    int count;           // Receive, Transmit
    TSerialError error;  // Error
  };
  using Events = std::vector<Event>;

  // The *Locked members run with mutex_ held and collect their events.
  bool CloseHandleLocked(Events& events);
  void ReportLocked(const TSerialError& error, Events& events);
  void ApplyLocked(const TSerialError& result, Events& events);
  void Raise(const Events& events);

  const TComPortMap ports_;
  const std::unique_ptr<TSerialDevice> device_;
  mutable std::mutex mutex_;

  int port_ = TsPortNone;
  TSerialBaudRate baud_rate_ = Tsbr2400;
  TSerialParity parity_ = TspSpace;
  TSerialDataBits data_bits_ = Tsd8Bits;
  TSerialStopBits stop_bits_ = Tssb1;
  TDtrFlow dtr_flow_ = TdfDisable;
  TRtsFlow rts_flow_ = TrfDisable;
  int recv_timeout_ = 100;
  int send_timeout_ = 100;
  int byte_interval_timeout_ = 0;
  int pause_after_char_ = 0;
  bool rts_manual_ = false;
  std::atomic<bool> connected_{false};
  bool error_flag_ = false;
};

}  // namespace quinterra
