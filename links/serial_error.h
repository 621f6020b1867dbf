#pragma once
// What a failing OS call of the serial port hands up: the kind, which the
// link layer acts on, and the OS code (errno, or GetLastError on Windows),
// which the error text shows. The same value goes from the device through
// the port object and its worker to the link layer.

#include <cstdint>
#include <string>

#include "platform/os_text.h"

namespace quinterra {

enum class TSerialErrorKind : uint8_t {
  None,
  NotFound,      // no device by that name
  AccessDenied,  // the user may not open it (on Linux: not in dialout)
  Busy,          // another program holds the port
  Unsupported,   // the device refuses the setting
  Gone,          // the device went away while open (a USB adapter pulled out)
  Other,
};

struct TSerialError {
  TSerialErrorKind kind = TSerialErrorKind::None;
  uint32_t code = 0;

  explicit operator bool() const { return kind != TSerialErrorKind::None; }
};

// The error of an OS code of this platform, its kind looked up. Code 0 is
// no error.
TSerialError OsError(uint32_t code);
// The same for a code met on an open port, where some codes mean that the
// device has gone (on Windows "access denied" among them, which at the
// open means that another program holds the port).
TSerialError SessionError(uint32_t code);

// "ERROR: 0x%X %s": the code in upper-case hexadecimal and the system's text.
std::string SerialErrorText(const TSerialError& error);

}  // namespace quinterra
