#pragma once
// The COM ports offered by the search window and the rates offered for each.
// The rules are pure functions over plain lists, so they can be checked with
// made-up port lists; the functions at the end feed them from this machine.

#include <functional>
#include <string>
#include <vector>

#include "platform/number_text.h"

namespace quinterra {

class TComPortMap;


// Friendly names of the present ports, such as "USB Serial Port (COM10)",
// to the entries of the COM list, such as "COM10 - USB Serial Port", sorted
// by COM number. Names without "(COM" are skipped.
std::vector<std::string> ComPortEntries(const std::vector<std::string>& friendly_names);

// The rates the search window offers for an entry of the COM list.
struct TRateChoices {
  std::vector<std::string> items;  // speed list; its first item is the one selected
  std::vector<int> rate_list;      // RateList: the rates, ascending, without "Auto"
};

// The rates of the speed list: 9600 14400 19200 38400 56000 57600 115200 128000.
const std::vector<int>& OfferedRates();

// A Bluetooth entry (one that contains "bluetooth" in any letter case) offers 57600 alone, without "Auto";
// any other offers "Auto" then those of OfferedRates() found in settable_rates.
TRateChoices RateChoices(const std::string& entry, const std::vector<int>& settable_rates);

// Tells the rates a COM number can be set to (SettableRates on this machine).
using SettableRatesOf = std::function<std::vector<int>(int com_number)>;

// The speed list for an entry of the COM list: RateChoices with the settable
// rates of the entry's COM number. The port is asked whatever the entry,
// Bluetooth included; an entry without a COM number has no settable rate.
TRateChoices ListRates(const std::string& entry, const SettableRatesOf& settable_rates);

// --- this machine ---

// Friendly names of the serial ports present, "<description or port name> (COM<n>)",
// including mapped overrides whose device exists. Ports without a COM number
// are left out.
std::vector<std::string> PresentPortNames(const TComPortMap& ports);

// Those of OfferedRates() COM com_number can be set to (on Linux all of them,
// as termios2 takes any rate), none when its device cannot be opened.
std::vector<int> SettableRates(int com_number, const TComPortMap& ports);

// ComPortEntries(PresentPortNames(ports)).
std::vector<std::string> ListComPorts(const TComPortMap& ports);

}  // namespace quinterra
