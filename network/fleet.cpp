#include "network/fleet.h"

#include "network/names.h"

namespace quinterra {

const char* VerdictName(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Fine: return "fine";
    case TVerdict::Offline: return "offline";
    case TVerdict::Stale: return "stale";
    case TVerdict::Failing: return "failing";
    case TVerdict::Unknown: return "unknown";
  }
  return "unknown";
}

const char* VerdictText(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Fine: return "bien";
    case TVerdict::Offline: return "desconectada";
    case TVerdict::Stale: return "atrasada";
    case TVerdict::Failing: return "con fallos";
    case TVerdict::Unknown: return "sin datos";
  }
  return "sin datos";
}

TFleet::TFleet(std::string network, TVerifyKey office_key)
    : network_(std::move(network)), office_key_(office_key) {}

void TFleet::AddKnownShop(const std::string& shop) { shops_[shop]; }

void TFleet::Message(const std::string& topic, const std::string& payload) {
  if (topic == DocumentTopic(network_)) {
    document_hash_ = payload.empty() ? std::string() : Sha256Hex(payload);
    // Judged as a shop judges it (time aside: an expired document is
    // still the one the shops were asked to show).
    const TReadResult read = ReadPublication(payload, office_key_, network_, 0);
    document_refusal_ = read.Refusal == TRefusal::NotYetValid ? TRefusal::None : read.Refusal;
    document_ = document_refusal_ == TRefusal::None ? read.Publication : std::nullopt;
    results_hash_.clear();
    jackpots_hash_.clear();
    if (document_) {
      const PanelImages images = PublicationImages(*document_);
      results_hash_ = Sha256Hex(images.results);
      jackpots_hash_ = Sha256Hex(images.jackpots);
    }
    return;
  }
  const std::string shop = ShopOfTopic(network_, topic);
  if (shop.empty()) return;
  Shop& entry = shops_[shop];
  if (topic == OnlineTopic(network_, shop)) {
    if (payload == "1" || payload == "0") entry.Online = payload == "1";
    else entry.Online.reset();
    return;
  }
  std::optional<TShopState> state = ParseStateJson(payload);
  // A shop speaks only for itself.
  if (state && (state->Shop != shop || state->Network != network_)) state.reset();
  entry.Unreadable = !state && !payload.empty();
  entry.State = std::move(state);
}

TShopRow TFleet::Judge(const std::string& name, const Shop& shop) const {
  TShopRow row;
  row.Shop = name;
  row.Online = shop.Online;
  row.State = shop.State;
  auto verdict = [&row](TVerdict verdict, const std::string& why) {
    row.Verdict = verdict;
    row.Why = why;
    return row;
  };
  const TShopState* state = shop.State ? &*shop.State : nullptr;
  if (state) {
    row.ResultsMatch = state->Results.ReadBack && state->Results.ReadHash == results_hash_;
    row.JackpotsMatch = state->Jackpots.ReadBack && state->Jackpots.ReadHash == jackpots_hash_;
  }
  if (shop.Unreadable) return verdict(TVerdict::Failing, "su estado no se entiende");
  if (!state) {
    if (shop.Online == false) return verdict(TVerdict::Offline, "nunca ha informado");
    return verdict(TVerdict::Unknown, "nunca ha informado");
  }
  if (shop.Online != true) return verdict(TVerdict::Offline, "sin conexión con el servidor");
  if (!document_) return verdict(TVerdict::Failing, "el documento publicado no es válido");
  if (state->DocumentHash != document_hash_) {
    if (state->AppliedVersion < document_->Version)
      return verdict(TVerdict::Stale, "tiene la versión " + std::to_string(state->AppliedVersion) +
                                          ", la última es la " + std::to_string(document_->Version));
    return verdict(TVerdict::Stale, "no ha informado de la última publicación");
  }
  if (state->Result != "verified")
    return verdict(TVerdict::Failing, state->Reason.empty() ? state->Result : state->Reason);
  const struct {
    const TPanelState& panel;
    bool match;
    const char* name;
  } panels[] = {{state->Results, row.ResultsMatch, "Resultados"},
                {state->Jackpots, row.JackpotsMatch, "Botes"}};
  bool any = false;
  for (const auto& p : panels) {
    // Not asked by the document, or no device of it in the shop.
    if (p.panel.Status == TPanelStatus::NotRequested) continue;
    any = true;
    if (p.panel.Status != TPanelStatus::Verified || !p.match)
      return verdict(TVerdict::Failing, std::string("el panel ") + p.name +
                                            ": lo leído no es la imagen del documento");
  }
  if (!any) return verdict(TVerdict::Failing, "ningún panel verificado");
  return verdict(TVerdict::Fine, "");
}

std::vector<TShopRow> TFleet::Rows() const {
  std::vector<TShopRow> rows;
  for (const auto& [name, shop] : shops_) rows.push_back(Judge(name, shop));
  return rows;
}

std::optional<TShopRow> TFleet::Row(const std::string& shop) const {
  const auto found = shops_.find(shop);
  if (found == shops_.end()) return std::nullopt;
  return Judge(found->first, found->second);
}

}  // namespace quinterra
