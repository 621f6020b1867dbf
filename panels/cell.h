#pragma once
// One editable field of a panel: a rectangle at a fixed place on the panel
// pictures, with a kind, a colour and a fixed position in the panel data.

#include <cstdint>
#include <string>

namespace quinterra {

enum class CellKind : uint8_t {
  Free = 0,
  Number49 = 1,
  Number54 = 3,
  QuinigolSign = 5,
  Number50 = 6,
  Number31 = 8,
  Number20 = 10,
  Day = 11,
  Month = 12,
  Matchday = 13,
  QuinielaSign = 14,
  JackpotText = 15,
  JackpotAmount = 16,
};

enum class GlyphSet : uint8_t { SevenSegment = 0, SixteenSegment = 1 };

// Colours in the 0x00BBGGRR form the stored files and devices use.
constexpr int32_t kColorRed = 0x0000FF;
constexpr int32_t kColorGreen = 0x00FF00;
constexpr int32_t kColorYellow = 0x00FFFF;

class TCasilla {
 public:
  TCasilla(int32_t index, int32_t left, int32_t top, int32_t width, int32_t height, CellKind kind,
           int32_t color, int32_t digits, GlyphSet glyphs, int32_t trailing_blanks,
           int32_t wire_order);
  virtual ~TCasilla() = default;

  // True when the content point lies in the rectangle; both edges count.
  bool Contains(int32_t x, int32_t y) const;

  // The value as typed, one byte per character in Windows-1252 (the code
  // page of the document files), so that a loaded text keeps its characters.
  std::string Text;
  int32_t Left;
  int32_t Top;
  int32_t Width;
  int32_t Height;
  CellKind Kind;
  int32_t Color;
  int32_t Index;
  int32_t Digits;
  GlyphSet Glyphs;
  int32_t TrailingBlanks;
  int32_t WireOrder;
};

}  // namespace quinterra
