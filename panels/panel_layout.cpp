#include "panels/panel_layout.h"

#include <array>

namespace quinterra {

namespace {

// x of the first cell and of number positions 1 to 6 of a standard results row.
constexpr int kFirstCellX = 34;
constexpr std::array<int, 6> kNumberX = {96, 138, 179, 221, 262, 304};
constexpr int kFirstExtraX = 361;  // C, or the first Euromillones star
constexpr int kSecondExtraX = 420;  // R, the second star, or El Gordo's NºC-R

constexpr int kBoxWidth = 40;
constexpr int kBoxHeight = 34;

constexpr int kQuinigolTop = 639;
constexpr std::array<int, 12> kQuinigolX = {96, 124, 160, 188, 224, 252,
                                            288, 316, 352, 380, 415, 443};

constexpr int kQuinielaX = 532;
constexpr std::array<int, 14> kQuinielaTops = {282, 316, 350, 383, 417, 451, 485,
                                               518, 552, 586, 620, 653, 687, 720};
constexpr int kSignWidth = 39;
constexpr int kSignHeight = 31;

constexpr int kJackpotTextX = 658;
constexpr int kJackpotAmountX = 912;
constexpr std::array<int, 9> kJackpotTops = {138, 222, 270, 355, 438, 522, 607, 692, 778};

class LayoutBuilder {
 public:
  explicit LayoutBuilder(std::vector<TCasilla>& cells) : cells_(cells) {}

  void TwoDigitBox(int left, int top, CellKind kind, int32_t color, int wire,
                   int trailing_blanks = 0) {
    Add(left, top, kBoxWidth, kBoxHeight, kind, color, 2, GlyphSet::SevenSegment,
        trailing_blanks, wire);
  }

  void Add(int left, int top, int width, int height, CellKind kind, int32_t color, int digits,
           GlyphSet glyphs, int trailing_blanks, int wire) {
    const int index = static_cast<int>(cells_.size());
    cells_.emplace_back(index, left, top, width, height, kind, color, digits, glyphs,
                        trailing_blanks, wire);
  }

  int NextIndex() const { return static_cast<int>(cells_.size()); }

  // First cell, six numbers, C and R; wire order = index + wire_offset.
  void StandardRow(int top, CellKind first_kind, CellKind number_kind, int wire_offset,
                   bool with_c_and_r) {
    TwoDigitBox(kFirstCellX, top, first_kind, kColorGreen, NextIndex() + wire_offset);
    for (int x : kNumberX) TwoDigitBox(x, top, number_kind, kColorRed, NextIndex() + wire_offset);
    if (with_c_and_r) {
      TwoDigitBox(kFirstExtraX, top, CellKind::Free, kColorYellow, NextIndex() + wire_offset);
      TwoDigitBox(kSecondExtraX, top, CellKind::Free, kColorYellow, NextIndex() + wire_offset);
    }
  }

  // First cell and five numbers; the fifth number is followed by two blank
  // digit positions in the panel data.
  void FiveNumberRow(int top, CellKind number_kind) {
    TwoDigitBox(kFirstCellX, top, CellKind::Day, kColorGreen, NextIndex() + 1);
    for (int i = 0; i < 5; ++i) {
      TwoDigitBox(kNumberX[i], top, number_kind, kColorRed, NextIndex() + 1, i == 4 ? 2 : 0);
    }
  }

 private:
  std::vector<TCasilla>& cells_;
};

void BuildResultsPanel(LayoutBuilder& b) {
  // Bonoloto 1-4 and La Primitiva JUEVES, SÁBADO: cells 0..53.
  for (int top : {128, 179, 232, 286, 363, 416}) {
    b.StandardRow(top, CellKind::Day, CellKind::Number49, 1, true);
  }
  // Euromillones: cells 54..61, two stars in the C and R places.
  b.FiveNumberRow(492, CellKind::Number50);
  b.TwoDigitBox(kFirstExtraX, 492, CellKind::Free, kColorYellow, b.NextIndex() + 1);
  b.TwoDigitBox(kSecondExtraX, 492, CellKind::Free, kColorYellow, b.NextIndex() + 1);
  // El Gordo: cells 62..68, NºC-R in the R place.
  b.FiveNumberRow(567, CellKind::Number54);
  b.TwoDigitBox(kSecondExtraX, 567, CellKind::Free, kColorYellow, b.NextIndex() + 1, 2);
  // El Quinigol: cells 69..81.
  b.TwoDigitBox(kFirstCellX, kQuinigolTop, CellKind::Matchday, kColorGreen, b.NextIndex() + 1);
  for (int x : kQuinigolX) {
    b.Add(x, kQuinigolTop, 20, kBoxHeight, CellKind::QuinigolSign, kColorRed, 1,
          GlyphSet::SixteenSegment, 0, b.NextIndex() + 1);
  }
  // Lototurf and Quíntuple Plus: cells 82..97; the Quiniela JORNADA comes
  // before them in the panel data, hence index + 2.
  b.StandardRow(712, CellKind::Matchday, CellKind::Number31, 2, true);
  b.StandardRow(785, CellKind::Matchday, CellKind::Number20, 2, false);
  // La Quiniela: cells 98..115.
  b.TwoDigitBox(531, 161, CellKind::Matchday, kColorGreen, 83);
  b.TwoDigitBox(501, 227, CellKind::Day, kColorGreen, 100);
  b.TwoDigitBox(560, 227, CellKind::Month, kColorGreen, 101);
  for (int top : kQuinielaTops) {
    // The panel takes the results from match 14 back to match 1.
    b.Add(kQuinielaX, top, kSignWidth, kSignHeight, CellKind::QuinielaSign, kColorRed, 1,
          GlyphSet::SixteenSegment, 0, 217 - b.NextIndex());
  }
  b.Add(kQuinielaX, 785, kSignWidth, kSignHeight, CellKind::QuinielaSign, kColorRed, 1,
        GlyphSet::SixteenSegment, 0, 102);
}

void BuildJackpotsPanel(LayoutBuilder& b) {
  // All text fields first, then all amounts; in the panel data each row's
  // text is directly followed by its amount.
  for (int row = 0; row < 9; ++row) {
    b.Add(kJackpotTextX, kJackpotTops[row], 213, 38, CellKind::JackpotText, kColorYellow, 9,
          GlyphSet::SixteenSegment, 0, 117 + 2 * row);
  }
  for (int row = 0; row < 9; ++row) {
    b.Add(kJackpotAmountX, kJackpotTops[row], 183, 38, CellKind::JackpotAmount, kColorRed, 9,
          GlyphSet::SevenSegment, 0, 118 + 2 * row);
  }
}

}  // namespace

TCellSet::TCellSet() {
  Cells.reserve(kCellCount);  // CellsByWire points into Cells: no reallocation after this
  LayoutBuilder builder(Cells);
  BuildResultsPanel(builder);
  BuildJackpotsPanel(builder);

  CellsByWire.assign(Cells.size(), nullptr);
  for (TCasilla& cell : Cells) {
    const int slot = cell.WireOrder - 1;
    if (slot >= 0 && slot < static_cast<int>(CellsByWire.size())) CellsByWire[slot] = &cell;
  }
}

TCasilla* TCellSet::CellAt(int x, int y) {
  for (TCasilla& cell : Cells) {
    if (cell.Contains(x, y)) return &cell;
  }
  return nullptr;
}

std::vector<std::string> TCellSet::Texts() const {
  std::vector<std::string> texts;
  texts.reserve(Cells.size());
  for (const TCasilla& cell : Cells) texts.push_back(cell.Text);
  return texts;
}

}  // namespace quinterra
