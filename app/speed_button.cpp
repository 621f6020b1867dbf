#include "app/speed_button.h"

#include <QPainter>

namespace quinterra {

TSpeedButton::TSpeedButton(const QColor& background, QWidget* parent)
    : QToolButton(parent), background_(background) {}

void TSpeedButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), background_);
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::ButtonText));
  // Pressed, the caption moves a pixel down and right, as a flat button's does.
  const QRect caption = isDown() ? rect().translated(1, 1) : rect();
  painter.drawText(caption, Qt::AlignCenter, text());
}

}  // namespace quinterra
