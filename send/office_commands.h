#pragma once
// The office's commands of quinterra-send, over the office's one client of
// its network (network/office_client.h), run on the application's event
// loop until they are done: --publish signs and publishes a document,
// optionally waiting for the shops' reports; --network-state shows every
// shop. Each prints results on out and problems on err and returns the
// command's exit status.

#include <iosfwd>
#include <string>

#include "send/send_options.h"

namespace quinterra {

// Exit status: 0 published (with --wait: every known shop reported the new
// version verified); 1 a shop reported it refused, failed, different or
// unverified, or the broker took it but the network's folder could not keep
// it; 2 bad input (folder, document, key), found before anything is signed
// or anything connects; 3 the broker could not be reached or did not take
// the publication, the wait ran out, or a signal stopped it.
int RunPublish(const TSendOptions& options, std::ostream& out, std::ostream& err);

// One line per shop (or one JSON object with --json): online, version, each
// panel, the age of its report, and whether it is fine. Exit status: 0 every
// shop fine, 1 any is not, 2 bad folder, 3 no broker.
int RunNetworkState(const TSendOptions& options, std::ostream& out, std::ostream& err);

// A text a shop sent, safe to print on a terminal: control characters
// (bytes below 0x20, 0x7F, and U+0080 to U+009F) and bytes that are no
// UTF-8 become '?'.
std::string TerminalSafe(const std::string& text);

}  // namespace quinterra
