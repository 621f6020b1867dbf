#include "app/scroll_box.h"

#include <QMouseEvent>

namespace quinterra {

TScrollBox::TScrollBox(QWidget* parent) : QScrollArea(parent) {}

void TScrollBox::mousePressEvent(QMouseEvent* event) {
  if (OnMouseDown) {
    const QPoint at = event->position().toPoint();
    OnMouseDown(event->button(), at.x(), at.y());
  }
  event->accept();
}

}  // namespace quinterra
