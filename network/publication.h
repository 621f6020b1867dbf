#pragma once
// The office's signed publication of a document, as it travels on the
// document topic:
//
//   {"document":"<signed text>","key":"<public key>","signature":"<signature>"}
//
// The signed text is itself compact JSON, kept as the exact bytes that were
// signed (Ed25519, detached), so no reader ever has to rebuild it:
//
//   {"format":1,"network":N,"version":V,"published":T,"expires":T,
//    "panels":["results","jackpots"],"items":[134 texts]}
//
// Times are seconds since 1970 (UTC), texts UTF-8; keys and signatures are
// base64. Every field is required and no other is allowed. Standard C++ and
// libsodium only.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "panels/display_image.h"

namespace quinterra {

constexpr size_t kMaxPublicationBytes = 64 * 1024;
constexpr int64_t kClockToleranceSeconds = 15 * 60;
constexpr int64_t kDefaultLifetimeSeconds = 7 * 24 * 3600;

using TSigningKey = std::array<uint8_t, 64>;  // libsodium's secret key: seed, then public key
using TVerifyKey = std::array<uint8_t, 32>;

// Why an agent refuses a publication, before any device is touched.
enum class TRefusal {
  None,
  Oversized,
  Malformed,
  NoSignature,
  UnknownKey,
  BadSignature,
  OtherNetwork,
  NotYetValid,  // published further ahead than the clocks may differ
  Expired,
  OldVersion,   // not newer than the version applied
};
// "oversized", "bad_signature" ...: the code in a shop's state.
const char* RefusalCode(TRefusal refusal);
// The reason in Spanish, for the state and the log.
const char* RefusalText(TRefusal refusal);

struct TPublication {
  std::string Network;
  int64_t Version = 0;
  int64_t Published = 0;
  int64_t Expires = 0;
  bool Results = true;   // the panels the document asks for
  bool Jackpots = true;
  std::vector<std::string> Items;  // the 134 cell texts, Windows-1252 as in a .ltr
};

// The message to publish.
std::string SignPublication(const TPublication& publication, const TSigningKey& key);

struct TReadResult {
  TRefusal Refusal = TRefusal::None;
  // What more there is to say about the refusal, in Spanish: the cell a
  // malformed document gets wrong, how far behind a clock seems to be.
  std::string Detail;
  // The SHA-256 of the signed text, which names the document whatever its
  // envelope; of the whole message when it has no readable one.
  std::string DocumentHash;
  // Filled once the signature holds (a refusal after that keeps it, so that
  // the state can name the version it refused).
  std::optional<TPublication> Publication;
};

// Checks everything a publication carries by itself: size, form, signature,
// network, every item against its cell, validity in time at now (seconds
// since 1970). Versions are the reader's business.
TReadResult ReadPublication(std::string_view message, const TVerifyKey& trusted,
                            const std::string& network, int64_t now);

// The refusal's text with its detail, for a shop's report.
std::string RefusalReason(const TReadResult& read);

// The name of the document a message carries (TReadResult::DocumentHash).
std::string DocumentHashOf(std::string_view message);

// Whether a publication is valid at now, clocks allowed to differ by
// kClockToleranceSeconds: not yet, valid, or expired.
enum class TValidity { NotYet, Valid, Expired };
TValidity ValidityAt(const TPublication& publication, int64_t now);

// Both panel images of a publication, built as "ENVIAR" builds them.
PanelImages PublicationImages(const TPublication& publication);

// --- keys, hashes and base64 (libsodium) ---
struct TKeyPair {
  TSigningKey Secret;
  TVerifyKey Public;
};
TKeyPair NewKeyPair();
// A signing key file holds the 32-byte seed in base64, a public key file the
// key in base64; blanks around it are allowed. Nothing when it is not one.
std::optional<TSigningKey> SigningKeyFromText(const std::string& text);
std::optional<TVerifyKey> VerifyKeyFromText(const std::string& text);
std::string SigningKeyText(const TSigningKey& key);
std::string VerifyKeyText(const TVerifyKey& key);
TVerifyKey PublicKeyOf(const TSigningKey& key);

std::string Base64(const uint8_t* bytes, size_t count);
inline std::string Base64(const std::vector<uint8_t>& bytes) { return Base64(bytes.data(), bytes.size()); }
// Strict: padding required, nothing but base64 characters.
std::optional<std::vector<uint8_t>> FromBase64(std::string_view text);
// SHA-256, lower-case hexadecimal.
std::string Sha256Hex(std::string_view bytes);
inline std::string Sha256Hex(const std::vector<uint8_t>& bytes) {
  return Sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace quinterra
