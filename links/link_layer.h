#pragma once
// The one open link of the search window: a serial worker thread or a TCP
// socket. It moves bytes only; it knows nothing of frames. Every call and
// every callback runs on the UI thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QObject>

#include "links/device_link.h"

namespace quinterra {

class TComunicacionSerie;
class TComPortMap;

class TLinkLayer : public QObject, public IDeviceLink {
  Q_OBJECT
 public:
  // com_ports maps COM numbers to device paths (see links/com_port_map.h);
  // it must outlive the link layer. Each serial link copies it when it opens.
  TLinkLayer(const TComPortMap& com_ports, QObject* parent = nullptr);
  ~TLinkLayer() override;

  // A TCP link opens through a QTcpSocket, a serial link through a serial
  // worker thread (TComunicacionSerie). A serial open refused for lack of
  // permission adds a log line naming the dialout group after its "[ERROR]".
  void OpenTcp(const std::string& address, int port) override;
  void OpenSerial(int com_number, int rate) override;
  void CloseLink() override;
  void SendToLink(const uint8_t* bytes, int count) override;
  bool SerialLinkAlive() const override { return SerialWorker() != nullptr; }
  int SerialRate() const override;
  void SetSerialRate(int rate) override;

  // The live serial worker, or null (none, or told to terminate).
  TComunicacionSerie* SerialWorker() const;
  bool HasTcpSocket() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quinterra
