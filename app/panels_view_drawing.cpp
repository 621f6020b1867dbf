#include "app/panels_view_drawing.h"

#include <QPainter>
#include <algorithm>

#include "app/cell_drawing.h"
#include "app/led_segments.h"
#include "panels/panel_layout.h"

namespace quinterra {

namespace {

const QColor kBackground(14, 14, 18);
const QColor kCaption(110, 110, 120);
const QColor kOutline(255, 255, 0);

const TCellSet& Layout() {
  static const TCellSet layout;
  return layout;
}

// Unlit segments stay faintly visible, as on a real panel.
QColor Unlit(const QColor& lit) {
  return QColor(12 + lit.red() / 11, 12 + lit.green() / 11, 14 + lit.blue() / 11);
}

void DrawCell(QPainter& painter, const TCasilla& cell, const DecodedCell& decoded) {
  const QRectF inner(cell.Left + 3, cell.Top + 4, cell.Width - 6, cell.Height - 8);
  const int count = static_cast<int>(decoded.positions.size());
  if (count == 0) return;
  const qreal pitch = inner.width() / count;
  const qreal width = std::min(pitch * (count == 1 ? 0.75 : 0.6), inner.height() * 0.6);
  // Room for the dot right of a 7-segment digit.
  const qreal shift = decoded.glyphs == GlyphSet::SevenSegment ? width * 0.12 : 0;
  const QColor lit = ColorFromBgr(cell.Color);
  for (int k = 0; k < count; ++k) {
    const QRectF box(inner.left() + k * pitch + (pitch - width) / 2 - shift, inner.top(), width,
                     inner.height());
    DrawPosition(painter, box, decoded.glyphs, decoded.positions[static_cast<size_t>(k)], lit,
                 Unlit(lit));
  }
}

// The dots between the Quinigol pairs (results 1-12 are cells 70-81).
void DrawQuinigolDots(QPainter& painter, uint8_t dots) {
  const std::vector<TCasilla>& cells = Layout().Cells;
  for (size_t first = 70; first <= 80; first += 2) {
    const TCasilla& a = cells[first];
    const TCasilla& b = cells[first + 1];
    const QColor lit = ColorFromBgr(a.Color);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dots != 0 ? lit : Unlit(lit));
    painter.drawEllipse(QPointF((a.Left + a.Width + b.Left) / 2.0, a.Top + a.Height / 2.0), 2.5,
                        2.5);
  }
}

void DrawPanel(QPainter& painter, const std::optional<DecodedPanel>& panel, const QRect& area,
               const QString& caption, bool results) {
  QFont font = painter.font();
  font.setPixelSize(22);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(kCaption);
  painter.drawText(QRect(area.left(), 30, area.width(), 40), Qt::AlignCenter, caption);
  const std::vector<TCasilla>& cells = Layout().Cells;
  for (const TCasilla& cell : cells)
    if ((cell.Index < kResultsCellCount) == results)
      painter.fillRect(QRect(cell.Left, cell.Top, cell.Width, cell.Height), Qt::black);
  if (!panel) {
    painter.setPen(kCaption);
    painter.drawText(QRect(area.left(), 80, area.width(), 40), Qt::AlignCenter, "Sin datos");
    return;
  }
  for (const DecodedCell& decoded : panel->cells)
    DrawCell(painter, cells.at(static_cast<size_t>(decoded.index)), decoded);
  if (results) DrawQuinigolDots(painter, panel->quinigol_dots);
}

}  // namespace

QImage DrawPanelsView(const PanelsViewContent& content) {
  QImage image(kPanelsViewWidth, kPanelsViewHeight, QImage::Format_RGB32);
  image.fill(kBackground);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  DrawPanel(painter, content.results, QRect(0, 0, kPanelSeamX, kPanelsViewHeight),
            "PANEL RESULTADOS", true);
  DrawPanel(painter, content.jackpots,
            QRect(kPanelSeamX, 0, kPanelsViewWidth - kPanelSeamX, kPanelsViewHeight),
            "PANEL BOTES", false);
  painter.setPen(QPen(kCaption, 1));
  painter.drawLine(QPointF(kPanelSeamX + 0.5, 12), QPointF(kPanelSeamX + 0.5, kPanelsViewHeight - 12));
  painter.setPen(QPen(kOutline, 2));
  painter.setBrush(Qt::NoBrush);
  if (content.framed_results) painter.drawRect(QRectF(4, 4, kPanelSeamX - 8, kPanelsViewHeight - 8));
  if (content.framed_jackpots)
    painter.drawRect(QRectF(kPanelSeamX + 4, 4, kPanelsViewWidth - kPanelSeamX - 8, kPanelsViewHeight - 8));
  for (int index : content.outlined) {
    const TCasilla& cell = Layout().Cells.at(static_cast<size_t>(index));
    painter.drawRect(QRectF(cell.Left - 2, cell.Top - 2, cell.Width + 4, cell.Height + 4));
  }
  return image;
}

}  // namespace quinterra
