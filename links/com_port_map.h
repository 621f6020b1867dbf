#pragma once
// COM numbers are how the program names serial ports (equipos.ini stores
// "COM<n>"), so each number must keep naming the same device: fixed ranges
// per device family, plus overrides from the "Puertos" section of config.ini
// (key COM<n>, value a device path) for pseudo-terminals, /dev/serial/by-id
// links and the like.
//
//   COM1-32   /dev/ttyS0-31
//   COM33-64  /dev/ttyUSB0-31
//   COM65-96  /dev/ttyACM0-31
//   COM97-127 /dev/rfcomm0-30  (Bluetooth)
//
// On Windows COM<n> is the system's own \\.\COM<n>, any n from 1 to 255.
// The fixed rule and the file system checks are per OS
// (com_port_names_posix.cpp, com_port_names_win.cpp).

#include <map>
#include <string>
#include <vector>

namespace quinterra {

class TProfileFile;

class TComPortMap {
 public:
  // A port number is held in one byte.
  static constexpr int kMaxComNumber = 255;

  TComPortMap() = default;  // the fixed ranges only

  // Adds the "Puertos" overrides of config (keys COM1 .. COM255; values that
  // are empty are ignored).
  void ReadOverrides(const TProfileFile& config);
  void SetOverride(int com_number, const std::string& device_path);

  // Device path of COM com_number, "" when the number names no device.
  std::string DevicePath(int com_number) const;
  // COM number of a device path (overrides first, symbolic links followed),
  // 0 when the path has none.
  int ComNumber(const std::string& device_path) const;
  // The overridden or added numbers with their paths, ascending.
  const std::map<int, std::string>& Overrides() const { return overrides_; }

 private:
  std::map<int, std::string> overrides_;
};

// --- this platform ---

// The device of COM com_number by the fixed rule, "" when none.
std::string FixedComDevicePath(int com_number);
// The COM number of a device path by the fixed rule, 0 when none.
int FixedComNumber(const std::string& device_path);
// The path with its symbolic links followed, or as given when it does not
// exist (Windows: as given).
std::string ResolvedDevicePath(const std::string& device_path);
// Whether a device exists at the path.
bool PortDeviceExists(const std::string& device_path);

}  // namespace quinterra
