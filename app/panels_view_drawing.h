#pragma once
// The panels as the street sees them: the segments that the display images
// light, at the cells' places and scale of the main window's pictures.

#include <QImage>
#include <optional>
#include <vector>

#include "panels/display_decode.h"

namespace quinterra {

// The main window's content area: results at x 0, jackpots from x 628.
constexpr int kPanelsViewWidth = 1138;
constexpr int kPanelsViewHeight = 845;

struct PanelsViewContent {
  // An empty panel has no bytes to show and says so.
  std::optional<DecodedPanel> results;
  std::optional<DecodedPanel> jackpots;
  // Cells framed in yellow, e.g. where a panel differs from the document.
  std::vector<int> outlined;
  // Whole panels framed in yellow: one that should be there and is not.
  bool framed_results = false;
  bool framed_jackpots = false;
};

// Needs a QGuiApplication (for the captions' font).
QImage DrawPanelsView(const PanelsViewContent& content);

}  // namespace quinterra
