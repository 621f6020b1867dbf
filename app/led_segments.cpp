#include "app/led_segments.h"

#include <QPen>
#include <algorithm>

namespace quinterra {

std::vector<QLineF> SegmentLines(GlyphSet glyphs, const QRectF& box) {
  const qreal l = box.left(), r = box.right(), t = box.top(), b = box.bottom();
  const QPointF c = box.center();
  const qreal m = c.y(), x = c.x();
  if (glyphs == GlyphSet::SevenSegment)
    return {{l, t, r, t}, {r, t, r, m}, {r, m, r, b}, {l, b, r, b},
            {l, m, l, b}, {l, t, l, m}, {l, m, r, m}};
  return {{l, t, x, t}, {x, t, r, t}, {r, t, r, m}, {r, m, r, b},
          {x, b, r, b}, {l, b, x, b}, {l, m, l, b}, {l, t, l, m},
          {x, m, l, t}, {x, m, x, t}, {x, m, r, t}, {x, m, r, m},
          {x, m, r, b}, {x, m, x, b}, {x, m, l, b}, {x, m, l, m}};
}

void DrawPosition(QPainter& painter, const QRectF& box, GlyphSet glyphs,
                  const PositionSegments& segments, const QColor& lit, const QColor& unlit) {
  const qreal thickness = std::max(1.5, std::min(box.width(), box.height()) * 0.2);
  const std::vector<QLineF> lines = SegmentLines(glyphs, box);
  const unsigned bits = segments[0] | (glyphs == GlyphSet::SixteenSegment ? segments[1] << 8 : 0);
  painter.setBrush(Qt::NoBrush);
  for (size_t i = 0; i < lines.size(); ++i) {
    // Shortened at both ends so that neighbouring segments stay apart.
    QLineF line = lines[i];
    const qreal gap = std::min(thickness * 0.9, line.length() / 3);
    const QPointF step = (line.p2() - line.p1()) * (gap / line.length());
    line = QLineF(line.p1() + step, line.p2() - step);
    painter.setPen(QPen((bits >> i) & 1 ? lit : unlit, thickness, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(line);
  }
  if (glyphs == GlyphSet::SevenSegment) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(segments[0] & 0x80 ? lit : unlit);
    const qreal radius = thickness * 0.6;
    painter.drawEllipse(QPointF(box.right() + thickness * 1.3, box.bottom()), radius, radius);
  }
}

}  // namespace quinterra
