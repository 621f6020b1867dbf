#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "panels/display_image.h"
#include "panels/panel_layout.h"

namespace quinterra {
namespace {

// Offsets and values of the non-zero bytes of an image.
std::map<size_t, uint8_t> NonZero(const Bytes& image) {
  std::map<size_t, uint8_t> bytes;
  for (size_t i = 0; i < image.size(); ++i) {
    if (image[i] != 0) bytes[i] = image[i];
  }
  return bytes;
}

PanelImages ImagesWith(const std::map<int, std::string>& texts) {
  TCellSet set;
  for (const auto& [index, text] : texts) set.Cells[index].Text = text;
  return BuildPanelImages(set.CellsByWire);
}

TEST(SegmentTables, SevenSegmentDigitsAndNothingElse) {
  const uint8_t expected[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x67};
  for (int d = 0; d < 10; ++d) EXPECT_EQ(SevenSegmentByte(static_cast<char>('0' + d)), expected[d]);
  for (int c = 0; c < 256; ++c) {
    if (c >= '0' && c <= '9') continue;
    EXPECT_EQ(SevenSegmentByte(static_cast<char>(c)), 0x00) << c;
  }
}

TEST(SegmentTables, SixteenSegmentPatterns) {
  using P = std::array<uint8_t, 2>;
  EXPECT_EQ(SixteenSegmentBytes('X'), (P{0x00, 0x55}));
  EXPECT_EQ(SixteenSegmentBytes('9'), (P{0x8F, 0x88}));
  EXPECT_EQ(SixteenSegmentBytes('M'), (P{0xCC, 0x05}));
  EXPECT_EQ(SixteenSegmentBytes('R'), (P{0xC7, 0x98}));
  EXPECT_EQ(SixteenSegmentBytes('|'), (P{0x63, 0x00}));
  EXPECT_EQ(SixteenSegmentBytes('\x7F'), (P{0x08, 0x00}));
  EXPECT_EQ(SixteenSegmentBytes(' '), (P{0x00, 0x00}));
  for (char c = 'a'; c <= 'z'; ++c) {
    EXPECT_EQ(SixteenSegmentBytes(c), SixteenSegmentBytes(static_cast<char>(c - 'a' + 'A'))) << c;
  }
  for (int c = 128; c < 256; ++c) EXPECT_EQ(SixteenSegmentBytes(static_cast<char>(c)), (P{0, 0}));
}

TEST(PanelImages, EmptyDocumentIsAllZeros) {
  const PanelImages images = ImagesWith({});
  EXPECT_EQ(images.results, Bytes(kResultsImageSize, 0x00));
  EXPECT_EQ(images.jackpots, Bytes(kJackpotsImageSize, 0x00));
}

TEST(PanelImages, SingleValuesLandAtTheirOffsets) {
  using M = std::map<size_t, uint8_t>;
  // 18 in the first Bonoloto cell.
  EXPECT_EQ(NonZero(ImagesWith({{0, "18"}}).results), (M{{39, 0x06}, {79, 0x7F}}));
  // X in P-15.
  EXPECT_EQ(NonZero(ImagesWith({{115, "X"}}).results), (M{{2, 0x55}}));
  // 1 in Quinigol result 1, which also raises the any-sign byte of lane 2.
  EXPECT_EQ(NonZero(ImagesWith({{70, "1"}}).results), (M{{13, 0x22}, {90, 0xFF}}));
  // M and a digit in Quinigol results both count as signs.
  EXPECT_EQ(NonZero(ImagesWith({{81, "m"}}).results)[90], 0xFF);
  // 1234567 in the first jackpot amount: dots on the 1 and the 4, not on the 7.
  const PanelImages jackpot = ImagesWith({{125, "1234567"}});
  const M bytes = NonZero(jackpot.jackpots);
  EXPECT_EQ(bytes.at(40), 0x6D);   // the 5, lane 0
  EXPECT_EQ(bytes.at(266), 0xE6);  // the 4 with its dot
  EXPECT_EQ(bytes.at(222), 0x86);  // the 1 with its dot
  EXPECT_EQ(bytes.size(), 7u);
  EXPECT_EQ(NonZero(jackpot.results), M{});
}

TEST(PanelImages, OverlongTextShowsItsFirstDigitsCharacters) {
  EXPECT_EQ(ImagesWith({{0, "1234"}}).results, ImagesWith({{0, "12"}}).results);
  EXPECT_EQ(ImagesWith({{115, "X12"}}).results, ImagesWith({{115, "X"}}).results);
  EXPECT_EQ(ImagesWith({{125, "98765432100"}}).jackpots,
            ImagesWith({{125, "987654321"}}).jackpots);
  EXPECT_EQ(ImagesWith({{116, "ABCDEFGHIJK"}}).jackpots,
            ImagesWith({{116, "ABCDEFGHI"}}).jackpots);
}

TEST(DisplayImageEncoder, RunningOutOfCellsStopsInsteadOfReadingBeyond) {
  TCellSet set;
  std::vector<TCasilla*> few(set.CellsByWire.begin(), set.CellsByWire.begin() + 3);
  few.push_back(nullptr);
  TDisplayImageEncoder encoder(few);
  encoder.EncodeNumberRow(9);
  EXPECT_EQ(encoder.WireCursor, 4);  // stopped at the hole
  encoder.EncodeJackpotRow(2);
  encoder.EncodeQuinigolRow(14);
  encoder.EncodeQuinielaColumn(15);
  EXPECT_LE(encoder.WireCursor, 4);
}

// An independent model of both images, written from the per-lane tables of
// the panel data rather than from the position counters of the encoder.
class LaneModel {
 public:
  explicit LaneModel(const TCellSet& set) : set_(set) {}

  // The characters shown in each position of a cell; -1 for a blank.
  std::vector<int> Shown(int index) const {
    const TCasilla& cell = set_.Cells[index];
    const std::string text = cell.Text.substr(0, cell.Digits);
    std::vector<int> shown(cell.Digits - text.size(), -1);
    for (char c : text) shown.push_back(static_cast<unsigned char>(c));
    return shown;
  }

  uint8_t Seven(int index, int k, bool dots) const {
    const int c = Shown(index)[k];
    if (c < '0' || c > '9') return 0;
    const int from_right = set_.Cells[index].Digits - k;
    return SevenSegmentByte(static_cast<char>(c)) |
           ((dots && (from_right == 4 || from_right == 7)) ? 0x80 : 0x00);
  }

  void PutSixteen(int lane, int index, int k) {
    const int c = Shown(index)[k];
    const auto p = c < 0 ? std::array<uint8_t, 2>{0, 0} : SixteenSegmentBytes(static_cast<char>(c));
    lanes_[lane].push_back(p[0]);
    lanes_[lane].push_back(p[1]);
  }

  // 18 digit positions spread over lanes 0-5, three each; lanes 6, 7 blank.
  void NumberGroup(const std::vector<int>& cells) {
    std::vector<uint8_t> positions;
    for (int index : cells) {
      for (int k = 0; k < set_.Cells[index].Digits; ++k) positions.push_back(Seven(index, k, true));
      for (int b = 0; b < set_.Cells[index].TrailingBlanks; ++b) positions.push_back(0);
    }
    ASSERT_EQ(positions.size(), 18u);
    for (int round = 0; round < 3; ++round) {
      for (int lane = 0; lane < 6; ++lane) lanes_[lane].push_back(positions[round * 6 + lane]);
      lanes_[6].push_back(0);
      lanes_[7].push_back(0);
    }
  }

  void Quinigol() {
    bool any = false;
    for (int i = 70; i <= 81; ++i) any = any || !set_.Cells[i].Text.empty();
    lanes_[0].push_back(Seven(69, 0, false));
    lanes_[1].push_back(Seven(69, 1, false));
    for (int lane = 2; lane < 8; ++lane) lanes_[lane].push_back(0);
    for (int lane = 0; lane < 6; ++lane) PutSixteen(lane, 70 + lane, 0);  // results 1-6
    for (int lane = 0; lane < 6; ++lane) PutSixteen(lane, 76 + lane, 0);  // results 7-12
    for (int lane : {6, 7}) lanes_[lane].insert(lanes_[lane].end(), {0, 0, 0, 0});
    lanes_[0].push_back(Seven(98, 0, false));
    lanes_[1].push_back(Seven(98, 1, false));
    lanes_[2].push_back(any ? 0xFF : 0x00);
    for (int lane = 3; lane < 8; ++lane) lanes_[lane].push_back(0);
  }

  void Quiniela() {
    // Match m is cell 100 + m; lane 0 starts with P-15.
    const int first[8] = {115, 114, 113, 112, 111, 110, 109, 108};
    const int second[7] = {107, 106, 105, 104, 103, 102, 101};
    for (int lane = 0; lane < 8; ++lane) PutSixteen(lane, first[lane], 0);
    for (int lane = 0; lane < 7; ++lane) PutSixteen(lane, second[lane], 0);
    lanes_[7].insert(lanes_[7].end(), {0, 0});
  }

  void JackpotRow(int row) {
    const int text = 116 + row;
    const int amount = 125 + row;
    for (int lane = 0; lane < 3; ++lane) {
      PutSixteen(lane, text, lane);
      PutSixteen(lane, text, lane + 6);
      lanes_[lane].push_back(Seven(amount, lane + 6, true));
    }
    for (int lane = 3; lane < 6; ++lane) {
      PutSixteen(lane, text, lane);
      lanes_[lane].push_back(Seven(amount, 2 * (lane - 3), true));
      lanes_[lane].push_back(Seven(amount, 2 * (lane - 3) + 1, true));
      lanes_[lane].push_back(0);
    }
    for (int lane : {6, 7}) lanes_[lane].insert(lanes_[lane].end(), {0, 0, 0, 0, 0});
  }

  Bytes Results() {
    Clear();
    for (int row = 0; row < 6; ++row) {
      std::vector<int> cells;
      for (int i = 0; i < 9; ++i) cells.push_back(row * 9 + i);
      NumberGroup(cells);
    }
    NumberGroup({54, 55, 56, 57, 58, 59, 60, 61});
    NumberGroup({62, 63, 64, 65, 66, 67, 68});
    Quinigol();
    NumberGroup({82, 83, 84, 85, 86, 87, 88, 89, 90});
    NumberGroup({91, 92, 93, 94, 95, 96, 97, 99, 100});
    Quiniela();
    return Join();
  }

  Bytes Jackpots() {
    Clear();
    for (int row = 0; row < 9; ++row) JackpotRow(row);
    return Join();
  }

 private:
  void Clear() {
    for (Bytes& lane : lanes_) lane.clear();
  }
  Bytes Join() const {
    Bytes image;
    for (const Bytes& lane : lanes_) image.insert(image.end(), lane.rbegin(), lane.rend());
    return image;
  }

  const TCellSet& set_;
  std::array<Bytes, 8> lanes_;
};

// Empty, typical, over-long or arbitrary bytes (glyphless ones included).
std::string RandomText(std::mt19937& rng, const TCasilla& cell) {
  static const std::string kTypical = "0123456789XxMm12AZaz-_|~";
  const int mode = static_cast<int>(rng() % 10);
  const int longest = mode == 2 ? cell.Digits + 5 : cell.Digits;
  const int length = mode < 2 ? 0 : 1 + static_cast<int>(rng() % longest);
  std::string text;
  for (int i = 0; i < length; ++i) {
    text += mode == 3 ? static_cast<char>(rng() % 256) : kTypical[rng() % kTypical.size()];
  }
  return text;
}

TEST(PanelImages, RandomDocumentsMatchTheLaneTables) {
  std::mt19937 rng(20110518);
  for (int round = 0; round < 300; ++round) {
    TCellSet set;
    for (TCasilla& cell : set.Cells) cell.Text = RandomText(rng, cell);
    TDisplayImageEncoder encoder(set.CellsByWire);
    const Bytes results = encoder.BuildResultsImage();
    for (const Bytes& lane : encoder.Lanes) ASSERT_EQ(lane.size(), 40u);
    ASSERT_EQ(encoder.WireCursor, kResultsCellCount);
    const Bytes jackpots = encoder.BuildJackpotsImage();
    for (const Bytes& lane : encoder.Lanes) ASSERT_EQ(lane.size(), 45u);
    ASSERT_EQ(encoder.WireCursor, kCellCount);
    ASSERT_EQ(results.size(), static_cast<size_t>(kResultsImageSize));
    ASSERT_EQ(jackpots.size(), static_cast<size_t>(kJackpotsImageSize));

    LaneModel model(set);
    ASSERT_EQ(results, model.Results()) << "round " << round;
    ASSERT_EQ(jackpots, model.Jackpots()) << "round " << round;
  }
}

}  // namespace
}  // namespace quinterra
