#pragma once
// An emulated panel device: the slave side of the device bus.
//
// Fed the bytes a master sends (ReceiveBytes), it answers the requests
// addressed to it through OnAnswer, one call per answer frame. It owns its
// memory (configuration, display and directory areas) and keeps it readable
// and writable for tests.
//
// Commands answered (answer code = request code + 0x80):
//   0x01 ping         -> 0x81, P0..P4 echoed, no payload
//   0x02 information  -> 0x82, payload = InfoRecord()
//   0x04 build        -> 0x84, payload = the build text and one zero byte
//   0x03 memory read  -> 0x83, P0..P2 = address, payload = the bytes read
//                        (count in P3..P4)
//   0x10 memory write -> 0x90, P0..P2 = address, no payload; the request's
//                        payload is stored from the address
//   0x30 check        -> 0xB0, P0 = high and P1 = low byte of the check value
//                        of the request's payload
//
// What this device does with requests it cannot serve. It stays silent, as the
// bus has no error answer: the master's time-out and repetitions are the only
// way it learns of a failure, and any answer would be taken as success.
//   - A memory read or write that starts outside every area, or runs past the
//     end of its area, is refused whole: nothing is stored, nothing answered.
//     (A clipped write acknowledged as done would lose data silently.)
//   - A read count above 512 cannot fit in one answer: refused the same way.
//   - An unknown command code is ignored.
//   - A corrupt frame (wrong check value, length above 512, bit 7 set in the
//     address or command byte) is noise: the receiver slides past it byte by
//     byte and goes on looking for a request (see request_scanner.h).
//   - Frames for other addresses are recognised whole and skipped.
//   - Payload bytes on requests that take none, and P3..P4 of a write, are
//     ignored.
//   - A build text longer than 511 bytes is cut so that it and its zero byte
//     fit one frame.
// Config byte 81 is writable like any other byte; the device keeps answering
// at the address it was started with.
//
// Faults, for testing a master (all repeatable for a given Seed):
//   - SilentAfter N: after N answers the device stops acting on anything
//     (a hung device: no answers, no memory changes). Negative: never.
//   - DropPercent: the request is carried out but its answer is lost.
//   - CorruptPercent: the answer goes out with one byte inverted.
//   - DelayMs: the owner (the transport) waits this long before sending
//     each answer; the device itself does not keep time.
//   - StoreFault: every write that covers this display offset stores that
//     byte XORed with the mask, and is acknowledged all the same (flash that
//     keeps a bit stuck).
//   - NoReads: memory reads get no answer; writes are still stored and
//     acknowledged.
//   - ShortRead: every display read that covers this offset is answered
//     with the first half of the bytes asked for (firmware that cuts a
//     long answer).
//
// A transport should call LineIdle() when HasUnfinishedInput() and no byte has
// arrived for a while (the program waits 250 ms): frames carry no markers, so
// only a quiet line tells the receiver that a half frame is noise.
//
// Not thread-safe: use one instance from one thread. Bytes fed to
// ReceiveBytes from within an event handler are queued and served, in order,
// after the bytes being served when the handler was called.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "emulator/device_memory.h"
#include "emulator/request_scanner.h"

namespace quinterra {

struct TPanelDeviceOptions {
  uint8_t Address = 1;  // 1..127
  int Model = 10;       // 10 or 11
  bool SmallBlocks = false;  // 128-byte blocks (model 10 only)
  std::string BuildText = "EMU 1.0";
  int64_t SilentAfter = -1;
  int DropPercent = 0;     // 0..100
  int CorruptPercent = 0;  // 0..100
  int DelayMs = 0;         // >= 0
  uint32_t Seed = 1;
  struct StoredWrong {
    uint32_t DisplayOffset = 0;
    uint8_t Mask = 0;
  };
  std::optional<StoredWrong> StoreFault;
  bool NoReads = false;
  std::optional<uint32_t> ShortReadDisplayOffset;
};

// What became of one recognised request.
enum class TRequestOutcome {
  Answered,         // answer handed to OnAnswer
  AnswerDropped,    // carried out, answer lost (fault)
  AnswerCorrupted,  // carried out, answer handed over with one byte inverted (fault)
  OtherAddress,     // for another device
  Refused,          // outside memory or too large: not carried out, not answered
  UnknownCommand,   // ignored
  Silent,           // the device has fallen silent (fault)
  ReadIgnored,      // a memory read, left unanswered (fault)
};

const char* OutcomeName(TRequestOutcome outcome);

class TPanelDeviceEmulator {
 public:
  // Throws std::invalid_argument when the options name no device that exists
  // (address outside 1..127, unknown model or layout, percent outside 0..100,
  // negative delay).
  explicit TPanelDeviceEmulator(const TPanelDeviceOptions& options);

  // Empty when the options are usable, else why not.
  static std::string ValidateOptions(const TPanelDeviceOptions& options);

  // Bytes heard on the line.
  void ReceiveBytes(const uint8_t* bytes, size_t count);
  void ReceiveByte(uint8_t byte) { ReceiveBytes(&byte, 1); }

  // The line has been quiet mid-frame: the unfinished frame is given up and
  // any complete request hidden behind its first bytes is served.
  void LineIdle();
  bool HasUnfinishedInput() const { return scanner_.HasUnfinished(); }

  // Forgets partial input (a new connection). Memory and faults are kept.
  void ResetReceiver() { scanner_.Reset(); }

  // Events, called only when set; the device is the first argument.
  std::function<void(TPanelDeviceEmulator&, const uint8_t* bytes, size_t count)> OnAnswer;
  std::function<void(TPanelDeviceEmulator&, const TDeviceRequest&, TRequestOutcome)> OnRequest;
  // After a write request stored its payload (raised before the answer goes out).
  std::function<void(TPanelDeviceEmulator&, TMemoryArea)> OnMemoryWritten;

  const TPanelDeviceOptions& Options() const { return options_; }
  uint8_t Address() const { return options_.Address; }
  const TDeviceLayout& Layout() const { return memory_.Layout(); }
  TDeviceMemory& Memory() { return memory_; }
  const TDeviceMemory& Memory() const { return memory_; }
  std::vector<uint8_t>& Config() { return memory_.Area(TMemoryArea::Config); }
  std::vector<uint8_t>& Display() { return memory_.Area(TMemoryArea::Display); }
  std::vector<uint8_t>& Directory() { return memory_.Area(TMemoryArea::Directory); }
  const std::vector<uint8_t>& Config() const { return memory_.Area(TMemoryArea::Config); }
  const std::vector<uint8_t>& Display() const { return memory_.Area(TMemoryArea::Display); }
  const std::vector<uint8_t>& Directory() const { return memory_.Area(TMemoryArea::Directory); }

  // The payload of the information answer, nine bytes: the model, seven zero
  // bytes (no optional storage, nothing else to report) and the block-size
  // flag (1 for 256-byte blocks, 0 for 128-byte blocks).
  std::vector<uint8_t> InfoRecord() const;

  // Answers produced so far (dropped and corrupted ones included).
  uint64_t AnsweredFrames() const { return answered_; }
  bool IsSilent() const;
  uint64_t DiscardedBytes() const { return scanner_.DiscardedBytes(); }

 private:
  // The display byte of the StoreFault option, stored wrong by a write that
  // covers it.
  void StoreWrong(uint32_t address, size_t count);
  // A read of count bytes from address answered with half (ShortRead).
  bool CutsThisRead(uint32_t address, size_t count) const;
  void Serve(const TDeviceRequest& request);
  // Builds the answer, or returns false when the request is not to be answered.
  bool Execute(const TDeviceRequest& request, std::vector<uint8_t>& answer, TRequestOutcome& why_not);

  TPanelDeviceOptions options_;
  TDeviceMemory memory_;
  TRequestScanner scanner_;
  std::mt19937 random_;
  uint64_t answered_ = 0;
  std::vector<uint8_t> incoming_;  // bytes that arrived while a request was being served
  bool serving_ = false;
};

// Encodes one answer frame: Address, Command | 0x80, P0..P4, Length, payload,
// check value high byte first. The payload must not exceed 512 bytes.
std::vector<uint8_t> EncodeAnswer(uint8_t address, uint8_t command, const uint8_t (&param)[5],
                                  const std::vector<uint8_t>& payload);

}  // namespace quinterra
