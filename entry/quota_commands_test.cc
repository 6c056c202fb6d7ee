#include <gtest/gtest.h>

#include "entry/handlers.h"
#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using test_site::HandlerSite;
using test_site::runningQuota;

TEST(QuotaCommandTest, RefusesEverythingWhileTheQuotaHasNotStarted) {
  const char* stores[] = {nullptr,
                          "setup_quota_starts=01-01-2027\r\nsetup_quota_ends=02-01-2027\r\n",
                          "setup_quota_started=0\r\nbob=1::0::Couriers\r\n"};
  for (const char* store : stores) {
    for (const char* line : {"SQ add bob", "sq del bob", "SQ give bob 5", "SQ", "SQ list"}) {
      HandlerSite site;
      if (store != nullptr) site.setQuotaStore(store);
      EXPECT_EQ(site.run(line), " ERROR: Quota hasnt been started.\r\n") << line;
      EXPECT_EQ(site.hasQuotaStore(), store != nullptr);
      if (store != nullptr) {
        EXPECT_EQ(site.quotaStore(), store) << line;
      }
    }
  }
}

TEST(QuotaCommandTest, AddWritesANewCountingMemberInTheDatabaseSpelling) {
  HandlerSite site;
  site.setQuotaStore(runningQuota(""));
  EXPECT_EQ(site.run("SQ ADD BOB"), " Bob from Couriers was added to quota.\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("Bob=0::0::Couriers\r\n"));
}

TEST(QuotaCommandTest, AddRefusals) {
  struct Row {
    const char* command_line;
    const char* output;
  };
  const Row rows[] = {
      {"SQ add bob", " Cant add bob because (s)he is in trial!\r\n"},
      {"SQ add zed", " User: zed doesnt exist on FTP User Database.\r\n"},
      {"SQ add nogroup", " User: nogroup doesnt have a group.\r\n"},
      {"SQ add marlow", " User: Marlow is excluded from quota because [member of SiteOps]\r\n"},
      {"SQ add carol", " User: carol is excluded from quota because []\r\n"},
  };
  for (const Row& row : rows) {
    HandlerSite site;
    site.setTrialStore("\r\nbob=3::9::Couriers\r\n");
    site.setQuotaStore(runningQuota(""));
    EXPECT_EQ(site.run(row.command_line), row.output) << row.command_line;
    EXPECT_EQ(site.quotaStore(), runningQuota("")) << row.command_line;
  }
}

TEST(QuotaCommandTest, AddOfAMemberEndsTheRun) {
  HandlerSite site;
  site.setQuotaStore(runningQuota("Bob=5::1::Couriers\r\n"));
  site.platform.command_line = "SQ add bob";
  quarvel::Run run(site.platform);
  run.loadStartupSettings();
  EXPECT_EQ(runQuotaCommand(run), Next::kEndRun);
  EXPECT_EQ(site.platform.output, " bob appears to be in quota, cant add user to quota.\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("Bob=5::1::Couriers\r\n"));
}

TEST(QuotaCommandTest, DelRemovesOnlyMembers) {
  HandlerSite site;
  site.setQuotaStore(runningQuota("Bob=5::1::Couriers\r\nann=1::0::X\r\n"));
  EXPECT_EQ(site.run("SQ del BOB"), " BOB was deleted from quota.\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("ann=1::0::X\r\n"));
  EXPECT_EQ(site.run("SQ del bob"), " bob doesn't exists in quota.\r\n");
  // The period keys are not members: removing one would end the quota.
  EXPECT_EQ(site.run("SQ del setup_quota_started"),
            " setup_quota_started doesn't exists in quota.\r\n");
  EXPECT_EQ(site.run("SQ give SETUP_QUOTA_ENDS 5"),
            " SETUP_QUOTA_ENDS doesn't exists in quota.\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("ann=1::0::X\r\n"));
}

TEST(QuotaCommandTest, GiveCreditsAndChecksThePass) {
  struct Row {
    const char* record;
    const char* command_line;
    const char* output;
    const char* after;
  };
  const Row rows[] = {
      {"bob=990::0::Couriers", "SQ give bob 10",
       " gave bob 10mB\r\n!putlog QUOTAPASSED: \"bob\"\r\n", "bob=1000::1::Couriers"},
      {"bob=990::0::Couriers", "SQ give bob 9.9", " gave bob 9.9mB\r\n", "bob=999.9::0::Couriers"},
      // A negative credit below the goal takes the pass back.
      {"bob=1010::1::Couriers", "SQ give bob -20", " gave bob -20mB\r\n", "bob=990::0::Couriers"},
      // Suspended and excluded members are credited but keep their status.
      {"bob=990::2::Couriers", "SQ give bob 50", " gave bob 50mB\r\n", "bob=1040::2::Couriers"},
      {"bob=990::3::Couriers", "SQ give bob 50", " gave bob 50mB\r\n", "bob=1040::3::Couriers"},
  };
  for (const Row& row : rows) {
    HandlerSite site;
    site.setQuotaStore(runningQuota(std::string(row.record) + "\r\nann=1::0::X\r\n"));
    EXPECT_EQ(site.run(row.command_line), row.output) << row.record << " " << row.command_line;
    EXPECT_EQ(site.quotaStore(), runningQuota(std::string("ann=1::0::X\r\n") + row.after + "\r\n"))
        << row.record << " " << row.command_line;
  }
  HandlerSite site;
  site.setQuotaStore(runningQuota(""));
  EXPECT_EQ(site.run("SQ give zed 5"), " zed doesn't exists in quota.\r\n");
}

// Once the quota runs; before, every SQ line keeps its one ERROR line.
TEST(QuotaCommandTest, IncompleteCommandsShowTheirUsage) {
  const std::string add = " SITE QUOTA add <user>: adds the user to the running quota period\r\n";
  const std::string del = " SITE QUOTA del <user>: takes the user out of the quota period\r\n";
  const std::string give =
      " SITE QUOTA give <user> <megabytes>: credits an upload made elsewhere (a negative amount "
      "takes it back)\r\n";
  struct Row {
    const char* command_line;
    std::string output;
  } rows[] = {
      {"SQ", add + del + give}, {"SQ help", add + del + give}, {"sq list", add + del + give},
      {"SQ add", add},          {"SQ give bob", give},         {"SQ give bob abc", give},
  };
  for (const Row& row : rows) {
    HandlerSite site;
    site.setQuotaStore(runningQuota("bob=990::0::Couriers\r\n"));
    EXPECT_EQ(site.run(row.command_line), row.output) << row.command_line;
    EXPECT_EQ(site.quotaStore(), runningQuota("bob=990::0::Couriers\r\n")) << row.command_line;
  }
}

}  // namespace
}  // namespace quarvel
