#pragma once
// The office's view of the network: the latest published document (the
// retained one) and what every shop last said and whether it is online.
// A shop is fine only when it is online and reports the latest document
// verified, with every panel read back equal to the image the office
// itself builds from that document: a green line never hides stale
// content, a version behind or a different read-back.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "network/publication.h"
#include "network/shop_state.h"

namespace quinterra {

enum class TVerdict { Fine, Offline, Stale, Failing, Unknown };
const char* VerdictName(TVerdict verdict);  // "fine", "offline", ...
const char* VerdictText(TVerdict verdict);  // "bien", "desconectada", ...

struct TShopRow {
  std::string Shop;
  std::optional<bool> Online;
  std::optional<TShopState> State;  // when a readable one came
  TVerdict Verdict = TVerdict::Unknown;
  std::string Why;  // Spanish, when not fine
  // Per panel: its reported state, and whether its read-back equals the
  // document's image (false also when nothing was read).
  bool ResultsMatch = false, JackpotsMatch = false;
};

class TFleet {
 public:
  TFleet(std::string network, TVerifyKey office_key);

  // A message of the network's topics; anything else is ignored.
  void Message(const std::string& topic, const std::string& payload);
  // A shop known from its bundle, listed even before it ever reports.
  void AddKnownShop(const std::string& shop);

  const std::string& Network() const { return network_; }
  bool HasDocument() const { return !document_hash_.empty(); }
  const std::string& DocumentHash() const { return document_hash_; }
  // The latest document, when it reads (its refusal otherwise).
  const std::optional<TPublication>& Document() const { return document_; }
  TRefusal DocumentRefusal() const { return document_refusal_; }

  // Every shop, by name, judged at now.
  std::vector<TShopRow> Rows() const;
  std::optional<TShopRow> Row(const std::string& shop) const;

 private:
  struct Shop {
    std::optional<bool> Online;
    std::optional<TShopState> State;
    bool Unreadable = false;
  };
  TShopRow Judge(const std::string& name, const Shop& shop) const;

  std::string network_;
  TVerifyKey office_key_;
  std::string document_hash_;
  std::optional<TPublication> document_;
  TRefusal document_refusal_ = TRefusal::None;
  std::string results_hash_, jackpots_hash_;
  std::map<std::string, Shop> shops_;
};

}  // namespace quinterra
