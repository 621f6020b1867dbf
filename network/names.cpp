#include "network/names.h"

#include <arpa/inet.h>

namespace quinterra {

const char kOfficeIdentity[] = "office";

namespace {

constexpr size_t kMaxNameLength = 64;

bool Alphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string Prefix(const std::string& network) { return "quinterra/" + network + "/"; }

}  // namespace

std::string NameProblem(const std::string& name) {
  if (name.empty()) return "el nombre está vacío";
  if (name.size() > kMaxNameLength) return "el nombre pasa de 64 caracteres";
  if (!Alphanumeric(name[0])) return "el nombre debe empezar por una letra o una cifra";
  for (char c : name) {
    if (!Alphanumeric(c) && c != '_' && c != '-')
      return "el nombre solo admite letras sin acento, cifras, '_' y '-'";
  }
  return {};
}

std::string ShopIdProblem(const std::string& id) {
  if (id == kOfficeIdentity) return "el nombre «office» es el de la oficina";
  return NameProblem(id);
}

std::string HostProblem(const std::string& text) {
  if (text.empty()) return "está vacío";
  unsigned char address[16];
  if (::inet_pton(AF_INET, text.c_str(), address) == 1 ||
      ::inet_pton(AF_INET6, text.c_str(), address) == 1)
    return {};
  if (text.size() > 253) return "un nombre de servidor no pasa de 253 caracteres";
  size_t label_start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '.') {
      const char c = text[i];
      if (!Alphanumeric(c) && c != '-')
        return "no es una dirección IP ni un nombre de servidor (solo letras sin acento, cifras, "
               "'-' y puntos)";
      continue;
    }
    const size_t length = i - label_start;
    if (length == 0 || length > 63) return "cada parte de un nombre de servidor tiene de 1 a 63 caracteres";
    if (text[label_start] == '-' || text[i - 1] == '-')
      return "una parte de un nombre de servidor no empieza ni acaba en '-'";
    label_start = i + 1;
  }
  return {};
}

std::string DocumentTopic(const std::string& network) { return Prefix(network) + "document"; }

std::string KeysTopic(const std::string& network) { return Prefix(network) + "keys"; }

std::string StateTopic(const std::string& network, const std::string& shop) {
  return Prefix(network) + "shops/" + shop + "/state";
}

std::string OnlineTopic(const std::string& network, const std::string& shop) {
  return Prefix(network) + "shops/" + shop + "/online";
}

std::string OfficeSyncTopic(const std::string& network) { return Prefix(network) + "office/sync"; }

std::string ShopSyncTopic(const std::string& network, const std::string& shop) {
  return Prefix(network) + "shops/" + shop + "/sync";
}

std::string ShopOfTopic(const std::string& network, const std::string& topic) {
  const std::string shops = Prefix(network) + "shops/";
  if (topic.compare(0, shops.size(), shops) != 0) return {};
  const size_t slash = topic.find('/', shops.size());
  if (slash == std::string::npos) return {};
  const std::string shop = topic.substr(shops.size(), slash - shops.size());
  const std::string rest = topic.substr(slash);
  if (rest != "/state" && rest != "/online") return {};
  return ShopIdProblem(shop).empty() ? shop : std::string();
}

}  // namespace quinterra
