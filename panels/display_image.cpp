#include "panels/display_image.h"

#include <algorithm>

namespace quinterra {

namespace {

constexpr uint8_t kDot = 0x80;
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

void TDisplayImageEncoder::Put(int lane, const LaneSlot& slot) {
  Bytes& bytes = Lanes[static_cast<size_t>(lane)];
  switch (slot.kind) {
    case LaneSlot::Kind::Blank:
      bytes.push_back(0x00);
      break;
    case LaneSlot::Kind::BlankPair:
      bytes.insert(bytes.end(), {0x00, 0x00});
      break;
    case LaneSlot::Kind::Seven:
      bytes.push_back(SevenSegmentAt(*slot.cell, slot.position, slot.dots));
      break;
    case LaneSlot::Kind::Sixteen: {
      const auto pattern = SixteenSegmentAt(*slot.cell, slot.position);
      bytes.insert(bytes.end(), pattern.begin(), pattern.end());
      if (!IsBlankPosition(*slot.cell, slot.position)) any_sign_ = true;
      break;
    }
    case LaneSlot::Kind::AnySign:
      bytes.push_back(any_sign_ ? 0xFF : 0x00);
      break;
  }
}

void TDisplayImageEncoder::ClearLanes() {
  for (Bytes& lane : Lanes) lane.clear();
}

void TDisplayImageEncoder::EncodeNumberRow(int count) { NumberRow(count); }

void TDisplayImageEncoder::EncodeQuinigolRow(int count) {
  any_sign_ = false;
  QuinigolRow(count);
}

void TDisplayImageEncoder::EncodeQuinielaColumn(int count) { QuinielaColumn(count); }

void TDisplayImageEncoder::EncodeJackpotRow(int count) { JackpotRow(count); }

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
  any_sign_ = false;
  ResultsPanel();
  return JoinLanes();
}

Bytes TDisplayImageEncoder::BuildJackpotsImage() {
  ClearLanes();
  JackpotsPanel();
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
