#include <gtest/gtest.h>

#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using test_site::HandlerSite;
using test_site::runningQuota;

// Nuke events are started from the program's own folder.
HandlerSite nukeSite() {
  HandlerSite site;
  site.platform.program_folder = "C:\\site\\";
  return site;
}

TEST(NukeEventTest, NukeAndUnnukeAdjustBothStoresByRoundedMegabytes) {
  HandlerSite site = nukeSite();
  site.setTrialStore("\r\nbob=10::3::Couriers\r\nann=1::1::X\r\n");
  site.setQuotaStore(runningQuota("bob=1000.5::1::Couriers\r\n"));
  EXPECT_EQ(site.run("NUKE bob 1536"), "");
  EXPECT_EQ(site.trialStore(), "ann=1::1::X\r\nbob=8.5::3::Couriers\r\n");
  // No pass check: the passed status stays although the total dropped.
  EXPECT_EQ(site.quotaStore(), runningQuota("bob=999::1::Couriers\r\n"));
  EXPECT_EQ(site.run("UNNUKE bob 1536"), "");
  EXPECT_EQ(site.trialStore(), "ann=1::1::X\r\nbob=10::3::Couriers\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("bob=1000.5::1::Couriers\r\n"));
}

TEST(NukeEventTest, AmountsAndKeys) {
  struct Row {
    const char* command_line;
    const char* record;
  };
  const Row rows[] = {
      {"nuke BOB 1536", "BOB=8.5::3::Couriers"},   // key as typed
      {"NUKE bob 256", "bob=9.8::3::Couriers"},    // 0.25 -> 0.2
      {"NUKE bob 768", "bob=9.2::3::Couriers"},    // 0.75 -> 0.8
      {"NUKE bob 20480", "bob=-10::3::Couriers"},  // below zero, kept
      {"NUKE bob lots", "bob=10::3::Couriers"},    // no number: 0
      {"UNNUKE bob 1024.5", "bob=11::3::Couriers"},
  };
  for (const Row& row : rows) {
    HandlerSite site = nukeSite();
    site.setTrialStore("\r\nbob=10::3::Couriers\r\n");
    EXPECT_EQ(site.run(row.command_line), "") << row.command_line;
    EXPECT_EQ(site.trialStore(), "\r\n" + std::string(row.record) + "\r\n") << row.command_line;
  }
}

TEST(NukeEventTest, NothingHappensWithoutARecordOrAnAmount) {
  HandlerSite site = nukeSite();
  site.setTrialStore("\r\nbob=10::3::Couriers\r\n");
  for (const char* line : {"NUKE zed 1536", "NUKE bob", "NUKE  bob 1536", "UNNUKE bob "}) {
    EXPECT_EQ(site.run(line), "") << line;
    EXPECT_EQ(site.trialStore(), "\r\nbob=10::3::Couriers\r\n") << line;
  }
}

}  // namespace
}  // namespace quarvel
