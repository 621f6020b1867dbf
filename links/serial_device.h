#pragma once
// The operating system's side of one serial port, kept behind this narrow
// interface so that each platform has one file of OS calls (POSIX termios
// here) and tests can put a failing device in its place.
//
// Every call returns 0 or the OS error code (errno here). A device with no
// modem lines (a pseudo-terminal) takes DTR and RTS changes as a no-op.

#include <cstdint>
#include <memory>
#include <string>

#include "links/serial_types.h"

namespace quinterra {

class TSerialDevice {
 public:
  virtual ~TSerialDevice() = default;

  // Opens path for reading and writing, exclusively, with reads that never
  // wait. A device that cannot be opened at once is an error (no retry here).
  virtual uint32_t Open(const std::string& path) = 0;
  virtual bool IsOpen() const = 0;
  virtual uint32_t Close() = 0;

  // Raw binary line, no flow control, DTR and RTS dropped; rate, parity,
  // data and stop bits left as they were.
  virtual uint32_t ApplyLineDefaults() = 0;
  virtual uint32_t SetBaudRate(int bits_per_second) = 0;
  virtual uint32_t SetParity(TSerialParity parity) = 0;
  virtual uint32_t SetDataBits(TSerialDataBits bits) = 0;
  virtual uint32_t SetStopBits(TSerialStopBits bits) = 0;
  virtual uint32_t SetDtrFlow(TDtrFlow flow) = 0;
  virtual uint32_t SetRtsFlow(TRtsFlow flow) = 0;

  // Takes what is buffered, at most size bytes, without waiting.
  virtual uint32_t Read(uint8_t* buffer, int size, int* count) = 0;
  // Writes count bytes, waiting for room at most timeout_ms in all
  // (timeout_ms <= 0: no limit). Running out of time is not an error:
  // *written tells how many the driver took.
  virtual uint32_t Write(const uint8_t* bytes, int count, int timeout_ms, int* written) = 0;
  // Waits until the output has left the driver, at most timeout_ms.
  virtual uint32_t WaitTransmitEmpty(int timeout_ms) = 0;
};

// The device of this platform.
std::unique_ptr<TSerialDevice> CreateNativeSerialDevice();

// The system's message text for an error code, in Spanish, without a line end.
std::string SystemErrorText(uint32_t code);

// The error code of "permission denied" on this platform.
uint32_t PermissionDeniedCode();

}  // namespace quinterra
