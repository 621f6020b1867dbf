#pragma once
// The one link of a device session, as the session sees it: a serial port
// or a TCP connection that moves bytes and knows nothing of frames.
// TLinkLayer is the program's; tests put lines to emulated devices behind it.
//
// Every call and every callback runs on one thread (the UI thread in the
// program). Callbacks may call back into the link.

#include <cstdint>
#include <functional>
#include <string>

namespace quinterra {

class IDeviceLink {
 public:
  virtual ~IDeviceLink() = default;

  // Opens a TCP connection; it reports later through OnLinkOpened, or
  // through "[ERROR]" and OnLinkFailed when it cannot be made. An empty
  // address or a port outside 1..65535 opens nothing and says nothing.
  // A link still open is closed first.
  virtual void OpenTcp(const std::string& address, int port) = 0;
  // Opens COM com_number at rate, 8 data bits, no parity, 1 stop bit;
  // OnLinkOpened or OnLinkFailed has run when this returns. A link still
  // open is closed first.
  virtual void OpenSerial(int com_number, int rate) = 0;
  // Closes whatever is open; afterwards no event of the old link arrives.
  virtual void CloseLink() = 0;
  // Sends on the open link; dropped when none is open.
  virtual void SendToLink(const uint8_t* bytes, int count) = 0;

  // A serial link is open and not closing.
  virtual bool SerialLinkAlive() const = 0;
  // Its rate, 0 without one; a new rate keeps the port open.
  virtual int SerialRate() const = 0;
  virtual void SetSerialRate(int rate) = 0;

  // Log lines: "[OK] COM3", "[OK] 127.0.0.1", "[ERROR]", "-> ..." and "<- ...".
  std::function<void(const std::string& line)> OnLog;
  std::function<void()> OnLinkOpened;
  std::function<void()> OnLinkFailed;
  // Received bytes, in order, after their "<- " line was logged.
  std::function<void(const uint8_t* bytes, int count)> OnReceived;
};

}  // namespace quinterra
