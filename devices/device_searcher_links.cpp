// The link side of the search window: the COM port and speed lists, and the
// link "Buscar" searches on, read from the controls.

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "devices/device_searcher.h"
#include "links/port_listing.h"

namespace quinterra {

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
  rate_list_ = choices.rate_list;
}

TLinkSettings TFormDeviceSearcher::LinkSettings() const {
  TLinkSettings settings;
  settings.Kind = RadioButton1->isChecked()   ? TLinkKind::Tcp
                  : RadioButton2->isChecked() ? TLinkKind::Serial
                                              : TLinkKind::None;
  settings.IpAddress = Edit1->text().toStdString();
  settings.TcpPort = Edit2->text().toStdString();
  settings.ComEntry = ComboBox1->currentText().toStdString();
  settings.Rate = ComboBox2->currentText().toStdString();
  settings.RateList = rate_list_;
  return settings;
}

}  // namespace quinterra
