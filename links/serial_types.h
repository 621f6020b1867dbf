#pragma once
// Line settings of a serial port. The ordinals are the codes the serial
// worker's properties take (ParitySerie 0 = none ...).

#include <cstdint>

namespace quinterra {

// The ordinal is the COM number, 0 = no port. Any number from 1 to 255 can be
// used as a port, named here or not.
enum TSerialPort : uint8_t {
  TsPortNone, TsPortCOM1, TsPortCOM2, TsPortCOM3, TsPortCOM4, TsPortCOM5, TsPortCOM6,
  TsPortCOM7, TsPortCOM8, TsPortCOM9, TsPortCOM10, TsPortCOM11, TsPortCOM12, TsPortCOM13,
  TsPortCOM14, TsPortCOM15, TsPortCOM16, TsPortCOM17, TsPortCOM18, TsPortCOM19, TsPortCOM20,
  TsPortCOM21, TsPortCOM22, TsPortCOM23, TsPortCOM24, TsPortCOM25, TsPortCOM26, TsPortCOM27,
  TsPortCOM28, TsPortCOM29, TsPortCOM30, TsPortCOM31, TsPortCOM32
};

enum TSerialBaudRate {
  Tsbr110, Tsbr300, Tsbr600, Tsbr1200, Tsbr2400, Tsbr4800, Tsbr9600, Tsbr14400, Tsbr19200,
  Tsbr38400, Tsbr56000, Tsbr57600, Tsbr115200, Tsbr128000, Tsbr256000
};

enum TSerialParity { TspNone, TspOdd, TspEven, TspMark, TspSpace };

enum TSerialDataBits { Tsd4Bits, Tsd5Bits, Tsd6Bits, Tsd7Bits, Tsd8Bits };

enum TSerialStopBits { Tssb1, Tssb1p5, Tssb2 };

enum TDtrFlow { TdfDisable, TdfEnable, TdfHandshake };

enum TRtsFlow { TrfDisable, TrfEnable, TrfHandshake, TrfToggle };

// Bits per second of a rate, 0 for a value outside the enumeration.
int BaudRateValue(TSerialBaudRate rate);
// The enumerator of bits per second; false when the rate is not one of them.
bool BaudRateFromValue(int bits_per_second, TSerialBaudRate* rate);

}  // namespace quinterra
