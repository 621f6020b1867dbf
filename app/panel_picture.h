#pragma once
// A picture control: shows a QImage at its top-left corner and takes no
// mouse input, so clicks fall through to the scrolling area beneath.

#include <QImage>
#include <QWidget>

namespace quinterra {

class TPanelPicture : public QWidget {
  Q_OBJECT
 public:
  explicit TPanelPicture(QWidget* parent = nullptr);

  // Drawn on directly; call update() afterwards to show the change.
  QImage Picture;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace quinterra
