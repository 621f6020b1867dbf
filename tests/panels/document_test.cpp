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
}

TEST(DocumentFormat, QuotesOnlyItemsThatNeedIt) {
  EXPECT_EQ(FormatDocument({"a b", "1,2", "say \"hi\""}),
            "\"a b\",\"1,2\",\"say \"\"hi\"\"\"\r\n");
  EXPECT_EQ(FormatDocument({"\x1F", "\x7F", "\xD1\xA0\xFF"}), "\"\x1F\",\x7F,\xD1\xA0\xFF\r\n");
  EXPECT_EQ(FormatDocument({std::string("a\0b", 3), ""}), std::string("\"a\0b\",\r\n", 8));
  // A lone empty item is quoted, else it would read back as no item at all.
  EXPECT_EQ(FormatDocument({""}), "\"\"\r\n");
}

TEST(DocumentReading, SplitsOnlyTheFirstLine) {
  EXPECT_EQ(ParseDocument(Commas(133) + "\r\n"), Items(kCellCount));
  EXPECT_EQ(ParseDocument("12,,3"), (Items{"12", "", "3"}));  // no line end at all
  EXPECT_EQ(ParseDocument("1,2\r\n3,4\r\n"), (Items{"1", "2"}));
  EXPECT_EQ(ParseDocument("1,2\n3"), (Items{"1", "2"}));
  EXPECT_EQ(ParseDocument("1,2\r3"), (Items{"1", "2"}));
  EXPECT_EQ(ParseDocument("\r\n1,2\r\n"), Items{});
  EXPECT_EQ(ParseDocument(""), Items{});
}

TEST(DocumentReading, BlanksAroundItemsAreSkippedAndEndPlainItems) {
  EXPECT_EQ(ParseDocument(" \x01 1 , 2\x1F,3\r\n"), (Items{"1", "2", "3"}));
  EXPECT_EQ(ParseDocument("a b,c"), (Items{"a", "b", "c"}));
  EXPECT_EQ(ParseDocument("1,\r\n"), (Items{"1", ""}));
  EXPECT_EQ(ParseDocument("1, ,"), (Items{"1", "", ""}));
  // Only a comma that ends the line closes one more, empty, item.
  EXPECT_EQ(ParseDocument("1, \r\n"), (Items{"1"}));
  EXPECT_EQ(ParseDocument("1,\t"), (Items{"1"}));
}

TEST(DocumentReading, QuotedItemsKeepEverythingInside) {
  EXPECT_EQ(ParseDocument("\"say \"\"hi\"\"\" , \"1,2\""), (Items{"say \"hi\"", "1,2"}));
  EXPECT_EQ(ParseDocument("\"ab\"cd,e"), (Items{"ab", "cd", "e"}));
}

TEST(DocumentReading, GarbageStaysInsideTheContents) {
  // A quote never closed takes the rest of its line only, even with a
  // quote further down the file.
  EXPECT_EQ(ParseDocument("1,\"a\"\"bc\r\n2,3"), (Items{"1", "a\"bc"}));
  EXPECT_EQ(ParseDocument("\"a b\r\nc\",d\r\n"), (Items{"a b"}));
  EXPECT_EQ(ParseDocument("1,\"a\n\"\"\""), (Items{"1", "a"}));
  EXPECT_EQ(ParseDocument("\""), Items{""});
  // A NUL outside quotes is a blank: it neither ends the reading nor stalls it.
  EXPECT_EQ(ParseDocument(std::string("1\0,2\0\0" "3", 7)), (Items{"1", "2", "3"}));
  EXPECT_EQ(ParseDocument(std::string(40, '\0')), Items{});
}

TEST(DocumentReading, RandomTextsReadBackAsWritten) {
  std::mt19937 rng(1252);
  // No line breaks: cells never hold them.
  const std::string kSpecial = " \",\t\x01\x1F\x7F\x80\xFF";
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 500; ++round) {
    Items texts(kCellCount);
    for (std::string& text : texts) {
      for (int n = byte(rng) % 13; n > 0; --n) {
        switch (byte(rng) % 3) {
          case 0: text += static_cast<char>('0' + byte(rng) % 10); break;
          case 1: text += kSpecial[static_cast<size_t>(byte(rng)) % kSpecial.size()]; break;
          default: {  // NUL included
            const char c = static_cast<char>(byte(rng));
            if (c != '\r' && c != '\n') text += c;
          }
        }
      }
    }
    ASSERT_EQ(ParseDocument(FormatDocument(texts)), texts) << "round " << round;
  }
}

TEST(DocumentItems, GoToCellsInIndexOrderWhileBothRemain) {
  TCellSet set;
  for (TCasilla& cell : set.Cells) cell.Text = "old";
  ApplyDocumentItems(ParseDocument("1,,3\r\n"), set.Cells);
  EXPECT_EQ(set.Cells[0].Text, "1");
  EXPECT_EQ(set.Cells[1].Text, "");
  EXPECT_EQ(set.Cells[3].Text, "old");
  EXPECT_EQ(set.Cells[133].Text, "old");
  // Extra items are dropped; texts are stored unchecked.
  ApplyDocumentItems(Items(kCellCount + 5, "99 X"), set.Cells);
  EXPECT_EQ(set.Cells[133].Text, "99 X");
  ApplyDocumentItems(ParseDocument("\r\n"), set.Cells);  // empty first line: unchanged
  EXPECT_EQ(set.Cells[0].Text, "99 X");
}

}  // namespace
}  // namespace quinterra
