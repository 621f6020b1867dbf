#pragma once
// Writes a device's three memory areas to files that other programs (tests,
// an operator's viewer) may read at any moment: each file is written under a
// temporary name in the same folder and renamed over the old one, so a reader
// sees either the previous content or the new one, never a mix.

#include <string>

#include "emulator/panel_device.h"

namespace quinterra {

// DIR/display.bin, DIR/directory.bin, DIR/config.bin. Returns an empty text
// on success, else what failed; a failure leaves the previous file in place.
std::string DumpDeviceMemory(const std::string& folder, const TPanelDeviceEmulator& device);

}  // namespace quinterra
