#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "panels/display_decode.h"
#include "panels/panel_layout.h"

namespace quinterra {
namespace {

// What position k of a cell lights, from the text alone: right-aligned, the
// first Digits characters, dots only on nine-digit amounts (999.999.999).
PositionSegments Expected(const TCasilla& cell, int k) {
  const std::string text = cell.Text.substr(0, static_cast<size_t>(cell.Digits));
  const int blanks = cell.Digits - static_cast<int>(text.size());
  if (k < blanks) return {0, 0};
  const char c = text[static_cast<size_t>(k - blanks)];
  if (cell.Glyphs == GlyphSet::SixteenSegment) return SixteenSegmentBytes(c);
  const int from_right = cell.Digits - k;
  const bool dot = cell.Digits == 9 && c >= '0' && c <= '9' && (from_right == 4 || from_right == 7);
  return {static_cast<uint8_t>(SevenSegmentByte(c) | (dot ? 0x80 : 0)), 0};
}

void RandomTexts(std::mt19937& rng, TCellSet& set) {
  static const std::string kTypical = "0123456789XxMm12AZaz-_|~ #.";
  for (TCasilla& cell : set.Cells) {
    const int mode = static_cast<int>(rng() % 8);
    const int length = mode < 2 ? 0 : 1 + static_cast<int>(rng() % (cell.Digits + (mode == 2 ? 4 : 0)));
    cell.Text.clear();
    for (int i = 0; i < length; ++i)
      cell.Text += mode == 3 ? static_cast<char>(rng() % 256) : kTypical[rng() % kTypical.size()];
  }
}

TEST(DisplayDecode, RandomDocumentsGiveBackTheirSegmentsAndFillerIsIgnored) {
  std::mt19937 rng(20110518);
  Bytes ever_lit[2] = {Bytes(kResultsImageSize), Bytes(kJackpotsImageSize)};
  std::vector<PanelImages> documents;
  for (int round = 0; round < 400; ++round) {
    TCellSet set;
    RandomTexts(rng, set);
    const PanelImages images = BuildPanelImages(set.CellsByWire);
    const std::optional<DecodedPanel> panels[2] = {DecodeResultsImage(images.results),
                                                   DecodeJackpotsImage(images.jackpots)};
    ASSERT_TRUE(panels[0] && panels[1]);
    ASSERT_EQ(panels[0]->cells.size(), size_t(kResultsCellCount));
    ASSERT_EQ(panels[1]->cells.size(), size_t(kCellCount - kResultsCellCount));
    for (const std::optional<DecodedPanel>& panel : panels)
      for (const DecodedCell& decoded : panel->cells) {
        const TCasilla& cell = set.Cells[static_cast<size_t>(decoded.index)];
        ASSERT_EQ(decoded.glyphs, cell.Glyphs);
        ASSERT_EQ(decoded.positions.size(), size_t(cell.Digits));
        for (int k = 0; k < cell.Digits; ++k)
          ASSERT_EQ(decoded.positions[size_t(k)], Expected(cell, k))
              << "round " << round << " cell " << cell.Index << " position " << k;
      }
    bool any_result = false;
    for (int i = 70; i <= 81; ++i) any_result = any_result || !set.Cells[size_t(i)].Text.empty();
    ASSERT_EQ(panels[0]->quinigol_dots, any_result ? 0xFF : 0x00);
    for (size_t i = 0; i < images.results.size(); ++i) ever_lit[0][i] |= images.results[i];
    for (size_t i = 0; i < images.jackpots.size(); ++i) ever_lit[1][i] |= images.jackpots[i];

    documents.push_back(images);
  }
  // Every position byte was lit at least once; the rest is filler: 320 less
  // 89 two-digit and 27 one-sign cells and the dots byte, 360 less nine rows
  // of nine signs and nine digits.
  EXPECT_EQ(std::count(ever_lit[0].begin(), ever_lit[0].end(), 0), 320 - 89 * 2 - 27 * 2 - 1);
  EXPECT_EQ(std::count(ever_lit[1].begin(), ever_lit[1].end(), 0), 360 - 9 * 27);

  // Bytes no encoder ever wrote (filler lanes, trailing blanks) change nothing.
  for (const PanelImages& images : documents) {
    PanelImages stray = images;
    for (size_t i = 0; i < stray.results.size(); ++i)
      if (ever_lit[0][i] == 0) stray.results[i] = static_cast<uint8_t>(rng() | 1);
    for (size_t i = 0; i < stray.jackpots.size(); ++i)
      if (ever_lit[1][i] == 0) stray.jackpots[i] = static_cast<uint8_t>(rng() | 1);
    ASSERT_EQ(DifferingCells(*DecodeResultsImage(stray.results), *DecodeResultsImage(images.results)),
              std::vector<int>{});
    ASSERT_EQ(DifferingCells(*DecodeJackpotsImage(stray.jackpots),
                             *DecodeJackpotsImage(images.jackpots)),
              std::vector<int>{});
  }
}

TEST(DisplayDecode, GlyphlessCharactersAreDarkAndDifferencesAreFound) {
  TCellSet set;
  set.Cells[0].Text = "18";
  set.Cells[1].Text = "4A";
  set.Cells[116].Text = "X#";
  const PanelImages before = BuildPanelImages(set.CellsByWire);
  const DecodedPanel results = *DecodeResultsImage(before.results);
  EXPECT_EQ(results.cells[0].positions, (std::vector<PositionSegments>{{0x06, 0}, {0x7F, 0}}));
  EXPECT_EQ(results.cells[1].positions, (std::vector<PositionSegments>{{0x66, 0}, {0, 0}}));
  const DecodedPanel jackpots = *DecodeJackpotsImage(before.jackpots);
  EXPECT_EQ(jackpots.cells[0].index, 116);
  EXPECT_EQ(jackpots.cells[0].positions[7], (PositionSegments{0x00, 0x55}));
  EXPECT_EQ(jackpots.cells[0].positions[8], (PositionSegments{0x00, 0x00}));

  set.Cells[5].Text = "7";
  set.Cells[70].Text = "1";  // lights the Quinigol dots as well
  const DecodedPanel after = *DecodeResultsImage(BuildPanelImages(set.CellsByWire).results);
  std::vector<int> expected = {5};
  for (int i = 70; i <= 81; ++i) expected.push_back(i);
  EXPECT_EQ(DifferingCells(after, results), expected);
}

TEST(DisplayDecode, RefusesImagesOfAnotherSize) {
  for (size_t size : {0, 319, 321, 360}) EXPECT_FALSE(DecodeResultsImage(Bytes(size))) << size;
  for (size_t size : {0, 320, 359, 361}) EXPECT_FALSE(DecodeJackpotsImage(Bytes(size))) << size;
  EXPECT_TRUE(DecodeResultsImage(Bytes(kResultsImageSize, 0xFF)));
  EXPECT_TRUE(DecodeJackpotsImage(Bytes(kJackpotsImageSize, 0xFF)));
}

}  // namespace
}  // namespace quinterra
