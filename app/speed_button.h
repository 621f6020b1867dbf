#pragma once
// The "ENVIAR" button: its caption in the font colour of its palette
// (ButtonText) on a fixed background, whatever its state. A style's hover
// or pressed panel would put the yellow of a running delivery on white.

#include <QColor>
#include <QToolButton>

namespace quinterra {

class TSpeedButton : public QToolButton {
  Q_OBJECT
 public:
  TSpeedButton(const QColor& background, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor background_;
};

}  // namespace quinterra
