#include "evaluation/trial_evaluation.h"

#include <gtest/gtest.h>

#include "evaluation/site_test_util.h"

namespace quarvel {
namespace {

using test_site::Site;
using Lines = std::vector<std::string>;

TEST(CheckTrialPassTest, PassesAtTheTargetExactly) {
  struct Case {
    const char* record;
    bool passes;
  } cases[] = {
      {"brisk=499.9::3::Couriers", false},
      {"brisk=500::3::Couriers", true},
      {"brisk=1500.5::0::Couriers", true},
  };
  for (const Case& c : cases) {
    Site site("TRIAL_ONPASS=SITE CHANGE $USER ratio 3\r\n");
    site.setTrialStore(std::string("\r\n") + c.record + "\r\n");
    auto& run = site.run();
    checkTrialPass(run.records(), run.out, run.trialPass(), "brisk");
    if (c.passes) {
      EXPECT_EQ(site.platform.output, "!putlog PassedTrial: \"brisk\"\r\n") << c.record;
      EXPECT_EQ(site.trialStore(), "\r\n") << c.record;
      EXPECT_EQ(site.platform.siteCommands(), Lines{"SITE CHANGE brisk ratio 3"}) << c.record;
    } else {
      EXPECT_EQ(site.platform.output, "") << c.record;
      EXPECT_TRUE(site.platform.connects.empty()) << c.record;
    }
  }
}

TEST(CheckTrialPassTest, PassCommandGoesOnAFreshLoginThatIsEnded) {
  Site site("TRIAL_ONPASS=SITE CHANGE $USER ratio 3 $USER $user\r\n");
  site.setTrialStore("\r\nwren=600::3::Couriers\r\nbrisk=10::3::Couriers\r\n");
  auto& run = site.run();
  checkTrialPass(run.records(), run.out, run.trialPass(), "wren");
  ASSERT_EQ(site.platform.log.size(), 1u);
  EXPECT_EQ(site.platform.log[0],
            (Lines{"USER siteadmin", std::string("PASS ") + test_site::kPassword,
                   "SITE CHANGE wren ratio 3 wren $user", "QUIT"}));
  // Not the run's own login, which is kept to the end of the run.
  EXPECT_EQ(run.admin_session, nullptr);
  EXPECT_EQ(site.trialStore(), "brisk=10::3::Couriers\r\n");
  EXPECT_FALSE(site.passwordShown());
  EXPECT_TRUE(site.platform.error_codes.empty());
}

TEST(CheckTrialPassTest, WithoutLoginOrCommandThePassStillCounts) {
  Site refused("TRIAL_ONPASS=SITE CHANGE $USER ratio 3\r\n");
  refused.platform.script.reply("PASS", "530 Not you\r\n");
  refused.setTrialStore("\r\nwren=600::3::Couriers\r\n");
  checkTrialPass(refused.run().records(), refused.run().out, refused.run().trialPass(), "wren");
  EXPECT_EQ(refused.platform.output, "!putlog PassedTrial: \"wren\"\r\n");
  EXPECT_EQ(refused.trialStore(), "\r\n");
  EXPECT_TRUE(refused.platform.siteCommands().empty());
  EXPECT_TRUE(refused.platform.error_codes.empty());
  EXPECT_FALSE(refused.passwordShown());

  Site no_command;
  no_command.setTrialStore("\r\nwren=600::3::Couriers\r\n");
  checkTrialPass(no_command.run().records(), no_command.run().out, no_command.run().trialPass(),
                 "wren");
  EXPECT_EQ(no_command.platform.output, "!putlog PassedTrial: \"wren\"\r\n");
  EXPECT_TRUE(no_command.platform.connects.empty());
}

TEST(CheckTrialPassTest, NoTrialRecordNoPass) {
  // Even a zero target is not reached by somebody who is not on trial.
  Site site("TRIAL_UPLOAD=0\r\nTRIAL_ONPASS=SITE CHANGE $USER ratio 3\r\n");
  site.setTrialStore("\r\nwren=600::3::Couriers\r\n");
  checkTrialPass(site.run().records(), site.run().out, site.run().trialPass(), "brisk");
  EXPECT_EQ(site.platform.output, "");
  EXPECT_TRUE(site.platform.connects.empty());
}

TEST(CheckTrialPassTest, SuspendedQuotaRecordIsReleased) {
  struct Case {
    const char* user;
    const char* quota_record;
    const char* after;
  } cases[] = {
      {"wren", "wren=42.5::2::Couriers", "wren=42.5::0::Couriers"},
      // Exempt now (group SiteOps): excluded instead.
      {"Marlow", "Marlow=7::2::SiteOps", "Marlow=7::3::SiteOps"},
      // Any other status stays.
      {"brisk", "brisk=7::1::Couriers", "brisk=7::1::Couriers"},
      {"pike", "pike=7::0::NoGroup", "pike=7::0::NoGroup"},
  };
  for (const Case& c : cases) {
    Site site;
    site.setTrialStore(std::string("\r\n") + c.user + "=500::1::G\r\n");
    site.setQuotaStore(std::string("\r\nsetup_quota_started=1\r\n") + c.quota_record + "\r\n");
    auto& run = site.run();
    checkTrialPass(run.records(), run.out, run.trialPass(), c.user);
    std::string store = site.quotaStore();
    EXPECT_EQ(store.substr(store.find("setup")),
              std::string("setup_quota_started=1\r\n") + c.after + "\r\n")
        << c.user;
  }
}

TEST(TrialDailyEvaluationTest, RemovesVanishedUsersAndPassesThoseAtTheTarget) {
  Site site("TRIAL_ONPASS=SITE CHANGE $USER ratio 3\r\n");
  site.setTrialStore(
      "\r\n"
      "brisk=499.9::3::Couriers\r\n"
      "ghost=0::3::Couriers\r\n"
      "wren=500::2::Couriers\r\n"
      "brisk_PREDEL_SIZE_a.zip=4.5\r\n"
      "tamsin=10::5::Couriers\r\n");
  site.setQuotaStore("\r\nsetup_quota_started=1\r\nwren=0::2::Couriers\r\n");
  auto& run = site.run();
  evaluateTrialsDaily(run.records(), run.out, run.trialPass());
  EXPECT_EQ(site.trialStore(), "brisk=499.9::3::Couriers\r\ntamsin=10::5::Couriers\r\n");
  // A user found at the target passes as an upload would have passed them.
  EXPECT_EQ(site.platform.output, "!putlog PassedTrial: \"wren\"\r\n");
  EXPECT_EQ(site.platform.siteCommands(), Lines{"SITE CHANGE wren ratio 3"});
  EXPECT_EQ(site.quotaStore(), "setup_quota_started=1\r\nwren=0::0::Couriers\r\n");
}

// One target for every decision: a fractional TRIAL_UPLOAD is compared as
// set, whether the amount is reached by an upload, by ST give or found by
// checkup, and a target lowered under users who already meet it passes them.
TEST(TrialDailyEvaluationTest, TheTargetAsSetDecidesEveryPass) {
  struct Case {
    const char* target;
    const char* record;
    bool passes;
  } cases[] = {
      {"500.6", "wren=500.7::3::Couriers", true},  {"500.6", "wren=500.6::3::Couriers", true},
      {"500.6", "wren=500.5::3::Couriers", false}, {"500.4", "wren=500.3::3::Couriers", false},
      {"100", "wren=250::3::Couriers", true},  // lowered under the user
  };
  for (const Case& c : cases) {
    Site site(std::string("TRIAL_UPLOAD=") + c.target +
              "\r\nTRIAL_ONPASS=SITE CHANGE $USER ratio 3\r\n");
    site.setTrialStore(std::string("\r\n") + c.record + "\r\n");
    auto& run = site.run();
    evaluateTrialsDaily(run.records(), run.out, run.trialPass());
    EXPECT_EQ(site.platform.output, c.passes ? "!putlog PassedTrial: \"wren\"\r\n" : "")
        << c.target << " " << c.record;
    EXPECT_EQ(site.platform.siteCommands(), c.passes ? Lines{"SITE CHANGE wren ratio 3"} : Lines{})
        << c.target << " " << c.record;
  }
}

TEST(TrialCountDownTest, CountedDown) {
  struct Case {
    const char* days_left;
    int days;
    long long after;
  } cases[] = {
      {"3", 1, 2},    {"3", 2, 1},   {"3", 5, 0},  // stops at 0, where the trial ran out
      {"1", 1, 0},    {"2.5", 1, 2},               // the first day halves to even
      {"0", 1, -1},   {"0", 3, -3},                // at 0 or below: never runs out
      {"abc", 1, -1}, {"-2", 1, -3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(countedDown(StoredNumber(c.days_left), c.days), c.after)
        << c.days_left << " " << c.days;
  }
}

// wren's account is closed by the server: deleted, not purged yet.
void closeWren(Site& site) {
  site.platform.addFile("C:\\ioFTPD\\users\\6", "groups 3\r\nflags 3\r\nDeletedOn 1750000000\r\n");
}

TEST(TrialCountDownTest, CountsTheDaysSinceTheLastCountOnceAndHoldsClosedAndDueTrials) {
  Site site;
  closeWren(site);
  site.setTrialStore(
      "brisk=10::5::Couriers::kept\r\n"
      "wren=1::3::Couriers\r\n"
      "tamsin=1::2::Couriers\r\n"
      "setup_trial_due=tamsin\r\n"
      "setup_trial_counted=03-14-2027\r\n");
  auto& run = site.run();
  EXPECT_EQ(countDownTrials(run.trial, run.users, run.audit, "03-17-2027"), 3);
  EXPECT_EQ(countDownTrials(run.trial, run.users, run.audit, "03-17-2027"), 0);
  EXPECT_EQ(site.trialStore(),
            "wren=1::3::Couriers\r\n"
            "tamsin=1::2::Couriers\r\n"
            "setup_trial_due=tamsin\r\n"
            "brisk=10::2::Couriers::kept\r\n"
            "setup_trial_counted=03-17-2027\r\n");
  EXPECT_EQ(site.platform.output, "");
}

TEST(TrialExpiryTest, TrialsThatRanOutAndThoseStillDueArePunishedInFileOrder) {
  Site site("TRIAL_PUNISHMENT=2\r\n");
  closeWren(site);
  site.setTrialStore(
      "brisk=10::0::Couriers\r\n"
      "wren=1::0::Couriers\r\n"
      "tamsin=1::4::Couriers\r\n"
      "oleander=1::0::Friends\r\n"
      "setup_trial_due=tamsin\r\n");
  auto& run = site.run();
  punishExpiredTrials(run.punishment(), run.trial, run.out, run.trialRule(), true);
  // wren's closed account is held; oleander ran out like brisk but is
  // exempt: spared, no command, and out of the store all the same.
  EXPECT_EQ(site.platform.siteCommands(),
            (Lines{"SITE CHANGE brisk FLAGS +7", "SITE CHANGE tamsin FLAGS +7"}));
  EXPECT_EQ(site.trialStore(), "wren=1::0::Couriers\r\n");
}

TEST(TrialExpiryTest, WithoutACountOnlyTheDueArePunishedAndAFailureLeavesThemDue) {
  Site site("TRIAL_PUNISHMENT=2\r\n");
  site.platform.script.reply("SITE", "500 No\r\n");
  site.setTrialStore(
      "brisk=10::0::Couriers\r\ntamsin=1::4::Couriers\r\n"
      "setup_trial_due=tamsin\r\n");
  auto& run = site.run();
  punishExpiredTrials(run.punishment(), run.trial, run.out, run.trialRule(), false);
  EXPECT_EQ(site.trialStore(),
            "brisk=10::0::Couriers\r\ntamsin=1::4::Couriers\r\nsetup_trial_due=tamsin\r\n");
}

TEST(TrialDailyEvaluationTest, NoStoreStaysNoStore) {
  Site site;
  evaluateTrialsDaily(site.run().records(), site.run().out, site.run().trialPass());
  EXPECT_FALSE(site.platform.hasFile(Site::kTrialPath));
}

}  // namespace
}  // namespace quarvel
