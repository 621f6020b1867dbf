#pragma once
// The LED view of display images saved as a PNG without a display, for
// quinterra-image --png.

#include <string>

#include "panels/display_image.h"

namespace quinterra {

// Either image may be null: that panel shows "Sin datos". Without an
// application object, an offscreen QGuiApplication lives for the call.
// False with a reason when an image has the wrong size or the file cannot
// be written.
bool WritePanelsViewPng(const std::string& path, const Bytes* results, const Bytes* jackpots,
                        std::string& reason);

}  // namespace quinterra
