#include <gtest/gtest.h>

#include <string>

#include "panels/cell_kinds.h"

namespace quinterra {
namespace {

struct RangeCase {
  CellKind kind;
  int maximum;
};

TEST(CellKindRules, EditBoxesAndDrawingDifferPerKind) {
  // The Quinigol cells are 20 px wide, their edit box one pixel less.
  EXPECT_EQ(RulesFor(CellKind::QuinigolSign).edit_width, 19);
  EXPECT_EQ(RulesFor(CellKind::QuinigolSign).edit_height, 34);
  EXPECT_EQ(RulesFor(CellKind::QuinigolSign).max_length, 1);
  EXPECT_EQ(RulesFor(CellKind::QuinielaSign).edit_width, 40);
  EXPECT_EQ(RulesFor(CellKind::QuinielaSign).edit_height, 31);
  EXPECT_EQ(RulesFor(CellKind::QuinielaSign).font_size, 24);
  EXPECT_EQ(RulesFor(CellKind::Number49).max_length, 2);
  EXPECT_EQ(RulesFor(CellKind::Number49).font_size, 25);
  EXPECT_EQ(RulesFor(CellKind::Number49).draw_offset_y, 0);

  const CellKindRules& text = RulesFor(CellKind::JackpotText);
  EXPECT_EQ(text.edit_width, 213);
  EXPECT_EQ(text.edit_height, 38);
  EXPECT_EQ(text.max_length, 9);
  EXPECT_EQ(text.draw_offset_y, 2);
  EXPECT_FALSE(text.group_thousands);
  const CellKindRules& amount = RulesFor(CellKind::JackpotAmount);
  EXPECT_EQ(amount.edit_width, 183);
  EXPECT_EQ(amount.max_length, 9);
  EXPECT_EQ(amount.draw_offset_y, 2);
  EXPECT_TRUE(amount.group_thousands);
}

TEST(CellKindRules, TypingAcceptsOnlyTheKindsCharacters) {
  EXPECT_TRUE(AcceptsText(CellKind::Number49, "0123456789"));
  EXPECT_FALSE(AcceptsText(CellKind::Number49, "1a"));
  EXPECT_FALSE(AcceptsText(CellKind::Free, "-"));
  EXPECT_TRUE(AcceptsText(CellKind::QuinigolSign, "012Mm"));
  EXPECT_FALSE(AcceptsText(CellKind::QuinigolSign, "3"));
  EXPECT_FALSE(AcceptsText(CellKind::QuinigolSign, "X"));
  EXPECT_TRUE(AcceptsText(CellKind::QuinielaSign, "12Xx"));
  EXPECT_FALSE(AcceptsText(CellKind::QuinielaSign, "0"));
  EXPECT_FALSE(AcceptsText(CellKind::QuinielaSign, "M"));
  EXPECT_TRUE(AcceptsText(CellKind::JackpotText, "BOTEaz"));
  EXPECT_FALSE(AcceptsText(CellKind::JackpotText, "BOTE 1"));
  EXPECT_FALSE(AcceptsText(CellKind::JackpotText, "\xD1"));  // Ñ in Windows-1252
  EXPECT_FALSE(AcceptsText(CellKind::JackpotAmount, "1.000"));
  EXPECT_FALSE(AcceptsText(CellKind::Number49, std::string(1, '\0')));
  EXPECT_TRUE(AcceptsText(CellKind::Day, ""));
  EXPECT_FALSE(AcceptsText(static_cast<CellKind>(2), "1"));  // no such kind
}

TEST(CellKindRules, RangeKindsCheckBothEnds) {
  const RangeCase cases[] = {{CellKind::Number49, 49}, {CellKind::Number54, 54},
                             {CellKind::Number50, 50}, {CellKind::Number31, 31},
                             {CellKind::Number20, 20}, {CellKind::Day, 31},
                             {CellKind::Month, 12}};
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    EXPECT_FALSE(ValidateText(c.kind, "0"));
    EXPECT_TRUE(ValidateText(c.kind, "1"));
    EXPECT_TRUE(ValidateText(c.kind, "01"));
    EXPECT_TRUE(ValidateText(c.kind, std::to_string(c.maximum)));
    EXPECT_FALSE(ValidateText(c.kind, std::to_string(c.maximum + 1)));
    EXPECT_TRUE(ValidateText(c.kind, ""));
  }
}

TEST(CellKindRules, TextsThatAreNotWholeIntegersFailARangeCheck) {
  for (const char* text : {"1a", " 5", "5 ", "4 9", "-", "+", "1.0", "0x10", "$10", "\xB9"}) {
    EXPECT_FALSE(ValidateText(CellKind::Number49, text)) << text;
  }
  EXPECT_FALSE(ValidateText(CellKind::Number49, std::string("1\0", 2)));
  EXPECT_FALSE(ValidateText(CellKind::Number49, "-5"));
  EXPECT_TRUE(ValidateText(CellKind::Number49, "+5"));
  // Too long for any integer: fails instead of wrapping into the range.
  EXPECT_FALSE(ValidateText(CellKind::Number49, "4294967301"));
  EXPECT_FALSE(ValidateText(CellKind::Number49, "99999999999999999999999"));
}

TEST(CellKindRules, KindsWithoutRangeAcceptAnyLeftText) {
  for (CellKind kind : {CellKind::Free, CellKind::Matchday, CellKind::QuinigolSign,
                        CellKind::QuinielaSign, CellKind::JackpotText, CellKind::JackpotAmount}) {
    EXPECT_TRUE(ValidateText(kind, "0"));
    EXPECT_TRUE(ValidateText(kind, "xyz 99"));
  }
}

TEST(AmountText, DigitsOnlyKeepsDigitsInOrder) {
  EXPECT_EQ(DigitsOnly("1.234.567"), "1234567");
  EXPECT_EQ(DigitsOnly("a1b2 3\xB2"), "123");
  EXPECT_EQ(DigitsOnly(""), "");
}

TEST(AmountText, GroupThousandsDotsEveryThreeFromTheRight) {
  EXPECT_EQ(GroupThousands(""), "");
  EXPECT_EQ(GroupThousands("7"), "7");
  EXPECT_EQ(GroupThousands("123"), "123");
  EXPECT_EQ(GroupThousands("1234"), "1.234");
  EXPECT_EQ(GroupThousands("123456"), "123.456");
  EXPECT_EQ(GroupThousands("1234567"), "1.234.567");
  EXPECT_EQ(GroupThousands("999999999"), "999.999.999");
}

}  // namespace
}  // namespace quinterra
