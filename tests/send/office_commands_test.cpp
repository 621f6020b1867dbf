// What the office's commands print of a shop's own words.

#include <gtest/gtest.h>

#include "send/office_commands.h"

namespace quinterra {
namespace {

TEST(TerminalSafe, ControlCharactersOfAShopsWordsNeverReachTheTerminal) {
  EXPECT_EQ(TerminalSafe("sin respuesta de «R» en Cádiz"), "sin respuesta de «R» en Cádiz");
  EXPECT_EQ(TerminalSafe("a\x1b]0;título\x07" "b"), "a?]0;título?b") << "ESC and BEL";
  EXPECT_EQ(TerminalSafe("a\r\nb\tc\x7f"), "a??b?c?");
  // C1 controls in UTF-8 (U+009B is a CSI on many terminals), and bytes
  // that are no UTF-8 at all, among them a lone 0x9B.
  EXPECT_EQ(TerminalSafe("x\xc2\x9b" "31mx\xc2\x85y"), "x?31mx?y");
  EXPECT_EQ(TerminalSafe("\x9b" "2J\xe2\x82" "z\xf0"), "?2J??z?");
  EXPECT_EQ(TerminalSafe("\xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80"), "\xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80");
}

}  // namespace
}  // namespace quinterra
