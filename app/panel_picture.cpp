#include "app/panel_picture.h"

#include <QPainter>
#include <QPaintEvent>

namespace quinterra {

TPanelPicture::TPanelPicture(QWidget* parent) : QWidget(parent) {
  setEnabled(false);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TPanelPicture::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect().topLeft(), Picture, event->rect());
}

}  // namespace quinterra
