#include <gtest/gtest.h>

#include <vector>

#include "panels/panel_layout.h"

namespace quinterra {
namespace {

TEST(CellContains, BothEdgesCountAndOneBeyondDoesNot) {
  const TCasilla cell(0, 34, 128, 40, 34, CellKind::Day, kColorGreen, 2, GlyphSet::SevenSegment,
                      0, 1);
  EXPECT_TRUE(cell.Contains(34, 128));
  EXPECT_TRUE(cell.Contains(74, 162));  // Left + Width, Top + Height
  EXPECT_FALSE(cell.Contains(33, 140));
  EXPECT_FALSE(cell.Contains(75, 140));
  EXPECT_FALSE(cell.Contains(50, 127));
  EXPECT_FALSE(cell.Contains(50, 163));
}

TEST(PanelLayout, NoPointBelongsToTwoCellsAndNoneToTheSeam) {
  TCellSet set;
  ASSERT_EQ(set.Cells.size(), static_cast<size_t>(kCellCount));
  for (size_t a = 0; a < set.Cells.size(); ++a) {
    const TCasilla& p = set.Cells[a];
    EXPECT_EQ(p.Index, static_cast<int>(a));
    // Results cells stay left of the seam, jackpots cells right of it.
    if (p.Index < kResultsCellCount) EXPECT_LT(p.Left + p.Width, kPanelSeamX) << a;
    else EXPECT_GT(p.Left, kPanelSeamX) << a;
    for (size_t b = a + 1; b < set.Cells.size(); ++b) {
      const TCasilla& q = set.Cells[b];
      const bool x_overlap = p.Left <= q.Left + q.Width && q.Left <= p.Left + p.Width;
      const bool y_overlap = p.Top <= q.Top + q.Height && q.Top <= p.Top + p.Height;
      EXPECT_FALSE(x_overlap && y_overlap) << "cells " << a << " and " << b;
    }
  }
  for (TCasilla& cell : set.Cells) {
    EXPECT_EQ(set.CellAt(cell.Left + cell.Width, cell.Top + cell.Height), &cell);
  }
  EXPECT_EQ(set.CellAt(0, 0), nullptr);
  EXPECT_EQ(set.CellAt(540, 754), nullptr);  // the gap above P-15
}

TEST(PanelLayout, WireWalkFollowsThePanelDataOrder) {
  std::vector<int> expected;
  for (int i = 0; i <= 81; ++i) expected.push_back(i);  // draws and Quinigol
  expected.push_back(98);                               // Quiniela JORNADA
  for (int i = 82; i <= 97; ++i) expected.push_back(i);  // Lototurf, Quíntuple Plus
  expected.insert(expected.end(), {99, 100, 115});       // FECHA, P-15
  for (int i = 114; i >= 101; --i) expected.push_back(i);  // matches 14 down to 1
  for (int row = 0; row < 9; ++row) expected.insert(expected.end(), {116 + row, 125 + row});

  TCellSet set;
  ASSERT_EQ(set.CellsByWire.size(), static_cast<size_t>(kCellCount));
  std::vector<int> walked;
  for (int k = 0; k < kCellCount; ++k) {
    ASSERT_NE(set.CellsByWire[k], nullptr);
    EXPECT_EQ(set.CellsByWire[k]->WireOrder, k + 1);
    walked.push_back(set.CellsByWire[k]->Index);
  }
  EXPECT_EQ(walked, expected);  // so every wire order 1..134 is used once
  EXPECT_EQ(set.CellsByWire[82]->Index, 98);
  EXPECT_EQ(set.CellsByWire[101]->Index, 115);
  EXPECT_EQ(set.CellsByWire[115]->Index, 101);
  EXPECT_EQ(set.CellsByWire[117]->Index, 125);
}

// Every box of the pictures, row by row, as the panel artwork places them.
TEST(PanelLayout, EveryCellSitsOnItsBox) {
  TCellSet set;
  auto expect_at = [&](int index, int left, int top, int width, int height, CellKind kind) {
    const TCasilla& cell = set.Cells[index];
    EXPECT_EQ(cell.Left, left) << "cell " << index;
    EXPECT_EQ(cell.Top, top) << "cell " << index;
    EXPECT_EQ(cell.Width, width) << "cell " << index;
    EXPECT_EQ(cell.Height, height) << "cell " << index;
    EXPECT_EQ(cell.Kind, kind) << "cell " << index;
  };
  const int row_x[] = {34, 96, 138, 179, 221, 262, 304, 361, 420};
  struct Row { int first_index, top; CellKind first, number; std::vector<int> slots; };
  const std::vector<int> full = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  const Row rows[] = {
      {0, 128, CellKind::Day, CellKind::Number49, full},
      {9, 179, CellKind::Day, CellKind::Number49, full},
      {18, 232, CellKind::Day, CellKind::Number49, full},
      {27, 286, CellKind::Day, CellKind::Number49, full},
      {36, 363, CellKind::Day, CellKind::Number49, full},
      {45, 416, CellKind::Day, CellKind::Number49, full},
      {54, 492, CellKind::Day, CellKind::Number50, {0, 1, 2, 3, 4, 5, 7, 8}},
      {62, 567, CellKind::Day, CellKind::Number54, {0, 1, 2, 3, 4, 5, 8}},
      {82, 712, CellKind::Matchday, CellKind::Number31, full},
      {91, 785, CellKind::Matchday, CellKind::Number20, {0, 1, 2, 3, 4, 5, 6}},
  };
  for (const Row& row : rows) {
    for (size_t i = 0; i < row.slots.size(); ++i) {
      const int slot = row.slots[i];
      const CellKind kind = slot == 0 ? row.first : slot <= 6 ? row.number : CellKind::Free;
      expect_at(row.first_index + static_cast<int>(i), row_x[slot], row.top, 40, 34, kind);
    }
  }
  expect_at(69, 34, 639, 40, 34, CellKind::Matchday);
  const int quinigol_x[] = {96, 124, 160, 188, 224, 252, 288, 316, 352, 380, 415, 443};
  for (int i = 0; i < 12; ++i) {
    expect_at(70 + i, quinigol_x[i], 639, 20, 34, CellKind::QuinigolSign);
  }
  expect_at(98, 531, 161, 40, 34, CellKind::Matchday);
  expect_at(99, 501, 227, 40, 34, CellKind::Day);
  expect_at(100, 560, 227, 40, 34, CellKind::Month);
  const int quiniela_top[] = {282, 316, 350, 383, 417, 451, 485, 518, 552, 586, 620, 653, 687, 720};
  for (int i = 0; i < 14; ++i) {
    expect_at(101 + i, 532, quiniela_top[i], 39, 31, CellKind::QuinielaSign);
  }
  expect_at(115, 532, 785, 39, 31, CellKind::QuinielaSign);
  const int jackpot_top[] = {138, 222, 270, 355, 438, 522, 607, 692, 778};
  for (int row = 0; row < 9; ++row) {
    expect_at(116 + row, 658, jackpot_top[row], 213, 38, CellKind::JackpotText);
    expect_at(125 + row, 912, jackpot_top[row], 183, 38, CellKind::JackpotAmount);
  }
}

// Colour, size and glyphs follow from what a cell shows.
TEST(PanelLayout, KindDecidesColourDigitsAndGlyphs) {
  TCellSet set;
  for (const TCasilla& cell : set.Cells) {
    SCOPED_TRACE(cell.Index);
    int32_t colour = kColorRed;  // drawn numbers, signs, amounts
    int digits = 2;
    GlyphSet glyphs = GlyphSet::SevenSegment;
    switch (cell.Kind) {
      case CellKind::Day: case CellKind::Month: case CellKind::Matchday:
        colour = kColorGreen; break;
      case CellKind::Free: colour = kColorYellow; break;
      case CellKind::QuinigolSign: case CellKind::QuinielaSign:
        digits = 1; glyphs = GlyphSet::SixteenSegment; break;
      case CellKind::JackpotText:
        colour = kColorYellow; digits = 9; glyphs = GlyphSet::SixteenSegment; break;
      case CellKind::JackpotAmount: digits = 9; break;
      default: break;
    }
    EXPECT_EQ(cell.Color, colour);
    EXPECT_EQ(cell.Digits, digits);
    EXPECT_EQ(cell.Glyphs, glyphs);
    // Only the fifth Euromillones and El Gordo numbers and NºC-R pad the row.
    const bool pads = cell.Index == 59 || cell.Index == 67 || cell.Index == 68;
    EXPECT_EQ(cell.TrailingBlanks, pads ? 2 : 0);
  }
}

}  // namespace
}  // namespace quinterra
