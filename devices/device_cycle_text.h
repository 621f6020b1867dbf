#pragma once
// Number conversions of the device cycle, kept apart so they can be tested
// on their own.

#include <string>

namespace quinterra {
namespace device_cycle_text {

// A whole text as a decimal integer: leading blanks, an optional sign and
// digits, nothing after them, within the range of int. False otherwise.
bool ParseDecimal(const std::string& text, int* value);

// The first run of decimal digits in a text as an integer ("COM12 - USB"
// gives 12); -1 when there is none or it does not fit an int.
int FirstNumberIn(const std::string& text);

}  // namespace device_cycle_text
}  // namespace quinterra
