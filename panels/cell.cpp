#include "panels/cell.h"

namespace quinterra {

TCasilla::TCasilla(int32_t index, int32_t left, int32_t top, int32_t width, int32_t height,
                   CellKind kind, int32_t color, int32_t digits, GlyphSet glyphs,
                   int32_t trailing_blanks, int32_t wire_order)
    : Left(left),
      Top(top),
      Width(width),
      Height(height),
      Kind(kind),
      Color(color),
      Index(index),
      Digits(digits),
      Glyphs(glyphs),
      TrailingBlanks(trailing_blanks),
      WireOrder(wire_order) {}

bool TCasilla::Contains(int32_t x, int32_t y) const {
  // Widened so that a far-off point cannot overflow the sums.
  const int64_t right = int64_t{Left} + Width;
  const int64_t bottom = int64_t{Top} + Height;
  return Left <= x && x <= right && Top <= y && y <= bottom;
}

}  // namespace quinterra
