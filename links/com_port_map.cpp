#include "links/com_port_map.h"

#include <algorithm>

#include "platform/profile_file.h"

namespace quinterra {
namespace {

constexpr const char* kSection = "Puertos";

bool SameAsciiText(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

void TComPortMap::ReadOverrides(const TProfileFile& config) {
  // One read of the file for all the keys looked up below.
  const ProfileText text = config.Snapshot();
  bool has_section = false;
  for (const std::string& name : text.SectionNames()) {
    if (SameAsciiText(name, kSection)) has_section = true;
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
  return FixedComDevicePath(com_number);
}

int TComPortMap::ComNumber(const std::string& device_path) const {
  if (device_path.empty()) return 0;
  for (const auto& [number, path] : overrides_) {
    if (path == device_path) return number;
  }
  const std::string resolved = ResolvedDevicePath(device_path);
  for (const auto& [number, path] : overrides_) {
    if (ResolvedDevicePath(path) == resolved) return number;
  }
  // A number whose fixed device was overridden names another device now.
  for (const std::string& candidate : {device_path, resolved}) {
    const int number = FixedComNumber(candidate);
    if (number != 0 && overrides_.count(number) == 0) return number;
  }
  return 0;
}

}  // namespace quinterra
