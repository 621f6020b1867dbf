#pragma once
// The network's folder, made by quinterra-network: its two CAs, the broker's
// certificate, configuration and rules, the office's certificate and signing
// key, and one bundle per shop. Certificates are EC P-256, made by the
// openssl program (its "ca" command, which keeps a record of what it issued
// and revoked) and valid from a day before they are made, so that a clock a
// few hours behind still takes them.
//
//   DIR/red.ini ca.crt client.crt client.key   the office's own bundle
//   DIR/office-sign.key office-sign.pub         the signing key pair
//   DIR/ca.key ca/                              the network's CA: the broker
//                                               and the shops; its records
//   DIR/office-ca.crt office-ca.key office-ca/  the office's CA: the office's
//                                               clients only
//   DIR/mosquitto.conf                          mosquitto -c DIR/mosquitto.conf
//   DIR/broker/ ca.crt office-ca.crt broker.crt broker.key crl.pem
//               acl acl-office data/            all the broker reads or writes
//   DIR/shops/ID/ red.ini ca.crt client.crt client.key office-sign.pub
//                                               the bundle to copy to shop ID
//   DIR/shops-retirados/ID/                     a removed shop's bundle
//   DIR/office-keys.json claves-retiradas/      the signing key's changes
//
// The broker has two listeners: the shops' (their client id is their
// certificate's name, so a shop can only ever knock itself off) and the
// office's (certificates of the office's own CA, several clients at once:
// the window, quinterra-send, a removal). Both take TLS 1.2 or later with
// AEAD suites only.
//
// Made by root: everything is root's except what the broker must write or
// keep secret (broker/data/ and broker.key belong to the user "mosquitto",
// which Mosquitto runs as) and, with an owner, the office's keys (client.key,
// office-sign.key, 0600) and the right to add files to DIR (sticky, so that
// the owner can keep office-version.txt there but replace nothing of root's).
// The broker reads its rules (acl, acl-office) through its group. Every
// change of owner or mode is checked.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quinterra {

struct TNetworkInit {
  std::string Folder;
  std::string Name;
  std::string Host = "127.0.0.1";  // as the shops name the broker
  int Port = 8883;                 // the shops' port
  int OfficePort = 0;              // the office's port; 0: Port + 1
  // The broker's listening address; empty: Host when it is an IP address,
  // else every interface.
  std::string Listen;
  int KeepAliveSeconds = 30;
  // A user (not root) that runs the office's programs: its keys become that
  // user's alone. Empty: root's (or the running user's).
  std::string Owner;
  // The time the certificates are made at (seconds since 1970); 0: now.
  int64_t Now = 0;
};

// Empty on success, else why not in Spanish. Refuses a folder that exists
// and is not empty.
std::string InitNetwork(const TNetworkInit& init);
// Makes shop id's bundle and lets it into the broker's rules (which the
// broker reads again on SIGHUP). Refuses a retired id. now: the time its
// certificate is made at; 0: now.
std::string AddShop(const std::string& folder, const std::string& id, int64_t now = 0);

// A shop's removal, the part on files: its certificate revoked and the
// broker's CRL made again, its bundle moved to shops-retirados/, its
// identity denied in the ACL. Again for a retired shop, it makes the CRL and
// the ACL again (a removal that stopped half-way ends). Empty on success,
// else why not in Spanish; *again tells which case it was.
std::string RetireShopFiles(const std::string& folder, const std::string& id, bool* again = nullptr);

// The folder's shops, by name: those with a bundle in shops/, and those
// retired.
std::vector<std::string> LiveShops(const std::string& folder);
std::vector<std::string> RetiredShops(const std::string& folder);

// --- the signing key's rotation, the part on files ---
// A new pair waits in office-sign.key.nueva, and the chain that announces it
// in office-keys.json.nueva, until the broker has taken the chain; only then
// do they replace the current ones (a rotation that stopped half-way is
// taken up again, never made twice).
struct TPendingRotation {
  std::string ChainMessage;  // every link, the new one last
  std::string NewPublicKeyText;
  int64_t FromVersion = 0;
  bool Resumed = false;  // taken up from an earlier run
};
// Makes (or takes up) the pending rotation; from_version: the first version
// the new key will sign. Empty on success, else why not.
std::string PrepareRotation(const std::string& folder, int64_t from_version, int64_t now,
                            TPendingRotation* pending);
// The broker has the chain: the new key becomes the office's, the retired
// public key is kept in claves-retiradas/. Empty on success.
std::string CommitRotation(const std::string& folder);

// The texts written, for tests and for reading.
std::string MosquittoConfText(const TNetworkInit& init, const std::string& folder);
std::string AclText(const std::string& name, const std::vector<std::string>& shops,
                    const std::vector<std::string>& retired);
std::string OfficeAclText(const std::string& name);

// File names of the folder.
extern const char kKeyChainOfficeFile[];    // office-keys.json
extern const char kRetiredShopsFolder[];    // shops-retirados

}  // namespace quinterra
