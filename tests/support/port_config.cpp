#include "tests/support/port_config.h"

#include <fstream>

namespace quinterra::test {

std::string PuertosSection(const PortList& ports) {
  std::string text = "[Puertos]\r\n";
  for (const auto& [number, path] : ports) text += "COM" + std::to_string(number) + "=" + path + "\r\n";
  return text;
}

void WritePortConfig(const std::string& path, const PortList& ports) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "[Config]\r\nUltimo=\r\n" << PuertosSection(ports);
}

}  // namespace quinterra::test
