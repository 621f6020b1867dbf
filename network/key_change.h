#pragma once
// A change of the office's signing key, as it travels on the keys topic
// (retained, QoS 1) and as a shop keeps it in its folder:
//
//   {"changes":[LINK,LINK,...]}                                oldest first
//   LINK = {"change":"<signed text>","key":"<retired key>","signature":"..."}
//   signed text = {"format":1,"network":N,"new_key":"<public key>",
//                  "from_version":V,"made":T}
//
// Each link is signed (Ed25519, detached, over the exact bytes of its signed
// text) by the key it retires, and names the key that signs the network's
// publications from version V on. A shop follows the links from the key it
// trusts: a link signed by that key moves its trust to the link's new key;
// the other links are not its business (older ones, or a shop made after
// them). Trust only moves forward, so an old chain played again changes
// nothing. The whole message is refused, and nothing taken, when any link
// is malformed, of another network, or claims the trusted key with a wrong
// signature. Standard C++ and libsodium only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "network/publication.h"

namespace quinterra {

constexpr size_t kMaxKeyChainBytes = 64 * 1024;

struct TTrustedKey {
  TVerifyKey Key{};
  // Publications below this version are refused as old: the key signs from
  // there on.
  int64_t FromVersion = 0;
};

struct TKeyChange {
  std::string Network;
  TVerifyKey NewKey{};
  int64_t FromVersion = 1;
  int64_t Made = 0;  // seconds since 1970, for the record
};

enum class TKeyChainRefusal { None, Oversized, Malformed, OtherNetwork, BadSignature };
// The reason in Spanish, for the log.
const char* KeyChainRefusalText(TKeyChainRefusal refusal);

// One link, signed by the key it retires.
std::string SignKeyChange(const TKeyChange& change, const TSigningKey& retired);
// The message carrying these links (each as SignKeyChange made it), oldest
// first.
std::string KeyChainMessage(const std::vector<std::string>& links);
// The links of a message, as KeyChainMessage took them; nothing when the
// message is not one (the links themselves are not checked here).
std::optional<std::vector<std::string>> KeyChainLinks(std::string_view message);

struct TKeyChainResult {
  TKeyChainRefusal Refusal = TKeyChainRefusal::None;
  TTrustedKey Trusted;  // where trust ends; the starting key when refused
  int Taken = 0;        // links followed
};

// Follows the chain from the trusted key.
TKeyChainResult FollowKeyChain(std::string_view message, const TTrustedKey& from,
                               const std::string& network);

// A publication read against the trusted key: ReadPublication's checks, and
// a version below the key's FromVersion refused as old. A publication
// signed by a retired key is an unknown key, whatever its version.
TReadResult ReadWithTrustedKey(std::string_view message, const TTrustedKey& trusted,
                               const std::string& network, int64_t now);

// --- the shop's folder ---
// The last chain that moved the shop's trust, as it came.
extern const char kKeyChainFile[];

// The key a shop trusts: the key pinned in its bundle (office-sign.pub),
// followed along the chain kept in folder when there is one. The chain is
// checked again from the pinned key, so a file written by someone else
// cannot make the shop trust a key the office never signed. A kept chain
// that does not read is reported in *problem and left aside (the retained
// message brings it again).
TTrustedKey LoadTrustedKey(const TVerifyKey& pinned, const std::string& network,
                           const std::string& folder, std::string* problem);

// Keeps message in folder, atomically and never through a link (the folder
// is shared with the shop's program). Throws FileError.
void SaveKeyChain(const std::string& folder, const std::string& message);

}  // namespace quinterra
