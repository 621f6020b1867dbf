#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "panels/document.h"
#include "panels/panel_layout.h"

namespace quinterra {
namespace {

using Items = std::vector<std::string>;

std::string Commas(int n) { return std::string(static_cast<size_t>(n), ','); }

TEST(DocumentFormat, EmptyCellsGiveNothingBetweenCommas) {
  EXPECT_EQ(FormatDocument(Items(kCellCount)), Commas(133) + "\r\n");
  Items texts(kCellCount);
  texts[0] = "12";
  EXPECT_EQ(FormatDocument(texts), "12" + Commas(133) + "\r\n");
  texts[133] = "5000000";
  EXPECT_EQ(FormatDocument(texts), "12" + Commas(133) + "5000000\r\n");
}

TEST(DocumentFormat, QuotesOnlyItemsThatNeedIt) {
  EXPECT_EQ(FormatDocument({"a b", "x"}), "\"a b\",x\r\n");
  EXPECT_EQ(FormatDocument({"1,2", "say \"hi\""}), "\"1,2\",\"say \"\"hi\"\"\"\r\n");
  EXPECT_EQ(FormatDocument({"\"", "\t"}), "\"\"\"\",\"\t\"\r\n");
  EXPECT_EQ(FormatDocument({"\x1F", "\x7F"}), "\"\x1F\",\x7F\r\n");
  // Windows-1252 letters and the NBSP (0xA0) are not control characters.
  EXPECT_EQ(FormatDocument({"\xD1" "A\xA0", "\xFF"}), "\xD1" "A\xA0,\xFF\r\n");
  EXPECT_EQ(FormatDocument({std::string("a\0b", 3), "c"}), std::string("\"a\0b\",c\r\n", 9));
}

TEST(DocumentFormat, ALoneEmptyItemStillReadsBack) {
  EXPECT_EQ(FormatDocument({""}), "\"\"\r\n");
  EXPECT_EQ(ParseDocument(FormatDocument({""})), Items{""});
  EXPECT_EQ(FormatDocument({}), "\r\n");
}

TEST(DocumentReading, SplitsTheFirstLineAtCommas) {
  EXPECT_EQ(ParseDocument(Commas(133) + "\r\n"), Items(kCellCount));
  EXPECT_EQ(ParseDocument("12,,3\r\n"), (Items{"12", "", "3"}));
  EXPECT_EQ(ParseDocument("12,,3"), (Items{"12", "", "3"}));  // no line end at all
  EXPECT_EQ(ParseDocument("a,\r\n"), (Items{"a", ""}));
  EXPECT_EQ(ParseDocument(","), (Items{"", ""}));
}

TEST(DocumentReading, OnlyTheFirstLineCounts) {
  EXPECT_EQ(ParseDocument("1,2\r\n3,4\r\n"), (Items{"1", "2"}));
  EXPECT_EQ(ParseDocument("1,2\n3,4"), (Items{"1", "2"}));
  EXPECT_EQ(ParseDocument("1,2\r3,4"), (Items{"1", "2"}));
  EXPECT_EQ(ParseDocument("\r\n1,2\r\n"), Items{});
  EXPECT_EQ(ParseDocument(""), Items{});
  EXPECT_EQ(ParseDocument("   \t "), Items{});
}

TEST(DocumentReading, BlanksAroundItemsAreSkippedAndEndPlainItems) {
  EXPECT_EQ(ParseDocument("  1 , 2 ,3\r\n"), (Items{"1", "2", "3"}));
  EXPECT_EQ(ParseDocument("\x01\x1F" "7,\x14" "8"), (Items{"7", "8"}));
  // A blank inside an unquoted item ends it; what follows is the next item.
  EXPECT_EQ(ParseDocument("a b,c"), (Items{"a", "b", "c"}));
  // Blanks after the last comma still close one more, empty, item.
  EXPECT_EQ(ParseDocument("1, \r\n"), (Items{"1", ""}));
  EXPECT_EQ(ParseDocument("\xD1\xFF,\x7F"), (Items{"\xD1\xFF", "\x7F"}));
}

TEST(DocumentReading, QuotedItemsKeepEverythingInside) {
  EXPECT_EQ(ParseDocument("\"a b\",x"), (Items{"a b", "x"}));
  EXPECT_EQ(ParseDocument("\"say \"\"hi\"\"\""), Items{"say \"hi\""});
  EXPECT_EQ(ParseDocument("\"1,2\" , \"\""), (Items{"1,2", ""}));
  EXPECT_EQ(ParseDocument("\"\"\"\""), Items{"\""});
  // Text right after a closing quote is the next item.
  EXPECT_EQ(ParseDocument("\"ab\"cd,e"), (Items{"ab", "cd", "e"}));
  // A line break inside quotes belongs to the item, and reading goes on.
  EXPECT_EQ(ParseDocument("\"a\r\nb\",c\r\nd"), (Items{"a\r\nb", "c"}));
}

TEST(DocumentReading, GarbageNeverEscapesTheContents) {
  // A quote never closed takes the rest of its line only.
  EXPECT_EQ(ParseDocument("1,\"abc\r\n2,3"), (Items{"1", "abc"}));
  EXPECT_EQ(ParseDocument("\""), Items{""});
  EXPECT_EQ(ParseDocument("1,\"a\"\"b"), (Items{"1", "a\"b"}));
  // A NUL outside quotes is a blank: it neither stops the reading nor stalls it.
  EXPECT_EQ(ParseDocument(std::string("1\0,2\0\0" "3", 7)), (Items{"1", "2", "3"}));
  EXPECT_EQ(ParseDocument(std::string(40, '\0')), Items{});
  EXPECT_EQ(ParseDocument(std::string("\"a\0b\"", 5)), Items{std::string("a\0b", 3)});
}

TEST(DocumentReading, RandomTextsReadBackAsWritten) {
  std::mt19937 rng(1252);
  const std::string kSpecial = " \",\r\n\t\x01\x1F\x7F\x80\xFF\xE9";
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> kind(0, 3);
  std::uniform_int_distribution<int> length(0, 12);
  for (int round = 0; round < 500; ++round) {
    Items texts(kCellCount);
    for (std::string& text : texts) {
      const int n = length(rng);
      for (int i = 0; i < n; ++i) {
        switch (kind(rng)) {
          case 0: text += static_cast<char>('0' + byte(rng) % 10); break;
          case 1: text += kSpecial[static_cast<size_t>(byte(rng)) % kSpecial.size()]; break;
          default: text += static_cast<char>(byte(rng)); break;  // NUL included
        }
      }
    }
    ASSERT_EQ(ParseDocument(FormatDocument(texts)), texts) << "round " << round;
  }
}

TEST(DocumentItems, GoToCellsInIndexOrderWhileBothRemain) {
  TCellSet set;
  for (TCasilla& cell : set.Cells) cell.Text = "old";
  ApplyDocumentItems({"1", "", "3"}, set.Cells);
  EXPECT_EQ(set.Cells[0].Text, "1");
  EXPECT_EQ(set.Cells[1].Text, "");
  EXPECT_EQ(set.Cells[2].Text, "3");
  EXPECT_EQ(set.Cells[3].Text, "old");
  EXPECT_EQ(set.Cells[133].Text, "old");

  // Extra items are dropped; texts are stored as they are, unchecked.
  Items many(kCellCount + 5, "99 X");
  ApplyDocumentItems(many, set.Cells);
  EXPECT_EQ(set.Cells[133].Text, "99 X");

  ApplyDocumentItems(ParseDocument("\r\n"), set.Cells);  // empty first line: unchanged
  EXPECT_EQ(set.Cells[0].Text, "99 X");
}

TEST(DocumentItems, ASavedDocumentLoadsIntoAFreshCellSet) {
  TCellSet saved;
  saved.Cells[0].Text = "18";
  saved.Cells[115].Text = "X";
  saved.Cells[125].Text = "1234567";
  saved.Cells[116].Text = "BOTE";
  TCellSet loaded;
  ApplyDocumentItems(ParseDocument(FormatDocument(saved.Texts())), loaded.Cells);
  EXPECT_EQ(loaded.Texts(), saved.Texts());
}

}  // namespace
}  // namespace quinterra
