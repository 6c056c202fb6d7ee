#include <gtest/gtest.h>

#include <map>

#include "entry/dispatch.h"
#include "evaluation/site_test_util.h"
#include "stores/commit_record.h"

namespace quarvel {
namespace {

using test_site::Site;

const char kRunningPeriod[] =
    "setup_quota_starts=11-01-2026\r\n"
    "setup_quota_ends=12-01-2026\r\n"
    "setup_quota_started=1\r\n"
    "brisk=5::0::Couriers\r\n"
    "tamsin=1200::1::Couriers\r\n"
    "Marlow=0::0::SiteOps\r\n";

struct Snapshot {
  std::string trial, quota;
  std::size_t files;
};

Snapshot snapshot(Site& site) {
  return {site.trialStore(), site.quotaStore(), site.platform.filesIn("C:\\site").size()};
}

// The preview tells, in order, what newday on the date would do, and does
// none of it: no store, day file or log changes, no login.
TEST(PreviewTest, TellsWhatNewdayWouldDoAndDoesNothing) {
  Site site("QUOTA_PUNISHMENT=1\r\nTRIAL_PUNISHMENT=2\r\nQUOTA_DELETE_REASON=Quota missed\r\n");
  site.platform.addFile("C:\\ioFTPD\\etc\\passwd",
                        "brisk:2:STANDARD\r\nMarlow:1:STANDARD\r\nwren:6:STANDARD\r\n");
  site.setTrialStore("wren=10::1::Couriers\r\ntamsin=0::4::Couriers\r\n");
  site.setQuotaStore(kRunningPeriod);
  site.platform.date = {2026, 11, 20};
  Snapshot before = snapshot(site);
  site.platform.command_line = "preview 12-01-2026";
  runProgram(site.platform);
  EXPECT_EQ(site.platform.output,
            "newday on 12-01-2026 would do this (nothing is sent and nothing is changed now):\r\n"
            "trial days counted down: 1\r\n"
            "trials due: wren\r\n"
            "    SITE CHANGE wren FLAGS +7\r\n"
            "quota period ends: 11-01-2026 to 12-01-2026\r\n"
            "    SITE kick brisk\r\n"
            "    SITE DELUSER brisk Quota missed\r\n"
            "Marlow: not punished: exempt now\r\n"
            "quota period starts: 12-01-2026 to 01-01-2027\r\n"
            "enrolled in the new period:\r\n"
            // As the server leaves them: brisk deleted, wren disabled.
            "    Marlow exempt\r\n"
            "    wren exempt\r\n");
  Snapshot after = snapshot(site);
  EXPECT_EQ(after.trial, before.trial);
  EXPECT_EQ(after.quota, before.quota);
  EXPECT_EQ(after.files, before.files);
  EXPECT_TRUE(site.platform.connects.empty());
  EXPECT_TRUE(site.platform.error_lines.empty());
}

TEST(PreviewTest, BadDatesAreRefused) {
  for (const char* line :
       {"preview 02-30-2026", "preview 2026-12-01", "preview 12-01-2026 x", "preview 13-01-2026"}) {
    Site site;
    site.setQuotaStore(kRunningPeriod);
    site.platform.command_line = line;
    runProgram(site.platform);
    EXPECT_EQ(site.platform.output, "") << line;
    ASSERT_EQ(site.platform.error_lines.size(), 1u) << line;
    EXPECT_EQ(site.quotaStore(), kRunningPeriod) << line;
  }
}

}  // namespace
}  // namespace quarvel

namespace quarvel {
namespace {

// A commit a stopped run left is read as the next run will finish it, and
// left on disk for that run: the preview changes no file of the folder.
TEST(PreviewTest, ReadsTheStoresAsTheNextRunWillFinishThem) {
  Site site("TRIAL_PUNISHMENT=2\r\n");
  site.platform.addFile("C:\\ioFTPD\\etc\\passwd", "wren:6:STANDARD\r\ntamsin:3:STANDARD\r\n");
  site.setTrialStore("tamsin=0::4::Couriers\r\n");
  site.setQuotaStore(kRunningPeriod);
  const std::string trial = "tamsin=0::4::Couriers\r\nwren=10::1::Couriers\r\n";
  const std::string quota = std::string(kRunningPeriod) + "wren=0::2::Couriers\r\n";
  site.platform.addFile(temporaryPathOf(Site::kTrialPath), trial);
  site.platform.addFile(temporaryPathOf(Site::kQuotaPath), quota);
  const char kRecord[] = "C:\\site\\Quarvel.commit";
  site.platform.addFile(kRecord, commitRecordText({{Site::kTrialPath, false, trial},
                                                   {Site::kQuotaPath, false, quota}}));
  std::map<std::string, std::string> before;
  for (const std::string& name : site.platform.filesIn("C:\\site")) {
    before[name] = site.platform.file("C:\\site\\" + name);
  }
  site.platform.date = {2026, 11, 20};
  site.platform.command_line = "preview 11-21-2026";
  runProgram(site.platform);
  EXPECT_NE(site.platform.output.find("trials due: wren\r\n"), std::string::npos)
      << site.platform.output;
  std::map<std::string, std::string> after;
  for (const std::string& name : site.platform.filesIn("C:\\site")) {
    after[name] = site.platform.file("C:\\site\\" + name);
  }
  EXPECT_EQ(after, before);

  site.platform.command_line = "no such command";
  runProgram(site.platform);
  EXPECT_EQ(site.trialStore(), trial);
  EXPECT_EQ(site.quotaStore(), quota);
  EXPECT_FALSE(site.platform.hasFile(kRecord));
}

}  // namespace
}  // namespace quarvel
