#include "config/numbers.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(Numbers, ReadNumberTakesTheNumberTheTextBeginsWith) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"500", 500},       {"  12.5x", 12.5}, {"-3.25", -3.25}, {".5", 0.5},
      {"4.5::-1::", 4.5}, {"abc", 0},        {"", 0},          {"-", 0},
      {"1e3", 1000},      {"2e", 2},         {"7.", 7},        {"+8", 8},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(readNumber(c.text), c.value) << c.text;
}

TEST(Numbers, WholeNumbersRoundHalvesToTheEvenNeighbour) {
  struct Case {
    double value;
    long long whole;
  } cases[] = {{2.5, 2},   {3.5, 4},       {7.5, 8},    {6.5, 6},    {-2.5, -2},
               {-3.5, -4}, {1000.5, 1000}, {2.4999, 2}, {2.5001, 3}, {0, 0}};
  for (const Case& c : cases) EXPECT_EQ(roundHalfEven(c.value), c.whole) << c.value;
}

TEST(Numbers, OneDecimalRoundingMatchesFileSizes) {
  // Sizes in megabytes of 262,144, 786,432 and 1,153,434 bytes.
  EXPECT_DOUBLE_EQ(roundOneDecimal(262144.0 / 1048576), 0.2);
  EXPECT_DOUBLE_EQ(roundOneDecimal(786432.0 / 1048576), 0.8);
  EXPECT_DOUBLE_EQ(roundOneDecimal(1153434.0 / 1048576), 1.1);
  EXPECT_DOUBLE_EQ(roundOneDecimal(1536.0 / 1024), 1.5);
  EXPECT_DOUBLE_EQ(roundOneDecimal(-0.25), -0.2);
}

TEST(Numbers, Forms) {
  struct Case {
    double value;
    const char* plain;
    const char* one_decimal;
  } cases[] = {
      {0, "0", "0.0"},
      {5, "5", "5.0"},
      {12.75, "12.75", "12.8"},
      {-500, "-500", "-500.0"},
      {0.5, "0.5", "0.5"},
      {-0.25, "-0.25", "-0.2"},
      {110.5, "110.5", "110.5"},
      {-0.04, "-0.04", "0.0"},
      {1234567.891, "1234567.891", "1234567.9"},
      // More than fifteen significant digits: rounded to fifteen, never an
      // exponent.
      {1.23456789012345678, "1.23456789012346", "1.2"},
      {1e20, "100000000000000000000", "100000000000000000000.0"},
      {0.000001, "0.000001", "0.0"},
      {123456789012345678.0, "123456789012346000", "123456789012345680.0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plainForm(c.value), c.plain) << c.value;
    EXPECT_EQ(oneDecimalForm(c.value), c.one_decimal) << c.value;
  }
  // A huge stored amount is written out, never as "inf".
  EXPECT_EQ(oneDecimalForm(1e308).substr(0, 16), "1000000000000000");
  EXPECT_EQ(oneDecimalForm(-1e308).substr(0, 17), "-1000000000000000");
  EXPECT_EQ(oneDecimalForm(1e308).find("inf"), std::string::npos);
  EXPECT_EQ(integerForm(-12), "-12");
  // Sums of decimal amounts keep no binary noise.
  EXPECT_EQ(plainForm(100 + 10.2 + 0.1), "110.3");
}

}  // namespace
}  // namespace quarvel
