#include "entry/upload_event.h"

#include <gtest/gtest.h>

#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using test_site::HandlerSite;
using test_site::runningQuota;

TEST(UploadEventTest, PathIsTakenFromTheQuotesAndItsSeparatorsCleanedUp) {
  struct Row {
    const char* command_line;
    const char* path;
  };
  const Row rows[] = {
      {"UD \"C:/site/incoming//x.rar\" 1 2", "C:\\site\\incoming\\x.rar"},
      {"UD \"C:\\site\\\\\\\\in\\x.rar\"", "C:\\site\\\\in\\x.rar"},  // pairs folded once
      {"UD \"/srv/site//in/x.rar\"", "\\srv\\site\\in\\x.rar"},
      {"UD \"\\\\nas\\share//x.rar\"", "\\\\nas\\share\\x.rar"},  // network share kept
      {"UD \"//nas/share/x.rar\"", "\\\\nas\\share\\x.rar"},
      {"ud x \"C:\\a b\\c.rar\"\"d\"", "C:\\a b\\c.rar"},
      {"UD \"C:\\open", "C:\\open"},
      {"UD C:\\no\\quotes", ""},
      {"UD", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(uploadedFilePath(row.command_line), row.path) << row.command_line;
  }
}

TEST(UploadEventTest, VirtualPathIsTheSecondQuotedArgument) {
  struct Row {
    const char* command_line;
    const char* virtual_path;
  };
  const Row rows[] = {
      {"UD \"C:\\in\\x.rar\" 1A2B3C4D \"/In/x.rar\"", "/In/x.rar"},
      {"UD \"C:\\in\\x.rar\" 0 \"/a b/x.rar", "/a b/x.rar"},
      {"UD \"C:\\in\\x.rar\" 1 0", ""},
      {"UD \"C:\\in\\x.rar", ""},
      {"UD", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(uploadedVirtualPath(row.command_line), row.virtual_path) << row.command_line;
  }
}

const std::map<std::string, std::string> kBobInFriends = {{"user", "bob"}, {"group", "Friends"}};

TEST(UploadEventTest, CreditsTheFileToBothStoresAndTakesTheEventsGroup) {
  HandlerSite site;
  site.platform.addFile("C:\\site\\incoming\\x.rar", std::string(10485760, 'x'));
  site.setTrialStore("\r\nbob=100::5::Couriers\r\nann=1::1::X\r\n");
  site.setQuotaStore(runningQuota("bob=20.3::0::Couriers\r\n"));
  EXPECT_EQ(site.run("UD \"C:/site/incoming//x.rar\"", kBobInFriends), "");
  EXPECT_EQ(site.trialStore(), "ann=1::1::X\r\nbob=110::5::Friends\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("bob=30.3::0::Friends\r\n"));
}

TEST(UploadEventTest, SizesRoundToOneDecimalWithHalvesToTheEvenNeighbour) {
  struct Row {
    std::size_t bytes;
    const char* record;
  };
  const Row rows[] = {
      {262144, "bob=0.2::5::Friends"},   // 0.25
      {786432, "bob=0.8::5::Friends"},   // 0.75
      {1153434, "bob=1.1::5::Friends"},  // 1.10000...
      {0, "bob=0::5::Friends"},
  };
  for (const Row& row : rows) {
    HandlerSite site;
    site.platform.addFile("C:\\site\\f.rar", std::string(row.bytes, 'x'));
    site.setTrialStore("\r\nbob=0::5::Couriers\r\n");
    site.run("UD \"C:\\site\\f.rar\"", kBobInFriends);
    EXPECT_EQ(site.trialStore(), "\r\n" + std::string(row.record) + "\r\n") << row.bytes;
  }
}

TEST(UploadEventTest, AMissingFileOnlyRefreshesTheGroup) {
  HandlerSite site;
  site.setTrialStore("\r\nbob=12.5::5::Couriers\r\n");
  EXPECT_EQ(site.run("UD \"C:\\site\\gone.rar\"", kBobInFriends), "");
  EXPECT_EQ(site.trialStore(), "\r\nbob=12.5::5::Friends\r\n");
}

TEST(UploadEventTest, AUserInNeitherStoreChangesNothing) {
  HandlerSite site;
  site.platform.addFile("C:\\site\\f.rar", std::string(1048576, 'x'));
  site.setTrialStore("\r\nann=1::1::X\r\n");
  site.setQuotaStore(runningQuota("ann=1::0::X\r\n"));
  EXPECT_EQ(site.run("UD \"C:\\site\\f.rar\"", kBobInFriends), "");
  EXPECT_EQ(site.run("UD \"C:\\site\\f.rar\""), "");  // no user at all
  EXPECT_EQ(site.trialStore(), "\r\nann=1::1::X\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("ann=1::0::X\r\n"));
}

TEST(UploadEventTest, TrialPassGivesTheQuotaBackBeforeTheQuotaIsCredited) {
  HandlerSite site;
  site.platform.addFile("C:\\site\\f.rar", std::string(60 * 1048576, 'x'));
  site.setTrialStore("\r\nbob=450::3::Couriers\r\n");
  site.setQuotaStore(runningQuota("bob=980::2::Couriers\r\n"));
  // The quota record is read again after the trial pass: counting once
  // more, the same upload then passes the quota too.
  EXPECT_EQ(site.run("UD \"C:\\site\\f.rar\"", kBobInFriends),
            "!putlog PassedTrial: \"bob\"\r\n"
            "!putlog QUOTAPASSED: \"bob\"\r\n");
  EXPECT_EQ(site.trialStore(), "\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("bob=1040::1::Friends\r\n"));
}

}  // namespace
}  // namespace quarvel
