#include "reports/standing.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

std::string joined(const Substitutions& substitutions) {
  std::string text;
  for (const auto& pair : substitutions) text += pair.first + "=" + pair.second + " ";
  return text;
}

TEST(StandingTest, TrialAmounts) {
  struct Case {
    const char* label;
    const char* record;
    long long required;
    const char* expected;
  } cases[] = {
      {"over-achiever: left not clamped", "1500::5::G", 1000,
       "$MBLEFT=-500.0 $UPLOADED=1500 $DAYSLEFT=5 $PERDAY=-100.0 "},
      {"below 1 written with a leading zero", "0.5::10::G", 1000,
       "$MBLEFT=999.5 $UPLOADED=0.5 $DAYSLEFT=10 $PERDAY=100.0 "},
      {"per day rounded half to even", "999::4::G", 1000,
       "$MBLEFT=1.0 $UPLOADED=999 $DAYSLEFT=4 $PERDAY=0.2 "},
      {"days taken as a whole number (7.5 -> 8)", "200::7.5::G", 1000,
       "$MBLEFT=800.0 $UPLOADED=200 $DAYSLEFT=8 $PERDAY=100.0 "},
      {"no day left: the whole amount is due", "600::0::G", 1000,
       "$MBLEFT=400.0 $UPLOADED=600 $DAYSLEFT=0 $PERDAY=400.0 "},
      {"days below zero: the whole amount is due", "600::-3::G", 1000,
       "$MBLEFT=400.0 $UPLOADED=600 $DAYSLEFT=-3 $PERDAY=400.0 "},
      {"empty record", "", 1000, "$MBLEFT=1000.0 $UPLOADED=0 $DAYSLEFT=0 $PERDAY=1000.0 "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(joined(trialAmountTokens(trialStanding(c.record, c.required))), c.expected)
        << c.label;
  }
}

// The trial report writes the uploaded amount in plain form.
TEST(StandingTest, TrialUploadedInPlainForm) {
  struct Case {
    const char* stored;
    const char* expected;
  } cases[] = {
      {"0.5", "0.5"},
      {"-0.25", "-0.25"},
      {"12.75", "12.75"},
      {"007", "7"},
      {"1e3", "1000"},
      {"abc", "0"},
      {"1234567890123456789", "1234567890123460000"},
      {"-98765432109876543210", "-98765432109876500000"},
      {"0.000001234567890123456", "0.00000123456789012346"},
      {"0.1", "0.1"},
  };
  for (const Case& c : cases) {
    Substitutions tokens = trialAmountTokens(trialStanding(std::string(c.stored) + "::1::G", 0));
    EXPECT_EQ(tokens[1].first, "$UPLOADED");
    EXPECT_EQ(tokens[1].second, c.expected) << c.stored;
  }
}

TEST(StandingTest, QuotaAmounts) {
  struct Case {
    const char* label;
    const char* record;
    long long days;
    const char* expected;
  } cases[] = {
      {"above the quota: clamped to 0", "1200::0::G", 10,
       "$UPLOADED=1200.0 $MBLEFT=0 $SHOWL=1000 $DAYSLEFT=10 $PERDAY=0.0 "},
      {"exactly the quota", "1000::1::G", 10,
       "$UPLOADED=1000.0 $MBLEFT=0 $SHOWL=1000 $DAYSLEFT=10 $PERDAY=0.0 "},
      {"uploaded one decimal half to even, left plain", "250.25::0::G", 3,
       "$UPLOADED=250.2 $MBLEFT=749.75 $SHOWL=1000 $DAYSLEFT=3 $PERDAY=249.9 "},
      {"end day: the whole amount is due", "700::0::G", 0,
       "$UPLOADED=700.0 $MBLEFT=300 $SHOWL=1000 $DAYSLEFT=0 $PERDAY=300.0 "},
      {"after the end: the whole amount is due", "700::0::G", -2,
       "$UPLOADED=700.0 $MBLEFT=300 $SHOWL=1000 $DAYSLEFT=-2 $PERDAY=300.0 "},
      {"after the end and above the quota", "1700::1::G", -2,
       "$UPLOADED=1700.0 $MBLEFT=0 $SHOWL=1000 $DAYSLEFT=-2 $PERDAY=0.0 "},
      {"negative upload (nuked)", "-0.25::0::G", 4,
       "$UPLOADED=-0.2 $MBLEFT=1000.25 $SHOWL=1000 $DAYSLEFT=4 $PERDAY=250.1 "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(joined(quotaAmountTokens(quotaStanding(c.record, 1000, c.days))), c.expected)
        << c.label;
  }
}

}  // namespace
}  // namespace quarvel
