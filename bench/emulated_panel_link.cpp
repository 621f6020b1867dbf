#include "bench/emulated_panel_link.h"

#include <QTimer>

namespace quinterra {

TEmulatedPanelLink::TEmulatedPanelLink(TEmulatedPanels& panels) : panels_(panels) {}

TEmulatedPanelLink::~TEmulatedPanelLink() { CloseLink(); }

void TEmulatedPanelLink::OpenTcp(const std::string& address, int port) {
  CloseLink();
  TPanelDeviceEmulator* device = port == 1 ? &panels_.Results : port == 2 ? &panels_.Jackpots : nullptr;
  const int generation = generation_;
  QTimer::singleShot(0, &context_, [this, device, address, generation] {
    if (generation != generation_) return;
    if (!device) {
      if (OnLog) OnLog("[ERROR]");
      if (OnLinkFailed) OnLinkFailed();
      return;
    }
    open_ = device;
    open_->ResetReceiver();
    open_->OnAnswer = [this, generation](TPanelDeviceEmulator&, const uint8_t* bytes, size_t count) {
      std::vector<uint8_t> answer(bytes, bytes + count);
      QTimer::singleShot(0, &context_, [this, generation, answer] {
        if (generation == generation_ && OnReceived)
          OnReceived(answer.data(), static_cast<int>(answer.size()));
      });
    };
    if (OnLog) OnLog("[OK] " + address);
    if (OnLinkOpened) OnLinkOpened();
  });
}

void TEmulatedPanelLink::OpenSerial(int, int) {
  CloseLink();
  if (OnLog) OnLog("[ERROR]");
  if (OnLinkFailed) OnLinkFailed();
}

void TEmulatedPanelLink::CloseLink() {
  ++generation_;
  if (open_) open_->OnAnswer = nullptr;
  open_ = nullptr;
}

void TEmulatedPanelLink::SendToLink(const uint8_t* bytes, int count) {
  if (open_) open_->ReceiveBytes(bytes, static_cast<size_t>(count));
}

}  // namespace quinterra
