// The link side of the search window: the COM port and speed lists, opening
// and closing the one link, and carrying bytes between it and the engine.

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "bus/bus_engine.h"
#include "devices/device_searcher.h"
#include "links/comunicacion_serie.h"
#include "links/link_layer.h"
#include "links/port_listing.h"

namespace quinterra {
namespace {

constexpr int kKindSerial = 1;
constexpr int kKindTcp = 2;
// With "Auto" and no rate known for the port (it could not be opened while
// listing) the link still tries the lowest rate offered anywhere.
constexpr int kFallbackRate = 9600;

// A decimal number, or 0 for any other text.
int NumberOrZero(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  return ok ? value : 0;
}

int NumberOrZero(const std::string& text) { return NumberOrZero(QString::fromStdString(text)); }

}  // namespace

void TFormDeviceSearcher::ListComPorts() {
  const std::vector<std::string> entries = ComPortEntries(present_ports_());
  ComboBox1->clear();
  for (const std::string& entry : entries) ComboBox1->addItem(QString::fromStdString(entry));
  if (ComboBox1->count() > 0) ComboBox1->setCurrentIndex(0);
  ListRates(ComboBox1->currentText());
}

void TFormDeviceSearcher::ListRates(const QString& entry) {
  const TRateChoices choices = quinterra::ListRates(entry.toStdString(), settable_rates_);
  ComboBox2->clear();
  for (const std::string& item : choices.items) ComboBox2->addItem(QString::fromStdString(item));
  if (ComboBox2->count() > 0) ComboBox2->setCurrentIndex(0);
  cycle_->RateList = choices.rate_list;
}

const std::vector<int>& TFormDeviceSearcher::RateList() const { return cycle_->RateList; }

int TFormDeviceSearcher::RateIndex() const { return cycle_->RateIndex; }

void TFormDeviceSearcher::OpenLink(int kind, const std::string& address,
                                   const std::string& second) {
  if (kind == -1) {
    if (RadioButton1->isChecked()) {
      kind = kKindTcp;
    } else if (RadioButton2->isChecked()) {
      kind = kKindSerial;
    }
  }
  if (kind != kKindTcp && kind != kKindSerial) return;
  // One link at a time: a caller that left one open gets it closed rather
  // than two links feeding one engine.
  if (link_->SerialWorker() || link_->HasTcpSocket()) CloseLink();

  if (kind == kKindTcp) {
    // Blanks around a typed address would only make the connect fail.
    tcp_address_ = (!address.empty() ? QString::fromStdString(address) : Edit1->text())
                       .trimmed()
                       .toStdString();
    tcp_port_ = !second.empty() ? NumberOrZero(second) : NumberOrZero(Edit2->text());
    // A port outside the TCP range is as good as none.
    if (tcp_port_ < 0 || tcp_port_ > 65535) tcp_port_ = 0;
    if (tcp_address_.empty() || tcp_port_ == 0) return;
    link_->OpenTcp(tcp_address_, tcp_port_);
    return;
  }

  const int com_number = !address.empty()
                             ? NumberOrZero(address)
                             : NumberInText(ComboBox1->currentText().toStdString(), 0);
  int rate = 0;
  if (!second.empty()) {
    rate = NumberOrZero(second);
  } else if (ComboBox2->currentText() != QLatin1String("Auto")) {
    cycle_->RateIndex = -1;
    rate = NumberOrZero(ComboBox2->currentText());
    AddLog(QStringLiteral("{") + ComboBox2->currentText() + QStringLiteral("}"));
  } else if (!cycle_->RateList.empty()) {
    cycle_->RateIndex = 0;
    rate = cycle_->RateList[0];
    AddLog("{" + std::to_string(rate) + "}");
  } else {
    // Nothing to step through: the search tries this one rate, as with a
    // fixed rate.
    cycle_->RateIndex = -1;
    rate = kFallbackRate;
    AddLog("{" + std::to_string(rate) + "}");
  }
  link_->OpenSerial(com_number, rate);
}

void TFormDeviceSearcher::CloseLink() { link_->CloseLink(); }

void TFormDeviceSearcher::SendToLink(const uint8_t* bytes, int count) {
  if (link_) link_->SendToLink(bytes, count);
}

void TFormDeviceSearcher::ReceivedBytes(const uint8_t* bytes, int count) {
  if (count <= 0) return;
  // The engine's events may close the link, and with it the buffer these
  // bytes came in; every byte still reaches the engine, in order.
  const std::vector<uint8_t> received(bytes, bytes + count);
  for (uint8_t b : received) engine_->ReceiveByte(b);
}

bool TFormDeviceSearcher::SerialWorkerAlive() { return link_->SerialWorker() != nullptr; }

int TFormDeviceSearcher::SerialRate() {
  TComunicacionSerie* worker = link_->SerialWorker();
  return worker ? worker->VelocidadSerie() : 0;
}

void TFormDeviceSearcher::SetSerialRate(int rate) {
  if (TComunicacionSerie* worker = link_->SerialWorker()) worker->SetVelocidadSerie(rate);
}

}  // namespace quinterra
