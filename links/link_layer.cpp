#include "links/link_layer.h"

#include <chrono>
#include <thread>

#include <QTcpSocket>

#include "links/com_port_map.h"
#include "links/comunicacion_serie.h"
#include "links/format_bytes.h"
#include "links/serial_error.h"

namespace quinterra {
namespace {

constexpr int kReceivePiece = 2000;
constexpr int kTrafficFlags = 2;
// Lets a terminated serial worker finish its pass before the next link opens.
constexpr std::chrono::milliseconds kSerialCloseWait(300);

}  // namespace

struct TLinkLayer::Impl {
  explicit Impl(const TComPortMap& com_ports) : ports(com_ports) {}

  const TComPortMap& ports;
  TComunicacionSerie* worker = nullptr;
  QTcpSocket* socket = nullptr;
  std::string tcp_address;
  int tcp_port = 0;
};

TLinkLayer::TLinkLayer(const TComPortMap& com_ports, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(com_ports)) {}

TLinkLayer::~TLinkLayer() {
  OnLog = nullptr;
  OnLinkOpened = nullptr;
  OnLinkFailed = nullptr;
  OnReceived = nullptr;
  CloseLink();
}

TComunicacionSerie* TLinkLayer::SerialWorker() const { return impl_->worker; }

bool TLinkLayer::HasTcpSocket() const { return impl_->socket != nullptr; }

int TLinkLayer::SerialRate() const { return impl_->worker ? impl_->worker->VelocidadSerie() : 0; }

void TLinkLayer::SetSerialRate(int rate) {
  if (impl_->worker) impl_->worker->SetVelocidadSerie(rate);
}

namespace {

void Emit(const std::function<void(const std::string&)>& log, const std::string& line) {
  if (log) log(line);
}

}  // namespace

void TLinkLayer::OpenTcp(const std::string& address, int port) {
  if (address.empty() || port <= 0 || port > 65535) return;
  CloseLink();
  impl_->tcp_address = address;
  impl_->tcp_port = port;

  auto* socket = new QTcpSocket(this);
  impl_->socket = socket;
  connect(socket, &QTcpSocket::connected, this, [this, socket] {
    if (socket != impl_->socket) return;
    Emit(OnLog, "[OK] " + impl_->tcp_address);
    if (OnLinkOpened) OnLinkOpened();
  });
  connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
    // Qt signals once for everything waiting: hand it on in pieces.
    uint8_t buffer[kReceivePiece];
    while (socket == impl_->socket && socket->bytesAvailable() > 0) {
      const qint64 count = socket->read(reinterpret_cast<char*>(buffer), kReceivePiece);
      if (count <= 0) break;
      Emit(OnLog, "<- " + FormatBytes(buffer, static_cast<int>(count), kTrafficFlags));
      if (OnReceived) OnReceived(buffer, static_cast<int>(count));
    }
  });
  connect(socket, &QAbstractSocket::errorOccurred, this,
          [this, socket](QAbstractSocket::SocketError error) {
            if (socket != impl_->socket) return;
            // A peer that closes is noticed by the bus engine's time-outs.
            if (error == QAbstractSocket::RemoteHostClosedError) return;
            // A connection that cannot be made fails the link at once rather
            // than leaving its caller waiting for an open that never comes.
            Emit(OnLog, "[ERROR]");
            if (OnLinkFailed) OnLinkFailed();
          });
  socket->connectToHost(QString::fromStdString(address), static_cast<quint16>(port));
}

void TLinkLayer::OpenSerial(int com_number, int rate) {
  CloseLink();
  auto* worker = new TComunicacionSerie(false, impl_->ports);
  impl_->worker = worker;
  worker->OnSerieConnected = [this](TComunicacionSerie* sender) {
    Emit(OnLog, "[OK] COM" + std::to_string(sender->PuertoSerie()));
    if (OnLinkOpened) OnLinkOpened();
  };
  worker->OnSerieError = [this](TComunicacionSerie* sender, const std::string&) {
    Emit(OnLog, "[ERROR]");
    if (sender->LastError().kind == TSerialErrorKind::AccessDenied) {
      Emit(OnLog, "Permiso denegado para abrir COM" + std::to_string(sender->PuertoSerie()) +
                      ": el usuario debe pertenecer al grupo dialout");
    }
    if (OnLinkFailed) OnLinkFailed();
  };
  worker->OnSerieReceive = [this](TComunicacionSerie*, const uint8_t* bytes, int count) {
    Emit(OnLog, "<- " + FormatBytes(bytes, count, kTrafficFlags));
    if (OnReceived) OnReceived(bytes, count);
  };
  worker->OnSerieTransmit = [this](TComunicacionSerie*, const uint8_t* bytes, int count) {
    Emit(OnLog, "-> " + FormatBytes(bytes, count, kTrafficFlags));
  };
  worker->OnTerminate = [](TComunicacionSerie*) {};

  worker->SetPuertoSerie(com_number);
  worker->SetVelocidadSerie(rate);
  worker->SetDataBitsSerie(8);
  worker->SetStopBitsSerie(0);
  worker->SetParitySerie(0);
  // Its handlers have run when this returns; one of them may have closed
  // the link already, so the worker is not touched afterwards.
  worker->OpenPort();
}

void TLinkLayer::SendToLink(const uint8_t* bytes, int count) {
  if (bytes == nullptr || count <= 0) return;
  if (QTcpSocket* socket = impl_->socket) {
    if (socket->state() == QAbstractSocket::UnconnectedState) return;  // the peer closed
    if (socket->write(reinterpret_cast<const char*>(bytes), count) == count) {
      Emit(OnLog, "-> " + FormatBytes(bytes, count, kTrafficFlags));
    }
  } else if (TComunicacionSerie* worker = impl_->worker) {
    if (!worker->Terminated()) worker->SendBytes(bytes, count);
  }
}

void TLinkLayer::CloseLink() {
  if (TComunicacionSerie* worker = impl_->worker) {
    impl_->worker = nullptr;
    worker->DetachHandlers();
    worker->Terminate();  // it frees itself on its own thread
    std::this_thread::sleep_for(kSerialCloseWait);
  }
  if (QTcpSocket* socket = impl_->socket) {
    impl_->socket = nullptr;
    QObject::disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();  // CloseLink may run inside one of its signals
  }
}

}  // namespace quinterra
