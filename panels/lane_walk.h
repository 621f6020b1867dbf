#pragma once
// Where every byte of a display image goes: the row encoders' walk over the
// cells and lanes, apart from the values the bytes take. The encoder fills
// each slot from the cell's text; the decoder reads the slots back.

#include "panels/cell.h"

namespace quinterra {

struct LaneSlot {
  enum class Kind : uint8_t {
    Blank,      // one 0x00: filler or a trailing blank
    BlankPair,  // 00 00: filler beside 16-segment patterns
    Seven,      // one 7-segment byte of a position of cell
    Sixteen,    // the two pattern bytes of a position of cell
    AnySign,    // the Quinigol byte that says whether any result is shown
  };
  Kind kind = Kind::Blank;
  const TCasilla* cell = nullptr;
  int position = 0;   // 0 = leftmost
  bool dots = false;  // Seven: the thousands dots apply
};

class TLaneWalk {
 public:
  virtual ~TLaneWalk() = default;

  // Each takes the next count cells from NextCell (stopping at a null one)
  // and places their bytes in panel order.
  void NumberRow(int count);
  void QuinigolRow(int count);
  void QuinielaColumn(int count);
  void JackpotRow(int count);

  // The rows of each panel in order; the jackpots continue from the cell
  // where the results stopped.
  void ResultsPanel();
  void JackpotsPanel();

 protected:
  virtual const TCasilla* NextCell() = 0;
  // Appends the slot's bytes to lane (0..7).
  virtual void Put(int lane, const LaneSlot& slot) = 0;

 private:
  void Blank(int lane) { Put(lane, {LaneSlot::Kind::Blank}); }
  void BlankPair(int lane) { Put(lane, {LaneSlot::Kind::BlankPair}); }
};

}  // namespace quinterra
