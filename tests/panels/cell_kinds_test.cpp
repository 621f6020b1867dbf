#include <gtest/gtest.h>

#include <string>

#include "panels/cell_kinds.h"

namespace quinterra {
namespace {

TEST(CellKindRules, EditBoxesFitTheirCells) {
  // The Quinigol cells are 20 px wide, their edit box one pixel less.
  EXPECT_EQ(RulesFor(CellKind::QuinigolSign).edit_width, 19);
  EXPECT_EQ(RulesFor(CellKind::QuinielaSign).font_size, 24);
  EXPECT_TRUE(RulesFor(CellKind::JackpotAmount).group_thousands);
  EXPECT_FALSE(RulesFor(CellKind::JackpotText).group_thousands);
}

TEST(CellKindRules, TypingAcceptsOnlyTheKindsCharacters) {
  EXPECT_TRUE(AcceptsText(CellKind::Number49, "0123456789"));
  EXPECT_FALSE(AcceptsText(CellKind::Number49, "1a"));
  EXPECT_TRUE(AcceptsText(CellKind::QuinigolSign, "012Mm"));
  EXPECT_FALSE(AcceptsText(CellKind::QuinigolSign, "X"));
  EXPECT_TRUE(AcceptsText(CellKind::QuinielaSign, "12Xx"));
  EXPECT_FALSE(AcceptsText(CellKind::QuinielaSign, "0"));
  EXPECT_TRUE(AcceptsText(CellKind::JackpotText, "BOTEaz"));
  EXPECT_FALSE(AcceptsText(CellKind::JackpotText, "\xD1"));  // Ñ in Windows-1252
  EXPECT_FALSE(AcceptsText(CellKind::JackpotAmount, "1.000"));
  EXPECT_FALSE(AcceptsText(CellKind::Number49, std::string(1, '\0')));
  EXPECT_FALSE(AcceptsText(static_cast<CellKind>(2), "1"));  // no such kind
}

TEST(CellKindRules, RangeKindsCheckBothEnds) {
  const std::pair<CellKind, int> cases[] = {
      {CellKind::Number49, 49}, {CellKind::Number54, 54}, {CellKind::Number50, 50},
      {CellKind::Number31, 31}, {CellKind::Number20, 20}, {CellKind::Day, 31},
      {CellKind::Month, 12}};
  for (const auto& [kind, maximum] : cases) {
    SCOPED_TRACE(static_cast<int>(kind));
    EXPECT_FALSE(ValidateText(kind, "0"));
    EXPECT_TRUE(ValidateText(kind, "01"));
    EXPECT_TRUE(ValidateText(kind, std::to_string(maximum)));
    EXPECT_FALSE(ValidateText(kind, std::to_string(maximum + 1)));
    EXPECT_TRUE(ValidateText(kind, ""));
  }
  EXPECT_TRUE(ValidateText(CellKind::Matchday, "0"));  // no range
  EXPECT_TRUE(ValidateText(CellKind::Free, "xyz 99"));
}

TEST(CellKindRules, TextsThatAreNotWholeIntegersFailARangeCheck) {
  for (const char* text : {"1a", " 5", "5 ", "4 9", "-", "1.0", "0x10", "$10", "-5", "\xB9"}) {
    EXPECT_FALSE(ValidateText(CellKind::Number49, text)) << text;
  }
  EXPECT_FALSE(ValidateText(CellKind::Number49, std::string("1\0", 2)));
  // Too long for any integer: fails instead of wrapping into the range.
  EXPECT_FALSE(ValidateText(CellKind::Number49, "4294967301"));
  EXPECT_FALSE(ValidateText(CellKind::Number49, "99999999999999999999999"));
}

TEST(AmountText, DigitsAndThousandsGroups) {
  EXPECT_EQ(DigitsOnly("1.234.567"), "1234567");
  EXPECT_EQ(DigitsOnly("a1b2 3\xB2"), "123");
  EXPECT_EQ(GroupThousands(""), "");
  EXPECT_EQ(GroupThousands("123"), "123");
  EXPECT_EQ(GroupThousands("1234"), "1.234");
  EXPECT_EQ(GroupThousands("123456"), "123.456");
  EXPECT_EQ(GroupThousands("1234567"), "1.234.567");
}

}  // namespace
}  // namespace quinterra
