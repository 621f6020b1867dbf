#pragma once
// The command line of quinterra-emulator.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/panel_device.h"

namespace quinterra {

// The port the program's TCP link uses unless told otherwise.
constexpr int kDefaultEmulatorTcpPort = 10001;

struct TEmulatorOptions {
  TPanelDeviceOptions Device;
  bool UsePty = false;
  int TcpPort = kDefaultEmulatorTcpPort;  // 0: any free port (the chosen one is printed)
  std::optional<uint32_t> Baud;           // pseudo-terminal only
  // With Baud: every byte takes its time on the line (10 bits) both ways,
  // as on a real serial line, where a pseudo-terminal moves them at once.
  bool LineTime = false;
  std::string DumpDir;                    // empty: no dump
  bool Log = false;
};

struct TEmulatorCommandLine {
  TEmulatorOptions Options;
  bool Help = false;
  std::string Error;  // empty when the command line is usable
};

TEmulatorCommandLine ParseEmulatorCommandLine(const std::vector<std::string>& arguments);

std::string EmulatorHelpText();

}  // namespace quinterra
