#include "network/connection_errors.h"

#include <mosquitto.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/errno_text.h"

namespace quinterra {
namespace {

std::optional<int64_t> Seconds(const ASN1_TIME* time) {
  std::tm parts{};
  if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return std::nullopt;
  return static_cast<int64_t>(::timegm(&parts));
}

// The validity of the first certificate in a PEM file.
void ReadDates(const std::string& path, std::optional<int64_t>* not_before,
               std::optional<int64_t>* not_after) {
  std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(path.c_str(), "r"), &BIO_free);
  if (!file) return;
  std::unique_ptr<X509, decltype(&X509_free)> certificate(
      PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr), &X509_free);
  if (!certificate) return;
  *not_before = Seconds(X509_get0_notBefore(certificate.get()));
  *not_after = Seconds(X509_get0_notAfter(certificate.get()));
}

std::string DateText(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
  return text;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return text;
}

bool Said(const TConnectionAttempt& attempt, std::initializer_list<const char*> fragments) {
  for (const std::string& line : attempt.LibraryLog) {
    const std::string lower = Lower(line);
    for (const char* fragment : fragments)
      if (lower.find(fragment) != std::string::npos) return true;
  }
  return false;
}

// Our own side of a failed verification: a certificate that this machine's
// clock calls not yet valid or expired points at the clock.
std::optional<std::string> LocalClockProblem(const TCertificateDates& dates, int64_t now) {
  for (const auto& not_before : {dates.NotBefore, dates.CaNotBefore}) {
    if (not_before && now < *not_before)
      return "el certificado aún no es válido: ¿la hora de este equipo es correcta? (este equipo dice " +
             DateText(now) + "; el certificado vale desde " + DateText(*not_before) + ")";
  }
  for (const auto& not_after : {dates.NotAfter, dates.CaNotAfter}) {
    if (not_after && now > *not_after)
      return "el certificado caducó el " + DateText(*not_after) +
             ": ¿la hora de este equipo es correcta? Si lo es, pida otro a la oficina";
  }
  return std::nullopt;
}

std::string ErrnoFailure(const TConnectionAttempt& attempt) {
  const std::string where = attempt.Host + ":" + std::to_string(attempt.Port);
  switch (attempt.ErrorNumber) {
    case ECONNREFUSED:
      return "nadie acepta conexiones en " + where +
             ": ¿está parado el servidor, o su puerto es otro?";
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
      return "no se llega a " + where + " (" + ErrnoText(attempt.ErrorNumber) +
             "): ¿hay red? ¿un cortafuegos? ¿es esa la dirección del servidor?";
    case EPROTO:
    case ECONNRESET:
    case EPIPE:
      // With TLS 1.3 the broker judges our certificate after the handshake
      // and its alert is often lost in the reset: the next attempt may say
      // more.
      return "el servidor cortó la conexión al saludar: ¿el certificado de este equipo está "
             "revocado, es de otra red o del otro puerto (tiendas u oficina), o aún no vale para "
             "el reloj del servidor?";
    default:
      return ErrnoText(attempt.ErrorNumber);
  }
}

}  // namespace

TCertificateDates ReadCertificateDates(const std::string& ca_file, const std::string& cert_file) {
  TCertificateDates dates;
  ReadDates(cert_file, &dates.NotBefore, &dates.NotAfter);
  ReadDates(ca_file, &dates.CaNotBefore, &dates.CaNotAfter);
  return dates;
}

std::string ConnectionFailureText(const TConnectionAttempt& attempt, const TCertificateDates& dates,
                                  int64_t now) {
  // What OpenSSL said comes first: the return code alone is "the connection
  // was lost" for a revoked certificate.
  if (Said(attempt, {"host name verification failed"}))
    return "el certificado del servidor no es para «" + attempt.Host +
           "»: ¿Servidor en red.ini es el nombre con que se hizo la red (--host)?";
  if (Said(attempt, {"alert certificate revoked"}))
    return "el servidor rechaza el certificado de este equipo: está revocado (la tienda fue "
           "retirada de la red)";
  if (Said(attempt, {"alert certificate expired"})) {
    if (dates.NotAfter && now > *dates.NotAfter)
      return "el certificado de este equipo caducó el " + DateText(*dates.NotAfter) +
             ": pida otro a la oficina";
    return "el servidor da por caducado el certificado de este equipo: ¿la hora del servidor es "
           "correcta?";
  }
  if (Said(attempt, {"alert bad certificate", "alert certificate unknown"}))
    return "el servidor rechaza el certificado de este equipo: ¿la hora del servidor es correcta? "
           "(un certificado aún no válido para su reloj se rechaza así)";
  if (Said(attempt, {"alert unknown ca"}))
    return "el servidor no reconoce el certificado de este equipo: es de otra red, o de la oficina "
           "en el puerto de las tiendas (o al revés)";
  if (Said(attempt, {"certificate verify failed"})) {
    if (std::optional<std::string> clock = LocalClockProblem(dates, now)) return *clock;
    return "el servidor no presenta un certificado de esta red: ¿es otro el servidor que responde "
           "en " + attempt.Host + ":" + std::to_string(attempt.Port) + "?";
  }
  if (Said(attempt, {"wrong version number", "packet length too long", "http request"}))
    return "en " + attempt.Host + ":" + std::to_string(attempt.Port) +
           " no responde un servidor TLS: ¿es otro el puerto?";
  if (Said(attempt, {"no shared cipher", "alert handshake failure", "no cipher"}))
    return "el servidor y este equipo no tienen un cifrado en común (hace falta TLS 1.2 con "
           "AES-GCM o ChaCha20-Poly1305, o TLS 1.3)";
  if (Said(attempt, {"alert protocol version", "unsupported protocol"}))
    return "el servidor y este equipo no tienen una versión de TLS en común (hace falta TLS 1.2 o "
           "posterior)";

  switch (attempt.Result) {
    case MOSQ_ERR_SUCCESS: return "desconexión pedida";
    case MOSQ_ERR_ERRNO: return ErrnoFailure(attempt);
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP:
      return "no se encuentra el servidor «" + attempt.Host +
             "»: ¿está bien escrito en red.ini? ¿funciona el DNS de este equipo?";
    case MOSQ_ERR_CONN_LOST: return "se perdió la conexión con el servidor";
    case MOSQ_ERR_KEEPALIVE: return "el servidor dejó de responder a los latidos";
    case MOSQ_ERR_NO_CONN: return "sin conexión con el servidor";
    case MOSQ_ERR_CONN_REFUSED: return "el servidor rechaza la conexión";
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
      if (std::optional<std::string> clock = LocalClockProblem(dates, now)) return *clock;
      return "el saludo TLS con el servidor falló";
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
      return "el servidor respondió algo que no es MQTT: ¿es otro el puerto?";
    case MOSQ_ERR_NOMEM: return "no hay memoria suficiente";
    case MOSQ_ERR_OVERSIZE_PACKET:
    case MOSQ_ERR_PAYLOAD_SIZE: return "un mensaje pasa del tamaño que admite el servidor";
    case MOSQ_ERR_ADMINISTRATIVE_ACTION: return "el servidor cerró la conexión por orden de su administrador";
    default: return "el cliente MQTT falló (código " + std::to_string(attempt.Result) + ")";
  }
}

std::string ConnackText(int code) {
  switch (code) {
    case 1: return "el servidor no admite la versión de MQTT de este equipo";
    case 2: return "el servidor rechaza el identificador de este cliente";
    case 3: return "el servidor no está disponible ahora";
    case 4: return "el servidor rechaza el usuario: ¿el certificado de este equipo no tiene nombre?";
    case 5:
      return "el servidor no autoriza a este equipo: ¿su certificado es de esta red y de este "
             "puerto?";
    default: return "el servidor rechaza la conexión (código " + std::to_string(code) + ")";
  }
}

std::string TlsFilesProblem(const std::string& ca_file, const std::string& cert_file,
                            const std::string& key_file) {
  for (const std::string* path : {&ca_file, &cert_file, &key_file}) {
    std::FILE* file = std::fopen(path->c_str(), "rb");
    if (file) {
      std::fclose(file);
      continue;
    }
    const int error = errno;
    std::string text = "no se puede leer " + *path + ": " + ErrnoText(error);
    if (error == EACCES)
      text += " (en la oficina, el usuario de quinterra-network init --owner; en una tienda, el "
              "usuario quinterra o uno de su grupo)";
    return text;
  }
  return {};
}

}  // namespace quinterra
