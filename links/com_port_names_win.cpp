// COM numbers on Windows are the system's own: COM<n> is \\.\COM<n>.

#include <windows.h>

#include "links/com_port_map.h"
#include "platform/os_text.h"

namespace quinterra {
namespace {

constexpr const char* kDevicePrefix = "\\\\.\\";

bool StartsWithAsciiCaseless(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const char c = (text[i] >= 'a' && text[i] <= 'z') ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string FixedComDevicePath(int com_number) {
  if (com_number < 1 || com_number > TComPortMap::kMaxComNumber) return "";
  return kDevicePrefix + std::string("COM") + std::to_string(com_number);
}

// "\\.\COM7", "COM7" and "COM7:" all name COM7.
int FixedComNumber(const std::string& path) {
  std::string name = StartsWithAsciiCaseless(path, kDevicePrefix) ? path.substr(4) : path;
  if (!name.empty() && name.back() == ':') name.pop_back();
  if (!StartsWithAsciiCaseless(name, "COM")) return 0;
  const std::string digits = name.substr(3);
  if (digits.empty() || digits.size() > 3 || digits[0] == '0') return 0;
  if (digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  const int number = std::stoi(digits);
  return number <= TComPortMap::kMaxComNumber ? number : 0;
}

// Windows has no links to follow for devices.
std::string ResolvedDevicePath(const std::string& path) { return path; }

bool PortDeviceExists(const std::string& path) {
  if (StartsWithAsciiCaseless(path, kDevicePrefix)) {
    wchar_t target[1024];
    return ::QueryDosDeviceW(WideText(path.substr(4)).c_str(), target, 1024) != 0;
  }
  return ::GetFileAttributesW(WideText(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace quinterra
