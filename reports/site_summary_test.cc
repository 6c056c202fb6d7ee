#include "reports/site_summary.h"

#include <gtest/gtest.h>

#include "reports/report_site_test_util.h"

namespace quarvel {
namespace {

using test_site::ReportSite;

TEST(SiteSummaryTest, CountsQuotaLinesWhoseStatusIsNotZero) {
  struct Case {
    const char* line;
    long long counted;
  } cases[] = {
      {"bob=0::0::G", 0},
      {"bob=0::1::G", 1},
      {"bob=0::2::G", 1},
      {"bob=0::3::G", 1},
      {"bob=0::00::G", 1},  // not exactly "0"
      {"bob=0:: 0::G", 1},
      {"bob=12", 1},  // no status: a size memo counts
      {"bob_PREDEL_SIZE_a.rar=12.5", 1},
      {"no equals sign", 1},
      {"bob=5::0", 0},
      {"bob=5::0::G=x::1", 0},  // the value ends at the second "="
      {"   ", 0},
      {"setup_quota_started=1", 0},
      {"SETUP_QUOTA_ENDS=04-01-2027", 0},
      {"x=1::1::setup_quota_starts", 0},  // a period key anywhere in the line
  };
  for (const Case& c : cases) {
    EXPECT_EQ(countSummaryQuotaUsers({c.line}), c.counted) << c.line;
  }
}

TEST(SiteSummaryTest, PrintsBothCountsFromTheStoreFiles) {
  ReportSite site(
      "Irc_SiteName=Site\r\n"
      "Irc_Info=$BOLD$SITENAME$BOLD: $TRIALUSERS trial, $QUOTAUSERS quota\r\n",
      "\r\nbob=1::2::G\r\n  \r\nbob_PREDEL_SIZE_x.rar=3\r\nCarol=5::1::G\r\n",
      "setup_quota_starts=03-01-2027\r\nsetup_quota_ends=04-01-2027\r\n"
      "setup_quota_started=1\r\nbob=0::0::G\r\nCarol=0::1::G\r\ndan=0::3::G\r\n"
      "eve=0::2::G\r\n");
  std::string expected = "\x02Site\x02: 3 trial, 3 quota\r\n";
  EXPECT_EQ(site.run("IRC PASSED"), expected);
  EXPECT_EQ(site.run("irc passed {}\"\""), expected);
  EXPECT_EQ(site.run("IRC PASSED  bob"), expected);  // word 3 is empty
  EXPECT_EQ(site.run("IRC  PASSED"), "");            // word 2 is empty
}

TEST(SiteSummaryTest, MissingStoresCountZero) {
  ReportSite site("Irc_Info=$TRIALUSERS/$QUOTAUSERS$SITENAME.\r\n", "", "");
  EXPECT_EQ(site.run("IRC PASSED"), "0/0.\r\n");
}

}  // namespace
}  // namespace quarvel
