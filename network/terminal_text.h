#pragma once
// Texts that come from a shop (its reason, anything in its report) printed
// on the office's terminal. A shop's certificate lets it write its own
// report, not the office's screen: escape sequences could set the
// terminal's title, clear it, or draw lines that seem to be other shops'.

#include <string>

namespace quinterra {

// text with every control character replaced by '?': C0 (line breaks and
// ESC too), DEL, the C1 range (as UTF-8, and as raw bytes that a terminal
// in a one-byte code page would obey) and the bidirectional overrides that
// reorder what is shown. Any byte that is not part of valid UTF-8 is replaced
// as well; the rest, accents included, is kept.
std::string TerminalSafe(const std::string& text);

}  // namespace quinterra
