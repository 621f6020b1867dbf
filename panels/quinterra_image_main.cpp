// quinterra-image FILE.ltr: prints the results image and then the jackpots
// image of a document, each as one line of lower-case hexadecimal.

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "panels/display_image.h"
#include "panels/document.h"
#include "panels/panel_layout.h"

namespace {

// Reads the whole file; false with a reason when it cannot be read.
bool ReadFile(const std::string& path, std::string& contents, std::string& reason) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reason = std::strerror(errno);
    return false;
  }
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    contents.append(buffer, static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) {
    // A folder opens but cannot be read.
    reason = errno != 0 ? std::strerror(errno) : "read error";
    return false;
  }
  return true;
}

std::string Hex(const quinterra::Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quinterra-image FILE.ltr\n";
    return 2;
  }
  const std::string path = argv[1];
  std::string contents;
  std::string reason;
  errno = 0;
  if (!ReadFile(path, contents, reason)) {
    std::cerr << "quinterra-image: cannot read " << path << ": " << reason << "\n";
    return 1;
  }

  quinterra::TCellSet cells;
  quinterra::ApplyDocumentItems(quinterra::ParseDocument(contents), cells.Cells);
  const quinterra::PanelImages images = quinterra::BuildPanelImages(cells.CellsByWire);
  std::cout << Hex(images.results) << "\n" << Hex(images.jackpots) << "\n";
  return std::cout.flush() ? 0 : 1;
}
