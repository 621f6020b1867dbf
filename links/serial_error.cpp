#include "links/serial_error.h"

#include <cstdio>
#include <vector>

namespace quinterra {

std::string SerialErrorText(const TSerialError& error) {
  const std::string message = SystemErrorText(error.code);
  std::vector<char> text(message.size() + 32);
  std::snprintf(text.data(), text.size(), "ERROR: 0x%X %s", static_cast<unsigned>(error.code),
                message.c_str());
  return text.data();
}

}  // namespace quinterra
