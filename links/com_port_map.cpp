#include "links/com_port_map.h"

#include <climits>
#include <cstdlib>
#include <strings.h>

#include "platform/profile_file.h"

namespace quinterra {
namespace {

struct Family {
  int first_com;
  int count;
  const char* prefix;
};

constexpr Family kFamilies[] = {
    {1, 32, "/dev/ttyS"},
    {33, 32, "/dev/ttyUSB"},
    {65, 32, "/dev/ttyACM"},
    {97, 31, "/dev/rfcomm"},
};

constexpr const char* kSection = "Puertos";

// The path with its symbolic links followed, or as given when it does not
// exist.
std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) != nullptr) return buffer;
  return path;
}

int FamilyNumber(const std::string& path) {
  for (const Family& family : kFamilies) {
    const std::string prefix = family.prefix;
    if (path.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = path.substr(prefix.size());
    if (rest.empty() || rest.size() > 3) continue;
    if (rest.find_first_not_of("0123456789") != std::string::npos) continue;
    if (rest.size() > 1 && rest[0] == '0') continue;
    const int index = std::atoi(rest.c_str());
    if (index < family.count) return family.first_com + index;
  }
  return 0;
}

}  // namespace

void TComPortMap::ReadOverrides(const TProfileFile& config) {
  // One read of the file for all the keys looked up below.
  const ProfileText text = config.Snapshot();
  bool has_section = false;
  for (const std::string& name : text.SectionNames()) {
    if (::strcasecmp(name.c_str(), kSection) == 0) has_section = true;
  }
  if (!has_section) return;
  for (int n = 1; n <= kMaxComNumber; ++n) {
    const std::string path = text.Value(kSection, "COM" + std::to_string(n)).value_or("");
    if (!path.empty()) SetOverride(n, path);
  }
}

void TComPortMap::SetOverride(int com_number, const std::string& device_path) {
  if (com_number < 1 || com_number > kMaxComNumber) return;
  if (device_path.empty()) {
    overrides_.erase(com_number);
  } else {
    overrides_[com_number] = device_path;
  }
}

std::string TComPortMap::DevicePath(int com_number) const {
  const auto it = overrides_.find(com_number);
  if (it != overrides_.end()) return it->second;
  for (const Family& family : kFamilies) {
    if (com_number >= family.first_com && com_number < family.first_com + family.count) {
      return family.prefix + std::to_string(com_number - family.first_com);
    }
  }
  return "";
}

int TComPortMap::ComNumber(const std::string& device_path) const {
  if (device_path.empty()) return 0;
  for (const auto& [number, path] : overrides_) {
    if (path == device_path) return number;
  }
  const std::string resolved = Resolved(device_path);
  for (const auto& [number, path] : overrides_) {
    if (Resolved(path) == resolved) return number;
  }
  // A number whose fixed device was overridden names another device now.
  for (const std::string& candidate : {device_path, resolved}) {
    const int number = FamilyNumber(candidate);
    if (number != 0 && overrides_.count(number) == 0) return number;
  }
  return 0;
}

}  // namespace quinterra
