#include "platform/number_text.h"

#include <algorithm>
#include <climits>

namespace quinterra {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<int> ParseWholeInteger(const std::string& text) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  if (pos == text.size()) return std::nullopt;
  long long magnitude = 0;
  for (; pos < text.size(); ++pos) {
    if (!IsDigit(text[pos])) return std::nullopt;
    magnitude = magnitude * 10 + (text[pos] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<int> ParseFieldInteger(const std::string& text) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return std::nullopt;
  return ParseWholeInteger(text.substr(start));
}

int NumberInText(const std::string& text, int k) {
  std::size_t pos = 0;
  for (int run = 0;; ++run) {
    while (pos < text.size() && !IsDigit(text[pos])) ++pos;
    if (pos == text.size()) return -1;
    if (run == k) break;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
  }
  long long value = 0;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    value = std::min<long long>(value * 10 + (text[pos] - '0'), INT_MAX);
  }
  return static_cast<int>(value);
}

}  // namespace quinterra
