#pragma once
// Paints one cell's value into the colour picture of its panel.

#include <QColor>
#include <QImage>
#include <QString>

#include "panels/cell.h"

namespace quinterra {

// A 0x00BBGGRR colour as Qt's colour.
QColor ColorFromBgr(int32_t bgr);

// The characters shown for the cell: amounts with their thousands dots.
QString TextToDraw(const TCasilla& cell);

// Fills the box inside the cell (2 px in from each edge) black and draws the
// value centred on it in the panel font. offset_x is where the picture
// starts in content coordinates (0 for results, 628 for jackpots).
void DrawCellValue(QImage& picture, const TCasilla& cell, int offset_x);

}  // namespace quinterra
