#include "links/format_bytes.h"

#include <cstdio>

namespace quinterra {

std::string FormatBytes(const uint8_t* bytes, int count, int flags) {
  std::string text;
  if (bytes == nullptr) return text;
  char piece[8];
  for (int i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (i > 0) text += ',';
    if (flags & 1) {
      std::snprintf(piece, sizeof piece, "%03d ", b);
      text += piece;
    }
    if (flags & 2) {
      std::snprintf(piece, sizeof piece, "0x%02X ", b);
      text += piece;
    }
    if ((flags & 4) && b >= 0x20 && b <= 0x7E) {
      text += static_cast<char>(b);
      text += ' ';
    } else {
      text += "  ";
    }
  }
  return text;
}

}  // namespace quinterra
