#include <gtest/gtest.h>

#include "platform/fake_platform.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"

namespace quarvel {
namespace {

const char kTrialPath[] = "C:\\site\\Quarvel.dat";
const char kQuotaPath[] = "C:\\site\\Velkrin.dat";

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() { platform_.addFolder("C:\\site"); }
  // A store as a fresh run sees it (its own cache).
  TrialStore freshTrial() { return TrialStore(files_); }
  FakePlatform platform_;
  Output out_{platform_};
  Files files_{platform_, out_, "C:\\site"};
};

TEST_F(StoreTest, WritingToAMissingFileStartsWithAnEmptyLine) {
  TrialStore trial(files_);
  trial.writeTrialRecord("alice=0::7::Couriers");
  EXPECT_EQ(platform_.file(kTrialPath), "\r\nalice=0::7::Couriers\r\n");
  EXPECT_EQ(trial.readTrialRecord("ALICE "), "0::7::Couriers");
}

TEST_F(StoreTest, UpdatesMoveTheRecordToTheEndAndDeletesRemoveIt) {
  platform_.addFile(kTrialPath, "a=1::1::G\r\nb=2::2::G\r\nc=3::3::G\r\n");
  TrialStore trial(files_);
  trial.writeTrialRecord("a=9::1::G");
  EXPECT_EQ(platform_.file(kTrialPath), "b=2::2::G\r\nc=3::3::G\r\na=9::1::G\r\n");
  trial.writeTrialRecord("B=");
  EXPECT_EQ(platform_.file(kTrialPath), "c=3::3::G\r\na=9::1::G\r\n");
  trial.writeTrialRecord("c=");
  trial.writeTrialRecord("a=");
  EXPECT_EQ(platform_.file(kTrialPath), "\r\n");
  EXPECT_EQ(freshTrial().readTrialRecord("a"), "");
  EXPECT_EQ(trial.listTrialUsers(), std::vector<std::string>{""});
}

TEST_F(StoreTest, ReadingRules) {
  platform_.addFile(kTrialPath,
                    "\r\n  \r\nALICE = \"5\"::1::G \r\nalice=6::1::G\r\ncarol=1::2::G=x\r\n"
                    "nokey\r\n");
  TrialStore trial(files_);
  EXPECT_EQ(trial.readTrialRecord("alice"), "5::1::G");  // first line wins
  EXPECT_EQ(trial.readTrialRecord("carol"), "1::2::G");  // text after a second = is lost
  EXPECT_EQ(trial.readTrialRecord("nokey"), "");
  EXPECT_EQ(trial.readTrialRecord(""), "");
  EXPECT_EQ(trial.listTrialUsers(),
            (std::vector<std::string>{"ALICE ", "alice", "carol", "nokey"}));

  platform_.addFile(kQuotaPath, "bob=\"1\"::0::G\r\n");
  QuotaStore quota(files_);
  EXPECT_EQ(quota.readQuotaRecord("bob"), "\"1\"::0::G");  // quota keeps quotes
}

TEST_F(StoreTest, LinuxLineEndsAreLinesToo) {
  platform_.addFile(kTrialPath, "a=1::1::G\nb=2::2::G\n");
  TrialStore trial(files_);
  EXPECT_EQ(trial.readTrialRecord("b"), "2::2::G");
  trial.writeTrialRecord("a=3::1::G");
  EXPECT_EQ(platform_.file(kTrialPath), "b=2::2::G\r\na=3::1::G\r\n");
}

TEST_F(StoreTest, QuotaListingLeavesThePeriodKeysOut) {
  platform_.addFile(kQuotaPath,
                    "setup_quota_starts=12-01-2026\r\nSETUP_QUOTA_ENDS=01-01-2027\r\n"
                    "bob=0::0::G\r\nsetup_quota_starts_fan=0::0::G\r\nbob_PREDEL_SIZE_x=4\r\n"
                    "setup_quota_started=1\r\n");
  QuotaStore quota(files_);
  EXPECT_EQ(quota.listQuotaUsers(), (std::vector<std::string>{"bob", "bob_PREDEL_SIZE_x"}));
  EXPECT_EQ(quota.readQuotaRecord("setup_quota_started"), "1");
}

TEST_F(StoreTest, ReadsTestForTheFileBeforeUsingTheCache) {
  QuotaStore quota(files_);
  quota.writeQuotaRecord("bob=0::0::G");
  quota.file().removeFile();
  EXPECT_EQ(quota.readQuotaRecord("bob"), "");
  quota.writeQuotaRecord("setup_quota_started=1");
  EXPECT_EQ(platform_.file(kQuotaPath), "\r\nsetup_quota_started=1\r\n");
}

TEST_F(StoreTest, AFailedRewriteLeavesTheOldStore) {
  platform_.addFile(kTrialPath, "a=1::1::G\r\n");
  TrialStore trial(files_);
  platform_.failReplaces(true);
  trial.writeTrialRecord("b=0::7::G");
  EXPECT_EQ(platform_.file(kTrialPath), "a=1::1::G\r\n");
  // The run goes on with what it wrote.
  EXPECT_EQ(trial.readTrialRecord("b"), "0::7::G");
}

TEST_F(StoreTest, AnUnreadableStoreIsNeverRewrittenFromNothing) {
  platform_.addFile(kTrialPath, "a=1::1::G\r\n");
  platform_.lockFile(kTrialPath);
  TrialStore trial(files_);
  trial.writeTrialRecord("b=0::7::G");
  EXPECT_EQ(platform_.file(kTrialPath), "a=1::1::G\r\n");
}

TEST_F(StoreTest, ReadAllLinesIsACopyOfTheCache) {
  EXPECT_TRUE(freshTrial().readAllTrialLines().empty());
  platform_.addFile(kTrialPath, "\r\nbob=10::1::G\r\n  ann=0::3::G\r\n");
  TrialStore trial(files_);
  std::vector<std::string> lines = trial.readAllTrialLines();
  trial.writeTrialRecord("bob=10::0::G");
  EXPECT_EQ(lines, (std::vector<std::string>{"bob=10::1::G", "  ann=0::3::G"}));
  EXPECT_EQ(trial.readAllTrialLines(),
            (std::vector<std::string>{"  ann=0::3::G", "bob=10::0::G"}));
}

}  // namespace
}  // namespace quarvel
