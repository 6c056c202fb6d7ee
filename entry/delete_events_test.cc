#include "entry/delete_events.h"

#include <gtest/gtest.h>

#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using test_site::HandlerSite;
using test_site::runningQuota;

const std::map<std::string, std::string> kBobDeletes = {
    {"user", "bob"}, {"group", "Friends"}, {"path", "C:\\site\\incoming"}};
const char kZip[] = "C:\\site\\incoming\\a.zip";

TEST(DeleteEventTest, ADeletedFileIsTakenOffBothTotals) {
  HandlerSite site;
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
  HandlerSite site;
  site.platform.addFile(kZip, std::string(3670016, 'x'));
  site.setTrialStore("\r\nbob=110::5::Couriers\r\n");
  site.setQuotaStore(runningQuota("bob=1002::1::Couriers\r\n"));
  site.run("PREDL DELE a.zip", kBobDeletes);
  EXPECT_EQ(site.run("POSDL DELE a.zip", kBobDeletes), "");
  EXPECT_EQ(site.trialStore(), "bob=110::5::Couriers\r\n");
  EXPECT_EQ(site.quotaStore(), runningQuota("bob=1002::1::Couriers\r\n"));
}

TEST(DeleteEventTest, AMissingFileIsNotedAsZero) {
  HandlerSite site;
  site.setTrialStore("\r\nbob=110::5::Couriers\r\n");
  site.run("PREDL DELE a.zip", kBobDeletes);
  EXPECT_EQ(site.trialStore(), "bob=110::5::Couriers\r\nbob_PREDEL_SIZE_a.zip=0\r\n");
  site.run("POSDL DELE a.zip", kBobDeletes);
  EXPECT_EQ(site.trialStore(), "bob=110::5::Friends\r\n");
}

TEST(DeleteEventTest, WithoutAMemoOrARecordNothingChanges) {
  HandlerSite site;
  site.setTrialStore("\r\nbob=110::5::Couriers\r\nann=1::1::X\r\nann_PREDEL_SIZE_a.zip=7\r\n");
  const std::string before = site.trialStore();
  site.run("POSDL DELE a.zip", kBobDeletes);  // bob has no memo
  site.run("POSDL DELE b.zip", {{"user", "ann"}, {"path", "C:\\site\\incoming"}});
  site.run("PREDL DELE a.zip", {{"user", "zed"}, {"path", "C:\\site\\incoming"}});
  EXPECT_EQ(site.trialStore(), before);
}

TEST(DeleteEventTest, FileNamesWithAnEqualsSignKeepTheirMemoOnOneKey) {
  HandlerSite site;
  site.platform.addFile("C:\\site\\incoming\\a=b.zip", std::string(1048576, 'x'));
  site.setTrialStore("\r\nbob=10::5::Couriers\r\n");
  site.run("PREDL DELE a=b.zip", kBobDeletes);
  EXPECT_EQ(site.trialStore(), "bob=10::5::Couriers\r\nbob_PREDEL_SIZE_a%3Db.zip=1\r\n");
  site.platform.removeFile("C:\\site\\incoming\\a=b.zip");
  site.run("POSDL DELE a=b.zip", kBobDeletes);
  EXPECT_EQ(site.trialStore(), "bob=9::5::Friends\r\n");
  // Names that differ only where the line format cannot hold them keep
  // apart: "x\r\ny=1" and "x__y_1" were both "x__y_1" once.
  EXPECT_EQ(sizeMemoKey("bob", "x\r\ny=1"), "bob_PREDEL_SIZE_x%0D%0Ay%3D1");
  EXPECT_EQ(sizeMemoKey("bob", "x__y_1\x1A"), "bob_PREDEL_SIZE_x__y_1%1A");
}

TEST(DeleteEventTest, TheNamedFileIsResolvedAsTheServerResolvesIt) {
  struct Row {
    const char* name;
    const char* folder;  // the local folder of pwd
    const char* pwd;
    const char* local;
    const char* virtual_path;
  };
  const Row rows[] = {
      {"a.rar", "C:\\site\\in\\x", "/in/x/", "C:\\site\\in\\x\\a.rar", "/in/x/a.rar"},
      {"/in/x/a.rar", "C:\\site", "/", "C:\\site\\in\\x\\a.rar", "/in/x/a.rar"},
      {"/in/x/a.rar", "C:\\site\\g\\y\\", "/g/y", "C:\\site\\in\\x\\a.rar", "/in/x/a.rar"},
      {"../x/./a.rar", "C:\\site\\in\\y", "/in/y", "C:\\site\\in\\x\\a.rar", "/in/x/a.rar"},
      // Folders compared without regard to case, the file named as typed.
      {"/IN/X/A.rar", "C:\\site\\in\\y", "/in/y", "C:\\site\\in\\X\\A.rar", "/IN/X/A.rar"},
      {"/../in//a.rar", "C:\\site\\in", "/in", "C:\\site\\in\\a.rar", "/in/a.rar"},
      {"a.rar", "C:\\", "/", "C:\\a.rar", "/a.rar"},
      {"a.rar", "/srv/site//in", "/in", "\\srv\\site\\in\\a.rar", "/in/a.rar"},
      {"../a.rar", "\\\\nas\\share\\in", "/in", "\\\\nas\\share\\a.rar", "/a.rar"},
      // Climbing above the local root: the joined path, which names nothing.
      {"/a.rar", "\\\\nas\\share", "/in/deep", "\\\\nas\\share\\a.rar", "/a.rar"},
      // No current virtual folder: relative names are walked on the local
      // folder; an absolute one is only joined.
      {"x/../a.rar", "C:\\site\\in", "", "C:\\site\\in\\a.rar", ""},
      {"/in/a.rar", "C:\\site\\in", "", "C:\\site\\in\\in\\a.rar", "/in/a.rar"},
  };
  for (const Row& row : rows) {
    DeletedPath resolved = resolveDeletedPath(row.name, row.folder, row.pwd);
    EXPECT_EQ(resolved.local, row.local) << row.name << " from " << row.pwd;
    EXPECT_EQ(resolved.virtual_, row.virtual_path) << row.name << " from " << row.pwd;
  }
}

TEST(DeleteEventTest, ACreditedFileIsTakenBackFromItsUploadersWhoeverDeletesIt) {
  HandlerSite site;
  const char kFile[] = "C:\\site\\in\\x\\a.rar";
  site.platform.addFile(kFile, std::string(3 * 1048576, 'x'));
  site.setTrialStore("\r\nbob=10::5::Couriers\r\nann=1::5::Friends\r\n");
  site.run("UD \"C:\\site\\in\\x\\a.rar\" 0 \"/in/x/a.rar\"",
           {{"user", "bob"}, {"group", "Couriers"}});
  site.platform.addFile(kFile, std::string(5 * 1048576, 'x'));  // ann appends 2 MB
  site.run("UD \"C:/site/in/x//a.rar\" 0 \"/in/x/a.rar\"", {{"user", "ann"}, {"group", "Friends"}});
  EXPECT_EQ(site.trialStore(), "bob=13::5::Couriers\r\nann=3::5::Friends\r\n");

  std::map<std::string, std::string> staff = {
      {"user", "Marlow"}, {"group", "SiteOps"}, {"path", "C:\\site"}, {"pwd", "/"}};
  site.run("PREDL DELE /in/x/a.rar", staff);
  site.platform.removeFile(kFile);
  site.run("POSDL DELE /in/x/a.rar", staff);
  EXPECT_EQ(site.trialStore(), "bob=10::5::Couriers\r\nann=1::5::Friends\r\n");
  EXPECT_TRUE(site.platform.filesIn("C:\\site\\Credits").empty());
}

TEST(DeleteEventTest, AFileReplacedByAShorterOneCountsAfresh) {
  HandlerSite site;
  const char kFile[] = "C:\\site\\a.rar";
  site.setTrialStore("\r\nbob=0::5::Couriers\r\n");
  std::map<std::string, std::string> bob = {{"user", "bob"}, {"group", "Couriers"}};
  for (std::size_t megabytes : {8, 3, 4}) {
    site.platform.addFile(kFile, std::string(megabytes * 1048576, 'x'));
    site.run("UD \"C:\\site\\a.rar\" 0 \"/a.rar\"", bob);
  }
  // 8, then 3 in place of it, then 1 appended.
  EXPECT_EQ(site.trialStore(), "\r\nbob=12::5::Couriers\r\n");
  // Credited while on the trial that ends on 12-20-2026, in no quota period.
  std::vector<std::string> ledger = site.platform.filesIn("C:\\site\\Credits");
  ASSERT_EQ(ledger.size(), 1u);
  EXPECT_EQ(site.platform.file("C:\\site\\Credits\\" + ledger[0]),
            "C:\\site\\a.rar=bob::4::12-20-2026::-\r\n");
}

}  // namespace
}  // namespace quarvel
