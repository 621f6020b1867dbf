#include "panels/display_image.h"

#include <algorithm>

namespace quinterra {

namespace {

constexpr uint8_t kDot = 0x80;
constexpr int kLaneCount = 8;
constexpr uint8_t kDigitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                        0x6D, 0x7D, 0x07, 0x7F, 0x67};

// Patterns of A-Z; lower-case letters light the same segments.
constexpr uint8_t kLetterSegments[26][2] = {
    {0xCF, 0x88}, {0x3F, 0x2A}, {0xF3, 0x00}, {0x3F, 0x22}, {0xF3, 0x88}, {0xC3, 0x88},
    {0xFB, 0x08}, {0xCC, 0x88}, {0x00, 0x22}, {0x7C, 0x00}, {0xC0, 0x94}, {0xF0, 0x00},
    {0xCC, 0x05}, {0xCC, 0x11}, {0xFF, 0x00}, {0xC7, 0x88}, {0x8F, 0x88}, {0xC7, 0x98},
    {0xBB, 0x88}, {0x03, 0x22}, {0xFC, 0x00}, {0xC0, 0x42}, {0xFC, 0x22}, {0x00, 0x55},
    {0x84, 0xA8}, {0x33, 0x44},
};
constexpr uint8_t kDigitPatterns[10][2] = {
    {0xFF, 0x00}, {0x00, 0x22}, {0x77, 0x88}, {0x3F, 0x88}, {0x8C, 0x88},
    {0xBB, 0x88}, {0xFB, 0x88}, {0x0F, 0x00}, {0xFF, 0x88}, {0x8F, 0x88},
};

// The character shown at position k of a cell, or nothing for a blank
// position. Texts are right-aligned; a text longer than the cell (only a
// loaded document can hold one) shows its first Digits characters.
bool CharacterAt(const TCasilla& cell, int k, char& c) {
  const int digits = cell.Digits;
  const int length = static_cast<int>(
      std::min<size_t>(cell.Text.size(), static_cast<size_t>(std::max(digits, 0))));
  const int shift = digits - length;
  if (k < shift || k >= digits) return false;
  c = cell.Text[static_cast<size_t>(k - shift)];
  return true;
}

uint8_t SevenSegmentAt(const TCasilla& cell, int k, bool with_dots) {
  char c;
  if (!CharacterAt(cell, k, c)) return 0x00;
  uint8_t byte = SevenSegmentByte(c);
  const bool is_digit = c >= '0' && c <= '9';
  const int from_right = cell.Digits - k;
  // Dots mark the thousands and millions of a long number: 999.999.999.
  if (with_dots && is_digit && from_right % 3 == 1 && from_right > 1) byte |= kDot;
  return byte;
}

std::array<uint8_t, 2> SixteenSegmentAt(const TCasilla& cell, int k) {
  char c;
  if (!CharacterAt(cell, k, c)) return {0x00, 0x00};
  return SixteenSegmentBytes(c);
}

// Number and jackpot rows carry no digits in lanes 6 and 7, only filler.
bool IsPaddingLane(int lane) { return lane == 6 || lane == 7; }

bool IsBlankPosition(const TCasilla& cell, int k) {
  char c;
  return !CharacterAt(cell, k, c);
}

}  // namespace

uint8_t SevenSegmentByte(char c) {
  if (c >= '0' && c <= '9') return kDigitSegments[c - '0'];
  return 0x00;
}

std::array<uint8_t, 2> SixteenSegmentBytes(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= '0' && u <= '9') return {kDigitPatterns[u - '0'][0], kDigitPatterns[u - '0'][1]};
  if (u >= 'A' && u <= 'Z') return {kLetterSegments[u - 'A'][0], kLetterSegments[u - 'A'][1]};
  if (u >= 'a' && u <= 'z') return {kLetterSegments[u - 'a'][0], kLetterSegments[u - 'a'][1]};
  switch (u) {
    case '-': return {0x40, 0x00};
    case '_': return {0x08, 0x00};
    case '|': return {0x63, 0x00};
    case '~': return {0x01, 0x00};
    case 127: return {0x08, 0x00};
    default: return {0x00, 0x00};
  }
}

TDisplayImageEncoder::TDisplayImageEncoder(const std::vector<TCasilla*>& cells_by_wire)
    : cells_by_wire_(cells_by_wire) {}

const TCasilla* TDisplayImageEncoder::NextCell() {
  if (WireCursor < 0 || WireCursor >= static_cast<int>(cells_by_wire_.size())) return nullptr;
  return cells_by_wire_[static_cast<size_t>(WireCursor++)];
}

void TDisplayImageEncoder::ForNextCells(int count, const std::function<void(const TCasilla&)>& each) {
  for (int n = 0; n < count; ++n) {
    const TCasilla* cell = NextCell();
    if (cell == nullptr) return;
    each(*cell);
  }
}

void TDisplayImageEncoder::ClearLanes() {
  for (Bytes& lane : Lanes) lane.clear();
}

void TDisplayImageEncoder::EncodeNumberRow(int count) {
  int p = 0;
  ForNextCells(count, [&](const TCasilla& cell) {
    for (int k = 0; k < cell.Digits;) {
      const int lane = p % kLaneCount;
      if (IsPaddingLane(lane)) {
        Lanes[lane].push_back(0x00);
      } else {
        Lanes[lane].push_back(SevenSegmentAt(cell, k, true));
        ++k;
      }
      ++p;
    }
    for (int placed = 0; placed < cell.TrailingBlanks; ++p) {
      const int lane = p % kLaneCount;
      Lanes[lane].push_back(0x00);
      if (!IsPaddingLane(lane)) ++placed;
    }
  });
  Lanes[6].push_back(0x00);
  Lanes[7].push_back(0x00);
}

void TDisplayImageEncoder::EncodeQuinigolRow(int count) {
  int p = 0;
  bool first_pair = true;
  bool any_sign = false;
  ForNextCells(count, [&](const TCasilla& cell) {
    for (int k = 0; k < cell.Digits; ++k, ++p) {
      const int lane = p % kLaneCount;
      if (cell.Glyphs == GlyphSet::SevenSegment) {
        Lanes[lane].push_back(SevenSegmentAt(cell, k, false));
        if (lane == 1) {
          int first_zero_lane = 2;
          if (first_pair) {
            first_pair = false;
          } else {
            // Lane 2 of the closing group tells the panel whether any result is shown.
            Lanes[2].push_back(any_sign ? 0xFF : 0x00);
            first_zero_lane = 3;
          }
          for (int j = first_zero_lane; j < kLaneCount; ++j) Lanes[j].push_back(0x00);
          p += 6;
        }
      } else {
        const auto pattern = SixteenSegmentAt(cell, k);
        Lanes[lane].insert(Lanes[lane].end(), pattern.begin(), pattern.end());
        if (!IsBlankPosition(cell, k)) any_sign = true;
        if (lane == 5) {
          for (int j : {6, 7}) Lanes[j].insert(Lanes[j].end(), {0x00, 0x00});
          p += 2;
        }
      }
    }
  });
}

void TDisplayImageEncoder::EncodeQuinielaColumn(int count) {
  int c = 0;
  ForNextCells(count, [&](const TCasilla& cell) {
    const auto pattern = SixteenSegmentAt(cell, 0);
    Bytes& lane = Lanes[c++ % kLaneCount];
    lane.insert(lane.end(), pattern.begin(), pattern.end());
  });
  Lanes[7].insert(Lanes[7].end(), {0x00, 0x00});
}

void TDisplayImageEncoder::EncodeJackpotRow(int count) {
  int p = 0;
  ForNextCells(count, [&](const TCasilla& cell) {
    for (int k = 0; k < cell.Digits;) {
      const int lane = p % kLaneCount;
      if (IsPaddingLane(lane)) {
        Lanes[lane].insert(Lanes[lane].end(), {0x00, 0x00});
        ++p;
        continue;
      }
      if (cell.Glyphs == GlyphSet::SevenSegment) {
        // Amount digits 1-6 share lanes 3-5 in pairs; 7-9 take lanes 0-2.
        Lanes[lane].push_back(SevenSegmentAt(cell, k, true));
        if (k >= 6 || k % 2 == 1) ++p;
      } else {
        const auto pattern = SixteenSegmentAt(cell, k);
        Lanes[lane].insert(Lanes[lane].end(), pattern.begin(), pattern.end());
        ++p;
      }
      ++k;
    }
  });
  for (int j = 3; j < kLaneCount; ++j) Lanes[j].push_back(0x00);
}

Bytes TDisplayImageEncoder::JoinLanes() const {
  Bytes image;
  size_t total = 0;
  for (const Bytes& lane : Lanes) total += lane.size();
  image.reserve(total);
  for (const Bytes& lane : Lanes) image.insert(image.end(), lane.rbegin(), lane.rend());
  return image;
}

Bytes TDisplayImageEncoder::BuildResultsImage() {
  WireCursor = 0;
  ClearLanes();
  for (int row = 0; row < 6; ++row) EncodeNumberRow(9);  // Bonoloto 1-4, Primitiva
  EncodeNumberRow(8);                                    // Euromillones
  EncodeNumberRow(7);                                    // El Gordo
  EncodeQuinigolRow(14);  // Quinigol JORNADA, twelve results, Quiniela JORNADA
  EncodeNumberRow(9);     // Lototurf
  EncodeNumberRow(9);     // Quíntuple Plus, Quiniela FECHA day and month
  EncodeQuinielaColumn(15);
  return JoinLanes();
}

Bytes TDisplayImageEncoder::BuildJackpotsImage() {
  ClearLanes();
  for (int row = 0; row < 9; ++row) EncodeJackpotRow(2);
  return JoinLanes();
}

PanelImages BuildPanelImages(const std::vector<TCasilla*>& cells_by_wire) {
  TDisplayImageEncoder encoder(cells_by_wire);
  PanelImages images;
  images.results = encoder.BuildResultsImage();
  images.jackpots = encoder.BuildJackpotsImage();
  return images;
}

}  // namespace quinterra
