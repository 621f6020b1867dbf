#pragma once
// The office's view of the network: the latest published document (the
// retained one) and what every shop last said and whether it is online.
// A shop is fine only when it is online, reports the latest document
// verified with every panel read back equal to the image the office itself
// builds from that document, and has read its panels back recently enough:
// a green line never hides stale content, a version behind, a different
// read-back or a check that stopped happening.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include "network/publication.h"
#include "network/shop_state.h"

namespace quinterra {

enum class TVerdict {
  Fine,
  Offline,
  Stale,       // not yet at the latest document
  Failing,
  Unknown,     // never heard of
  Unchecked,   // its panels were not read back for too long
  Expired,     // the document it shows has expired
  NoDevice,    // a panel the document asks for has no device there
  CannotSave,  // its panels are right, but it cannot keep its version
  TwoAgents,   // two agents report with one identity
};
// How a verdict looks: good (green), warning (yellow), bad (red), off (grey).
enum class TVerdictTone { Good, Warning, Bad, Off };
const char* VerdictName(TVerdict verdict);  // "fine", "offline", ...
const char* VerdictText(TVerdict verdict);  // "bien", "desconectada", ...
TVerdictTone VerdictTone(TVerdict verdict);
// What it means for the office, in Spanish: "La tienda no está conectada...".
const char* VerdictAdvice(TVerdict verdict);

// A shop whose last check is older than this many intervals is not fine.
constexpr double kCheckAgeIntervals = 2.5;

struct TShopRow {
  std::string Shop;
  std::optional<bool> Online;
  std::optional<TShopState> State;  // when a readable one came
  TVerdict Verdict = TVerdict::Unknown;
  std::string Why;  // Spanish, when not fine
  // Per panel: whether its read-back equals the document's image (false
  // also when nothing was read).
  bool ResultsMatch = false, JackpotsMatch = false;
  // When its panels were last read back, on the office's clock; 0 unknown.
  int64_t CheckedAt = 0;
  // When it was seen going offline, on the office's clock; 0 unknown (the
  // broker's snapshot said so) or online.
  int64_t OfflineSince = 0;
};

class TFleet {
 public:
  TFleet(std::string network, TVerifyKey office_key);

  // A message of the network's topics; anything else is ignored. retained:
  // as the broker marked it (a report kept from before, not news).
  void Message(const std::string& topic, const std::string& payload, bool retained = true);
  // A shop known from its bundle, listed even before it ever reports.
  void AddKnownShop(const std::string& shop);

  const std::string& Network() const { return network_; }
  bool HasDocument() const { return !document_hash_.empty(); }
  // The SHA-256 of the latest document's signed text.
  const std::string& DocumentHash() const { return document_hash_; }
  // The latest document, when it reads (its refusal otherwise).
  const std::optional<TPublication>& Document() const { return document_; }
  TRefusal DocumentRefusal() const { return document_refusal_; }
  // The highest version any shop says it applied.
  int64_t HighestAppliedVersion() const;

  // Every shop, by name, judged now.
  std::vector<TShopRow> Rows() const;
  // Every shop's name, in order; judging none.
  std::vector<std::string> Shops() const;
  std::optional<TShopRow> Row(const std::string& shop) const;

  // Seconds since 1970 on the office's clock; the system's unless replaced.
  std::function<int64_t()> Clock;

 private:
  struct Shop {
    std::optional<bool> Online;
    std::optional<TShopState> State;
    bool Unreadable = false;
    int64_t Received = 0;  // office time of a state that came live; 0 retained
    int64_t OnlineChanged = 0;  // the same for its presence
    // The agents seen reporting, to tell a restart (a new instance for
    // good) from two copies taking turns (an old one coming back).
    std::string Instance;
    std::map<std::string, int64_t> EarlierInstances;
    int64_t TwoAgentsSeen = 0;
  };
  TShopRow Judge(const std::string& name, const Shop& shop) const;
  void TakeState(Shop& shop, const std::string& name, const std::string& payload, bool retained);
  int64_t Now() const;

  std::string network_;
  TVerifyKey office_key_;
  std::string document_hash_;
  std::string envelope_hash_;  // what agents before the signed text's hash reported
  std::optional<TPublication> document_;
  TRefusal document_refusal_ = TRefusal::None;
  std::string results_hash_, jackpots_hash_;
  std::map<std::string, Shop> shops_;
  std::set<std::string> known_;  // from the network's folder
};

// "12:04", local time.
std::string ClockText(int64_t time);

}  // namespace quinterra
