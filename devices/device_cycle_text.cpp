#include "devices/device_cycle_text.h"

#include <optional>

#include "platform/number_text.h"

namespace quinterra {
namespace device_cycle_text {

bool ParseDecimal(const std::string& text, int* value) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return false;
  const std::optional<int> parsed = ParseWholeInteger(text.substr(start));
  if (!parsed) return false;
  *value = *parsed;
  return true;
}

}  // namespace device_cycle_text
}  // namespace quinterra
