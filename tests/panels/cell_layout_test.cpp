#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "panels/panel_layout.h"

namespace quinterra {
namespace {

TEST(CellContains, BothEdgesCountAndOneBeyondDoesNot) {
  const TCasilla cell(0, 34, 128, 40, 34, CellKind::Day, kColorGreen, 2, GlyphSet::SevenSegment,
                      0, 1);
  EXPECT_TRUE(cell.Contains(34, 128));
  EXPECT_TRUE(cell.Contains(74, 162));  // Left + Width, Top + Height
  EXPECT_TRUE(cell.Contains(74, 128));
  EXPECT_TRUE(cell.Contains(34, 162));
  EXPECT_FALSE(cell.Contains(33, 140));
  EXPECT_FALSE(cell.Contains(75, 140));
  EXPECT_FALSE(cell.Contains(50, 127));
  EXPECT_FALSE(cell.Contains(50, 163));
}

TEST(CellContains, FarPointsDoNotOverflow) {
  const TCasilla cell(0, 2147483600, 2147483600, 40, 40, CellKind::Free, kColorRed, 2,
                      GlyphSet::SevenSegment, 0, 1);
  EXPECT_TRUE(cell.Contains(2147483640, 2147483640));  // right and bottom edge
  EXPECT_FALSE(cell.Contains(2147483647, 2147483620));
  EXPECT_FALSE(cell.Contains(-2147483647 - 1, 2147483620));
}

TEST(PanelLayout, CellsAreInIndexOrderAndSplitAtTheSeam) {
  TCellSet set;
  ASSERT_EQ(set.Cells.size(), static_cast<size_t>(kCellCount));
  for (int i = 0; i < kCellCount; ++i) {
    const TCasilla& cell = set.Cells[i];
    EXPECT_EQ(cell.Index, i);
    EXPECT_TRUE(cell.Text.empty());
    if (i < kResultsCellCount) {
      EXPECT_LT(cell.Left + cell.Width, kPanelSeamX) << "cell " << i;
    } else {
      EXPECT_GT(cell.Left, kPanelSeamX) << "cell " << i;
    }
  }
}

TEST(PanelLayout, NoPointBelongsToTwoCells) {
  TCellSet set;
  for (size_t a = 0; a < set.Cells.size(); ++a) {
    for (size_t b = a + 1; b < set.Cells.size(); ++b) {
      const TCasilla& p = set.Cells[a];
      const TCasilla& q = set.Cells[b];
      // Inclusive rectangles share a point when they overlap on both axes.
      const bool x_overlap = p.Left <= q.Left + q.Width && q.Left <= p.Left + p.Width;
      const bool y_overlap = p.Top <= q.Top + q.Height && q.Top <= p.Top + p.Height;
      EXPECT_FALSE(x_overlap && y_overlap) << "cells " << a << " and " << b;
    }
  }
}

TEST(PanelLayout, CellAtFindsEachCellAndNothingOnTheSeam) {
  TCellSet set;
  for (TCasilla& cell : set.Cells) {
    EXPECT_EQ(set.CellAt(cell.Left, cell.Top), &cell);
    EXPECT_EQ(set.CellAt(cell.Left + cell.Width, cell.Top + cell.Height), &cell);
  }
  for (int y = 0; y < 849; ++y) EXPECT_EQ(set.CellAt(kPanelSeamX, y), nullptr) << "y " << y;
  EXPECT_EQ(set.CellAt(0, 0), nullptr);
  // Between Quiniela matches 14 (720..751) and P-15 (785..): no cell at 754.
  EXPECT_EQ(set.CellAt(540, 754), nullptr);
}

TEST(PanelLayout, WireOrdersUseEveryPositionOnce) {
  TCellSet set;
  std::set<int> seen;
  for (const TCasilla& cell : set.Cells) seen.insert(cell.WireOrder);
  ASSERT_EQ(seen.size(), static_cast<size_t>(kCellCount));
  EXPECT_EQ(*seen.begin(), 1);
  EXPECT_EQ(*seen.rbegin(), kCellCount);
  ASSERT_EQ(set.CellsByWire.size(), static_cast<size_t>(kCellCount));
  for (int k = 0; k < kCellCount; ++k) {
    ASSERT_NE(set.CellsByWire[k], nullptr);
    EXPECT_EQ(set.CellsByWire[k]->WireOrder, k + 1);
  }
}

TEST(PanelLayout, WireWalkFollowsThePanelDataOrder) {
  std::vector<int> expected;
  for (int i = 0; i <= 81; ++i) expected.push_back(i);  // draws and Quinigol
  expected.push_back(98);                               // Quiniela JORNADA
  for (int i = 82; i <= 97; ++i) expected.push_back(i);  // Lototurf, Quíntuple Plus
  expected.insert(expected.end(), {99, 100, 115});       // FECHA, P-15
  for (int i = 114; i >= 101; --i) expected.push_back(i);  // matches 14 down to 1
  for (int row = 0; row < 9; ++row) {
    expected.push_back(116 + row);  // jackpot text
    expected.push_back(125 + row);  // jackpot amount
  }
  TCellSet set;
  std::vector<int> walked;
  for (const TCasilla* cell : set.CellsByWire) walked.push_back(cell->Index);
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(set.CellsByWire[82]->Index, 98);
  EXPECT_EQ(set.CellsByWire[101]->Index, 115);
  EXPECT_EQ(set.CellsByWire[115]->Index, 101);
  EXPECT_EQ(set.CellsByWire[117]->Index, 125);
}

// The number-row encoder relies on every group it is given holding 18
// digit positions, trailing blanks included.
TEST(PanelLayout, NumberRowGroupsHoldEighteenDigitPositions) {
  TCellSet set;
  const int group_sizes[] = {9, 9, 9, 9, 9, 9, 8, 7};
  int wire = 0;
  for (int size : group_sizes) {
    int positions = 0;
    for (int i = 0; i < size; ++i, ++wire) {
      positions += set.CellsByWire[wire]->Digits + set.CellsByWire[wire]->TrailingBlanks;
    }
    EXPECT_EQ(positions, 18) << "group ending at wire " << wire;
  }
  for (wire = 83; wire < 83 + 18; wire += 9) {
    int positions = 0;
    for (int i = 0; i < 9; ++i) {
      positions += set.CellsByWire[wire + i]->Digits + set.CellsByWire[wire + i]->TrailingBlanks;
    }
    EXPECT_EQ(positions, 18) << "group starting at wire " << wire;
  }
  for (const TCasilla& cell : set.Cells) {
    const bool trailing = cell.Index == 59 || cell.Index == 67 || cell.Index == 68;
    EXPECT_EQ(cell.TrailingBlanks, trailing ? 2 : 0) << "cell " << cell.Index;
  }
}

// Every box of the pictures, row by row, as the panel artwork places them.
TEST(PanelLayout, EveryCellSitsOnItsBox) {
  TCellSet set;
  auto expect_at = [&](int index, int left, int top, int width, int height) {
    const TCasilla& cell = set.Cells[index];
    EXPECT_EQ(cell.Left, left) << "cell " << index;
    EXPECT_EQ(cell.Top, top) << "cell " << index;
    EXPECT_EQ(cell.Width, width) << "cell " << index;
    EXPECT_EQ(cell.Height, height) << "cell " << index;
  };
  const int row_x[] = {34, 96, 138, 179, 221, 262, 304, 361, 420};
  struct Row { int first_index; int top; std::vector<int> slots; };
  const Row rows[] = {
      {0, 128, {0, 1, 2, 3, 4, 5, 6, 7, 8}},   {9, 179, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {18, 232, {0, 1, 2, 3, 4, 5, 6, 7, 8}},  {27, 286, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {36, 363, {0, 1, 2, 3, 4, 5, 6, 7, 8}},  {45, 416, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {54, 492, {0, 1, 2, 3, 4, 5, 7, 8}},     {62, 567, {0, 1, 2, 3, 4, 5, 8}},
      {82, 712, {0, 1, 2, 3, 4, 5, 6, 7, 8}},  {91, 785, {0, 1, 2, 3, 4, 5, 6}},
  };
  for (const Row& row : rows) {
    for (size_t i = 0; i < row.slots.size(); ++i) {
      expect_at(row.first_index + static_cast<int>(i), row_x[row.slots[i]], row.top, 40, 34);
    }
  }
  expect_at(69, 34, 639, 40, 34);
  const int quinigol_x[] = {96, 124, 160, 188, 224, 252, 288, 316, 352, 380, 415, 443};
  for (int i = 0; i < 12; ++i) expect_at(70 + i, quinigol_x[i], 639, 20, 34);
  expect_at(98, 531, 161, 40, 34);
  expect_at(99, 501, 227, 40, 34);
  expect_at(100, 560, 227, 40, 34);
  const int quiniela_top[] = {282, 316, 350, 383, 417, 451, 485, 518, 552, 586, 620, 653, 687, 720};
  for (int i = 0; i < 14; ++i) expect_at(101 + i, 532, quiniela_top[i], 39, 31);
  expect_at(115, 532, 785, 39, 31);
  const int jackpot_top[] = {138, 222, 270, 355, 438, 522, 607, 692, 778};
  for (int row = 0; row < 9; ++row) {
    expect_at(116 + row, 658, jackpot_top[row], 213, 38);
    expect_at(125 + row, 912, jackpot_top[row], 183, 38);
  }
}

TEST(PanelLayout, RowsHaveTheirKindsColoursAndGlyphs) {
  TCellSet set;
  const auto& c = set.Cells;
  // A standard row: green first cell, red numbers, yellow C and R.
  EXPECT_EQ(c[36].Kind, CellKind::Day);
  EXPECT_EQ(c[36].Color, kColorGreen);
  EXPECT_EQ(c[37].Kind, CellKind::Number49);
  EXPECT_EQ(c[37].Color, kColorRed);
  EXPECT_EQ(c[44].Kind, CellKind::Free);
  EXPECT_EQ(c[44].Color, kColorYellow);
  EXPECT_EQ(c[44].Left, 420);
  EXPECT_EQ(c[55].Kind, CellKind::Number50);
  EXPECT_EQ(c[60].Left, 361);  // first star
  EXPECT_EQ(c[63].Kind, CellKind::Number54);
  EXPECT_EQ(c[68].Left, 420);  // NºC-R
  EXPECT_EQ(c[68].Top, 567);
  EXPECT_EQ(c[83].Kind, CellKind::Number31);
  EXPECT_EQ(c[82].Kind, CellKind::Matchday);
  EXPECT_EQ(c[97].Kind, CellKind::Number20);
  EXPECT_EQ(c[97].Left, 304);
  EXPECT_EQ(c[97].Top, 785);
  // Quinigol: narrow sign boxes.
  for (int i = 70; i <= 81; ++i) {
    EXPECT_EQ(c[i].Kind, CellKind::QuinigolSign);
    EXPECT_EQ(c[i].Width, 20);
    EXPECT_EQ(c[i].Glyphs, GlyphSet::SixteenSegment);
    EXPECT_EQ(c[i].Digits, 1);
  }
  EXPECT_EQ(c[81].Left, 443);
  // Quiniela: uneven steps, P-15 level with Quíntuple Plus.
  EXPECT_EQ(c[104].Top, 383);
  EXPECT_EQ(c[114].Top, 720);
  EXPECT_EQ(c[115].Top, 785);
  EXPECT_EQ(c[115].Kind, CellKind::QuinielaSign);
  EXPECT_EQ(c[100].Kind, CellKind::Month);
  // Jackpots.
  EXPECT_EQ(c[124].Kind, CellKind::JackpotText);
  EXPECT_EQ(c[124].Top, 778);
  EXPECT_EQ(c[124].Glyphs, GlyphSet::SixteenSegment);
  EXPECT_EQ(c[133].Kind, CellKind::JackpotAmount);
  EXPECT_EQ(c[133].Left, 912);
  EXPECT_EQ(c[133].Digits, 9);
  EXPECT_EQ(c[133].Glyphs, GlyphSet::SevenSegment);
}

// Colour, size and glyphs follow from what a cell shows.
TEST(PanelLayout, KindDecidesColourDigitsAndGlyphs) {
  TCellSet set;
  for (const TCasilla& cell : set.Cells) {
    SCOPED_TRACE(cell.Index);
    switch (cell.Kind) {
      case CellKind::Day:
      case CellKind::Month:
      case CellKind::Matchday:
        EXPECT_EQ(cell.Color, kColorGreen);
        EXPECT_EQ(cell.Digits, 2);
        break;
      case CellKind::Free:
        EXPECT_EQ(cell.Color, kColorYellow);
        EXPECT_EQ(cell.Digits, 2);
        break;
      case CellKind::QuinigolSign:
      case CellKind::QuinielaSign:
        EXPECT_EQ(cell.Color, kColorRed);
        EXPECT_EQ(cell.Digits, 1);
        break;
      case CellKind::JackpotText:
        EXPECT_EQ(cell.Color, kColorYellow);
        EXPECT_EQ(cell.Digits, 9);
        break;
      case CellKind::JackpotAmount:
        EXPECT_EQ(cell.Color, kColorRed);
        EXPECT_EQ(cell.Digits, 9);
        break;
      default:  // drawn numbers
        EXPECT_EQ(cell.Color, kColorRed);
        EXPECT_EQ(cell.Digits, 2);
        break;
    }
    const bool sixteen = cell.Kind == CellKind::QuinigolSign ||
                         cell.Kind == CellKind::QuinielaSign || cell.Kind == CellKind::JackpotText;
    EXPECT_EQ(cell.Glyphs, sixteen ? GlyphSet::SixteenSegment : GlyphSet::SevenSegment);
  }
}

TEST(PanelLayout, TextsFollowIndexOrder) {
  TCellSet set;
  set.Cells[0].Text = "12";
  set.Cells[133].Text = "5000000";
  const auto texts = set.Texts();
  ASSERT_EQ(texts.size(), static_cast<size_t>(kCellCount));
  EXPECT_EQ(texts[0], "12");
  EXPECT_EQ(texts[133], "5000000");
  EXPECT_EQ(texts[1], "");
}

}  // namespace
}  // namespace quinterra
