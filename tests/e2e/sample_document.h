#pragma once
// A document with every cell of both panels filled as an operator would fill
// it, and the panel images it must become on the devices.

#include <string>
#include <vector>

#include "panels/display_image.h"

namespace quinterra::e2e {

// The 134 cell texts, in cell order.
std::vector<std::string> FilledDocumentTexts();
// Another such document for each seed (0 is the one above).
std::vector<std::string> VariedDocumentTexts(int seed);

// The results (320 bytes) and jackpots (360 bytes) images of these texts,
// built from a fresh set of cells, apart from any window.
PanelImages ImagesOf(const std::vector<std::string>& texts);

// The record written to a device's directory memory before every panel.
std::vector<uint8_t> DirectoryRecord();

}  // namespace quinterra::e2e
