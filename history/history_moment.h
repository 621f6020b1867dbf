#pragma once
// Both panels as the street saw them at a moment, from the record: of the
// several devices a panel may have, the one read or verified last.

#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"

namespace quinterra {

struct TPanelsAtMoment {
  std::optional<THistoryEvent> Results, Jackpots;  // none: nothing known
  std::vector<uint8_t> ResultsImage, JackpotsImage;
};

// What shown holds per panel, the latest device of each.
TPanelsAtMoment LatestPerPanel(THistoryStore& store, const std::vector<TShownDevice>& shown);
// The panels at moment (UTC); chosen, when given, stands for its panel
// (an event picked in a list shows its own bytes).
TPanelsAtMoment PanelsAt(THistoryStore& store, const std::string& moment,
                         const THistoryEvent* chosen = nullptr);

}  // namespace quinterra
