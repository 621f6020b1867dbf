#include "panels/cell_kinds.h"

#include "platform/number_text.h"

#include <cstring>

namespace quinterra {

namespace {

constexpr const char* kDigits = "0123456789";
constexpr const char* kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

constexpr CellKindRules TwoDigits(bool has_range, int minimum, int maximum) {
  return {kDigits, has_range, minimum, maximum, 40, 34, 2, 25, 0, false};
}

constexpr CellKindRules kFree = TwoDigits(false, 0, 0);
constexpr CellKindRules kNumber49 = TwoDigits(true, 1, 49);
constexpr CellKindRules kNumber54 = TwoDigits(true, 1, 54);
constexpr CellKindRules kNumber50 = TwoDigits(true, 1, 50);
constexpr CellKindRules kNumber31 = TwoDigits(true, 1, 31);
constexpr CellKindRules kNumber20 = TwoDigits(true, 1, 20);
constexpr CellKindRules kDay = TwoDigits(true, 1, 31);
constexpr CellKindRules kMonth = TwoDigits(true, 1, 12);
constexpr CellKindRules kMatchday = TwoDigits(false, 0, 0);
constexpr CellKindRules kQuinigolSign = {"012Mm", false, 0, 0, 19, 34, 1, 25, 0, false};
constexpr CellKindRules kQuinielaSign = {"12Xx", false, 0, 0, 40, 31, 1, 24, 0, false};
constexpr CellKindRules kJackpotText = {kLetters, false, 0, 0, 213, 38, 9, 25, 2, false};
constexpr CellKindRules kJackpotAmount = {kDigits, false, 0, 0, 183, 38, 9, 25, 2, true};
// A kind value outside the table (a corrupted byte) accepts nothing.
constexpr CellKindRules kUnknown = {"", false, 0, 0, 40, 34, 0, 25, 0, false};


}  // namespace

const CellKindRules& RulesFor(CellKind kind) {
  switch (kind) {
    case CellKind::Free: return kFree;
    case CellKind::Number49: return kNumber49;
    case CellKind::Number54: return kNumber54;
    case CellKind::QuinigolSign: return kQuinigolSign;
    case CellKind::Number50: return kNumber50;
    case CellKind::Number31: return kNumber31;
    case CellKind::Number20: return kNumber20;
    case CellKind::Day: return kDay;
    case CellKind::Month: return kMonth;
    case CellKind::Matchday: return kMatchday;
    case CellKind::QuinielaSign: return kQuinielaSign;
    case CellKind::JackpotText: return kJackpotText;
    case CellKind::JackpotAmount: return kJackpotAmount;
  }
  return kUnknown;
}

bool AcceptsText(CellKind kind, const std::string& text) {
  const char* accepted = RulesFor(kind).accepted;
  for (char c : text) {
    // strchr would also find the terminating NUL.
    if (c == '\0' || std::strchr(accepted, c) == nullptr) return false;
  }
  return true;
}

bool ValidateText(CellKind kind, const std::string& text) {
  if (text.empty()) return true;
  const CellKindRules& rules = RulesFor(kind);
  if (!rules.has_range) return true;
  const std::optional<int> value = ParseWholeInteger(text);
  return value && *value >= rules.minimum && *value <= rules.maximum;
}

std::string DigitsOnly(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

std::string GroupThousands(const std::string& text) {
  std::string grouped;
  grouped.reserve(text.size() + text.size() / 3);
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t remaining = text.size() - i;
    if (i > 0 && remaining % 3 == 0) grouped += '.';
    grouped += text[i];
  }
  return grouped;
}

}  // namespace quinterra
