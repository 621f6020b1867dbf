#include "network/publication.h"

#include <sodium.h>

#include <stdexcept>

#include "network/strict_json.h"
#include "panels/document.h"
#include "panels/document_check.h"
#include "panels/panel_layout.h"
#include "platform/codepage1252.h"

namespace quinterra {
namespace {

constexpr int64_t kFormat = 1;
// No cell holds more than a few characters; this only bounds the work.
constexpr size_t kMaxItemBytes = 64;

void InitSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium no se pudo iniciar");
}

std::string SignedText(const TPublication& p) {
  std::string text = "{\"format\":" + std::to_string(kFormat) +
                     ",\"network\":" + JsonQuote(p.Network) +
                     ",\"version\":" + std::to_string(p.Version) +
                     ",\"published\":" + std::to_string(p.Published) +
                     ",\"expires\":" + std::to_string(p.Expires) + ",\"panels\":[";
  if (p.Results) text += "\"results\"";
  if (p.Jackpots) text += p.Results ? ",\"jackpots\"" : "\"jackpots\"";
  text += "],\"items\":[";
  for (size_t i = 0; i < p.Items.size(); ++i) {
    if (i) text += ',';
    text += JsonQuote(Utf8FromCp1252(p.Items[i]));
  }
  return text + "]}";
}

// The signed text's fields, or nothing when any is missing, extra or wrong.
std::optional<TPublication> ParseSignedText(std::string_view text) {
  const std::optional<TJsonValue> root = ParseStrictJson(text, 2);
  if (!root || !root->HasExactly({"format", "network", "version", "published", "expires",
                                   "panels", "items"}))
    return std::nullopt;
  using Kind = TJsonValue::Kind;
  const TJsonValue* format = root->Member("format", Kind::Integer);
  const TJsonValue* network = root->Member("network", Kind::String);
  const TJsonValue* version = root->Member("version", Kind::Integer);
  const TJsonValue* published = root->Member("published", Kind::Integer);
  const TJsonValue* expires = root->Member("expires", Kind::Integer);
  const TJsonValue* panels = root->Member("panels", Kind::Array);
  const TJsonValue* items = root->Member("items", Kind::Array);
  if (!format || !network || !version || !published || !expires || !panels || !items) return std::nullopt;
  if (format->Number != kFormat || version->Number < 1 || published->Number < 0 ||
      expires->Number <= published->Number)
    return std::nullopt;
  TPublication p;
  p.Network = network->Text;
  p.Version = version->Number;
  p.Published = published->Number;
  p.Expires = expires->Number;
  p.Results = p.Jackpots = false;
  for (const TJsonValue& panel : panels->Items) {
    bool& wanted = panel.Text == "results" ? p.Results : p.Jackpots;
    if (panel.Type != Kind::String || (panel.Text != "results" && panel.Text != "jackpots") || wanted)
      return std::nullopt;
    wanted = true;
  }
  if (!p.Results && !p.Jackpots) return std::nullopt;
  if (items->Items.size() != static_cast<size_t>(kCellCount)) return std::nullopt;
  for (const TJsonValue& item : items->Items) {
    if (item.Type != Kind::String || item.Text.size() > kMaxItemBytes) return std::nullopt;
    // Only what a document file can hold: Windows-1252, no line break or NUL.
    const std::string cp1252 = Cp1252FromUtf8(item.Text);
    if (Utf8FromCp1252(cp1252) != item.Text ||
        cp1252.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
      return std::nullopt;
    p.Items.push_back(cp1252);
  }
  return p;
}

}  // namespace

namespace {

const struct {
  TRefusal refusal;
  const char* code;
  const char* text;
} kRefusals[] = {
    {TRefusal::None, "none", ""},
    {TRefusal::Oversized, "oversized", "la publicación pasa de 64 KiB"},
    {TRefusal::Malformed, "malformed", "la publicación está mal formada"},
    {TRefusal::NoSignature, "no_signature", "la publicación no está firmada"},
    {TRefusal::UnknownKey, "unknown_key", "la publicación está firmada con una clave desconocida"},
    {TRefusal::BadSignature, "bad_signature", "la firma de la publicación no es válida"},
    {TRefusal::OtherNetwork, "other_network", "la publicación es de otra red"},
    {TRefusal::NotYetValid, "not_yet_valid", "la publicación aún no es válida según la hora de esta tienda"},
    {TRefusal::Expired, "expired", "la publicación ha caducado"},
    {TRefusal::OldVersion, "old_version", "la versión no es posterior a la aplicada"},
};

}  // namespace

const char* RefusalCode(TRefusal refusal) {
  for (const auto& entry : kRefusals)
    if (entry.refusal == refusal) return entry.code;
  return "none";
}

const char* RefusalText(TRefusal refusal) {
  for (const auto& entry : kRefusals)
    if (entry.refusal == refusal) return entry.text;
  return "";
}

std::string SignPublication(const TPublication& publication, const TSigningKey& key) {
  InitSodium();
  const std::string text = SignedText(publication);
  std::array<uint8_t, crypto_sign_BYTES> signature;
  crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const uint8_t*>(text.data()),
                       text.size(), key.data());
  return "{\"document\":" + JsonQuote(text) + ",\"key\":" + JsonQuote(VerifyKeyText(PublicKeyOf(key))) +
         ",\"signature\":" + JsonQuote(Base64(signature.data(), signature.size())) + "}";
}

TReadResult ReadPublication(std::string_view message, const TVerifyKey& trusted,
                            const std::string& network, int64_t now) {
  InitSodium();
  TReadResult result;
  auto refuse = [&result](TRefusal refusal) {
    result.Refusal = refusal;
    return result;
  };
  if (message.size() > kMaxPublicationBytes) return refuse(TRefusal::Oversized);
  const std::optional<TJsonValue> outer = ParseStrictJson(message, 1);
  if (!outer || outer->Type != TJsonValue::Kind::Object) return refuse(TRefusal::Malformed);
  result.DocumentHash = DocumentHashOf(message);
  const bool signed_form = outer->HasExactly({"document", "key", "signature"});
  if (!signed_form) {
    if (outer->HasExactly({"document", "key"}) || outer->HasExactly({"document"}))
      return refuse(TRefusal::NoSignature);
    return refuse(TRefusal::Malformed);
  }
  const TJsonValue* document = outer->Member("document", TJsonValue::Kind::String);
  const TJsonValue* key = outer->Member("key", TJsonValue::Kind::String);
  const TJsonValue* signature = outer->Member("signature", TJsonValue::Kind::String);
  if (!document || !key || !signature) return refuse(TRefusal::Malformed);
  if (signature->Text.empty()) return refuse(TRefusal::NoSignature);
  const std::optional<TVerifyKey> claimed = VerifyKeyFromText(key->Text);
  if (!claimed) return refuse(TRefusal::Malformed);
  if (*claimed != trusted) return refuse(TRefusal::UnknownKey);
  const std::optional<std::vector<uint8_t>> bytes = FromBase64(signature->Text);
  if (!bytes || bytes->size() != crypto_sign_BYTES) return refuse(TRefusal::BadSignature);
  if (crypto_sign_verify_detached(bytes->data(),
                                  reinterpret_cast<const uint8_t*>(document->Text.data()),
                                  document->Text.size(), trusted.data()) != 0)
    return refuse(TRefusal::BadSignature);
  result.Publication = ParseSignedText(document->Text);
  if (!result.Publication) return refuse(TRefusal::Malformed);
  const TPublication& p = *result.Publication;
  if (p.Network != network) return refuse(TRefusal::OtherNetwork);
  result.Detail = DocumentItemsProblem(p.Items);
  if (!result.Detail.empty()) return refuse(TRefusal::Malformed);
  switch (ValidityAt(p, now)) {
    case TValidity::NotYet: {
      const int64_t minutes = (p.Published - now + 59) / 60;
      result.Detail = "el reloj de esta tienda va " + std::to_string(minutes) +
                      " minutos por detrás del de la oficina";
      return refuse(TRefusal::NotYetValid);
    }
    case TValidity::Expired: return refuse(TRefusal::Expired);
    case TValidity::Valid: break;
  }
  return result;
}

std::string RefusalReason(const TReadResult& read) {
  const std::string text = RefusalText(read.Refusal);
  return read.Detail.empty() ? text : text + ": " + read.Detail;
}

std::string DocumentHashOf(std::string_view message) {
  if (message.size() <= kMaxPublicationBytes) {
    const std::optional<TJsonValue> outer = ParseStrictJson(message, 1);
    const TJsonValue* document =
        outer && outer->Type == TJsonValue::Kind::Object ? outer->Member("document") : nullptr;
    if (document && document->Type == TJsonValue::Kind::String) return Sha256Hex(document->Text);
  }
  return Sha256Hex(message);
}

TValidity ValidityAt(const TPublication& p, int64_t now) {
  if (p.Published > now + kClockToleranceSeconds) return TValidity::NotYet;
  if (p.Expires < now - kClockToleranceSeconds) return TValidity::Expired;
  return TValidity::Valid;
}

PanelImages PublicationImages(const TPublication& publication) {
  TCellSet cells;
  ApplyDocumentItems(publication.Items, cells.Cells);
  return BuildPanelImages(cells.CellsByWire);
}

TKeyPair NewKeyPair() {
  InitSodium();
  TKeyPair pair;
  crypto_sign_keypair(pair.Public.data(), pair.Secret.data());
  return pair;
}

std::optional<TSigningKey> SigningKeyFromText(const std::string& text) {
  InitSodium();
  const size_t first = text.find_first_not_of(" \t\r\n");
  const size_t last = text.find_last_not_of(" \t\r\n");
  if (first == std::string::npos) return std::nullopt;
  const std::optional<std::vector<uint8_t>> seed = FromBase64(std::string_view(text).substr(first, last - first + 1));
  if (!seed || seed->size() != crypto_sign_SEEDBYTES) return std::nullopt;
  TSigningKey key;
  TVerifyKey ignored;
  crypto_sign_seed_keypair(ignored.data(), key.data(), seed->data());
  return key;
}

std::optional<TVerifyKey> VerifyKeyFromText(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  const size_t last = text.find_last_not_of(" \t\r\n");
  if (first == std::string::npos) return std::nullopt;
  const std::optional<std::vector<uint8_t>> bytes = FromBase64(std::string_view(text).substr(first, last - first + 1));
  if (!bytes || bytes->size() != crypto_sign_PUBLICKEYBYTES) return std::nullopt;
  TVerifyKey key;
  std::copy(bytes->begin(), bytes->end(), key.begin());
  return key;
}

std::string SigningKeyText(const TSigningKey& key) {
  return Base64(key.data(), crypto_sign_SEEDBYTES) + "\n";
}

std::string VerifyKeyText(const TVerifyKey& key) { return Base64(key.data(), key.size()); }

TVerifyKey PublicKeyOf(const TSigningKey& key) {
  TVerifyKey public_key;
  std::copy(key.begin() + crypto_sign_SEEDBYTES, key.end(), public_key.begin());
  return public_key;
}

std::string Base64(const uint8_t* bytes, size_t count) {
  std::string text(sodium_base64_ENCODED_LEN(count, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes, count, sodium_base64_VARIANT_ORIGINAL);
  text.resize(text.size() - 1);  // its terminating NUL
  return text;
}

std::optional<std::vector<uint8_t>> FromBase64(std::string_view text) {
  InitSodium();
  std::vector<uint8_t> bytes(text.size() / 4 * 3 + 3);
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size())
    return std::nullopt;
  bytes.resize(length);
  return bytes;
}

std::string Sha256Hex(std::string_view bytes) {
  InitSodium();
  uint8_t digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0xF];
  }
  return hex;
}

}  // namespace quinterra
