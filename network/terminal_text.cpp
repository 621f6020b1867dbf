#include "network/terminal_text.h"

#include <cstdint>

namespace quinterra {
namespace {

// The length of the valid UTF-8 sequence at text[at], or 0.
size_t SequenceLength(const std::string& text, size_t at, uint32_t* code) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  size_t length = 0;
  uint32_t value = 0, minimum = 0;
  if (lead < 0x80) return *code = lead, 1;
  if ((lead & 0xE0) == 0xC0) length = 2, value = lead & 0x1F, minimum = 0x80;
  else if ((lead & 0xF0) == 0xE0) length = 3, value = lead & 0x0F, minimum = 0x800;
  else if ((lead & 0xF8) == 0xF0) length = 4, value = lead & 0x07, minimum = 0x10000;
  else return 0;
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(at + i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

bool Control(uint32_t code) {
  return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F) ||
         (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) ||
         code == 0x200E || code == 0x200F || code == 0x061C;
}

}  // namespace

std::string TerminalSafe(const std::string& text) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    uint32_t code = 0;
    const size_t length = SequenceLength(text, at, &code);
    if (length == 0 || Control(code)) {
      safe += '?';
      at += length == 0 ? 1 : length;
    } else {
      safe.append(text, at, length);
      at += length;
    }
  }
  return safe;
}

}  // namespace quinterra
