#pragma once
// A device link that reaches two in-process emulated panel devices instead
// of a port: a TCP "port" 1 is the results panel, 2 the jackpots panel.
// Bytes and answers pass through the event loop, as a socket's would, but
// without a wire, so a bench measures the network and the cycle alone.

#include <QObject>

#include "emulator/panel_device.h"
#include "links/device_link.h"

namespace quinterra {

inline TPanelDeviceOptions PanelAt(uint8_t address) {
  TPanelDeviceOptions options;
  options.Address = address;
  return options;
}

struct TEmulatedPanels {
  TPanelDeviceEmulator Results{PanelAt(1)};
  TPanelDeviceEmulator Jackpots{PanelAt(2)};
};

class TEmulatedPanelLink : public IDeviceLink {
 public:
  explicit TEmulatedPanelLink(TEmulatedPanels& panels);
  ~TEmulatedPanelLink() override;

  void OpenTcp(const std::string& address, int port) override;
  void OpenSerial(int com_number, int rate) override;
  void CloseLink() override;
  void SendToLink(const uint8_t* bytes, int count) override;
  bool SerialLinkAlive() const override { return false; }
  int SerialRate() const override { return 0; }
  void SetSerialRate(int) override {}

 private:
  TEmulatedPanels& panels_;
  TPanelDeviceEmulator* open_ = nullptr;
  int generation_ = 0;  // answers of a closed link are dropped
  QObject context_;
};

}  // namespace quinterra
