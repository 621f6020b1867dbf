#pragma once
// What a shop reports on its retained state topic after every attempt: the
// document it is about (version and hash of the message), what became of
// it, and per panel what the devices were found to hold:
//
//   {"shop":"tienda-01","network":"cadena","time":1714557600,
//    "version":12,"document_hash":"<sha256 of the message>",
//    "result":"verified","refusal":"","reason":"",
//    "applied_version":12,"attempt":1,"retry_in":0,
//    "panels":{"results":{"state":"verified","read_hash":"<sha256>",
//                         "read_bytes":"<base64, 320 bytes>"},
//              "jackpots":{"state":"not_requested"}}}
//
// result: verified, sent, different, failed (a delivery) or refused (the
// document was not applied; refusal says why in a word, reason in Spanish).
// version is 0 when a refused message named none that could be trusted.
// read_hash and read_bytes are present only when bytes came from a device.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quinterra {

enum class TPanelStatus { NotRequested, Verified, Sent, Different, Failed };
const char* PanelStatusName(TPanelStatus status);

struct TPanelState {
  TPanelStatus Status = TPanelStatus::NotRequested;
  std::optional<std::vector<uint8_t>> ReadBack;
  std::string ReadHash;  // of ReadBack; what the office compares
};

struct TShopState {
  std::string Shop, Network;
  int64_t Time = 0;
  int64_t Version = 0;
  std::string DocumentHash;
  std::string Result;
  std::string Refusal;
  std::string Reason;
  int64_t AppliedVersion = 0;
  int Attempt = 0;
  int RetryIn = 0;  // seconds to the next attempt; 0: none planned
  TPanelState Results, Jackpots;
};

std::string StateJson(const TShopState& state);
// Nothing when the text is not a state (a shop's message is not trusted).
std::optional<TShopState> ParseStateJson(const std::string& text);

}  // namespace quinterra
