#include "panels/document_check.h"

#include "panels/cell_kinds.h"
#include "panels/panel_layout.h"
#include "platform/codepage1252.h"

namespace quinterra {
namespace {

std::string WhatItHolds(CellKind kind) {
  const CellKindRules& rules = RulesFor(kind);
  if (rules.has_range)
    return "un número de " + std::to_string(rules.minimum) + " a " + std::to_string(rules.maximum);
  switch (kind) {
    case CellKind::QuinigolSign: return "un signo 0, 1, 2 o M";
    case CellKind::QuinielaSign: return "un signo 1, X o 2";
    case CellKind::JackpotText: return "hasta 9 letras";
    case CellKind::JackpotAmount: return "hasta 9 cifras";
    default: return "hasta " + std::to_string(rules.max_length) + " cifras";
  }
}

// A jackpot text is typed without accents, but a file made by hand may
// spell "SÁBADO": the panel shows what it has a glyph for, as it always did.
bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ' ||
         (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

bool Fits(CellKind kind, const std::string& text) {
  const CellKindRules& rules = RulesFor(kind);
  if (text.size() > static_cast<size_t>(rules.max_length)) return false;
  if (kind == CellKind::JackpotText) {
    for (char c : text)
      if (!IsLetter(static_cast<unsigned char>(c))) return false;
    return true;
  }
  return AcceptsText(kind, text) && ValidateText(kind, text);
}

}  // namespace

std::string DocumentItemsProblem(const std::vector<std::string>& items) {
  if (items.size() != static_cast<size_t>(kCellCount))
    return "el documento tiene " + std::to_string(items.size()) + " de " +
           std::to_string(kCellCount) + " casillas";
  const TCellSet layout;
  for (size_t i = 0; i < items.size(); ++i) {
    const TCasilla& cell = layout.Cells[i];
    if (Fits(cell.Kind, items[i])) continue;
    const bool results = static_cast<int>(i) < kResultsCellCount;
    const int number = results ? static_cast<int>(i) + 1 : static_cast<int>(i) - kResultsCellCount + 1;
    // The value is quoted in a shop's report and on terminals: no control bytes.
    std::string shown = items[i].substr(0, 24);
    for (char& c : shown)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return "la casilla " + std::to_string(number) + " del panel " +
           (results ? "Resultados" : "Botes") + " admite " + WhatItHolds(cell.Kind) + ", no «" +
           Utf8FromCp1252(shown) + (items[i].size() > 24 ? "…" : "") + "»";
  }
  return {};
}

}  // namespace quinterra
