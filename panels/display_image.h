#pragma once
// Turns the cells of each panel into the bytes the panel shows.

#include <array>
#include <cstdint>
#include <vector>

#include "panels/cell.h"
#include "panels/lane_walk.h"

namespace quinterra {

using Bytes = std::vector<uint8_t>;

// The 7-segment byte of a character (0x00 for anything but 0-9).
uint8_t SevenSegmentByte(char c);
// The two bytes of a character's 16-segment pattern (00 00 when unlisted).
std::array<uint8_t, 2> SixteenSegmentBytes(char c);

class TDisplayImageEncoder : private TLaneWalk {
 public:
  // cells_by_wire: the 134 cells in panel data order; must outlive the encoder.
  explicit TDisplayImageEncoder(const std::vector<TCasilla*>& cells_by_wire);

  void EncodeNumberRow(int count);
  void EncodeQuinigolRow(int count);
  void EncodeQuinielaColumn(int count);
  void EncodeJackpotRow(int count);
  Bytes JoinLanes() const;

  // 320 bytes; leaves WireCursor at 116.
  Bytes BuildResultsImage();
  // 360 bytes; continues from WireCursor (call right after BuildResultsImage).
  Bytes BuildJackpotsImage();

  std::array<Bytes, 8> Lanes;
  int WireCursor = 0;

 private:
  // The cell at WireCursor, advancing it; null past the end.
  const TCasilla* NextCell() override;
  void Put(int lane, const LaneSlot& slot) override;
  void ClearLanes();

  const std::vector<TCasilla*>& cells_by_wire_;
  // Set by every shown 16-segment position since the Quinigol row began;
  // that row's any-sign byte reads it.
  bool any_sign_ = false;
};

// Both images of a document, as the program sends them.
struct PanelImages {
  Bytes results;
  Bytes jackpots;
};
PanelImages BuildPanelImages(const std::vector<TCasilla*>& cells_by_wire);

}  // namespace quinterra
