#include "devices/log_file.h"

#include "platform/codepage1252.h"

namespace quinterra {

std::string LogFileBytes(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return Cp1252FromUtf8(text);
}

}  // namespace quinterra
