#include "network/applied_version.h"

#include <sstream>

#include "platform/file_io.h"

namespace quinterra {

const char kAppliedVersionFile[] = "red-version.txt";

TAppliedVersion LoadAppliedVersion(const std::string& folder, std::string* problem) {
  TAppliedVersion applied;
  try {
    const std::optional<std::string> text = ReadFileIfExists(folder + kAppliedVersionFile);
    if (!text) return applied;
    std::istringstream in(*text);
    TAppliedVersion read;
    std::string rest;
    if (!(in >> read.Version >> read.DocumentHash) || read.Version < 1 || (in >> rest)) {
      if (problem) *problem = folder + kAppliedVersionFile + " no tiene la forma «VERSIÓN HASH»";
      return applied;
    }
    return read;
  } catch (const FileError& error) {
    if (problem) *problem = error.what();
    return applied;
  }
}

void SaveAppliedVersion(const std::string& folder, const TAppliedVersion& applied) {
  // The folder is shared with the shop's program and its users: a link
  // planted there must not lead the agent to write another file.
  WriteFileAtomically(folder + kAppliedVersionFile,
                      std::to_string(applied.Version) + " " + applied.DocumentHash + "\n",
                      TLinkAtName::Replace);
}

}  // namespace quinterra
