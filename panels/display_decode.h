#pragma once
// Reads a display image back into the segments it lights, cell by cell and
// position by position: the encoders' walk run backwards over the bytes
// alone, without the texts. Filler and trailing blanks are skipped, so
// stray bits there show nothing.

#include <array>
#include <optional>
#include <vector>

#include "panels/display_image.h"

namespace quinterra {

// One character position: a 7-segment byte in [0] (0x80 is its dot, [1]
// stays 0), or the first and second bytes of a 16-segment pattern.
using PositionSegments = std::array<uint8_t, 2>;

struct DecodedCell {
  int index = 0;  // in Cells order
  GlyphSet glyphs = GlyphSet::SevenSegment;
  std::vector<PositionSegments> positions;  // Digits of them, leftmost first
};

struct DecodedPanel {
  std::vector<DecodedCell> cells;  // the panel's cells in index order
  // Results panel: lane 2's byte that lights the dots between the Quinigol
  // pairs (the encoder writes 0xFF when any result is shown).
  uint8_t quinigol_dots = 0;
};

// Empty unless the image has the panel's size (320 and 360 bytes).
std::optional<DecodedPanel> DecodeResultsImage(const Bytes& image);
std::optional<DecodedPanel> DecodeJackpotsImage(const Bytes& image);

// The indexes of the cells that light different segments in a and b (two
// decodes of the same panel). The Quinigol dots belong to the twelve
// Quinigol results, which differ when the dots do.
std::vector<int> DifferingCells(const DecodedPanel& a, const DecodedPanel& b);

}  // namespace quinterra
