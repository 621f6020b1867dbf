#pragma once
// The link "Buscar" searches on, as the search window's controls give it,
// and the rate a serial search opens at.

#include <string>
#include <vector>

#include "devices/panel_types.h"

namespace quinterra {

struct TLinkSettings {
  // "TCP/IP" or "SERIE"; None when neither is checked (nothing is searched).
  TLinkKind Kind = TLinkKind::Serial;
  std::string IpAddress;  // as typed
  std::string TcpPort;    // as typed
  // An entry of the COM list, e.g. "COM3 - Communications Port".
  std::string ComEntry;
  // "Auto" or a rate of the speed list.
  std::string Rate = "Auto";
  // The rates offered for ComEntry, ascending, without "Auto".
  std::vector<int> RateList;
};

// Where a serial search starts: the rate it opens at, the place in RateList
// the automatic rate search steps from (-1: a fixed rate, no stepping), and
// the rate line it logs.
struct TSearchRate {
  int Rate = 0;
  int RateIndex = -1;
  std::string LogLine;
};

// "Auto" opens at the first rate of the list and steps through it; a fixed
// rate opens at that rate alone. "Auto" with no rate known for the port (it
// could not be opened while listing) still tries the lowest rate offered
// anywhere, 9600, and steps no further.
TSearchRate ChooseSearchRate(const TLinkSettings& settings);

// A number typed in an edit box or chosen in a list, blanks around it
// allowed; 0 for any other text.
int NumberOrZero(const std::string& text);

}  // namespace quinterra
