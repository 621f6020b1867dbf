#pragma once
// A shop's agent's settings from its bundle's red.ini, beside what names
// the network and the broker:
//
//   [Red]
//   Comprobar=600         seconds between two read-backs of the panels; 0 never
//   Corregir=1            a check writes back panels that differ (0: only says so)
//   Paneles=resultados    the panels the shop has (resultados, botes, or both,
//                         comma separated); by default both

#include <optional>
#include <string>

#include "network/bundle.h"
#include "network/shop_agent.h"

namespace quinterra {

// Nothing, with the reason in Spanish, when a value cannot be used.
std::optional<TAgentSettings> AgentSettingsOf(const TNetworkBundle& bundle, std::string* failure);

}  // namespace quinterra
