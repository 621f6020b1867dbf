#include <cstring>

#include "platform/os_text.h"

namespace quinterra {

std::string SystemErrorText(uint32_t code) {
  char buffer[256];
  // GNU strerror_r: returns the text, which may or may not be in buffer.
  const char* text = ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  return text != nullptr ? text : "";
}

}  // namespace quinterra
