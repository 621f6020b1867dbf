#pragma once
// The network's folder, made by quinterra-network: its own CA, the broker's
// certificate and configuration, the office's certificate and signing key,
// and one bundle per shop. Certificates are EC P-256, made by the openssl
// program; keys are written 0600.
//
//   DIR/red.ini ca.crt client.crt client.key    the office's own bundle
//   DIR/office-sign.key office-sign.pub          the signing key pair
//   DIR/ca.key                                   signs the shops' certificates
//   DIR/mosquitto.conf                           mosquitto -c DIR/mosquitto.conf
//   DIR/broker/ ca.crt broker.crt broker.key acl data/
//                                                all the broker reads or writes
//   DIR/shops/ID/ red.ini ca.crt client.crt client.key office-sign.pub
//                                                the bundle to copy to shop ID
//
// Mosquitto started as root runs as the user "mosquitto": when made by
// root, DIR/broker/ belongs to that user (when it exists), so the broker
// reads its key and keeps its data there and nothing else; the office's keys
// stay root's, 0600.

#include <string>

namespace quinterra {

struct TNetworkInit {
  std::string Folder;
  std::string Name;
  std::string Host = "127.0.0.1";  // as the shops name the broker
  int Port = 8883;
  // The broker's listening address; empty: Host when it is an IP address,
  // else every interface.
  std::string Listen;
  int KeepAliveSeconds = 30;
};

// Empty on success, else why not in Spanish. Refuses a folder that exists
// and is not empty.
std::string InitNetwork(const TNetworkInit& init);
std::string AddShop(const std::string& folder, const std::string& id);

// The texts written, for tests and for reading.
std::string MosquittoConfText(const TNetworkInit& init, const std::string& folder);
std::string AclText(const std::string& name);

}  // namespace quinterra
