#pragma once
// The master side of the device bus.
//
// The engine builds request frames for one target device at a time, hands
// their bytes out through OnSend, recognises answers in the bytes fed to
// ReceiveByte, keeps at most one tracked request outstanding, repeats it
// while connected, pings an idle connection and reports through events.
// It owns no link, so one engine serves a serial line and TCP alike.
//
// Threading: everything (calls, timer expiries, received bytes) runs on one
// thread; events are raised synchronously inside the engine's operations.
// Event handlers may call back into the engine (Stop, SetTarget, the next
// request, even ReceiveByte): the engine keeps the frames it is using alive
// across every event and reads an answer completely before raising anything.
// A handler must not destroy the engine.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bus/bus_frame.h"
#include "bus/bus_protocol.h"
#include "platform/interval_timer.h"

namespace quinterra {

class TComVornBus {
 public:
  struct Responder {
    int32_t Address = 0;
    bool Answered = false;
  };

  // Creates KeepAliveTimer and ResponseTimer through timers, which must
  // outlive the engine.
  explicit TComVornBus(ITimerFactory& timers);
  ~TComVornBus();
  TComVornBus(const TComVornBus&) = delete;
  TComVornBus& operator=(const TComVornBus&) = delete;

  // Events, each called only when filled, the engine first.
  // isRequest is 1 for a tracked request (first sending or repetition) and
  // 0 for a keep-alive ping. The bytes are valid during the call only.
  std::function<void(TComVornBus*, const uint8_t* bytes, int isRequest, int count)> OnSend;
  std::function<void(TComVornBus*)> OnInfo;
  std::function<void(TComVornBus*)> OnBuild;
  std::function<void(TComVornBus*, uint8_t address)> OnPong;
  std::function<void(TComVornBus*)> OnConnected;
  std::function<void(TComVornBus*)> OnDisconnected;
  std::function<void(TComVornBus*)> OnConfigRead;
  std::function<void(TComVornBus*)> OnDirectoryWritten;
  std::function<void(TComVornBus*)> OnDisplayWritten;
  // The end of a read-back: whole when every block asked for came back
  // complete from its own place (see ReadDisplay).
  std::function<void(TComVornBus*, bool whole)> OnDirectoryRead;
  std::function<void(TComVornBus*, bool whole)> OnDisplayRead;
  std::function<void(TComVornBus*, uint32_t planned, uint32_t done)> OnProgress;
  std::function<void(TComVornBus*)> OnTimeout;
  std::function<void(TComVornBus*, bool match)> OnCheckResult;

  // The address of every following request; the responder list becomes
  // just this address (empty for address 0, when any answer completes).
  void SetTarget(uint8_t address);
  // The owner declares the link established: repetitions and keep-alive
  // run from now on. Clears Busy.
  void Connect();
  // Stops the keep-alive and the response timer and declares the link down.
  // Clears Busy. A request left unanswered is forgotten: it belonged to the
  // device just left, and repeating it into the next device's link, or
  // timing out on its behalf, would be wrong.
  void Stop();

  // Feeds one received byte; true when it completed a valid answer frame
  // (whether or not the answer was the one awaited).
  bool ReceiveByte(uint8_t b);

  // Requests. Each does nothing at all while Busy. True when the request
  // went out.
  bool Ping();
  bool RequestInfo();
  bool RequestBuild();
  // Sends the bytes for the device to check; the engine copies them.
  // A negative count, or a positive count without bytes, does nothing.
  bool CheckLink(const uint8_t* bytes, int count);

  // Memory transfers. They need the layout of a device information answer
  // (before it they do nothing); a write that does not fit its area does
  // nothing. The engine copies the bytes. True when the transfer started
  // and its first block went out; false when there was nothing to move, the
  // bytes did not fit, or the engine was Busy.
  bool ReadConfig();
  bool WriteDirectory(uint32_t offset, const uint8_t* bytes, uint32_t count);
  bool WriteDisplay(uint32_t offset, const uint8_t* bytes, uint32_t count);
  // Reads back the blocks that hold count bytes from offset, one block per
  // request as ReadConfig does, into DirectoryReadBack or DisplayReadBack,
  // never into the images that hold what was written; then OnDirectoryRead
  // or OnDisplayRead. A range that does not fit its area reads nothing.
  // Only an answer that brings a whole block from the block being asked
  // counts: a shorter or longer one leaves that block unread (the transfer
  // goes on, and ends not whole); one naming another place is a late repeat
  // and is not taken as the answer at all.
  bool ReadDirectory(uint32_t offset, uint32_t count);
  bool ReadDisplay(uint32_t offset, uint32_t count);

  // Read access.
  const std::string& VersionText() const { return version_text_; }
  const std::string& BuildText() const { return build_text_; }  // raw bytes (code page 1252)
  bool Busy() const { return busy_; }
  bool Connected() const { return connected_; }
  uint8_t Target() const { return target_; }
  uint8_t PendingCommand() const { return pending_command_; }
  const std::array<uint8_t, bus::kInfoRecordSize>& InfoRecord() const { return info_record_; }
  int RetryCount() const { return retry_count_; }
  int ResponseRetriesLeft() const { return response_retries_left_; }
  int KeepAliveLeft() const { return keep_alive_left_; }
  std::chrono::milliseconds ResponseTimeout() const { return response_timeout_; }
  uint16_t CheckExpected() const { return check_expected_; }
  const std::vector<Responder>& Responders() const { return responders_; }
  const TBusFrame& ReceiveFrame() const { return receive_frame_; }
  // The last tracked request sent, or null before the first one.
  const TBusFrame* PendingFrame() const { return pending_frame_.get(); }
  const IIntervalTimer& KeepAliveTimer() const { return *keep_alive_timer_; }
  const IIntervalTimer& ResponseTimer() const { return *response_timer_; }

  const std::vector<uint8_t>& DisplayImage() const { return display_.Image; }
  const std::vector<uint8_t>& DirectoryImage() const { return directory_.Image; }
  const std::vector<uint8_t>& ConfigImage() const { return config_.Image; }
  // What the last read-back brought: blocks that came back whole, zeros in
  // the others; as long as the blocks that were asked for.
  const std::vector<uint8_t>& DisplayReadBack() const { return display_.ReadBack; }
  const std::vector<uint8_t>& DirectoryReadBack() const { return directory_.ReadBack; }
  const std::vector<uint8_t>& DisplayStates() const { return display_.States; }
  const std::vector<uint8_t>& DirectoryStates() const { return directory_.States; }
  const std::vector<uint8_t>& ConfigStates() const { return config_.States; }
  uint32_t DisplaySize() const { return display_.Size(block_size_); }
  uint32_t DirectorySize() const { return directory_.Size(block_size_); }
  uint32_t ConfigSize() const { return config_.Size(block_size_); }
  uint32_t BlockSize() const { return block_size_; }
  uint32_t DisplayBlocks() const { return display_.Blocks; }
  uint32_t DirectoryBlocks() const { return directory_.Blocks; }
  uint32_t ConfigBlocks() const { return config_.Blocks; }
  uint8_t TransferMode() const { return transfer_mode_; }
  uint32_t PlannedBytes() const { return planned_bytes_; }
  uint32_t DoneBytes() const { return done_bytes_; }

 private:
  // One memory area of the device: its local image and a state per block.
  struct MemoryArea {
    uint32_t Base = 0;
    uint32_t Blocks = 0;
    std::vector<uint8_t> Image;
    std::vector<uint8_t> States;
    std::vector<uint8_t> ReadBack;
    uint32_t Size(uint32_t block_size) const { return Blocks * block_size; }
  };

  // A received answer, copied out of the recogniser before anything is
  // raised, so handlers may feed bytes or send requests freely.
  struct Answer {
    uint8_t Address = 0;
    uint8_t Code = 0;
    uint8_t Param[5] = {0, 0, 0, 0, 0};
    std::vector<uint8_t> Payload;
    uint32_t MemoryAddress() const {
      return static_cast<uint32_t>(Param[0]) << 16 | static_cast<uint32_t>(Param[1]) << 8 | Param[2];
    }
  };

  // Request cycle (bus_engine.cpp).
  void RestartKeepAlive();
  void RestartResponseTimer();
  void SetConnected(bool value);
  void FinishRequest();
  void MarkAnswered(int32_t address);
  bool AllAnswered() const;
  void ClearAnswered();
  bool SendRequest(uint8_t command, const uint8_t (&param)[5], const uint8_t* payload,
                   size_t payload_count);
  void SendKeepAlive();
  void ResponseTimerTimer();
  void KeepAliveTimerTimer();
  void Dispatch(const Answer& answer);

  // Answers of the commands (bus_commands.cpp).
  void PingAnswered(const Answer& answer);
  void InfoAnswered(const Answer& answer);
  void BuildAnswered(const Answer& answer);
  void CheckAnswered(const Answer& answer);

  // Memory transfer (bus_memory.cpp).
  void FreshImages(uint8_t device_address);
  bool MarkForWrite(MemoryArea& area, uint32_t offset, const uint8_t* bytes, uint32_t count);
  bool MarkForRead(MemoryArea& area, uint32_t offset, uint32_t count);
  uint32_t PendingBytes() const;
  bool StartTransfer(uint8_t mode);
  bool NextBlock();
  bool AreaHasBlockInFlight(uint8_t mode) const;
  // Ends the transfer when no marked block is left. A read answer ends only
  // a configuration read, a write answer only a directory or display write.
  void FinishTransferIfDone(bool after_read);
  void MemoryReadAnswered(const Answer& answer);
  void ReadBackAnswered(const Answer& answer);
  // A read-back answer that names no block being read: not the answer awaited.
  bool IsStrayReadBack(const Answer& answer) const;
  void MemoryWriteAnswered(const Answer& answer);
  MemoryArea* AreaHolding(uint32_t address, size_t count);
  // The block starting at this bus address is being read.
  bool InFlightAt(uint32_t address) const;

  TBusFrame receive_frame_;
  // Shared so that bytes handed to OnSend stay valid even when a handler
  // issues the next request, which replaces the pending frame.
  std::shared_ptr<TBusFrame> pending_frame_;
  std::unique_ptr<IIntervalTimer> keep_alive_timer_;
  std::unique_ptr<IIntervalTimer> response_timer_;

  MemoryArea display_;
  MemoryArea directory_;
  MemoryArea config_;

  bool busy_ = false;
  uint8_t pending_command_ = 0;
  uint8_t target_ = 0;
  bool connected_ = false;
  std::string build_text_;
  int retry_count_ = bus::kRetryCount;
  int response_retries_left_ = bus::kRetryCount;
  int keep_alive_left_ = bus::kRetryCount;
  std::array<uint8_t, bus::kInfoRecordSize> info_record_{};
  std::string version_text_;
  uint32_t block_size_ = 0;
  uint8_t transfer_mode_ = bus::kTransferNone;
  uint32_t planned_bytes_ = 0;
  uint32_t done_bytes_ = 0;
  std::chrono::milliseconds response_timeout_ = bus::kResponseTimeout;
  uint16_t check_expected_ = 0;
  std::vector<Responder> responders_;
};

}  // namespace quinterra
