// Number conversions used for row fields.

#include <climits>

#include <gtest/gtest.h>

#include "devices/device_cycle_text.h"

namespace quinterra {
namespace {

using device_cycle_text::ParseDecimal;

TEST(DeviceCycleText, ParseDecimalTakesWholeNumbersOnly) {
  int value = 0;
  EXPECT_TRUE(ParseDecimal("19200", &value));
  EXPECT_EQ(value, 19200);
  EXPECT_TRUE(ParseDecimal("  03", &value));
  EXPECT_EQ(value, 3);
  EXPECT_TRUE(ParseDecimal("-7", &value));
  EXPECT_EQ(value, -7);
  EXPECT_TRUE(ParseDecimal("2147483647", &value));
  EXPECT_EQ(value, INT_MAX);
  EXPECT_TRUE(ParseDecimal("-2147483648", &value));
  EXPECT_EQ(value, INT_MIN);

  value = 42;
  for (const char* bad : {"", " ", "x", "3x", "3 ", "+", "2147483648", "99999999999999999999", "1.5"}) {
    EXPECT_FALSE(ParseDecimal(bad, &value)) << bad;
  }
  EXPECT_EQ(value, 42);  // untouched by a failure
}

}  // namespace
}  // namespace quinterra
