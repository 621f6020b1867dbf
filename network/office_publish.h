#pragma once
// What the office does from a terminal (quinterra-send --publish and
// --network-state): sign and publish a document, optionally waiting for the
// shops' reports, and show the state of every shop. Each call prints to out
// (results) and err (problems) and returns the command's exit status.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "network/office_document.h"

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
// unverified, or the broker took it but the folder could not keep it; 2 bad
// input (folder, document, key), found before anything is signed; 3 the
// broker could not be reached or did not take the publication, or the wait
// ran out.
int PublishDocument(const TPublishRequest& request, std::ostream& out, std::ostream& err);

// One line per shop (or one JSON object with json): online, version, each
// panel, the age of its report, and whether it is fine. Exit status: 0
// every shop fine, 1 any is not, 2 bad folder, 3 no broker.
int ShowNetworkState(const std::string& folder, bool json, std::ostream& out, std::ostream& err);

// A panel's state as the office shows it: "verificado", "distinto" ...
const char* PanelWord(TPanelStatus status);

}  // namespace quinterra
