#pragma once
// What a shop reports on its retained state topic after every attempt and
// every check: the document it is about (version and the SHA-256 of its
// signed text), what became of it, and per panel what the devices were
// found to hold:
//
//   {"shop":"tienda-01","network":"cadena","instance":"5f0c9a2e","time":1714557600,
//    "version":12,"document_hash":"<sha256 of the signed text>",
//    "result":"verified","refusal":"","reason":"",
//    "applied_version":12,"attempt":1,"retry_in":0,
//    "checked":1714557600,"check_every":600,"restored":"","expired":false,"problem":"",
//    "panels":{"results":{"state":"verified","version":12,"read_hash":"<sha256>",
//                         "read_bytes":"<base64, 320 bytes>"},
//              "jackpots":{"state":"not_requested","version":0}}}
//
// result: verified, sent, different, failed, no_device (a delivery or a
// check) or refused (the document was not applied; refusal says why in a
// word, reason in Spanish). version is 0 when a refused message named none
// that could be trusted. A panel's version is the one whose bytes it was
// last found or made to hold, 0 when not known. read_hash and read_bytes are
// present only when bytes came from a device. instance changes at every
// start of the agent; checked is when the panels were last read back (0
// never), check_every how often they are (0 never); restored says what the
// last check had to write again; problem, what the shop cannot keep (its
// applied version) although its panels are right.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quinterra {

enum class TPanelStatus { NotRequested, Verified, Sent, Different, Failed, NoDevice };
const char* PanelStatusName(TPanelStatus status);  // "not_requested", "verified" ...
const char* PanelStatusText(TPanelStatus status);  // as the office shows it: "verificado" ...
std::optional<TPanelStatus> PanelStatusNamed(const std::string& name);

// One panel of a shop, as the shop reports it.
struct TShopPanel {
  TPanelStatus Status = TPanelStatus::NotRequested;
  int64_t Version = 0;
  std::optional<std::vector<uint8_t>> ReadBack;
  std::string ReadHash;  // of ReadBack; what the office compares
};

struct TShopState {
  std::string Shop, Network;
  std::string Instance;
  int64_t Time = 0;
  int64_t Version = 0;
  std::string DocumentHash;
  std::string Result;
  std::string Refusal;
  std::string Reason;
  int64_t AppliedVersion = 0;
  int Attempt = 0;
  int RetryIn = 0;  // seconds to the next attempt; 0: none planned
  int64_t Checked = 0;
  int CheckEvery = 0;
  std::string Restored;
  bool Expired = false;
  std::string Problem;
  TShopPanel Results, Jackpots;
};

std::string StateJson(const TShopState& state);
// Nothing when the text is not a state (a shop's message is not trusted).
// Fields added since the first agents are optional.
std::optional<TShopState> ParseStateJson(const std::string& text);

}  // namespace quinterra
