#include "emulator/memory_dump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quinterra {
namespace {

std::string ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return "cannot write " + temporary + ": " + std::strerror(errno);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_error = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    return "cannot write " + temporary + ": " + std::strerror(written ? errno : write_error);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string error = std::strerror(errno);
    std::remove(temporary.c_str());
    return "cannot replace " + path + ": " + error;
  }
  return {};
}

}  // namespace

std::string DumpDeviceMemory(const std::string& folder, const TPanelDeviceEmulator& device) {
  struct File {
    const char* name;
    TMemoryArea area;
  };
  for (const File& file : {File{"display.bin", TMemoryArea::Display}, File{"directory.bin", TMemoryArea::Directory},
                           File{"config.bin", TMemoryArea::Config}}) {
    const std::string error = ReplaceFile(folder + "/" + file.name, device.Memory().Area(file.area));
    if (!error.empty()) return error;
  }
  return {};
}

}  // namespace quinterra
