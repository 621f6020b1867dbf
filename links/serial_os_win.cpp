// The Win32 serial device: synchronous I/O on an exclusively opened COM
// handle, the line settings through the DCB, reads that never wait through
// COMMTIMEOUTS, writes bounded per byte, DTR and RTS through
// EscapeCommFunction. Every OS call of the serial port on Windows lives in
// this file.

#include <windows.h>

#include <chrono>
#include <thread>
#include <vector>

#include "links/serial_device.h"
#include "platform/os_text.h"

namespace quinterra {
namespace {

using Clock = std::chrono::steady_clock;

TSerialError LastError() { return OsError(::GetLastError()); }
// For the calls on an open handle.
TSerialError LastSessionError() { return SessionError(::GetLastError()); }

// A device without modem lines (a virtual COM port, a pseudo-terminal under
// Wine) refuses these; setting its DTR or RTS is then a no-op, as on Linux.
bool NoModemLines(DWORD error) { return error == ERROR_NOT_SUPPORTED; }

class WinSerialDevice : public TSerialDevice {
 public:
  ~WinSerialDevice() override {
    if (IsOpen()) Close();
  }

  TSerialError Open(const std::string& path) override {
    if (IsOpen()) Close();
    if (path.empty()) return OsError(ERROR_FILE_NOT_FOUND);
    // No sharing: a port another program holds answers "access denied".
    const HANDLE handle = ::CreateFileW(WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    handle_ = handle;
    write_multiplier_ = 0;
    // Reads take what the driver holds and return at once; writes have no
    // bound until the first write sets one.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    TSerialError error;
    if (!::SetCommTimeouts(handle_, &timeouts)) {
      error = LastError();
    } else if (!::PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR)) {
      // Bytes a former owner left in the driver are not ours to read.
      error = LastError();
    }
    if (error) Close();
    return error;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  TSerialError Close() override {
    if (!IsOpen()) return {};
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed ? TSerialError{} : LastError();
  }

  TSerialError ApplyLineDefaults() override {
    DCB dcb;
    if (TSerialError error = Get(&dcb)) return error;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    return Set(dcb);
  }

  TSerialError SetBaudRate(int bits_per_second) override {
    DCB dcb;
    if (TSerialError error = Get(&dcb)) return error;
    dcb.BaudRate = static_cast<DWORD>(bits_per_second);
    return Set(dcb);
  }

  // The enumerations' ordinals are the DCB's values (NOPARITY .. SPACEPARITY,
  // ONESTOPBIT .. TWOSTOPBITS); a value outside them leaves the field.
  TSerialError SetParity(TSerialParity parity) override {
    DCB dcb;
    if (TSerialError error = Get(&dcb)) return error;
    if (parity >= TspNone && parity <= TspSpace) dcb.Parity = static_cast<BYTE>(parity);
    return Set(dcb);
  }

  TSerialError SetDataBits(TSerialDataBits bits) override {
    DCB dcb;
    if (TSerialError error = Get(&dcb)) return error;
    if (bits >= Tsd4Bits && bits <= Tsd8Bits) dcb.ByteSize = static_cast<BYTE>(4 + (bits - Tsd4Bits));
    return Set(dcb);
  }

  TSerialError SetStopBits(TSerialStopBits bits) override {
    DCB dcb;
    if (TSerialError error = Get(&dcb)) return error;
    if (bits >= Tssb1 && bits <= Tssb2) dcb.StopBits = static_cast<BYTE>(bits);
    return Set(dcb);
  }

  // The DCB keeps the state, so that a later SetCommState (a rate change)
  // does not undo it; the escape sets the line itself. The worker drops RTS
  // before every write: the DCB is written only when it changes.
  TSerialError SetDtrFlow(TDtrFlow flow) override {
    DCB dcb;
    if (TSerialError error = Get(&dcb)) return error;
    const DWORD before = dcb.fDtrControl;
    switch (flow) {
      case TdfDisable: dcb.fDtrControl = DTR_CONTROL_DISABLE; break;
      case TdfEnable: dcb.fDtrControl = DTR_CONTROL_ENABLE; break;
      case TdfHandshake: dcb.fDtrControl = DTR_CONTROL_HANDSHAKE; break;
      default: return Set(dcb);
    }
    if (TSerialError error = dcb.fDtrControl != before ? Set(dcb) : TSerialError{}) return error;
    if (flow == TdfHandshake) return {};  // the driver drives DTR
    return ModemLine(flow == TdfEnable ? SETDTR : CLRDTR);
  }

  TSerialError SetRtsFlow(TRtsFlow flow) override {
    DCB dcb;
    if (TSerialError error = Get(&dcb)) return error;
    const DWORD before = dcb.fRtsControl;
    switch (flow) {
      case TrfDisable: dcb.fRtsControl = RTS_CONTROL_DISABLE; break;
      case TrfEnable: dcb.fRtsControl = RTS_CONTROL_ENABLE; break;
      case TrfHandshake: dcb.fRtsControl = RTS_CONTROL_HANDSHAKE; break;
      case TrfToggle: dcb.fRtsControl = RTS_CONTROL_TOGGLE; break;
      default: return Set(dcb);
    }
    if (TSerialError error = dcb.fRtsControl != before ? Set(dcb) : TSerialError{}) return error;
    if (flow == TrfHandshake || flow == TrfToggle) return {};  // the driver drives RTS
    return ModemLine(flow == TrfEnable ? SETRTS : CLRRTS);
  }

  TSerialError Read(uint8_t* buffer, int size, int* count) override {
    *count = 0;
    if (!IsOpen()) return OsError(ERROR_INVALID_HANDLE);
    if (size <= 0) return {};
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer, static_cast<DWORD>(size), &got, nullptr)) return LastSessionError();
    *count = static_cast<int>(got);
    return {};
  }

  TSerialError Write(const uint8_t* bytes, int count, int timeout_ms, int* written) override {
    *written = 0;
    if (!IsOpen()) return OsError(ERROR_INVALID_HANDLE);
    if (count <= 0) return {};
    // The budget is SendTimeOut per byte; the driver takes it per byte.
    const DWORD multiplier =
        timeout_ms > 0 ? static_cast<DWORD>((static_cast<long long>(timeout_ms) + count - 1) / count) : 0;
    if (multiplier != write_multiplier_) {
      COMMTIMEOUTS timeouts;
      if (!::GetCommTimeouts(handle_, &timeouts)) return LastSessionError();
      timeouts.WriteTotalTimeoutMultiplier = multiplier;
      timeouts.WriteTotalTimeoutConstant = 0;
      if (!::SetCommTimeouts(handle_, &timeouts)) return LastSessionError();
      write_multiplier_ = multiplier;
    }
    DWORD sent = 0;
    const BOOL done = ::WriteFile(handle_, bytes, static_cast<DWORD>(count), &sent, nullptr);
    *written = static_cast<int>(sent);
    if (done) return {};
    // Out of time is not an error: *written tells how many the driver took.
    const DWORD error = ::GetLastError();
    if (error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT) return {};
    return SessionError(error);
  }

  TSerialError WaitTransmitEmpty(int timeout_ms) override {
    if (!IsOpen()) return OsError(ERROR_INVALID_HANDLE);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!::ClearCommError(handle_, &errors, &status)) {
        const DWORD error = ::GetLastError();
        return NoModemLines(error) ? TSerialError{} : SessionError(error);
      }
      if (status.cbOutQue == 0 || Clock::now() >= deadline) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

 private:
  TSerialError Get(DCB* dcb) const {
    if (!IsOpen()) return OsError(ERROR_INVALID_HANDLE);
    *dcb = DCB{};
    dcb->DCBlength = sizeof(DCB);
    return ::GetCommState(handle_, dcb) ? TSerialError{} : LastSessionError();
  }
  TSerialError Set(DCB dcb) const {
    if (!IsOpen()) return OsError(ERROR_INVALID_HANDLE);
    dcb.DCBlength = sizeof(DCB);
    return ::SetCommState(handle_, &dcb) ? TSerialError{} : LastSessionError();
  }
  TSerialError ModemLine(DWORD function) const {
    if (::EscapeCommFunction(handle_, function)) return {};
    const DWORD error = ::GetLastError();
    return NoModemLines(error) ? TSerialError{} : SessionError(error);
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DWORD write_multiplier_ = 0;  // as last set on this handle
};

struct RateBit {
  int rate;
  DWORD bit;
};

constexpr RateBit kRateBits[] = {
    {110, BAUD_110},     {300, BAUD_300},     {600, BAUD_600},       {1200, BAUD_1200},
    {2400, BAUD_2400},   {4800, BAUD_4800},   {9600, BAUD_9600},     {14400, BAUD_14400},
    {19200, BAUD_19200}, {38400, BAUD_38400}, {56000, BAUD_56K},     {57600, BAUD_57600},
    {115200, BAUD_115200}, {128000, BAUD_128K},
};

}  // namespace

std::unique_ptr<TSerialDevice> CreateNativeSerialDevice() { return std::make_unique<WinSerialDevice>(); }

std::vector<int> DeviceSettableRates(const std::string& path, const std::vector<int>& rates) {
  const HANDLE handle = ::CreateFileW(WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  COMMPROP properties{};
  const BOOL known = ::GetCommProperties(handle, &properties);
  ::CloseHandle(handle);
  if (!known) return {};
  if (properties.dwSettableBaud & BAUD_USER) return rates;  // any rate
  std::vector<int> settable;
  for (int rate : rates) {
    for (const RateBit& entry : kRateBits) {
      if (entry.rate == rate && (properties.dwSettableBaud & entry.bit) != 0) settable.push_back(rate);
    }
  }
  return settable;
}

TSerialError OsError(uint32_t code) {
  switch (code) {
    case ERROR_SUCCESS: return {};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return {TSerialErrorKind::NotFound, code};
    // Windows answers "access denied" for a COM port another program holds.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return {TSerialErrorKind::Busy, code};
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED: return {TSerialErrorKind::Unsupported, code};
    default: return {TSerialErrorKind::Other, code};
  }
}

TSerialError SessionError(uint32_t code) {
  switch (code) {
    // On an open handle "access denied" is no other program: the port's
    // device has left (usbser.sys answers so for a pulled adapter), as the
    // other drivers say with these.
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED: return {TSerialErrorKind::Gone, code};
    default: return OsError(code);
  }
}

}  // namespace quinterra
