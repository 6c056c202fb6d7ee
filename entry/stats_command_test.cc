#include <gtest/gtest.h>

#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using test_site::HandlerSite;
using test_site::runningQuota;

const std::map<std::string, std::string> kBob = {{"user", "bob"}, {"group", "Couriers"}};

TEST(StatsCommandTest, TrialLineFollowsTheTemplate) {
  HandlerSite site;
  site.setTrialStore("\r\nbob=120.5::4::x\r\n");
  EXPECT_EQ(site.run("stats", kBob), "226-bob 120.5MB 379.5MB left, 4 days (TRiAL)\r\n");
  // Over the goal the amount left goes negative.
  site.setTrialStore("\r\nbob=612.25::4::x\r\n");
  EXPECT_EQ(site.run("STATS", kBob), "226-bob 612.25MB -112.25MB left, 4 days (TRiAL)\r\n");
}

TEST(StatsCommandTest, QuotaLineOnlyWhileCounting) {
  HandlerSite site;
  // Today is 12-15-2026; the period ends on 01-01-2027.
  site.setQuotaStore(runningQuota("bob=250.5::0::Couriers\r\n"));
  EXPECT_EQ(site.run("stats", kBob), "226-bob 250.5MB 749.5MB left, 17 days (QUOTA)\r\n");
  for (const char* status : {"1", "2", "3"}) {
    site.setQuotaStore(runningQuota(std::string("bob=250.5::") + status + "::Couriers\r\n"));
    EXPECT_EQ(site.run("stats", kBob), "") << status;
  }
}

TEST(StatsCommandTest, QuotaAmountLeftNeverGoesBelowZero) {
  HandlerSite site;
  site.setQuotaStore(runningQuota("bob=1200::0::Couriers\r\n"));
  EXPECT_EQ(site.run("stats", kBob), "226-bob 1200MB 0MB left, 17 days (QUOTA)\r\n");
}

TEST(StatsCommandTest, TrialFirstThenQuota) {
  HandlerSite site;
  site.setTrialStore("\r\nbob=1::4::x\r\n");
  site.setQuotaStore(runningQuota("bob=1::0::x\r\n"));
  EXPECT_EQ(site.run("stats", kBob),
            "226-bob 1MB 499MB left, 4 days (TRiAL)\r\n"
            "226-bob 1MB 999MB left, 17 days (QUOTA)\r\n");
  EXPECT_EQ(site.run("stats", {{"user", "zed"}}), "");
  EXPECT_EQ(site.run("stats ", kBob), "");
}

TEST(StatsCommandTest, TokensAreReplacedInOrderAndWithCase) {
  HandlerSite site;
  // Without the template the line is the prefix alone.
  site.platform.addFile("C:\\site\\quarvel.conf", "TRIAL_UPLOAD=500\r\nQUOTA_UPLOAD=1000\r\n");
  site.setTrialStore("\r\nbob=1::4::x\r\n");
  EXPECT_EQ(site.run("stats", kBob), "226-\r\n");
  // A user name that spells a later token is replaced again; %user% is not
  // a token.
  site.platform.addFile("C:\\site\\quarvel.conf",
                        "TRIAL_UPLOAD=500\r\nFTP_STATS=[%USER%] %user% %TYPE%%MBLEFT%\r\n");
  site.setTrialStore("\r\n%DAYSLEFT%=1::4::x\r\n");
  EXPECT_EQ(site.run("stats", {{"user", "%DAYSLEFT%"}}), "226-[4] %user% TRiAL499\r\n");
}

}  // namespace
}  // namespace quarvel
