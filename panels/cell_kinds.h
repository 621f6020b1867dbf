#pragma once
// What each cell kind accepts, how it is checked, and how it is edited and drawn.

#include <cstdint>
#include <string>

#include "panels/cell.h"

namespace quinterra {

struct CellKindRules {
  // Characters accepted while typing, e.g. "0123456789" or "12Xx".
  const char* accepted;
  // Range check on leaving the cell; has_range false means no check.
  bool has_range;
  int minimum;
  int maximum;
  int edit_width;
  int edit_height;
  int max_length;
  int font_size;
  // Jackpot fields are drawn 2 px lower.
  int draw_offset_y;
  // Jackpot amounts are drawn with a dot before every group of three digits.
  bool group_thousands;
};

const CellKindRules& RulesFor(CellKind kind);

// True when the kind accepts every character of text while typing.
bool AcceptsText(CellKind kind, const std::string& text);

// Empty is always valid; otherwise the kind's range check (a text that is
// not a whole decimal integer fails it).
bool ValidateText(CellKind kind, const std::string& text);

// The characters 0-9 of text in their order.
std::string DigitsOnly(const std::string& text);

// A dot before every group of three characters counted from the right,
// never at the front: 1234 -> 1.234, 123 -> 123.
std::string GroupThousands(const std::string& text);

}  // namespace quinterra
