#pragma once
// The commands of quinterra-network that change a running network, on files
// (network_folder.h) and then on the broker, as the office: removing a shop
// and rotating the signing key. Each prints to out (what was done) and err
// (problems) and returns the command's exit status: 0 done; 1 could not be
// done (nothing changed, or the files say what is left); 2 bad folder or
// shop; 3 done on files, the broker not (yet): unreachable, or it has not
// read its files again; the text says what to do, and the same command again
// finishes the job.

#include <chrono>
#include <iosfwd>
#include <string>

namespace quinterra {

struct TAdminBounds {
  std::chrono::milliseconds Connect = std::chrono::seconds(10);
  // How long a certificate the broker should refuse gets to show it is
  // still taken.
  std::chrono::milliseconds Probe = std::chrono::seconds(5);
};

// Revokes the shop's certificate, denies it in the ACL and moves its bundle
// aside; then, once the broker refuses that certificate (it reads the CRL
// and the ACL again on SIGHUP), takes its client id (ending its connection
// and its queued messages) and clears its retained state and presence, so
// that the office no longer counts or waits for it.
int RemoveShopCommand(const std::string& folder, const std::string& id, std::ostream& out,
                      std::ostream& err, const TAdminBounds& bounds = {});

// A new signing pair. The key-change chain, signed by the retiring key, is
// published retained on the keys topic; once the broker has it, the new key
// becomes the office's (the retired public key is kept), and the standing
// document is signed again with it as the first version it signs.
int RotateKeyCommand(const std::string& folder, std::ostream& out, std::ostream& err,
                     const TAdminBounds& bounds = {});

}  // namespace quinterra
