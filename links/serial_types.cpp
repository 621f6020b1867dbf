#include "links/serial_types.h"

#include <iterator>

namespace quinterra {
namespace {

constexpr int kRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                          19200, 38400, 56000, 57600, 115200, 128000, 256000};

}  // namespace

int BaudRateValue(TSerialBaudRate rate) {
  const int index = static_cast<int>(rate);
  if (index < 0 || index >= static_cast<int>(std::size(kRates))) return 0;
  return kRates[index];
}

bool BaudRateFromValue(int bits_per_second, TSerialBaudRate* rate) {
  for (int i = 0; i < static_cast<int>(std::size(kRates)); ++i) {
    if (kRates[i] == bits_per_second) {
      *rate = static_cast<TSerialBaudRate>(i);
      return true;
    }
  }
  return false;
}

}  // namespace quinterra
