// Document reading on arbitrary bytes: it must never crash or read out of
// bounds, and whatever it reads must write out and read back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "panels/display_image.h"
#include "panels/document.h"
#include "panels/panel_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string contents(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> items = quinterra::ParseDocument(contents);

  // Every item reads back, NUL bytes included (they are written quoted).
  if (quinterra::ParseDocument(quinterra::FormatDocument(items)) != items) std::abort();

  // Loaded texts go unchecked into the cells; the images must keep their sizes.
  quinterra::TCellSet cells;
  quinterra::ApplyDocumentItems(items, cells.Cells);
  const quinterra::PanelImages images = quinterra::BuildPanelImages(cells.CellsByWire);
  if (images.results.size() != quinterra::kResultsImageSize ||
      images.jackpots.size() != quinterra::kJackpotsImageSize) {
    std::abort();
  }
  return 0;
}
