// The reading of a network publication on arbitrary bytes: it must never
// crash or read out of bounds, refuse before trusting, and whatever it
// accepts must be what the office could have signed: 134 texts a document
// can hold, a version above zero, an expiry after the publication.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "network/publication.h"
#include "network/strict_json.h"
#include "panels/panel_layout.h"

namespace {

// The seeds are signed with the key whose seed is 32 zero bytes.
const quinterra::TSigningKey& Key() {
  static const quinterra::TSigningKey key =
      *quinterra::SigningKeyFromText("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=");
  return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string message(reinterpret_cast<const char*>(data), size);
  quinterra::ParseStrictJson(message);
  const quinterra::TReadResult read =
      quinterra::ReadPublication(message, quinterra::PublicKeyOf(Key()), "cadena", 1'700'000'000);
  if (read.Refusal != quinterra::TRefusal::None) return 0;
  const quinterra::TPublication& p = *read.Publication;
  if (p.Items.size() != static_cast<size_t>(quinterra::kCellCount) || p.Version < 1 ||
      p.Expires <= p.Published || (!p.Results && !p.Jackpots)) {
    std::abort();
  }
  // What was accepted signs again into a message that reads the same.
  const quinterra::TReadResult again = quinterra::ReadPublication(
      quinterra::SignPublication(p, Key()), quinterra::PublicKeyOf(Key()), "cadena", 1'700'000'000);
  if (again.Refusal != quinterra::TRefusal::None || again.Publication->Items != p.Items) std::abort();
  return 0;
}
