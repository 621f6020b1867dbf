#include "platform/codepage1252.h"

#include <gtest/gtest.h>

#include <string>

namespace quinterra {
namespace {

TEST(Codepage1252, EveryByteSurvivesARoundTripThroughUtf8) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  const std::string utf8 = Utf8FromCp1252(all);
  EXPECT_EQ(Cp1252FromUtf8(utf8), all);
}

TEST(Codepage1252, MapsTheWindowsCharactersBothWays) {
  struct Pair {
    const char* cp1252;
    const char* utf8;
  };
  const Pair pairs[] = {
      {"\x80", "\u20AC"},           // euro sign
      {"\x8A", "\u0160"},           // S caron
      {"\x96", "\u2013"},           // en dash
      {"\x9F", "\u0178"},           // Y diaeresis
      {"\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},  // undefined: C1 controls
      {"Compilaci\xF3n", "Compilaci\u00F3n"},
      {"\xA0\xBF\xD1\xFF", "\u00A0\u00BF\u00D1\u00FF"},
  };
  for (const Pair& pair : pairs) {
    EXPECT_EQ(Utf8FromCp1252(pair.cp1252), pair.utf8);
    EXPECT_EQ(Cp1252FromUtf8(pair.utf8), pair.cp1252);
  }
}

TEST(Codepage1252, CharactersWithoutACodeBecomeOneQuestionMarkEach) {
  EXPECT_EQ(Cp1252FromUtf8("a\u65E5b"), "a?b");
  EXPECT_EQ(Cp1252FromUtf8("\U0001F600"), "?");
  EXPECT_EQ(Cp1252FromUtf8("\u0080"), "?");  // a C1 control Windows-1252 gives a character
}

TEST(Codepage1252, MalformedUtf8IsReplacedWithoutReadingPastTheEnd) {
  // Each case ends inside a sequence or breaks one; the sanitizer builds
  // would report any read past the string.
  EXPECT_EQ(Cp1252FromUtf8("\xC3"), "?");
  EXPECT_EQ(Cp1252FromUtf8("ok\xE2\x82"), "ok?");
  EXPECT_EQ(Cp1252FromUtf8("\xF0\x9F\x98"), "?");
  EXPECT_EQ(Cp1252FromUtf8("\x80x"), "?x");            // stray continuation
  EXPECT_EQ(Cp1252FromUtf8("\xC0\xAF"), "??");         // overlong '/'
  EXPECT_EQ(Cp1252FromUtf8("\xED\xA0\x80"), "???");    // surrogate
  EXPECT_EQ(Cp1252FromUtf8("\xF4\x90\x80\x80"), "????");  // past U+10FFFF
  EXPECT_EQ(Cp1252FromUtf8("\xC3" "A"), "?A");         // the next character survives
  EXPECT_EQ(Cp1252FromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace quinterra
