#include "history/history_moment.h"

namespace quinterra {

TPanelsAtMoment LatestPerPanel(THistoryStore& store, const std::vector<TShownDevice>& shown) {
  TPanelsAtMoment panels;
  for (const TShownDevice& device : shown) {
    std::optional<THistoryEvent>& slot =
        device.Shown.Panel == kResultsPanelName ? panels.Results : panels.Jackpots;
    if (!slot || slot->Time < device.Shown.Time) slot = device.Shown;
  }
  if (panels.Results) panels.ResultsImage = store.Image(panels.Results->ImageSha256).value_or(std::vector<uint8_t>{});
  if (panels.Jackpots)
    panels.JackpotsImage = store.Image(panels.Jackpots->ImageSha256).value_or(std::vector<uint8_t>{});
  return panels;
}

TPanelsAtMoment PanelsAt(THistoryStore& store, const std::string& moment,
                         const THistoryEvent* chosen) {
  std::vector<TShownDevice> shown = store.ShownAt(moment, chosen ? chosen->Shop : std::string());
  if (chosen && !chosen->ImageSha256.empty()) {
    // Only the chosen event for its panel.
    std::vector<TShownDevice> others;
    for (TShownDevice& device : shown)
      if (device.Shown.Panel != chosen->Panel) others.push_back(std::move(device));
    others.push_back({*chosen, std::nullopt});
    shown = std::move(others);
  }
  return LatestPerPanel(store, shown);
}

}  // namespace quinterra
