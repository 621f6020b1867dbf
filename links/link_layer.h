#pragma once
// The one open link of the search window: a serial worker thread or a TCP
// socket. It moves bytes only; it knows nothing of frames. Every call and
// every callback runs on the UI thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QObject>

namespace quinterra {

class TComunicacionSerie;
class TComPortMap;

class TLinkLayer : public QObject {
  Q_OBJECT
 public:
  // com_ports maps COM numbers to device paths (see links/com_port_map.h);
  // it must outlive the link layer. Each serial link copies it when it opens.
  TLinkLayer(const TComPortMap& com_ports, QObject* parent = nullptr);
  ~TLinkLayer() override;

  // Opens a TCP connection; completes later through OnLinkOpened, or through
  // "[ERROR]" and OnLinkFailed when the connection cannot be made (refused,
  // unreachable). An empty address or port 0 opens nothing and logs nothing.
  // A link still open is closed first.
  void OpenTcp(const std::string& address, int port);
  // Starts a serial worker on COM com_number at rate bits per second
  // (8 data bits, no parity, 1 stop bit) and opens the port; OnLinkOpened or
  // OnLinkFailed has run when this returns. A link still open is closed first.
  void OpenSerial(int com_number, int rate);
  // Closes whatever is open; afterwards no event of the old link arrives.
  void CloseLink();
  // Sends on the open link; dropped when none is open.
  void SendToLink(const uint8_t* bytes, int count);

  // The live serial worker, or null (none, or told to terminate).
  TComunicacionSerie* SerialWorker() const;
  bool HasTcpSocket() const;

  // Log lines: "[OK] COM3", "[OK] 127.0.0.1", "[ERROR]", "-> ..." and "<- ...";
  // a serial open refused for lack of permission adds a line naming the
  // dialout group after its "[ERROR]".
  std::function<void(const std::string& line)> OnLog;
  std::function<void()> OnLinkOpened;
  std::function<void()> OnLinkFailed;
  // Received bytes, in order, after their "<- " line was logged.
  std::function<void(const uint8_t* bytes, int count)> OnReceived;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quinterra
