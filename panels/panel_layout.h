#pragma once
// The fixed layout of both panels: 116 results cells and 18 jackpots cells.

#include <vector>

#include "panels/cell.h"

namespace quinterra {

constexpr int kCellCount = 134;
constexpr int kResultsCellCount = 116;  // cells 0..115; jackpots are 116..133
constexpr int kPanelSeamX = 628;        // the jackpots picture starts here
constexpr int kResultsImageSize = 320;
constexpr int kJackpotsImageSize = 360;

// The 134 cells in Index order and the same cells in panel data order.
// Not copyable: CellsByWire points into Cells.
class TCellSet {
 public:
  TCellSet();
  TCellSet(const TCellSet&) = delete;
  TCellSet& operator=(const TCellSet&) = delete;

  std::vector<TCasilla> Cells;
  // Entry k is the cell whose WireOrder is k + 1.
  std::vector<TCasilla*> CellsByWire;

  // The first cell in index order that contains the content point, or null.
  TCasilla* CellAt(int x, int y);

  // Every cell's text, in index order.
  std::vector<std::string> Texts() const;
};

}  // namespace quinterra
