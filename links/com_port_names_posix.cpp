// COM numbers on Linux: fixed ranges per device family, so that a number
// stored in equipos.ini keeps naming the same device.

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "links/com_port_map.h"

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

}  // namespace

std::string FixedComDevicePath(int com_number) {
  for (const Family& family : kFamilies) {
    if (com_number >= family.first_com && com_number < family.first_com + family.count) {
      return family.prefix + std::to_string(com_number - family.first_com);
    }
  }
  return "";
}

int FixedComNumber(const std::string& path) {
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

std::string ResolvedDevicePath(const std::string& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) != nullptr) return buffer;
  return path;
}

bool PortDeviceExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace quinterra
