#include "panels/lane_walk.h"

namespace quinterra {

namespace {

constexpr int kLaneCount = 8;

// Number and jackpot rows carry no digits in lanes 6 and 7, only filler.
bool IsPaddingLane(int lane) { return lane == 6 || lane == 7; }

LaneSlot Seven(const TCasilla& cell, int k, bool dots) {
  return {LaneSlot::Kind::Seven, &cell, k, dots};
}

LaneSlot Sixteen(const TCasilla& cell, int k) { return {LaneSlot::Kind::Sixteen, &cell, k}; }

}  // namespace

void TLaneWalk::NumberRow(int count) {
  int p = 0;
  for (int n = 0; n < count; ++n) {
    const TCasilla* cell = NextCell();
    if (cell == nullptr) break;
    for (int k = 0; k < cell->Digits; ++p) {
      const int lane = p % kLaneCount;
      if (IsPaddingLane(lane)) {
        Blank(lane);
      } else {
        Put(lane, Seven(*cell, k, true));
        ++k;
      }
    }
    for (int placed = 0; placed < cell->TrailingBlanks; ++p) {
      const int lane = p % kLaneCount;
      Blank(lane);
      if (!IsPaddingLane(lane)) ++placed;
    }
  }
  Blank(6);
  Blank(7);
}

void TLaneWalk::QuinigolRow(int count) {
  int p = 0;
  bool first_pair = true;
  for (int n = 0; n < count; ++n) {
    const TCasilla* cell = NextCell();
    if (cell == nullptr) break;
    for (int k = 0; k < cell->Digits; ++k, ++p) {
      const int lane = p % kLaneCount;
      if (cell->Glyphs == GlyphSet::SevenSegment) {
        Put(lane, Seven(*cell, k, false));
        if (lane == 1) {
          int first_zero_lane = 2;
          if (first_pair) {
            first_pair = false;
          } else {
            // Lane 2 of the closing group tells the panel whether any result is shown.
            Put(2, {LaneSlot::Kind::AnySign});
            first_zero_lane = 3;
          }
          for (int j = first_zero_lane; j < kLaneCount; ++j) Blank(j);
          p += 6;
        }
      } else {
        Put(lane, Sixteen(*cell, k));
        if (lane == 5) {
          BlankPair(6);
          BlankPair(7);
          p += 2;
        }
      }
    }
  }
}

void TLaneWalk::QuinielaColumn(int count) {
  for (int c = 0; c < count; ++c) {
    const TCasilla* cell = NextCell();
    if (cell == nullptr) break;
    Put(c % kLaneCount, Sixteen(*cell, 0));
  }
  BlankPair(7);
}

void TLaneWalk::JackpotRow(int count) {
  int p = 0;
  for (int n = 0; n < count; ++n) {
    const TCasilla* cell = NextCell();
    if (cell == nullptr) break;
    for (int k = 0; k < cell->Digits;) {
      const int lane = p % kLaneCount;
      if (IsPaddingLane(lane)) {
        BlankPair(lane);
        ++p;
        continue;
      }
      if (cell->Glyphs == GlyphSet::SevenSegment) {
        // Amount digits 1-6 share lanes 3-5 in pairs; 7-9 take lanes 0-2.
        Put(lane, Seven(*cell, k, true));
        if (k >= 6 || k % 2 == 1) ++p;
      } else {
        Put(lane, Sixteen(*cell, k));
        ++p;
      }
      ++k;
    }
  }
  for (int j = 3; j < kLaneCount; ++j) Blank(j);
}

void TLaneWalk::ResultsPanel() {
  for (int row = 0; row < 6; ++row) NumberRow(9);  // Bonoloto 1-4, Primitiva
  NumberRow(8);                                    // Euromillones
  NumberRow(7);                                    // El Gordo
  QuinigolRow(14);  // Quinigol JORNADA, twelve results, Quiniela JORNADA
  NumberRow(9);     // Lototurf
  NumberRow(9);     // Quíntuple Plus, Quiniela FECHA day and month
  QuinielaColumn(15);
}

void TLaneWalk::JackpotsPanel() {
  for (int row = 0; row < 9; ++row) JackpotRow(2);
}

}  // namespace quinterra
