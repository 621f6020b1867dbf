// quinterra-image FILE.ltr: prints the results image and then the jackpots
// image of a document, each as one line of lower-case hexadecimal.
// quinterra-image --png OUT.png FILE.ltr, or --png OUT.png with --results
// FILE and/or --jackpots FILE (display images, e.g. an emulator's
// display.bin, of which the panel's first 320 or 360 bytes count): draws
// the panels as they light up. Only the Qt build draws.

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "panels/display_image.h"
#include "panels/document.h"
#include "panels/panel_layout.h"
#include "quinterra_version.h"
#ifdef QUINTERRA_IMAGE_PNG
#include "app/panels_view_png.h"
#endif

namespace {

const char kUsage[] =
    "usage: quinterra-image FILE.ltr\n"
    "       quinterra-image --png OUT.png FILE.ltr\n"
    "       quinterra-image --png OUT.png [--results DISPLAY.bin] [--jackpots DISPLAY.bin]\n"
    "       quinterra-image --help | --version\n";

const char kHelp[] =
    "\n"
    "Prints the results image and then the jackpots image of a panel document\n"
    "(.ltr), each as one line of lower-case hexadecimal: exactly what the\n"
    "document puts on the panels.\n"
    "\n"
    "  --png OUT.png FILE.ltr   draws the panels view of the document into OUT.png\n"
    "  --results DISPLAY.bin    with --png: draws the results panel from a display\n"
    "                           image (its first 320 bytes), such as the emulator's\n"
    "                           --dump\n"
    "  --jackpots DISPLAY.bin   likewise for the jackpots panel (360 bytes)\n"
    "  --help                   this text\n"
    "  --version                the version\n";

// Reads the whole file; false with a reason when it cannot be read.
bool ReadFile(const std::string& path, std::string& contents, std::string& reason) {
  errno = 0;
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

std::optional<std::string> ReadOrSay(const std::string& path) {
  std::string contents;
  std::string reason;
  if (ReadFile(path, contents, reason)) return contents;
  std::cerr << "quinterra-image: cannot read " << path << ": " << reason << "\n";
  return std::nullopt;
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

quinterra::PanelImages DocumentImages(const std::string& contents) {
  quinterra::TCellSet cells;
  quinterra::ApplyDocumentItems(quinterra::ParseDocument(contents), cells.Cells);
  return quinterra::BuildPanelImages(cells.CellsByWire);
}

// The panel's bytes at the start of a display memory file.
std::optional<quinterra::Bytes> PanelBytes(const std::string& path, size_t size) {
  const std::optional<std::string> contents = ReadOrSay(path);
  if (!contents) return std::nullopt;
  if (contents->size() < size) {
    std::cerr << "quinterra-image: " << path << " holds " << contents->size()
              << " bytes, the panel needs " << size << "\n";
    return std::nullopt;
  }
  return quinterra::Bytes(contents->begin(), contents->begin() + static_cast<long>(size));
}

int DrawPng(int argc, char** argv) {
  const std::string out = argv[2];
  std::optional<quinterra::Bytes> results, jackpots;
  if (argc == 4 && std::strncmp(argv[3], "--", 2) != 0) {
    const std::optional<std::string> contents = ReadOrSay(argv[3]);
    if (!contents) return 1;
    quinterra::PanelImages images = DocumentImages(*contents);
    results = std::move(images.results);
    jackpots = std::move(images.jackpots);
  } else {
    if (argc != 5 && argc != 7) return std::cerr << kUsage, 2;
    for (int i = 3; i + 1 < argc; i += 2) {
      const std::string option = argv[i];
      const bool is_results = option == "--results";
      if ((!is_results && option != "--jackpots") || (is_results ? results : jackpots))
        return std::cerr << kUsage, 2;
      auto bytes = PanelBytes(argv[i + 1], static_cast<size_t>(
                                               is_results ? quinterra::kResultsImageSize
                                                          : quinterra::kJackpotsImageSize));
      if (!bytes) return 1;
      (is_results ? results : jackpots) = std::move(bytes);
    }
  }
#ifdef QUINTERRA_IMAGE_PNG
  std::string reason;
  if (quinterra::WritePanelsViewPng(out, results ? &*results : nullptr,
                                    jackpots ? &*jackpots : nullptr, reason))
    return 0;
  std::cerr << "quinterra-image: " << reason << "\n";
  return 1;
#else
  std::cerr << "quinterra-image: --png needs the Qt build\n";
  return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return std::cout << kUsage << kHelp, 0;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
    return std::cout << "quinterra-image " QUINTERRA_VERSION "\n", 0;
  if (argc >= 4 && std::strcmp(argv[1], "--png") == 0) return DrawPng(argc, argv);
  if (argc != 2 || std::strcmp(argv[1], "--png") == 0) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string path = argv[1];
  const std::optional<std::string> contents = ReadOrSay(path);
  if (!contents) return 1;
  const quinterra::PanelImages images = DocumentImages(*contents);
  std::cout << Hex(images.results) << "\n" << Hex(images.jackpots) << "\n";
  return std::cout.flush() ? 0 : 1;
}
