#include "tests/e2e/sample_document.h"

#include "panels/cell.h"
#include "panels/document.h"
#include "panels/panel_layout.h"

namespace quinterra::e2e {

std::vector<std::string> FilledDocumentTexts() { return VariedDocumentTexts(0); }

std::vector<std::string> VariedDocumentTexts(int seed) {
  const TCellSet layout;
  std::vector<std::string> texts;
  int n = seed;  // varies the values from cell to cell
  for (const TCasilla& cell : layout.Cells) {
    ++n;
    std::string text;
    switch (cell.Kind) {
      case CellKind::Day: text = std::to_string(1 + n % 31); break;
      case CellKind::Month: text = std::to_string(1 + n % 12); break;
      case CellKind::Matchday: text = std::to_string(10 + n % 40); break;
      case CellKind::Free: text = std::to_string(n % 10); break;
      case CellKind::Number49: text = std::to_string(1 + n % 49); break;
      case CellKind::Number54: text = std::to_string(1 + n % 54); break;
      case CellKind::Number50: text = std::to_string(1 + n % 50); break;
      case CellKind::Number31: text = std::to_string(1 + n % 31); break;
      case CellKind::Number20: text = std::to_string(1 + n % 20); break;
      case CellKind::QuinigolSign: text = std::string(1, "012M"[n % 4]); break;
      case CellKind::QuinielaSign: text = std::string(1, "1X2"[n % 3]); break;
      case CellKind::JackpotText: text = n % 2 ? "BOTE" : "SORTEO"; break;
      case CellKind::JackpotAmount: text = std::to_string(1000000 + 12345 * n); break;
    }
    texts.push_back(text);
  }
  return texts;
}

PanelImages ImagesOf(const std::vector<std::string>& texts) {
  TCellSet cells;
  ApplyDocumentItems(texts, cells.Cells);
  return BuildPanelImages(cells.CellsByWire);
}

std::vector<uint8_t> DirectoryRecord() {
  std::vector<uint8_t> record = {0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                 0x01, 0x00, 0x04, 0x00, 0x00, 0xFF, 0x00, 0x00};
  record.insert(record.end(), 16, 0xFF);
  return record;
}

}  // namespace quinterra::e2e
