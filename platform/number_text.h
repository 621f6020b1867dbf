#pragma once
// Numbers read out of texts: settings values, row fields and port names.

#include <optional>
#include <string>

namespace quinterra {

// The whole text as a decimal integer: an optional sign and digits, nothing
// else, within the range of int.
std::optional<int> ParseWholeInteger(const std::string& text);

// A number as a row field or an edit box holds it: leading blanks, then a
// whole integer as above, nothing after it.
std::optional<int> ParseFieldInteger(const std::string& text);

// The k-th (from 0) run of decimal digits in text as an integer, -1 when
// there is none: NumberInText("COM12 - USB Serial Port", 0) == 12. A run too
// long for an int gives INT_MAX.
int NumberInText(const std::string& text, int k);

}  // namespace quinterra
