#pragma once
// The scrolling area of the panel pictures. Reports every mouse press on its
// visible area in viewport coordinates (the caller adds the scroll positions).

#include <QScrollArea>
#include <functional>

namespace quinterra {

class TScrollBox : public QScrollArea {
  Q_OBJECT
 public:
  explicit TScrollBox(QWidget* parent = nullptr);

  std::function<void(Qt::MouseButton button, int x, int y)> OnMouseDown;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace quinterra
