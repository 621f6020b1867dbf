// Number conversions used for row fields and edit boxes.

#include <climits>

#include <gtest/gtest.h>

#include "platform/number_text.h"

namespace quinterra {
namespace {

TEST(NumberText, AFieldIntegerTakesLeadingBlanksAndWholeNumbersOnly) {
  EXPECT_EQ(ParseFieldInteger("19200"), 19200);
  EXPECT_EQ(ParseFieldInteger("  03"), 3);
  EXPECT_EQ(ParseFieldInteger("-7"), -7);
  EXPECT_EQ(ParseFieldInteger("2147483647"), INT_MAX);
  EXPECT_EQ(ParseFieldInteger("-2147483648"), INT_MIN);
  for (const char* bad : {"", " ", "x", "3x", "3 ", "+", "2147483648", "99999999999999999999", "1.5"}) {
    EXPECT_FALSE(ParseFieldInteger(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace quinterra
