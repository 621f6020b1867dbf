#pragma once
// The operating system's side of one serial port, kept behind this narrow
// interface so that each platform has one file of OS calls (termios in
// serial_os_posix.cpp, Win32 in serial_os_win.cpp; the build picks one) and
// tests can put a failing device in its place.
//
// Every call returns no error or the OS failure (serial_error.h). A device
// with no modem lines (a pseudo-terminal, a virtual COM port) takes DTR and
// RTS changes as a no-op.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "links/serial_error.h"
#include "links/serial_types.h"

namespace quinterra {

class TSerialDevice {
 public:
  virtual ~TSerialDevice() = default;

  // Opens path for reading and writing, exclusively, with reads that never
  // wait. A device that cannot be opened at once is an error (no retry here).
  virtual TSerialError Open(const std::string& path) = 0;
  virtual bool IsOpen() const = 0;
  virtual TSerialError Close() = 0;

  // Raw binary line, no flow control, DTR and RTS dropped; rate, parity,
  // data and stop bits left as they were.
  virtual TSerialError ApplyLineDefaults() = 0;
  virtual TSerialError SetBaudRate(int bits_per_second) = 0;
  virtual TSerialError SetParity(TSerialParity parity) = 0;
  virtual TSerialError SetDataBits(TSerialDataBits bits) = 0;
  virtual TSerialError SetStopBits(TSerialStopBits bits) = 0;
  virtual TSerialError SetDtrFlow(TDtrFlow flow) = 0;
  virtual TSerialError SetRtsFlow(TRtsFlow flow) = 0;

  // Takes what is buffered, at most size bytes, without waiting.
  virtual TSerialError Read(uint8_t* buffer, int size, int* count) = 0;
  // Writes count bytes, waiting for room at most timeout_ms in all
  // (timeout_ms <= 0: no limit). Running out of time is not an error:
  // *written tells how many the driver took.
  virtual TSerialError Write(const uint8_t* bytes, int count, int timeout_ms, int* written) = 0;
  // Waits until the output has left the driver, at most timeout_ms.
  virtual TSerialError WaitTransmitEmpty(int timeout_ms) = 0;
};

// The device of this platform.
std::unique_ptr<TSerialDevice> CreateNativeSerialDevice();

// Of the given rates, those the device at path can be set to; none when it
// cannot be opened.
std::vector<int> DeviceSettableRates(const std::string& path, const std::vector<int>& rates);

}  // namespace quinterra
