#pragma once
// SHA-256 of bytes, and its hexadecimal text (libsodium, as the network's
// publication already uses).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quinterra {

using TDigest = std::array<uint8_t, 32>;

TDigest Sha256(const uint8_t* bytes, size_t size);
inline TDigest Sha256(const std::vector<uint8_t>& bytes) { return Sha256(bytes.data(), bytes.size()); }
inline TDigest Sha256(std::string_view text) {
  return Sha256(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Lowercase hexadecimal.
std::string HexText(const uint8_t* bytes, size_t size);
inline std::string HexText(const TDigest& digest) { return HexText(digest.data(), digest.size()); }
// The bytes of a hexadecimal text of either case; none for anything else.
std::optional<std::vector<uint8_t>> HexBytes(std::string_view text);

}  // namespace quinterra
