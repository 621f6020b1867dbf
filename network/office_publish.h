#pragma once
// What the office does from a terminal (quinterra-send --publish and
// --network-state): sign and publish a document, optionally waiting for the
// shops' reports, and show the state of every shop. Each call prints to out
// (results) and err (problems) and returns the command's exit status.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "network/bundle.h"
#include "network/publication.h"

namespace quinterra {

class TFleet;
enum class TPanelStatus;

struct TPublishRequest {
  std::string Folder;        // the network's folder (quinterra-network init)
  std::string DocumentPath;  // the .ltr to publish
  bool Results = true, Jackpots = true;
  // Seconds to wait for every known shop's report; none: do not wait.
  std::optional<int> WaitSeconds;
  int64_t LifetimeSeconds = kDefaultLifetimeSeconds;
};

// Exit status: 0 published (with a wait: every known shop reported the new
// version verified); 1 a shop reported it refused, failed, different or
// unverified; 2 bad input (folder, document, key); 3 the broker could not
// be reached or did not take the publication, or the wait ran out.
int PublishDocument(const TPublishRequest& request, std::ostream& out, std::ostream& err);

// One line per shop (or one JSON object with json): online, version, each
// panel, the age of its report, and whether it is fine. Exit status: 0
// every shop fine, 1 any is not, 2 bad folder, 3 no broker.
int ShowNetworkState(const std::string& folder, bool json, std::ostream& out, std::ostream& err);

// The file of the network's folder that keeps the last version published.
extern const char kPublishedVersionFile[];

// A panel's state as the office shows it: "verificado", "distinto" ...
const char* PanelWord(TPanelStatus status);

// The parts of a publication the terminal and the window share.
struct TOffice {
  TNetworkBundle Bundle;
  TVerifyKey PublicKey{};
};
// The office's bundle and the network's public key; nothing, with the
// reason in Spanish, when the folder is not an office's.
std::optional<TOffice> LoadOffice(const std::string& folder, std::string* failure);
// The office's signing key, when it is the network's; nothing, with the
// reason. Throws nothing.
std::optional<TSigningKey> LoadSigningKey(const TOffice& office, std::string* failure);
// Versions only grow: past both the last one kept in the folder and the one
// the broker holds (another office folder may have published since).
int64_t NextVersion(const TOffice& office, const TFleet& fleet);
// The signed message of publication; empty, with the reason, when every
// shop would refuse it (then nothing is published at all).
std::string SignChecked(const TOffice& office, const TPublication& publication,
                        const TSigningKey& key, std::string* failure);
// Keeps version as the last one published; throws FileError.
void KeepPublishedVersion(const TOffice& office, int64_t version);

}  // namespace quinterra
