#pragma once
// The files one member of a network holds (a shop's bundle, or the office's
// network folder): red.ini naming the broker, the network and the member,
// the network's CA, the member's certificate and key, and the office's
// public signing key.
//
//   [Red]
//   Nombre=cadena        the network
//   Servidor=127.0.0.1   the broker
//   Puerto=8883
//   Identidad=tienda-01  the common name of the member's certificate
//   KeepAlive=30         seconds
//   PuertoTiendas=8883   the office's folder only: the shops' port (the
//                        office has a listener of its own, Puerto)

#include <optional>
#include <string>

#include "network/mqtt_client.h"
#include "network/publication.h"

namespace quinterra {

// File names inside a bundle.
extern const char kBundleIni[];
extern const char kCaFile[];
extern const char kCertFile[];
extern const char kKeyFile[];
extern const char kOfficePublicKeyFile[];
extern const char kOfficeSigningKeyFile[];  // the office's folder only

struct TNetworkBundle {
  std::string Folder;  // ends in a separator
  std::string Network;
  std::string Host;
  int Port = 8883;
  std::string Identity;
  int KeepAliveSeconds = 30;
  int ShopPort = 0;  // the office's folder only; 0 elsewhere

  std::string File(const char* name) const { return Folder + name; }
  // Client settings for this member; client_id empty: the identity's own.
  TMqttSettings Mqtt(const std::string& client_id = {}) const;
};

// A shop's agent's settings: its identity's client, with "0" on its online
// topic as the last will.
TMqttSettings ShopAgentMqtt(const TNetworkBundle& bundle);

// Reads folder/red.ini; nothing, with the reason in Spanish, when it does
// not name a usable network, broker and member.
std::optional<TNetworkBundle> LoadBundle(const std::string& folder, std::string* failure);

// The office's public signing key the bundle holds; nothing, with the
// reason in Spanish, when it cannot be read or is not a key.
std::optional<TVerifyKey> LoadOfficeKey(const TNetworkBundle& bundle, std::string* failure);

// The text of red.ini for these values.
std::string BundleIniText(const TNetworkBundle& bundle);

// The office's folder holds the network's CA and signing keys; a shop's
// bundle holds its own certificate only. Each program refuses the other's:
// empty when bundle is a shop's (resp. the office's), else why not, in
// Spanish.
std::string ShopBundleProblem(const TNetworkBundle& bundle);
std::string OfficeFolderProblem(const TNetworkBundle& bundle);

}  // namespace quinterra
