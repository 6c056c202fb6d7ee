// Warnings before a trial or a quota period ends, as newday, preview and
// the stats line give them.
#include <gtest/gtest.h>

#include "entry/dispatch.h"
#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using Site = test_site::RunSite;

const char kWarnedPath[] = "C:\\site\\Warned.dat";
const char kLogPath[] = "C:\\site\\Quarvel.log";

std::string runOn(Site& site, const char* command_line, LocalDate date) {
  site.platform.date = date;
  site.platform.command_line = command_line;
  site.platform.output.clear();
  runProgram(site.platform);
  return site.platform.output;
}

// Today 12-15-2026; the days were last counted yesterday, so newday counts
// one day before it weighs the trials. The sample site: Marlow is in the
// exempt group, oleander disabled (exempt), pike deleted, wren expired.
TEST(DeadlineWarningTest, TrialCases) {
  struct Case {
    const char* label;
    const char* record;  // before today's count
    const char* output;
  } cases[] = {
      {"outside the window", "brisk=100::5::G", ""},
      {"the day the window opens", "brisk=100::4::G",
       "!putlog TrialWARN: \"brisk\" \"3\" \"400.0\""},
      {"the last day", "brisk=100::2::G", "!putlog TrialWARN: \"brisk\" \"1\" \"400.0\""},
      {"a fraction short", "brisk=499.95::3::G", "!putlog TrialWARN: \"brisk\" \"2\" \"0.1\""},
      {"target reached", "brisk=500::3::G", ""},
      {"exempt group", "Marlow=0::3::G", ""},
      {"disabled, so exempt", "oleander=0::3::G", ""},
      {"deleted account", "pike=0::3::G", ""},
      {"expired account", "wren=0::3::G", ""},
      {"unknown to the server", "ghost=0::3::G", ""},
  };
  for (const Case& c : cases) {
    Site site("TRIAL_WARN_DAYS=3\r\nTRIAL_PUNISHMENT=0\r\n");
    site.platform.addFile("C:\\ioFTPD\\users\\5",
                          "groups 1\r\nflags 3\r\nDeletedOn 1765000000\r\n");
    site.platform.addFile("C:\\ioFTPD\\users\\6",
                          "groups 3\r\nflags 3\r\nExpiresAt 1765000000\r\nDeletedOn 0\r\n");
    site.setTrialStore(std::string(c.record) + "\r\nsetup_trial_counted=12-14-2026\r\n");
    std::string expected = *c.output ? std::string(c.output) + "\r\n" : "";
    EXPECT_EQ(runOn(site, "newday", {2026, 12, 15}), expected) << c.label;
    EXPECT_EQ(site.platform.hasFile(kWarnedPath), *c.output != 0) << c.label;
  }
}

// The period ends 01-01-2027: on 12-15-2026 17 days are left.
TEST(DeadlineWarningTest, QuotaCases) {
  struct Case {
    const char* label;
    const char* warn_days;
    const char* member;
    LocalDate date;
    const char* output;
  } cases[] = {
      {"the day the window opens",
       "17",
       "brisk=250::0::G",
       {2026, 12, 15},
       "!putlog QuotaWARN: \"brisk\" \"17\" \"750.0\""},
      {"outside the window", "16", "brisk=250::0::G", {2026, 12, 15}, ""},
      {"the last day",
       "1",
       "brisk=999.5::0::G",
       {2026, 12, 31},
       "!putlog QuotaWARN: \"brisk\" \"1\" \"0.5\""},
      {"passed", "17", "brisk=1000::1::G", {2026, 12, 15}, ""},
      {"at the target, not marked yet", "17", "brisk=1000::0::G", {2026, 12, 15}, ""},
      {"on trial", "17", "brisk=0::2::G", {2026, 12, 15}, ""},
      {"exempt status", "17", "brisk=0::3::G", {2026, 12, 15}, ""},
      {"exempt in the database", "17", "Marlow=0::0::G", {2026, 12, 15}, ""},
      {"deleted account", "17", "pike=0::0::G", {2026, 12, 15}, ""},
      {"key set to 0", "0", "brisk=250::0::G", {2026, 12, 15}, ""},
  };
  for (const Case& c : cases) {
    Site site(std::string("QUOTA_WARN_DAYS=") + c.warn_days + "\r\n");
    site.platform.addFile("C:\\ioFTPD\\users\\5",
                          "groups 1\r\nflags 3\r\nDeletedOn 1765000000\r\n");
    site.setQuotaStore(test_site::runningQuota(std::string(c.member) + "\r\n"));
    std::string expected = *c.output ? std::string(c.output) + "\r\n" : "";
    EXPECT_EQ(runOn(site, "newday", c.date), expected) << c.label;
  }
}

// Once a calendar day, however often newday runs; days caught up after a
// gap give one warning, not one per missed day. Each warning leaves one
// audit line, and the store keeps only the day's warnings.
TEST(DeadlineWarningTest, OnceADayAndMissedDaysOnce) {
  Site site("TRIAL_WARN_DAYS=3\r\nQUOTA_WARN_DAYS=20\r\nTRIAL_PUNISHMENT=0\r\n");
  site.setTrialStore("brisk=100::6::G\r\nsetup_trial_counted=12-12-2026\r\n");
  site.setQuotaStore(test_site::runningQuota("tamsin=10::0::G\r\n"));
  EXPECT_EQ(runOn(site, "newday", {2026, 12, 15}),
            "!putlog TrialWARN: \"brisk\" \"3\" \"400.0\"\r\n"
            "!putlog QuotaWARN: \"tamsin\" \"17\" \"990.0\"\r\n");
  EXPECT_EQ(site.platform.file(kWarnedPath),
            "trial:brisk=12-15-2026\r\nquota:tamsin=12-15-2026\r\n");
  std::string log = site.platform.file(kLogPath);
  EXPECT_NE(log.find("brisk | - | - | warned: trial ends in 3 days, 400.0 MB to go"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("tamsin | - | - | warned: quota period ends in 17 days, 990.0 MB to go"),
            std::string::npos)
      << log;

  EXPECT_EQ(runOn(site, "newday", {2026, 12, 15}), "");
  EXPECT_EQ(site.platform.file(kLogPath).find("warned", log.size()), std::string::npos);

  EXPECT_EQ(runOn(site, "newday", {2026, 12, 16}),
            "!putlog TrialWARN: \"brisk\" \"2\" \"400.0\"\r\n"
            "!putlog QuotaWARN: \"tamsin\" \"16\" \"990.0\"\r\n");
  EXPECT_EQ(site.platform.file(kWarnedPath),
            "trial:brisk=12-16-2026\r\nquota:tamsin=12-16-2026\r\n");
}

// Without the keys newday leaves everything as before: no warning store
// and the same stores and output.
TEST(DeadlineWarningTest, WithoutTheKeysNothingChanges) {
  for (const char* config : {"", "TRIAL_WARN_DAYS=0\r\nQUOTA_WARN_DAYS=0\r\n"}) {
    Site plain("TRIAL_PUNISHMENT=0\r\n");
    Site keyed(std::string("TRIAL_PUNISHMENT=0\r\n") + config);
    for (Site* site : {&plain, &keyed}) {
      site->setTrialStore("brisk=100::2::G\r\n");
      site->setQuotaStore(test_site::runningQuota("tamsin=10::0::G\r\n"));
      runOn(*site, "newday", {2026, 12, 31});
    }
    EXPECT_EQ(keyed.platform.output, plain.platform.output) << config;
    EXPECT_EQ(keyed.trialStore(), plain.trialStore()) << config;
    EXPECT_EQ(keyed.quotaStore(), plain.quotaStore()) << config;
    EXPECT_FALSE(keyed.platform.hasFile(kWarnedPath)) << config;
  }
}

// A warning store that cannot be written: nobody is warned (a warning
// never goes out twice a day), and the run says why.
TEST(DeadlineWarningTest, UnwritableStoreWarnsNobody) {
  Site site("TRIAL_WARN_DAYS=3\r\nTRIAL_PUNISHMENT=0\r\n");
  site.setTrialStore("brisk=100::3::G\r\nsetup_trial_counted=12-14-2026\r\n");
  site.platform.addFolder(kWarnedPath);
  EXPECT_EQ(runOn(site, "newday", {2026, 12, 15}), "");
  ASSERT_EQ(site.platform.error_lines.size(), 1u);
  EXPECT_NE(site.platform.error_lines[0].find("Warned.dat"), std::string::npos);
}

// The preview names who would be warned and warns nobody.
TEST(DeadlineWarningTest, PreviewListsTheWarnings) {
  Site site("TRIAL_WARN_DAYS=3\r\nTRIAL_PUNISHMENT=0\r\n");
  site.setTrialStore("brisk=100::4::G\r\nsetup_trial_counted=12-14-2026\r\n");
  EXPECT_EQ(runOn(site, "preview", {2026, 12, 15}),
            "newday on 12-15-2026 would do this (nothing is sent and nothing is changed now):\r\n"
            "trial days counted down: 1\r\n"
            "brisk: warned: trial ends in 3 days, 400.0 MB to go\r\n");
  EXPECT_FALSE(site.platform.hasFile(kWarnedPath));
}

TEST(DeadlineWarningTest, StatsLineMarkInsideTheWindow) {
  const std::map<std::string, std::string> bob = {{"user", "bob"}, {"group", "Couriers"}};
  struct Case {
    const char* label;
    const char* config;
    const char* trial;
    const char* quota;
    const char* output;
  } cases[] = {
      {"trial inside", "TRIAL_WARN_DAYS=3\r\n", "bob=120.5::3::x\r\n", "",
       "226-bob 120.5MB 379.5MB left, 3 days (TRiAL) (last 3 days)\r\n"},
      {"trial outside", "TRIAL_WARN_DAYS=3\r\n", "bob=120.5::4::x\r\n", "",
       "226-bob 120.5MB 379.5MB left, 4 days (TRiAL)\r\n"},
      {"trial passed", "TRIAL_WARN_DAYS=3\r\n", "bob=500::2::x\r\n", "",
       "226-bob 500MB 0MB left, 2 days (TRiAL)\r\n"},
      {"quota inside, own mark",
       "QUOTA_WARN_DAYS=17\r\nFTP_STATS_WARN=<%MBLEFT% in %DAYSLEFT%>\r\n", "",
       "bob=250.5::0::G\r\n", "226-bob 250.5MB 749.5MB left, 17 days (QUOTA) <749.5 in 17>\r\n"},
      {"quota, no key", "", "", "bob=250.5::0::G\r\n",
       "226-bob 250.5MB 749.5MB left, 17 days (QUOTA)\r\n"},
  };
  for (const Case& c : cases) {
    test_site::HandlerSite site(c.config);
    if (*c.trial) site.setTrialStore(c.trial);
    if (*c.quota) site.setQuotaStore(test_site::runningQuota(c.quota));
    EXPECT_EQ(site.run("stats", bob), c.output) << c.label;
  }
  // A user in the exempt group gets no mark.
  test_site::HandlerSite site("TRIAL_WARN_DAYS=3\r\n");
  site.setTrialStore("Marlow=1::2::x\r\n");
  EXPECT_EQ(site.run("stats", {{"user", "Marlow"}}),
            "226-Marlow 1MB 499MB left, 2 days (TRiAL)\r\n");
}

}  // namespace
}  // namespace quarvel
