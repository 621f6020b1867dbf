#include "network/fleet.h"

#include <ctime>

#include "network/names.h"

namespace quinterra {
namespace {

const struct {
  TVerdict verdict;
  const char* name;
  const char* text;
  TVerdictTone tone;
  const char* advice;
} kVerdicts[] = {
    {TVerdict::Fine, "fine", "bien", TVerdictTone::Good,
     "Sus paneles muestran la última versión, releídos y verificados."},
    {TVerdict::Offline, "offline", "desconectada", TVerdictTone::Off,
     "La tienda no está conectada al servidor: recibirá la versión al volver."},
    {TVerdict::Stale, "stale", "atrasada", TVerdictTone::Warning,
     "La tienda aún no muestra la última versión."},
    {TVerdict::Failing, "failing", "con fallos", TVerdictTone::Bad,
     "Sus paneles no muestran la última versión: revise la tienda."},
    {TVerdict::Unknown, "unknown", "sin datos", TVerdictTone::Off, "La tienda nunca ha informado."},
    {TVerdict::Unchecked, "unchecked", "sin comprobar", TVerdictTone::Warning,
     "La tienda no relee sus paneles desde hace demasiado: revise su agente."},
    {TVerdict::Expired, "expired", "caducado", TVerdictTone::Warning,
     "La versión que muestra ha caducado: publique una nueva."},
    {TVerdict::NoDevice, "no_device", "sin equipo", TVerdictTone::Warning,
     "La tienda no tiene equipo para un panel que el documento pide."},
    {TVerdict::CannotSave, "cannot_save", "no puede guardar", TVerdictTone::Warning,
     "Sus paneles están bien, pero la tienda no puede guardar la versión aplicada."},
    {TVerdict::TwoAgents, "two_agents", "dos agentes", TVerdictTone::Bad,
     "Dos agentes informan con la identidad de esta tienda: detenga uno."},
};

// How long an old agent coming back counts as a second copy, and how long
// the verdict stays after the last time it did.
constexpr int64_t kInstanceMemorySeconds = 3600;
constexpr int64_t kTwoAgentsSeconds = 15 * 60;

const char* PanelName(bool results) { return results ? "Resultados" : "Botes"; }

}  // namespace

const char* VerdictName(TVerdict verdict) {
  for (const auto& entry : kVerdicts)
    if (entry.verdict == verdict) return entry.name;
  return "unknown";
}

const char* VerdictText(TVerdict verdict) {
  for (const auto& entry : kVerdicts)
    if (entry.verdict == verdict) return entry.text;
  return "sin datos";
}

const char* VerdictAdvice(TVerdict verdict) {
  for (const auto& entry : kVerdicts)
    if (entry.verdict == verdict) return entry.advice;
  return "";
}

TVerdictTone VerdictTone(TVerdict verdict) {
  for (const auto& entry : kVerdicts)
    if (entry.verdict == verdict) return entry.tone;
  return TVerdictTone::Off;
}

std::string ClockText(int64_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm local{};
  localtime_r(&t, &local);
  char text[8];
  std::strftime(text, sizeof text, "%H:%M", &local);
  return text;
}

TFleet::TFleet(std::string network, TVerifyKey office_key)
    : network_(std::move(network)), office_key_(office_key) {}

int64_t TFleet::Now() const { return Clock ? Clock() : static_cast<int64_t>(std::time(nullptr)); }

void TFleet::AddKnownShop(const std::string& shop) {
  known_.insert(shop);
  shops_[shop];
}

void TFleet::Message(const std::string& topic, const std::string& payload, bool retained) {
  if (topic == DocumentTopic(network_)) {
    document_hash_ = payload.empty() ? std::string() : DocumentHashOf(payload);
    envelope_hash_ = payload.empty() ? std::string() : Sha256Hex(payload);
    // Judged as a shop judges it, time aside: an expired document is still
    // the one the shops were asked to show.
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
    entry.OnlineChanged = retained ? 0 : Now();
  } else {
    TakeState(entry, shop, payload, retained);
  }
  // A removed shop's topics are cleared: it is no longer counted.
  if (!entry.Online && !entry.State && !entry.Unreadable && !known_.count(shop)) shops_.erase(shop);
}

void TFleet::TakeState(Shop& entry, const std::string& shop, const std::string& payload,
                       bool retained) {
  std::optional<TShopState> state = ParseStateJson(payload);
  // A shop speaks only for itself.
  if (state && (state->Shop != shop || state->Network != network_)) state.reset();
  entry.Unreadable = !state && !payload.empty();
  entry.Received = state && !retained ? Now() : 0;
  if (state && !state->Instance.empty() && state->Instance != entry.Instance) {
    const int64_t now = Now();
    const auto earlier = entry.EarlierInstances.find(state->Instance);
    if (earlier != entry.EarlierInstances.end() && now - earlier->second < kInstanceMemorySeconds)
      entry.TwoAgentsSeen = now;
    if (!entry.Instance.empty()) entry.EarlierInstances[entry.Instance] = now;
    // A few are enough to see two copies alternate.
    while (entry.EarlierInstances.size() > 4) {
      auto oldest = entry.EarlierInstances.begin();
      for (auto i = entry.EarlierInstances.begin(); i != entry.EarlierInstances.end(); ++i)
        if (i->second < oldest->second) oldest = i;
      entry.EarlierInstances.erase(oldest);
    }
    entry.Instance = state->Instance;
  }
  entry.State = std::move(state);
}

int64_t TFleet::HighestAppliedVersion() const {
  int64_t highest = 0;
  for (const auto& [name, shop] : shops_)
    if (shop.State && shop.State->AppliedVersion > highest) highest = shop.State->AppliedVersion;
  return highest;
}

TShopRow TFleet::Judge(const std::string& name, const Shop& shop) const {
  const int64_t now = Now();
  TShopRow row;
  row.Shop = name;
  row.Online = shop.Online;
  row.OfflineSince = shop.Online == false ? shop.OnlineChanged : 0;
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
    // Durations on the shop's clock hold whatever its time of day says.
    const int64_t checked = state->Checked ? state->Checked : state->Time;
    row.CheckedAt = (shop.Received ? shop.Received : state->Time) - (state->Time - checked);
  }
  if (shop.Unreadable) return verdict(TVerdict::Failing, "su estado no se entiende");
  if (!state) {
    if (shop.Online == false) return verdict(TVerdict::Offline, "nunca ha informado");
    return verdict(TVerdict::Unknown, "nunca ha informado");
  }
  if (shop.Online != true) return verdict(TVerdict::Offline, "sin conexión con el servidor");
  if (shop.TwoAgentsSeen && now - shop.TwoAgentsSeen < kTwoAgentsSeconds)
    return verdict(TVerdict::TwoAgents, "dos agentes con la identidad " + name);
  if (!document_) return verdict(TVerdict::Failing, "el documento publicado no es válido");
  if (state->DocumentHash != document_hash_ && state->DocumentHash != envelope_hash_) {
    if (state->AppliedVersion < document_->Version)
      return verdict(TVerdict::Stale, "tiene la versión " + std::to_string(state->AppliedVersion) +
                                          ", la última es la " + std::to_string(document_->Version));
    return verdict(TVerdict::Stale, "no ha informado de la última publicación");
  }
  if (state->Result != "verified" && state->Result != "no_device")
    return verdict(TVerdict::Failing, state->Reason.empty() ? state->Result : state->Reason);
  const struct {
    const TShopPanel& panel;
    bool match;
    bool results;
  } panels[] = {{state->Results, row.ResultsMatch, true}, {state->Jackpots, row.JackpotsMatch, false}};
  std::string missing;
  bool any = false;
  for (const auto& p : panels) {
    if (p.panel.Status == TPanelStatus::NotRequested) continue;
    if (p.panel.Status == TPanelStatus::NoDevice) {
      missing += std::string(missing.empty() ? "sin equipo del panel " : " ni del panel ") +
                 PanelName(p.results);
      continue;
    }
    any = true;
    if (p.panel.Status != TPanelStatus::Verified || !p.match)
      return verdict(TVerdict::Failing, std::string("el panel ") + PanelName(p.results) +
                                            ": lo leído no es la imagen del documento");
  }
  if (!missing.empty()) return verdict(TVerdict::NoDevice, missing);
  if (!any) return verdict(TVerdict::Failing, "ningún panel verificado");
  if (!state->Problem.empty()) return verdict(TVerdict::CannotSave, state->Problem);
  if (state->Expired || ValidityAt(*document_, now) == TValidity::Expired)
    return verdict(TVerdict::Expired, "la versión " + std::to_string(document_->Version) +
                                          " ha caducado; sigue en los paneles");
  if (state->CheckEvery > 0 && now - row.CheckedAt > kCheckAgeIntervals * state->CheckEvery)
    return verdict(TVerdict::Unchecked, "sin comprobar desde " + ClockText(row.CheckedAt));
  return verdict(TVerdict::Fine, "");
}

std::vector<TShopRow> TFleet::Rows() const {
  std::vector<TShopRow> rows;
  for (const auto& [name, shop] : shops_) rows.push_back(Judge(name, shop));
  return rows;
}

std::vector<std::string> TFleet::Shops() const {
  std::vector<std::string> names;
  names.reserve(shops_.size());
  for (const auto& [name, shop] : shops_) names.push_back(name);
  return names;
}

std::optional<TShopRow> TFleet::Row(const std::string& shop) const {
  const auto found = shops_.find(shop);
  if (found == shops_.end()) return std::nullopt;
  return Judge(found->first, found->second);
}

}  // namespace quinterra
