#pragma once
// One character position of an LED panel drawn from its segment bits.
//
// 7-segment byte: bit 0 top, 1 upper right, 2 lower right, 3 bottom, 4 lower
// left, 5 upper left, 6 middle, 0x80 the dot at the bottom right.
//
// 16-segment pattern, as the glyph table lights it (H = CC 88 and 7 = 0F 00
// place the outer ring, 1 = 00 22 the centre bars, M = CC 05 and N = CC 11
// the diagonals, G = FB 08 the right half of the middle bar):
//   first byte, the outer ring clockwise from the top left: bit 0 top left
//   half, 1 top right half, 2 upper right, 3 lower right, 4 bottom right
//   half, 5 bottom left half, 6 lower left, 7 upper left;
//   second byte, the spokes from the centre clockwise from the top left:
//   bit 0 to the top left corner, 1 up, 2 to the top right corner, 3 right
//   half of the middle bar, 4 to the bottom right corner, 5 down, 6 to the
//   bottom left corner, 7 left half of the middle bar.

#include <QColor>
#include <QLineF>
#include <QPainter>
#include <QRectF>
#include <vector>

#include "panels/display_decode.h"

namespace quinterra {

// The segment lines of a character box, one per bit: 7 for a 7-segment
// byte (the dot apart), 16 for a pattern (first byte's bits, then second's).
std::vector<QLineF> SegmentLines(GlyphSet glyphs, const QRectF& box);

// Draws the position's segments in box: lit ones in lit, the others in
// unlit. A 7-segment dot sits just right of the box's bottom right corner.
void DrawPosition(QPainter& painter, const QRectF& box, GlyphSet glyphs,
                  const PositionSegments& segments, const QColor& lit, const QColor& unlit);

}  // namespace quinterra
