// The reading of a signing key's change chain on arbitrary bytes, as a shop
// takes it from the broker: it must never crash, and trust must move only
// along links signed by the key trusted so far: a refused chain leaves it
// where it was, and following the accepted one again changes nothing more.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "network/key_change.h"

namespace {

// The seeds start from the key whose seed is 32 zero bytes.
const quinterra::TTrustedKey& Start() {
  static const quinterra::TTrustedKey start{
      quinterra::PublicKeyOf(*quinterra::SigningKeyFromText("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=")),
      0};
  return start;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string message(reinterpret_cast<const char*>(data), size);
  quinterra::KeyChainLinks(message);
  const quinterra::TKeyChainResult result = quinterra::FollowKeyChain(message, Start(), "cadena");
  const bool moved = result.Trusted.Key != Start().Key;
  if (result.Refusal != quinterra::TKeyChainRefusal::None && (moved || result.Taken != 0)) std::abort();
  if (result.Taken == 0 && moved) std::abort();
  if (result.Taken > 0) {
    const quinterra::TKeyChainResult again = quinterra::FollowKeyChain(message, result.Trusted, "cadena");
    if (again.Taken != 0 || again.Trusted.Key != result.Trusted.Key) std::abort();
  }
  return 0;
}
