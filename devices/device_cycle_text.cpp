#include "devices/device_cycle_text.h"

#include <climits>

namespace quinterra {
namespace device_cycle_text {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Accumulates digits from text[pos] on; false on overflow or no digit.
bool ReadDigits(const std::string& text, size_t& pos, bool negative, int* value) {
  const size_t start = pos;
  long long result = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  while (pos < text.size() && IsDigit(text[pos])) {
    result = result * 10 + (text[pos] - '0');
    if (result > limit) return false;
    ++pos;
  }
  if (pos == start) return false;
  *value = static_cast<int>(negative ? -result : result);
  return true;
}

}  // namespace

bool ParseDecimal(const std::string& text, int* value) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int result = 0;
  if (!ReadDigits(text, pos, negative, &result) || pos != text.size()) return false;
  *value = result;
  return true;
}

int FirstNumberIn(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && !IsDigit(text[pos])) ++pos;
  int result = 0;
  if (!ReadDigits(text, pos, false, &result)) return -1;
  return result;
}

}  // namespace device_cycle_text
}  // namespace quinterra
