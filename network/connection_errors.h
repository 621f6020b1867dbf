#pragma once
// Why a connection to the network's broker failed, in Spanish, with its
// likely cause: what libmosquitto returns (a return code, a CONNACK code) and
// the lines it logs about OpenSSL are English and name no cause, and the
// operator of a shop must be able to act on what the log or the office's
// window says ("¿la hora de este equipo es correcta?").
//
// The client keeps the library's error lines of one attempt (its log
// callback, MOSQ_LOG_ERR) and, when the attempt fails, asks for the text;
// none of the library's own words is shown as it is. Under TLS 1.3 the
// broker refuses a certificate after the handshake, and about a third of
// the time its alert (revoked, bad certificate) is lost in the connection's
// reset: that attempt gets the list of likely causes, a later one the cause.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quinterra {

// The validity of the certificates a member holds, read once at start; a
// verification failure is judged against them and the local clock.
struct TCertificateDates {
  std::optional<int64_t> NotBefore, NotAfter;      // its own certificate
  std::optional<int64_t> CaNotBefore, CaNotAfter;  // the network's CA
};
// Reads both PEM files; what cannot be read stays empty.
TCertificateDates ReadCertificateDates(const std::string& ca_file, const std::string& cert_file);

struct TConnectionAttempt {
  std::string Host;
  int Port = 0;
  // libmosquitto's return code for the attempt: of mosquitto_connect, of
  // the loop, or given to the disconnect callback.
  int Result = 0;
  int ErrorNumber = 0;  // errno, when Result is MOSQ_ERR_ERRNO
  // The library's error lines during the attempt, in order.
  std::vector<std::string> LibraryLog;
};

// What failed and its likely cause, judged at now (seconds since 1970).
std::string ConnectionFailureText(const TConnectionAttempt& attempt, const TCertificateDates& dates,
                                  int64_t now);

// The broker's refusal in its CONNACK (MQTT 3.1.1 codes 1 to 5).
std::string ConnackText(int code);

// Before mosquitto_tls_set (which says only "Invalid function arguments"):
// which of the three files cannot be read, and why; empty when all can.
std::string TlsFilesProblem(const std::string& ca_file, const std::string& cert_file,
                            const std::string& key_file);

}  // namespace quinterra
