#include <gtest/gtest.h>

#include "dates/dates.h"
#include "entry/dispatch.h"
#include "entry/handlers.h"
#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using Site = test_site::RunSite;
using Lines = std::vector<std::string>;

// Runs the program on the site with this command line, as a caller would.
void runCommand(Site& site, const char* command_line) {
  site.platform.command_line = command_line;
  runProgram(site.platform);
}

const char kTrials[] = "\r\nbob=10::1::G\r\nann=0::3::G\r\nbob_PREDEL_SIZE_x.zip=4.5\r\n";
const char kTrialsAfter[] =
    "ann=0::2::G\r\nbob_PREDEL_SIZE_x.zip=4.5::-1::\r\nsetup_trial_counted=12-15-2026\r\n";

TEST(NewdayTest, CountsDownAndPunishesTheExpired) {
  struct Case {
    const char* config;
    Lines sent;
    const char* output;
  } cases[] = {
      {"TRIAL_PUNISHMENT=1\r\n", {"SITE DELUSER bob"}, "!putlog UDelSite: \"bob\"\r\n"},
      {"TRIAL_PUNISHMENT=2\r\nTRIAL_DISABLE_FLAG=6\r\n",
       {"SITE CHANGE bob FLAGS +6"},
       "wtf - SITE CHANGE bob FLAGS +6\r\n!putlog UDisSite: \"bob\"\r\n"},
      {"TRIAL_PUNISHMENT=0\r\n", {}, ""},
  };
  for (const Case& c : cases) {
    Site site(c.config);
    site.setTrialStore(kTrials);
    runCommand(site, "newday");
    EXPECT_EQ(site.trialStore(), kTrialsAfter) << c.config;
    EXPECT_EQ(site.platform.output, c.output) << c.config;
    EXPECT_EQ(site.platform.siteCommands(), c.sent) << c.config;
    // One login for the whole run, dropped at the end without a QUIT.
    ASSERT_EQ(site.platform.log.size(), 1u);
    EXPECT_EQ(site.platform.log[0].size(), 2u + c.sent.size());
    EXPECT_FALSE(site.passwordShown());
    EXPECT_FALSE(site.hasQuotaStore());
  }
}

// Without a login nothing is punished, announced or lost: the expired
// trial stays at 0 days on the due list, and the next run that can log in
// punishes it once, as the first run would have.
TEST(NewdayTest, WithoutTheLoginExpiredTrialsStayDue) {
  for (bool reachable : {true, false}) {
    Site site("TRIAL_PUNISHMENT=1\r\n");
    site.platform.reachable = reachable;
    site.platform.script.reply("PASS", "530 Login incorrect\r\n");
    site.setTrialStore(kTrials);
    runCommand(site, "newday");
    EXPECT_EQ(site.trialStore(),
              "bob=10::0::G\r\nann=0::2::G\r\nbob_PREDEL_SIZE_x.zip=4.5::-1::\r\n"
              "setup_trial_counted=12-15-2026\r\nsetup_trial_due=bob\r\n");
    EXPECT_EQ(site.platform.output, "");
    EXPECT_TRUE(site.platform.siteCommands().empty());
    ASSERT_EQ(site.platform.error_lines.size(), 1u);
    EXPECT_EQ(
        site.platform.error_lines[0].rfind("bob stays due: SITE DELUSER bob: no admin login", 0),
        0u)
        << site.platform.error_lines[0];

    // The same date again: nothing is counted, bob is tried again.
    site.platform.reachable = true;
    site.platform.script.reply("PASS", "230 Logged in\r\n");
    site.platform.output.clear();
    runCommand(site, "newday");
    EXPECT_EQ(site.platform.output, "!putlog UDelSite: \"bob\"\r\n");
    EXPECT_EQ(site.platform.siteCommands(), Lines{"SITE DELUSER bob"});
    EXPECT_EQ(site.trialStore(), kTrialsAfter);
    runCommand(site, "newday");
    EXPECT_EQ(site.platform.siteCommands(), Lines{"SITE DELUSER bob"});
  }
}

// Each calendar day is counted once: again on the same date, nothing; after
// missed days, each of them, a trial running out on the way. The date
// counted is kept in the store itself, beside the days it counted; a store
// without it, or with no date there, counts one day.
TEST(NewdayTest, EachDayIsCountedOnce) {
  struct Step {
    LocalDate date;
    const char* after;
  } steps[] = {
      {{2026, 12, 10},
       "a=0::6::G\r\nb=0::2::G\r\nc=0::-2::G\r\nsetup_trial_counted=12-10-2026\r\n"},
      {{2026, 12, 10},
       "a=0::6::G\r\nb=0::2::G\r\nc=0::-2::G\r\nsetup_trial_counted=12-10-2026\r\n"},
      {{2026, 12, 14}, "a=0::2::G\r\nc=0::-6::G\r\nsetup_trial_counted=12-14-2026\r\n"},
      // The clock set back: counted as a day of its own.
      {{2026, 12, 1}, "a=0::1::G\r\nc=0::-7::G\r\nsetup_trial_counted=12-01-2026\r\n"},
  };
  for (const char* kept : {"", "setup_trial_counted=soon\r\n"}) {
    Site site("TRIAL_PUNISHMENT=1\r\n");
    site.setTrialStore(std::string("a=0::7::G\r\nb=0::3::G\r\nc=0::-1::G\r\n") + kept);
    for (const Step& step : steps) {
      site.platform.date = step.date;
      runCommand(site, "newday");
      EXPECT_EQ(site.trialStore(), step.after) << formatDate(step.date) << " " << kept;
    }
    EXPECT_EQ(site.platform.siteCommands(), Lines{"SITE DELUSER b"});
  }
}

TEST(NewdayTest, DaysLeft) {
  struct Case {
    const char* line;
    const char* after;  // empty: expired and removed
  } cases[] = {
      {"x=1::2::G", "x=1::1::G"},
      {"x=1::0::G", "x=1::-1::G"},
      {"x=1::-3::G", "x=1::-4::G"},
      {"x=1::1.5::G", ""},           // 0.5 rounds to 0
      {"x=1::2.5::G", "x=1::2::G"},  // 1.5 rounds to 2
      {"x=1::3.5::G", "x=1::2::G"},  // 2.5 rounds to 2
      {"x=\"7\"::\"4\"::\"G\"", "x=7::3::G"},
      {" x =1::4::G", "x=1::3::G"},
  };
  for (const Case& c : cases) {
    Site site("TRIAL_PUNISHMENT=0\r\n");
    site.setTrialStore(std::string("\r\n") + c.line + "\r\n");
    runCommand(site, "newday");
    // The record keeps its place, the date counted follows it.
    EXPECT_EQ(site.trialStore(), std::string(*c.after ? c.after + std::string("\r\n") : "") +
                                     "setup_trial_counted=12-15-2026\r\n")
        << c.line;
  }
}

TEST(NewdayTest, EveryEntryLosesOneDayAndKeepsItsPlace) {
  Site site("TRIAL_PUNISHMENT=0\r\n");
  site.setTrialStore("\r\nc=0::9::G\r\na=0::5::G\r\nb=0::7::G\r\n");
  runCommand(site, "newday");
  site.platform.date.day += 1;
  runCommand(site, "newday");
  EXPECT_EQ(site.trialStore(),
            "c=0::7::G\r\na=0::3::G\r\nb=0::5::G\r\nsetup_trial_counted=12-16-2026\r\n");
}

const char kRunningPeriod[] =
    "\r\n"
    "setup_quota_starts=11-01-2026\r\n"
    "setup_quota_ends=12-01-2026\r\n"
    "setup_quota_started=1\r\n"
    "brisk=5::0::Couriers\r\n"
    "tamsin=1200::1::Couriers\r\n"
    "wren=0::2::Couriers\r\n"
    "oleander=0::3::Friends\r\n"
    "pike=5::0::NoGroup\r\n"
    "Marlow=0::0::SiteOps\r\n";

const char kNewPeriod[] =
    "setup_quota_starts=12-01-2026\r\n"
    "setup_quota_ends=01-01-2027\r\n"
    "brisk=0::0::Couriers\r\n"
    "Marlow=0::3::SiteOps\r\n"
    "oleander=0::3::Friends\r\n"
    "pike=0::0::NoGroup\r\n"
    "tamsin=0::0::Couriers\r\n"
    "wren=0::0::Couriers\r\n"
    "setup_quota_started=1\r\n";

TEST(NewdayTest, PeriodEndPunishesMembersStillCounting) {
  struct Case {
    const char* punishment;
    Lines sent;
  } cases[] = {
      {"1", {"SITE kick brisk", "SITE DELUSER brisk", "SITE kick pike", "SITE DELUSER pike"}},
      {"2",
       {"SITE kick brisk", "SITE CHANGE brisk FLAGS +6", "SITE kick pike",
        "SITE CHANGE pike FLAGS +6"}},
  };
  for (const Case& c : cases) {
    Site site(std::string("QUOTA_PUNISHMENT=") + c.punishment + "\r\n");
    site.platform.addFile("C:\\ioFTPD\\etc\\passwd",
                          "brisk:2:STANDARD\r\nMarlow:1:STANDARD\r\noleander:4:STANDARD\r\n"
                          "pike:5:STANDARD\r\ntamsin:3:STANDARD\r\nwren:6:STANDARD\r\n");
    site.platform.date = {2026, 12, 1};
    site.setQuotaStore(kRunningPeriod);
    runCommand(site, "newday");
    // The exempt member is named but not punished.
    EXPECT_EQ(site.platform.output, "Processing brisk\r\nProcessing pike\r\nProcessing Marlow\r\n");
    EXPECT_EQ(site.platform.siteCommands(), c.sent);
    EXPECT_EQ(site.quotaStore(), kNewPeriod);
  }
}

// The next period starts on time; the members who could not be punished
// are carried into it as pending and punished by the next run that can log
// in, which leaves the period as a working login would have.
TEST(NewdayTest, PeriodEndWithoutLoginCarriesThePunishmentsOver) {
  Site site("QUOTA_PUNISHMENT=1\r\n");
  site.platform.script.reply("PASS", "530 Login incorrect\r\n");
  site.platform.addFile("C:\\ioFTPD\\etc\\passwd",
                        "brisk:2:STANDARD\r\nMarlow:1:STANDARD\r\noleander:4:STANDARD\r\n"
                        "pike:5:STANDARD\r\ntamsin:3:STANDARD\r\nwren:6:STANDARD\r\n");
  site.platform.date = {2026, 12, 3};
  site.setQuotaStore(kRunningPeriod);
  runCommand(site, "newday");
  EXPECT_EQ(site.platform.output, "Processing brisk\r\nProcessing pike\r\nProcessing Marlow\r\n");
  EXPECT_TRUE(site.platform.siteCommands().empty());
  EXPECT_EQ(site.platform.error_lines.size(), 2u);
  std::string expected = kNewPeriod;
  expected.replace(expected.find("12-01-2026"), 10, "12-03-2026");
  EXPECT_EQ(site.quotaStore(), expected + "setup_quota_pending=brisk::pike\r\n");
  EXPECT_FALSE(site.passwordShown());

  site.platform.script.reply("PASS", "230 Logged in\r\n");
  site.platform.date = {2026, 12, 4};
  runCommand(site, "newday");
  EXPECT_EQ(site.platform.siteCommands(), (Lines{"SITE kick brisk", "SITE DELUSER brisk",
                                                 "SITE kick pike", "SITE DELUSER pike"}));
  EXPECT_EQ(site.quotaStore(), expected);
}

TEST(NewdayTest, PeriodWithoutMembers) {
  Site site("QUOTA_PUNISHMENT=1\r\n");
  site.platform.addFile("C:\\ioFTPD\\etc\\passwd", "");
  site.platform.date = {2026, 12, 1};
  site.setQuotaStore("\r\nsetup_quota_ends=12-01-2026\r\nsetup_quota_started=1\r\n");
  runCommand(site, "newday");
  EXPECT_EQ(site.platform.output, "Processing \r\n");
  EXPECT_TRUE(site.platform.siteCommands().empty());
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\n"
            "setup_quota_started=1\r\n");
}

TEST(NewdayTest, WaitingAndRunningPeriods) {
  const std::string waiting =
      "\r\nsetup_quota_starts=01-01-2027\r\nsetup_quota_ends=02-01-2027\r\n";
  const std::string running =
      "\r\nsetup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\n"
      "setup_quota_started=1\r\nbrisk=5::0::Couriers\r\n";
  struct Case {
    std::string store;
    LocalDate today;
    bool starts;
  } cases[] = {
      {waiting, {2026, 12, 31}, false},
      {waiting, {2027, 1, 1}, true},
      {waiting, {2027, 1, 9}, true},
      {running, {2026, 12, 31}, false},
  };
  for (const Case& c : cases) {
    Site site;
    site.platform.addFile("C:\\ioFTPD\\etc\\passwd", "brisk:2:STANDARD\r\n");
    site.platform.date = c.today;
    site.setQuotaStore(c.store);
    runCommand(site, "newday");
    std::string expected = c.store;
    if (c.starts) {
      expected =
          "setup_quota_starts=" + formatDate(c.today) +
          "\r\nsetup_quota_ends=02-01-2027\r\nbrisk=0::0::Couriers\r\nsetup_quota_started=1\r\n";
    }
    EXPECT_EQ(site.quotaStore(), expected) << formatDate(c.today);
    EXPECT_EQ(site.platform.output, "");
  }
}

TEST(QstartTest, SchedulesNextMonth) {
  struct Case {
    LocalDate today;
    const char* store;
  } cases[] = {
      {{2026, 12, 15}, "setup_quota_starts=01-01-2027\r\nsetup_quota_ends=02-01-2027\r\n"},
      {{2026, 3, 2}, "setup_quota_starts=04-01-2026\r\nsetup_quota_ends=05-01-2026\r\n"},
      {{2026, 11, 30}, "setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\n"},
  };
  for (const Case& c : cases) {
    Site site;
    site.platform.date = c.today;
    runCommand(site, "qstart");
    EXPECT_EQ(site.quotaStore(), c.store) << formatDate(c.today);
    std::string period =
        std::string(c.store).substr(19, 10) + " to " + std::string(c.store).substr(48, 10);
    EXPECT_EQ(site.platform.output, "qstart: the quota period " + period +
                                        " is set up; newday starts it on its first day.\r\n");
  }
}

TEST(QstartTest, OtherQuotaTypesOnlyDeleteTheStore) {
  Site site("QUOTA_TYPE=2\r\n");
  site.setQuotaStore(kRunningPeriod);
  runCommand(site, "qstart force");
  EXPECT_FALSE(site.hasQuotaStore());
  EXPECT_EQ(site.platform.file("C:\\site\\Velkrin.dat.bak"), kRunningPeriod);
  EXPECT_EQ(site.platform.output,
            "qstart: no quota period is set up (QUOTA_TYPE is not 1); the old Velkrin.dat is "
            "kept as Velkrin.dat.bak.\r\n");
}

// Over a running period with members, qstart and qnow change nothing and
// say what they would erase; with the force word they replace it, keeping
// a copy of the store they replace.
TEST(QstartTest, ARunningPeriodIsReplacedOnlyWhenForced) {
  const std::string refused =
      ": the quota period 11-01-2026 to 12-01-2026 runs with 6 members and their uploads; "
      "nothing was changed. \"";
  for (const char* command : {"qstart", "qnow"}) {
    Site site;
    site.platform.date = {2026, 11, 20};
    site.setQuotaStore(kRunningPeriod);
    runCommand(site, command);
    EXPECT_EQ(site.quotaStore(), kRunningPeriod) << command;
    EXPECT_FALSE(site.platform.hasFile("C:\\site\\Velkrin.dat.bak")) << command;
    EXPECT_EQ(site.platform.output, "") << command;
    EXPECT_EQ(site.platform.error_lines,
              std::vector<std::string>{command + refused + command + " force\" erases it."});

    site.platform.error_lines.clear();
    runCommand(site, (std::string(command) + " force").c_str());
    EXPECT_EQ(site.platform.file("C:\\site\\Velkrin.dat.bak"), kRunningPeriod) << command;
    EXPECT_NE(site.quotaStore(), kRunningPeriod) << command;
    EXPECT_EQ(site.platform.error_lines, std::vector<std::string>()) << command;
  }
}

TEST(QnowTest, StartsAPeriodAndEndsTheRun) {
  Site site;
  site.platform.addFile("C:\\ioFTPD\\etc\\passwd", "brisk:2:STANDARD\r\n");
  site.platform.date = {2026, 12, 15};
  site.setQuotaStore(kRunningPeriod);
  EXPECT_EQ(runQnowForced(site.run()), Next::kEndRun);
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=12-15-2026\r\nsetup_quota_ends=01-01-2027\r\n"
            "brisk=0::0::Couriers\r\nsetup_quota_started=1\r\n");
  EXPECT_EQ(runNewday(site.run()), Next::kEndRun);
}

TEST(CheckupTest, TrialAndQuotaHalvesInOneRun) {
  Site site("TRIAL_ONPASS=SITE CHANGE $USER ratio 3\r\n");
  site.setTrialStore("\r\nwren=600::3::Couriers\r\nghost=0::3::G\r\ntamsin=1::3::Couriers\r\n");
  site.setQuotaStore(
      "\r\nsetup_quota_starts=12-01-2026\r\nsetup_quota_started=1\r\n"
      "wren=0::2::Couriers\r\ntamsin=0::2::Couriers\r\n");
  runCommand(site, "checkup");
  EXPECT_EQ(site.trialStore(), "tamsin=1::3::Couriers\r\n");
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=12-01-2026\r\nsetup_quota_started=1\r\n"
            "tamsin=0::2::Couriers\r\nwren=0::0::Couriers\r\n");
  // wren is found at the target: passed as an upload would pass him.
  EXPECT_EQ(site.platform.output, "!putlog PassedTrial: \"wren\"\r\n");
  EXPECT_EQ(site.platform.siteCommands(), std::vector<std::string>{"SITE CHANGE wren ratio 3"});
}

// The server holds its user id table locked while it rewrites it (a
// sharing lock on Windows): runs that would take every user for gone, or
// enrol nobody, leave the stores as they are and say why once.
TEST(UnreadableUserDatabaseTest, RunsThatNeedItChangeNothing) {
  const std::string trials = "wren=600::3::Couriers\r\nghost=0::3::G\r\n";
  const std::string period =
      "setup_quota_starts=11-01-2026\r\nsetup_quota_ends=12-01-2026\r\n"
      "setup_quota_started=1\r\nbrisk=5::0::Couriers\r\nghost=1::0::X\r\n";
  for (const char* command : {"checkup", "qnow", "newday"}) {
    Site site("QUOTA_PUNISHMENT=1\r\nAddLate=1\r\n");
    site.platform.lockFile("C:\\ioFTPD\\etc\\UserIdTable");
    site.platform.date = {2026, 12, 1};
    if (std::string(command) != "newday") site.setTrialStore(trials);
    site.setQuotaStore(period);
    runCommand(site, command);
    EXPECT_EQ(site.platform.output, "") << command;
    EXPECT_EQ(site.quotaStore(), period) << command;
    if (std::string(command) != "newday") {
      EXPECT_EQ(site.trialStore(), trials) << command;
    }
    EXPECT_TRUE(site.platform.siteCommands().empty()) << command;
    ASSERT_EQ(site.platform.error_lines.size(), 1u) << command;
    EXPECT_NE(site.platform.error_lines[0].find("UserIdTable\" cannot be opened"),
              std::string::npos)
        << site.platform.error_lines[0];
  }
}

}  // namespace
}  // namespace quarvel

namespace quarvel {
namespace {

// checkup does what is due as soon as it can log in; a trial that ran out
// can no longer pass, neither by checkup's tidying nor by an upload.
TEST(CheckupTest, DoesWhatIsDueAndNeverLetsAnExpiredTrialPass) {
  Site site("TRIAL_PUNISHMENT=1\r\n");
  site.setTrialStore("wren=900::0::Couriers\r\nsetup_trial_due=wren\r\n");
  site.platform.script.reply("PASS", "530 Login incorrect\r\n");
  runCommand(site, "checkup");
  EXPECT_EQ(site.trialStore(), "wren=900::0::Couriers\r\nsetup_trial_due=wren\r\n");
  EXPECT_EQ(site.platform.output, "");

  site.platform.script.reply("PASS", "230 Logged in\r\n");
  runCommand(site, "checkup");
  EXPECT_EQ(site.platform.output, "!putlog UDelSite: \"wren\"\r\n");
  EXPECT_EQ(site.platform.siteCommands(), Lines{"SITE DELUSER wren"});
  EXPECT_EQ(site.trialStore().find("wren"), std::string::npos);
}

}  // namespace
}  // namespace quarvel
