#include "entry/delete_events.h"

#include <gtest/gtest.h>

#include "entry/test_site.h"

namespace quarvel {
namespace {

using site_test::runningQuota;
using site_test::TestSite;

const std::map<std::string, std::string> kBobDeletes = {
    {"user", "bob"}, {"group", "Friends"}, {"path", "C:\\site\\incoming"}};
const char kZip[] = "C:\\site\\incoming\\a.zip";

TEST(DeleteEventTest, ADeletedFileIsTakenOffBothTotals) {
  TestSite site;
  site.platform.addFile(kZip, std::string(3670016, 'x'));  // 3.5 MB
  site.setTrialStore("\r\nbob=110.3::5::Couriers\r\n");
  site.setQuotaStore(runningQuota("bob=1002::1::Couriers\r\n"));

  EXPECT_EQ(site.run("PREDL DELE a.zip", kBobDeletes), "");
  EXPECT_EQ(site.trialStore(), "bob=110.3::5::Couriers\r\nbob_PREDEL_SIZE_a.zip=3.5\r\n");
  EXPECT_EQ(site.quotaStore(),
            runningQuota("bob=1002::1::Couriers\r\nbob_PREDEL_SIZE_a.zip=3.5\r\n"));

  site.platform.removeFile(kZip);
  EXPECT_EQ(site.run("POSDL DELE a.zip", kBobDeletes), "");
  EXPECT_EQ(site.trialStore(), "bob=106.8::5::Friends\r\n");
  // Below the goal again: the pass is taken back.
  EXPECT_EQ(site.quotaStore(), runningQuota("bob=998.5::0::Friends\r\n"));
}

TEST(DeleteEventTest, AFileStillThereOnlyConsumesTheMemo) {
  TestSite site;
  site.platform.addFile(kZip, std::string(3670016, 'x'));
  site.setTrialStore("\r\nbob=110::5::Couriers\r\n");
  site.setQuotaStore(runningQuota("bob=1002::1::Couriers\r\n"));
  site.run("PREDL DELE a.zip", kBobDeletes);
  EXPECT_EQ(site.run("POSDL DELE a.zip", kBobDeletes), "");
  EXPECT_EQ(site.trialStore(), "bob=110::5::Couriers\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("bob=1002::1::Couriers\r\n"));
}

TEST(DeleteEventTest, AMissingFileIsNotedAsZero) {
  TestSite site;
  site.setTrialStore("\r\nbob=110::5::Couriers\r\n");
  site.run("PREDL DELE a.zip", kBobDeletes);
  EXPECT_EQ(site.trialStore(), "bob=110::5::Couriers\r\nbob_PREDEL_SIZE_a.zip=0\r\n");
  site.run("POSDL DELE a.zip", kBobDeletes);
  EXPECT_EQ(site.trialStore(), "bob=110::5::Friends\r\n");
}

TEST(DeleteEventTest, WithoutAMemoOrARecordNothingChanges) {
  TestSite site;
  site.setTrialStore("\r\nbob=110::5::Couriers\r\nann=1::1::X\r\nann_PREDEL_SIZE_a.zip=7\r\n");
  const std::string before = site.trialStore();
  site.run("POSDL DELE a.zip", kBobDeletes);  // bob has no memo
  site.run("POSDL DELE b.zip", {{"user", "ann"}, {"path", "C:\\site\\incoming"}});
  site.run("PREDL DELE a.zip", {{"user", "zed"}, {"path", "C:\\site\\incoming"}});
  EXPECT_EQ(site.trialStore(), before);
}

TEST(DeleteEventTest, FileNamesWithAnEqualsSignKeepTheirMemoOnOneKey) {
  TestSite site;
  site.platform.addFile("C:\\site\\incoming\\a=b.zip", std::string(1048576, 'x'));
  site.setTrialStore("\r\nbob=10::5::Couriers\r\n");
  site.run("PREDL DELE a=b.zip", kBobDeletes);
  EXPECT_EQ(site.trialStore(), "bob=10::5::Couriers\r\nbob_PREDEL_SIZE_a_b.zip=1\r\n");
  site.platform.removeFile("C:\\site\\incoming\\a=b.zip");
  site.run("POSDL DELE a=b.zip", kBobDeletes);
  EXPECT_EQ(site.trialStore(), "bob=9::5::Friends\r\n");
  EXPECT_EQ(sizeMemoKey("bob", "x\r\ny=1"), "bob_PREDEL_SIZE_x__y_1");
}

}  // namespace
}  // namespace quarvel
