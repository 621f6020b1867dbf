// Where the port listing's rules get their input on this machine: the serial
// ports Qt finds, named by the COM map, and whether a port's device opens.

#include <set>

#include <QSerialPortInfo>

#include "links/com_port_map.h"
#include "links/port_listing.h"
#include "links/serial_device.h"

namespace quinterra {
namespace {

std::string FriendlyName(const std::string& description, int com_number) {
  return description + " (COM" + std::to_string(com_number) + ")";
}

// "/dev/pts/3" is shown as "pts/3".
std::string ShortDeviceName(const std::string& path) {
  const std::string dev = "/dev/";
  return path.compare(0, dev.size(), dev) == 0 ? path.substr(dev.size()) : path;
}

}  // namespace

std::vector<std::string> PresentPortNames(const TComPortMap& ports) {
  std::vector<std::string> names;
  std::set<int> listed;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    const int number = ports.ComNumber(info.systemLocation().toStdString());
    if (number == 0 || !listed.insert(number).second) continue;
    const QString description = info.description().isEmpty() ? info.portName() : info.description();
    names.push_back(FriendlyName(description.toStdString(), number));
  }
  // Qt does not list pseudo-terminals or links mapped in config.ini.
  for (const auto& [number, path] : ports.Overrides()) {
    if (listed.count(number) != 0 || !PortDeviceExists(path)) continue;
    listed.insert(number);
    names.push_back(FriendlyName(ShortDeviceName(path), number));
  }
  return names;
}

std::vector<int> SettableRates(int com_number, const TComPortMap& ports) {
  const std::string path = ports.DevicePath(com_number);
  if (path.empty()) return {};
  return DeviceSettableRates(path, OfferedRates());
}

std::vector<std::string> ListComPorts(const TComPortMap& ports) {
  return ComPortEntries(PresentPortNames(ports));
}

}  // namespace quinterra
