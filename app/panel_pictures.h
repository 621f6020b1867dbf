#pragma once
// The four panel pictures, drawn here rather than shipped as bitmaps: the
// results panel (628 x 840) and the jackpots panel (510 x 840), each in
// colour (the panel is active) and in grey (inactive, one byte a pixel).
// Every cell has a black box at its rectangle; cell values are drawn over
// the boxes of the colour pictures later.

#include <QImage>
#include <vector>

#include "panels/cell.h"

namespace quinterra {

enum class PictureVariant { Colour, Grey };

constexpr int kResultsPictureWidth = 628;
constexpr int kJackpotsPictureWidth = 510;
constexpr int kPictureHeight = 840;

// cells: the whole layout; the results picture takes the cells left of the
// seam, the jackpots picture the others, shifted left by the seam.
QImage DrawResultsPicture(PictureVariant variant, const std::vector<TCasilla>& cells);
QImage DrawJackpotsPicture(PictureVariant variant, const std::vector<TCasilla>& cells);

}  // namespace quinterra
