#pragma once
// The TLS the network's broker and every client use: TLS 1.2 at least, and
// in TLS 1.2 only ephemeral ECDH with an AEAD cipher (AES-GCM or
// ChaCha20-Poly1305) and the network's EC P-256 certificates; TLS 1.3's
// suites are all AEAD. CBC suites with SHA-1 or SHA-2 are never offered or
// taken.

namespace quinterra {

// Mosquitto's own spelling, for tls_version (broker) and
// mosquitto_tls_opts_set (client): the lowest version allowed.
inline constexpr char kTlsMinimumVersion[] = "tlsv1.2";
// OpenSSL's names, for ciphers (broker) and mosquitto_tls_opts_set.
inline constexpr char kTls12Ciphers[] =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305";
// For ciphers_tls1.3 (broker).
inline constexpr char kTls13Suites[] =
    "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256";

}  // namespace quinterra
