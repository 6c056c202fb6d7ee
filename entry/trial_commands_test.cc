#include <gtest/gtest.h>

#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using test_site::HandlerSite;
using test_site::runningQuota;

TEST(TrialCommandTest, AddStoresTheDatabaseSpellingAndAnnouncesIt) {
  HandlerSite site;
  EXPECT_EQ(site.run("ST ADD BOB"),
            "!putlog UserADDED: \"Bob\"\r\n"
            " Bob from Couriers was added to trial.\r\n");
  EXPECT_EQ(site.trialStore(), "\r\nBob=0::14::Couriers\r\n");
  // Any case of the command word, and no blank needed after the subcommand.
  HandlerSite other;
  other.run("st addbob");
  EXPECT_EQ(other.trialStore(), "\r\nBob=0::14::Couriers\r\n");
}

TEST(TrialCommandTest, AddSuspendsTheQuotaRecordUnderTheTypedName) {
  HandlerSite site;
  site.setQuotaStore(runningQuota("bob=1200::1::Couriers\r\nzed=5::0::X\r\n"));
  site.run("ST add bob");
  EXPECT_EQ(site.quotaStore(), runningQuota("zed=5::0::X\r\nbob=1200::2::Couriers\r\n"));
}

TEST(TrialCommandTest, AddRefusesAndLeavesBothStoresAlone) {
  struct Row {
    const char* command_line;
    const char* output;
  };
  const Row rows[] = {
      {"ST add bob", " bob already exists in trial.\r\n"},
      {"ST add zed", " User: zed doesnt exist on FTP User Database.\r\n"},
      {"ST add NOGROUP", " User: nogroup doesnt have a group.\r\n"},
  };
  for (const Row& row : rows) {
    HandlerSite site;
    const std::string trial = "\r\nbob=3::9::Couriers\r\n";
    // A refused add writes no trial record, so the quota is not suspended.
    const std::string quota =
        runningQuota("zed=1::0::X\r\nNOGROUP=2::0::\r\nbob=7::1::Couriers\r\n");
    site.setTrialStore(trial);
    site.setQuotaStore(quota);
    EXPECT_EQ(site.run(row.command_line), row.output) << row.command_line;
    EXPECT_EQ(site.trialStore(), trial) << row.command_line;
    EXPECT_EQ(site.quotaStore(), quota) << row.command_line;
  }
}

TEST(TrialCommandTest, DelAnnouncesAndGivesTheQuotaBack) {
  HandlerSite site;
  site.setTrialStore("\r\nBob=40::9::Couriers\r\ncarol=1::2::Couriers\r\n");
  site.setQuotaStore(runningQuota("Bob=40::2::Couriers\r\ncarol=0::2::Couriers\r\n"));
  EXPECT_EQ(site.run("ST del bob"),
            "!putlog UserDEL: \"bob\"\r\n"
            " bob was deleted from trial.\r\n");
  // Status 0 again (not the pass the user may have held before), under the
  // typed name.
  EXPECT_EQ(site.trialStore(), "carol=1::2::Couriers\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("carol=0::2::Couriers\r\nbob=40::0::Couriers\r\n"));
  // carol carries the quota-disable flag: excluded.
  site.run("ST DEL carol");
  EXPECT_EQ(site.quotaStore(), runningQuota("bob=40::0::Couriers\r\ncarol=0::3::Couriers\r\n"));
}

TEST(TrialCommandTest, DelOfAUserGoneFromTheServerDropsTheQuotaRecord) {
  HandlerSite site;
  site.setTrialStore("\r\nghost=1::2::G\r\n");
  site.setQuotaStore(runningQuota("ghost=1::2::G\r\n"));
  site.run("ST del ghost");
  EXPECT_EQ(site.quotaStore(), runningQuota(""));
}

TEST(TrialCommandTest, DelAndGiveRefuseAUserNotOnTrial) {
  HandlerSite site;
  site.setTrialStore("\r\nbob=3::9::Couriers\r\n");
  EXPECT_EQ(site.run("ST del zed"), " zed doesn't exists in trial.\r\n");
  EXPECT_EQ(site.run("ST give zed 5"), " zed doesn't exists in trial.\r\n");
  EXPECT_EQ(site.trialStore(), "\r\nbob=3::9::Couriers\r\n");
}

TEST(TrialCommandTest, GiveAddsTheAmountAsTyped) {
  struct Row {
    const char* command_line;
    const char* output;
    const char* record;
  };
  const Row rows[] = {
      {"ST give bob 25.5", " gave bob 25.5mB\r\n", "bob=125.5::3::Couriers"},
      {"ST give BOB -150.25", " gave BOB -150.25mB\r\n", "BOB=-50.25::3::Couriers"},
      {"ST give bob 12MB", " gave bob 12MBmB\r\n", "bob=112::3::Couriers"},
  };
  for (const Row& row : rows) {
    HandlerSite site;
    site.setTrialStore("\r\nbob=100::3::Couriers\r\nann=1::1::X\r\n");
    EXPECT_EQ(site.run(row.command_line), row.output) << row.command_line;
    EXPECT_EQ(site.trialStore(), std::string("ann=1::1::X\r\n") + row.record + "\r\n")
        << row.command_line;
  }
}

TEST(TrialCommandTest, GiveThatReachesTheGoalPassesAtOnce) {
  HandlerSite site;
  site.setTrialStore("\r\nBob=450::3::Couriers\r\n");
  site.setQuotaStore(runningQuota("Bob=0::2::Couriers\r\n"));
  EXPECT_EQ(site.run("ST give Bob 50"),
            " gave Bob 50mB\r\n"
            "!putlog PassedTrial: \"Bob\"\r\n");
  EXPECT_EQ(site.trialStore(), "\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("Bob=0::0::Couriers\r\n"));
}

TEST(TrialCommandTest, OtherTextDoesNothing) {
  HandlerSite site;
  site.setTrialStore("\r\nbob=3::9::Couriers\r\n");
  for (const char* line : {"STadd bob", "XST add bob"}) {
    EXPECT_EQ(site.run(line), "") << line;
  }
  EXPECT_EQ(site.trialStore(), "\r\nbob=3::9::Couriers\r\n");
}

// A store that cannot be written is named on standard error, and no line
// claims the change: the operator sees that nothing happened.
TEST(TrialCommandTest, AFailedWriteClaimsNothing) {
  struct Row {
    const char* command_line;
    const char* trial;
  } rows[] = {
      {"ST add Bob", ""},
      {"ST del bob", "\r\nbob=1::3::Couriers\r\n"},
      {"ST give bob 5", "\r\nbob=1::3::Couriers\r\n"},
  };
  for (const Row& row : rows) {
    HandlerSite site;
    if (*row.trial) site.setTrialStore(row.trial);
    site.platform.failReplaces(true);
    EXPECT_EQ(site.run(row.command_line), "") << row.command_line;
    ASSERT_EQ(site.platform.error_lines.size(), 1u) << row.command_line;
    EXPECT_EQ(site.platform.error_lines[0],
              "Store not saved: C:\\site\\Quarvel.dat could not be written (error 75)")
        << row.command_line;
    EXPECT_EQ(site.platform.hasFile(site.trialPath()), *row.trial != 0) << row.command_line;
  }
}

// What the operator sees instead of silence or a misleading answer; the
// store stays as it was.
TEST(TrialCommandTest, IncompleteCommandsShowTheirUsage) {
  const std::string add = " SITE TRIAL add <user>: puts the user on trial\r\n";
  const std::string del = " SITE TRIAL del <user>: takes the user off trial\r\n";
  const std::string give =
      " SITE TRIAL give <user> <megabytes>: credits an upload made elsewhere (a negative amount "
      "takes it back)\r\n";
  struct Row {
    const char* command_line;
    std::string output;
  } rows[] = {
      {"ST", add + del + give},
      {"ST help", add + del + give},
      {"ST list", add + del + give},
      {"st  add bob", add + del + give},
      {"ST add", add},
      {"ST add   ", add},
      {"ST give", give},
      {"ST give bob", give},
      {"ST give bob  25", give},
      {"ST give bob lots", give},
      {"ST GIVE bob -", give},
  };
  for (const Row& row : rows) {
    HandlerSite site;
    site.setTrialStore("\r\nbob=3::9::Couriers\r\n");
    EXPECT_EQ(site.run(row.command_line), row.output) << row.command_line;
    EXPECT_EQ(site.trialStore(), "\r\nbob=3::9::Couriers\r\n") << row.command_line;
  }
}

}  // namespace
}  // namespace quarvel
