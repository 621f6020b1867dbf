#include "network/key_change.h"

#include <sodium.h>

#include "network/strict_json.h"
#include "platform/file_io.h"

namespace quinterra {

const char kKeyChainFile[] = "red-claves.json";

namespace {

constexpr int64_t kFormat = 1;

std::string SignedText(const TKeyChange& change) {
  return "{\"format\":" + std::to_string(kFormat) + ",\"network\":" + JsonQuote(change.Network) +
         ",\"new_key\":" + JsonQuote(VerifyKeyText(change.NewKey)) +
         ",\"from_version\":" + std::to_string(change.FromVersion) +
         ",\"made\":" + std::to_string(change.Made) + "}";
}

// One link as read, not yet verified.
struct TLink {
  TVerifyKey Signer{};
  std::vector<uint8_t> Signature;
  std::string Text;  // the signed bytes
  TKeyChange Change;
};

std::optional<TKeyChange> ParseSignedText(const std::string& text) {
  const std::optional<TJsonValue> root = ParseStrictJson(text, 1);
  if (!root || !root->HasExactly({"format", "network", "new_key", "from_version", "made"}))
    return std::nullopt;
  using Kind = TJsonValue::Kind;
  const TJsonValue* format = root->Member("format", Kind::Integer);
  const TJsonValue* network = root->Member("network", Kind::String);
  const TJsonValue* new_key = root->Member("new_key", Kind::String);
  const TJsonValue* from_version = root->Member("from_version", Kind::Integer);
  const TJsonValue* made = root->Member("made", Kind::Integer);
  if (!format || !network || !new_key || !from_version || !made) return std::nullopt;
  if (format->Number != kFormat || from_version->Number < 1 || made->Number < 0) return std::nullopt;
  const std::optional<TVerifyKey> key = VerifyKeyFromText(new_key->Text);
  if (!key) return std::nullopt;
  return TKeyChange{network->Text, *key, from_version->Number, made->Number};
}

std::optional<TLink> ParseLink(const TJsonValue& value) {
  using Kind = TJsonValue::Kind;
  if (!value.HasExactly({"change", "key", "signature"})) return std::nullopt;
  const TJsonValue* change = value.Member("change", Kind::String);
  const TJsonValue* key = value.Member("key", Kind::String);
  const TJsonValue* signature = value.Member("signature", Kind::String);
  if (!change || !key || !signature) return std::nullopt;
  TLink link;
  const std::optional<TVerifyKey> signer = VerifyKeyFromText(key->Text);
  const std::optional<std::vector<uint8_t>> bytes = FromBase64(signature->Text);
  const std::optional<TKeyChange> parsed = ParseSignedText(change->Text);
  if (!signer || !bytes || bytes->size() != crypto_sign_BYTES || !parsed) return std::nullopt;
  link.Signer = *signer;
  link.Signature = *bytes;
  link.Text = change->Text;
  link.Change = *parsed;
  return link;
}

// Every link of the message, all well formed; nothing when any is not.
std::optional<std::vector<TLink>> ParseChain(std::string_view message) {
  const std::optional<TJsonValue> root = ParseStrictJson(message, 3);
  if (!root || !root->HasExactly({"changes"})) return std::nullopt;
  const TJsonValue* changes = root->Member("changes", TJsonValue::Kind::Array);
  if (!changes) return std::nullopt;
  std::vector<TLink> links;
  for (const TJsonValue& item : changes->Items) {
    std::optional<TLink> link = ParseLink(item);
    if (!link) return std::nullopt;
    links.push_back(std::move(*link));
  }
  return links;
}

}  // namespace

const char* KeyChainRefusalText(TKeyChainRefusal refusal) {
  switch (refusal) {
    case TKeyChainRefusal::None: return "";
    case TKeyChainRefusal::Oversized: return "el cambio de clave pasa de 64 KiB";
    case TKeyChainRefusal::Malformed: return "el cambio de clave está mal formado";
    case TKeyChainRefusal::OtherNetwork: return "el cambio de clave es de otra red";
    case TKeyChainRefusal::BadSignature:
      return "la firma del cambio de clave no es de la clave en que confía la tienda";
  }
  return "";
}

std::string SignKeyChange(const TKeyChange& change, const TSigningKey& retired) {
  if (sodium_init() < 0) return {};
  const std::string text = SignedText(change);
  uint8_t signature[crypto_sign_BYTES];
  crypto_sign_detached(signature, nullptr, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                       retired.data());
  return "{\"change\":" + JsonQuote(text) + ",\"key\":" + JsonQuote(VerifyKeyText(PublicKeyOf(retired))) +
         ",\"signature\":" + JsonQuote(Base64(signature, sizeof signature)) + "}";
}

std::string KeyChainMessage(const std::vector<std::string>& links) {
  std::string message = "{\"changes\":[";
  for (size_t i = 0; i < links.size(); ++i) message += (i ? "," : "") + links[i];
  return message + "]}";
}

std::optional<std::vector<std::string>> KeyChainLinks(std::string_view message) {
  const std::optional<std::vector<TLink>> chain = ParseChain(message);
  if (!chain) return std::nullopt;
  std::vector<std::string> links;
  for (const TLink& link : *chain) {
    links.push_back("{\"change\":" + JsonQuote(link.Text) + ",\"key\":" +
                    JsonQuote(VerifyKeyText(link.Signer)) + ",\"signature\":" +
                    JsonQuote(Base64(link.Signature)) + "}");
  }
  return links;
}

TKeyChainResult FollowKeyChain(std::string_view message, const TTrustedKey& from,
                               const std::string& network) {
  TKeyChainResult result;
  result.Trusted = from;
  auto refuse = [&result, &from](TKeyChainRefusal refusal) {
    result.Refusal = refusal;
    result.Trusted = from;
    result.Taken = 0;
    return result;
  };
  if (sodium_init() < 0) return refuse(TKeyChainRefusal::Malformed);
  if (message.size() > kMaxKeyChainBytes) return refuse(TKeyChainRefusal::Oversized);
  const std::optional<std::vector<TLink>> chain = ParseChain(message);
  if (!chain) return refuse(TKeyChainRefusal::Malformed);
  TTrustedKey trusted = from;
  for (const TLink& link : *chain) {
    if (link.Change.Network != network) return refuse(TKeyChainRefusal::OtherNetwork);
    if (link.Signer != trusted.Key) continue;
    if (crypto_sign_verify_detached(link.Signature.data(),
                                    reinterpret_cast<const uint8_t*>(link.Text.data()),
                                    link.Text.size(), trusted.Key.data()) != 0)
      return refuse(TKeyChainRefusal::BadSignature);
    // A key handed back to itself, or signing below what it already signs,
    // would let an old publication in again.
    if (link.Change.NewKey == trusted.Key || link.Change.FromVersion < trusted.FromVersion)
      return refuse(TKeyChainRefusal::Malformed);
    trusted = TTrustedKey{link.Change.NewKey, link.Change.FromVersion};
    ++result.Taken;
  }
  result.Trusted = trusted;
  return result;
}

TReadResult ReadWithTrustedKey(std::string_view message, const TTrustedKey& trusted,
                               const std::string& network, int64_t now) {
  TReadResult read = ReadPublication(message, trusted.Key, network, now);
  if (read.Refusal == TRefusal::None && read.Publication->Version < trusted.FromVersion)
    read.Refusal = TRefusal::OldVersion;
  return read;
}

TTrustedKey LoadTrustedKey(const TVerifyKey& pinned, const std::string& network,
                           const std::string& folder, std::string* problem) {
  const TTrustedKey start{pinned, 0};
  std::optional<std::string> kept;
  try {
    kept = ReadFileIfExists(folder + kKeyChainFile);
  } catch (const FileError& error) {
    if (problem) *problem = error.what();
    return start;
  }
  if (!kept) return start;
  const TKeyChainResult followed = FollowKeyChain(*kept, start, network);
  if (followed.Refusal != TKeyChainRefusal::None && problem)
    *problem = folder + kKeyChainFile + ": " + KeyChainRefusalText(followed.Refusal) +
               "; se confía en la clave de office-sign.pub";
  return followed.Trusted;
}

void SaveKeyChain(const std::string& folder, const std::string& message) {
  WriteFileAtomically(folder + kKeyChainFile, message, TLinkAtName::Replace);
}

}  // namespace quinterra
