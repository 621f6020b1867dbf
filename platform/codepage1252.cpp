#include "platform/codepage1252.h"

#include <cstdint>

namespace quinterra {
namespace {

// 0x80..0x9F. The five codes Windows leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 controls of the same value, so that any byte
// survives a round trip through UTF-8.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t CodePointOf(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The Windows-1252 byte of a code point, or '?' when it has none.
char ByteOf(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one UTF-8 sequence at text[pos]. On success returns true with the
// code point; either way `length` is how many bytes to consume (an invalid
// sequence consumes its longest valid-looking prefix, at least one byte).
bool DecodeOne(const std::string& text, std::size_t pos, char32_t& code, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  length = 1;
  if (lead < 0x80) {
    code = lead;
    return true;
  }
  std::size_t needed;
  char32_t value;
  // Bounds of the second byte exclude overlong forms, surrogates and
  // anything past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return false;
  }
  for (std::size_t i = 1; i <= needed; ++i) {
    if (pos + i >= text.size()) return false;
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    const bool fits = i == 1 ? (byte >= low && byte <= high) : IsContinuation(byte);
    if (!fits) return false;
    value = (value << 6) | (byte & 0x3F);
    length = i + 1;
  }
  code = value;
  return true;
}

}  // namespace

std::string Utf8FromCp1252(const std::string& cp1252) {
  std::string out;
  out.reserve(cp1252.size() + cp1252.size() / 8);
  for (char c : cp1252) AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::string Cp1252FromUtf8(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t code = 0;
    std::size_t length = 1;
    out += DecodeOne(utf8, pos, code, length) ? ByteOf(code) : '?';
    pos += length;
  }
  return out;
}

}  // namespace quinterra
