#pragma once
// Number conversions of the device cycle, kept apart so they can be tested
// on their own.

#include <string>

namespace quinterra {
namespace device_cycle_text {

// A row field as a decimal integer: leading blanks, an optional sign and
// digits, nothing after them, within the range of int. False otherwise,
// with value untouched.
bool ParseDecimal(const std::string& text, int* value);

}  // namespace device_cycle_text
}  // namespace quinterra
