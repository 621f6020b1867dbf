#include "links/port_listing.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace quinterra {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsBluetoothEntry(const std::string& entry) {
  return Lower(entry).find("bluetooth") != std::string::npos;
}

}  // namespace

std::vector<std::string> ComPortEntries(const std::vector<std::string>& friendly_names) {
  std::vector<std::string> entries;
  for (const std::string& name : friendly_names) {
    const std::size_t open = name.find("(COM");
    if (open == std::string::npos) continue;
    // The description ends with the blank before the parenthesis.
    const std::string description = open > 0 ? name.substr(0, open - 1) : std::string();
    const std::size_t close = name.find(')', open);
    const std::string port =
        name.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    entries.push_back(port + " - " + description);
  }
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return NumberInText(a, 0) < NumberInText(b, 0);
  });
  return entries;
}

const std::vector<int>& OfferedRates() {
  static const std::vector<int> rates = {9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000};
  return rates;
}

TRateChoices RateChoices(const std::string& entry, const std::vector<int>& settable_rates) {
  TRateChoices choices;
  if (IsBluetoothEntry(entry)) {
    choices.rate_list = {57600};
  } else {
    choices.items.push_back("Auto");
    for (int rate : OfferedRates()) {
      if (std::find(settable_rates.begin(), settable_rates.end(), rate) != settable_rates.end()) {
        choices.rate_list.push_back(rate);
      }
    }
  }
  for (int rate : choices.rate_list) choices.items.push_back(std::to_string(rate));
  return choices;
}

TRateChoices ListRates(const std::string& entry, const SettableRatesOf& settable_rates) {
  const int com_number = NumberInText(entry, 0);
  return RateChoices(entry, com_number > 0 ? settable_rates(com_number) : std::vector<int>());
}

}  // namespace quinterra
