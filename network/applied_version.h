#pragma once
// The highest version a shop has applied, and the hash of its message, kept
// in the shop's folder (red-version.txt: "VERSION HASH"). Written only after
// a delivery, crash-safe (temporary file renamed over the old one), so the
// agent never goes back to an older document after a restart.

#include <cstdint>
#include <string>

namespace quinterra {

struct TAppliedVersion {
  int64_t Version = 0;  // 0: none yet
  std::string DocumentHash;
};

extern const char kAppliedVersionFile[];

// A missing or unreadable file counts as none applied; the reason, when
// unreadable, goes to *problem.
TAppliedVersion LoadAppliedVersion(const std::string& folder, std::string* problem);
// Throws FileError when it cannot be written.
void SaveAppliedVersion(const std::string& folder, const TAppliedVersion& applied);

}  // namespace quinterra
