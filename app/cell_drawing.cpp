#include "app/cell_drawing.h"

#include <QFontMetrics>
#include <QPainter>

#include "app/panel_font.h"
#include "panels/cell_kinds.h"
#include "platform/codepage1252.h"

namespace quinterra {

QColor ColorFromBgr(int32_t bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QString TextToDraw(const TCasilla& cell) {
  const CellKindRules& rules = RulesFor(cell.Kind);
  const std::string shown = rules.group_thousands ? GroupThousands(cell.Text) : cell.Text;
  return QString::fromStdString(Utf8FromCp1252(shown));
}

void DrawCellValue(QImage& picture, const TCasilla& cell, int offset_x) {
  const CellKindRules& rules = RulesFor(cell.Kind);
  const QRect inner(cell.Left - offset_x + 2, cell.Top + 2, cell.Width - 4, cell.Height - 4);
  QPainter painter(&picture);
  painter.fillRect(inner, Qt::black);
  const QString text = TextToDraw(cell);
  if (text.isEmpty() || inner.width() <= 0 || inner.height() <= 0) return;

  painter.setClipRect(inner);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  const QFont font =
      PanelFont(PixelsForPointSize(rules.font_size), cell.Glyphs == GlyphSet::SixteenSegment);
  painter.setFont(font);
  painter.setPen(ColorFromBgr(cell.Color));

  // A value wider than its box is narrowed rather than cut, so every
  // character stays readable inside the box.
  const QFontMetrics metrics(font);
  const int text_width = metrics.horizontalAdvance(text);
  const int room = inner.width() - 2;
  const qreal scale = text_width > room ? qreal(room) / text_width : 1.0;
  const qreal centre_x = cell.Left - offset_x + cell.Width / 2;
  const int text_top = cell.Top + (cell.Height - metrics.height()) / 2 + rules.draw_offset_y;
  painter.translate(centre_x, text_top);
  painter.scale(scale, 1.0);
  painter.drawText(QPointF(-text_width / 2, metrics.ascent()), text);
}

}  // namespace quinterra
