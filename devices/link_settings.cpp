#include "devices/link_settings.h"

#include "platform/number_text.h"

namespace quinterra {
namespace {

constexpr int kFallbackRate = 9600;

}  // namespace

TSearchRate ChooseSearchRate(const TLinkSettings& settings) {
  TSearchRate choice;
  if (settings.Rate != "Auto") {
    choice.Rate = NumberOrZero(settings.Rate);
    choice.LogLine = "{" + settings.Rate + "}";
    return choice;
  }
  if (!settings.RateList.empty()) {
    choice.Rate = settings.RateList.front();
    choice.RateIndex = 0;
  } else {
    choice.Rate = kFallbackRate;
  }
  choice.LogLine = "{" + std::to_string(choice.Rate) + "}";
  return choice;
}

int NumberOrZero(const std::string& text) {
  const char* const blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return 0;
  const std::size_t last = text.find_last_not_of(blanks);
  return ParseWholeInteger(text.substr(first, last - first + 1)).value_or(0);
}

}  // namespace quinterra
