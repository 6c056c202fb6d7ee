#include "evaluation/punishment.h"

#include <gtest/gtest.h>

#include <functional>

#include "evaluation/site_test_util.h"

namespace quarvel {
namespace {

using test_site::Site;
using Lines = std::vector<std::string>;

// An active account of that name and nothing else.
UserRecord account(const char* name) {
  UserRecord user;
  user.user_name = name;
  return user;
}

TEST(PunishVerdictTest, WhoMayBePunished) {
  struct Case {
    const char* name;
    UserRecord user;
    const char* admin;
    PunishVerdict verdict;
  } cases[] = {
      {"brisk", account("brisk"), "siteop", PunishVerdict::kPunish},
      {"brisk", account("brisk"), "", PunishVerdict::kPunish},
      {"Marlow",
       {"Marlow", "SiteOps", "SiteOps", "1M", 1, "", "", AccountState::kActive},
       "siteop",
       PunishVerdict::kExempt},
      {"ghost", {}, "siteop", PunishVerdict::kUnknownAccount},
      // Closed by the server already: deleted, or expired (even if exempt).
      {"pike",
       {"pike", "NoGroup", "NoGroup", "3", 0, "", "", AccountState::kDeleted},
       "siteop",
       PunishVerdict::kClosedAccount},
      {"Marlow",
       {"Marlow", "SiteOps", "SiteOps", "1M", 1, "", "", AccountState::kExpired},
       "siteop",
       PunishVerdict::kClosedAccount},
      // The login's own account, however the name is written.
      {"SITEOP", account("siteop"), " siteop ", PunishVerdict::kAdminAccount},
      {"ghost", {}, "Ghost", PunishVerdict::kAdminAccount},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(punishVerdict(c.user, c.name, c.admin), c.verdict) << c.name << " / " << c.admin;
  }
}

TEST(PunishTrialUserTest, EachSetting) {
  struct Case {
    const char* punishment;
    Lines sent;
    std::string output;
  } cases[] = {
      {"1", {"SITE DELUSER bob"}, "!putlog UDelSite: \"bob\"\r\n"},
      {"2",
       {"SITE CHANGE bob FLAGS +6"},
       "wtf - SITE CHANGE bob FLAGS +6\r\n!putlog UDisSite: \"bob\"\r\n"},
      {"3", {}, ""},
      {"", {}, ""},
  };
  for (const Case& c : cases) {
    Site site(std::string("TRIAL_PUNISHMENT=") + c.punishment + "\r\nTRIAL_DISABLE_FLAG=6\r\n");
    auto& run = site.run();
    EXPECT_EQ(punishTrialUser(run.punishment(), run.out, run.trialRule(), "bob"),
              PunishOutcome::kDone);
    EXPECT_EQ(site.platform.siteCommands(), c.sent) << c.punishment;
    EXPECT_EQ(site.platform.output, c.output) << c.punishment;
  }
}

// Only an accepted command is announced; anything else leaves the user due
// and says which command failed and what came back.
TEST(PunishTrialUserTest, OnlyAcceptedCommandsAreAnnounced) {
  struct Case {
    const char* name;
    std::function<void(test_site::SitePlatform&)> script;
    const char* error;
  } cases[] = {
      {"refused", [](auto& p) { p.script.reply("SITE", "550 Permission denied\r\n"); },
       "bob stays due: SITE DELUSER bob Trial failed: 550 Permission denied"},
      {"login refused", [](auto& p) { p.script.reply("PASS", "530 Login incorrect\r\n"); },
       "bob stays due: SITE DELUSER bob Trial failed: no admin login on 127.0.0.1:2121 (530 "
       "Login incorrect)"},
      {"unreachable", [](auto& p) { p.reachable = false; },
       "bob stays due: SITE DELUSER bob Trial failed: no admin login on 127.0.0.1:2121 (61 "
       "Unable to open socket)"},
  };
  for (const Case& c : cases) {
    Site site("TRIAL_PUNISHMENT=1\r\nTRIAL_DELETE_REASON=Trial failed\r\n");
    c.script(site.platform);
    auto& run = site.run();
    EXPECT_EQ(punishTrialUser(run.punishment(), run.out, run.trialRule(), "bob"),
              PunishOutcome::kLeftDue)
        << c.name;
    EXPECT_EQ(site.platform.output, "") << c.name;
    EXPECT_EQ(site.platform.error_lines, std::vector<std::string>{c.error}) << c.name;
    EXPECT_FALSE(site.passwordShown());
  }
}

TEST(PunishTrialUserTest, ExemptUsersAndTheAdminAccountAreSpared) {
  // Marlow is a siteop (exempt by group); the login is pike's.
  Site site("TRIAL_PUNISHMENT=1\r\n");
  site.platform.addFile("C:\\site\\quarvel.conf",
                        "TRIAL_PUNISHMENT=1\r\nFTP_USER=pike\r\n" + test_site::baseConfig());
  auto& run = site.run();
  EXPECT_EQ(punishTrialUser(run.punishment(), run.out, run.trialRule(), "Marlow"),
            PunishOutcome::kSpared);
  EXPECT_EQ(punishTrialUser(run.punishment(), run.out, run.trialRule(), "Pike"),
            PunishOutcome::kSpared);
  EXPECT_TRUE(site.platform.siteCommands().empty());
  EXPECT_EQ(site.platform.output, "");
  std::string log = site.platform.file("C:\\site\\Quarvel.log");
  EXPECT_NE(log.find("| Marlow | - | - | not punished: exempt now\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("| Pike | - | - | not punished: the admin login's own account\r\n"),
            std::string::npos)
      << log;
}

const char kQuotaStore[] =
    "\r\n"
    "setup_quota_starts=12-01-2026\r\n"
    "brisk=10::0::Couriers\r\n"
    "tamsin=1200::1::Couriers\r\n"
    "oleander=0::3::Friends\r\n"
    "setup_quota_started=1\r\n";

TEST(PunishQuotaUserTest, EachSetting) {
  struct Case {
    const char* punishment;
    Lines sent;
  } cases[] = {
      {"1", {"SITE kick brisk", "SITE DELUSER brisk"}},
      {"2", {"SITE kick brisk", "SITE CHANGE brisk FLAGS +6"}},
      {"3", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    Site site(std::string("QUOTA_PUNISHMENT=") + c.punishment + "\r\n");
    site.setQuotaStore(kQuotaStore);
    auto& run = site.run();
    // The name as the caller spells it; the server gets the database's.
    EXPECT_EQ(punishQuotaUser(run.punishment(), run.quota, run.quotaRule(), "BRISK"),
              PunishOutcome::kDone);
    EXPECT_EQ(site.platform.siteCommands(), c.sent) << c.punishment;
    EXPECT_EQ(site.platform.output, "") << c.punishment;
    EXPECT_EQ(site.quotaStore(),
              "setup_quota_starts=12-01-2026\r\n"
              "tamsin=1200::1::Couriers\r\n"
              "oleander=0::3::Friends\r\n"
              "setup_quota_started=1\r\n")
        << c.punishment;
  }
}

// Announced only when QUOTA_ANNOUNCE asks for it and the server accepted;
// a member spared or left due is not announced.
TEST(PunishQuotaUserTest, AnnouncesWhenAsked) {
  struct Case {
    const char* conf;
    const char* name;
    bool refused;
    const char* output;
  } cases[] = {
      {"QUOTA_PUNISHMENT=1\r\nQUOTA_ANNOUNCE=1\r\n", "BRISK", false,
       "!putlog QuotaDEL: \"brisk\"\r\n"},
      {"QUOTA_PUNISHMENT=2\r\nQUOTA_ANNOUNCE=1\r\n", "brisk", false,
       "!putlog QuotaDIS: \"brisk\"\r\n"},
      {"QUOTA_PUNISHMENT=2\r\nQUOTA_ANNOUNCE=0\r\n", "brisk", false, ""},
      {"QUOTA_PUNISHMENT=1\r\nQUOTA_ANNOUNCE=\r\n", "brisk", false, ""},
      {"QUOTA_PUNISHMENT=3\r\nQUOTA_ANNOUNCE=1\r\n", "brisk", false, ""},
      {"QUOTA_PUNISHMENT=1\r\nQUOTA_ANNOUNCE=1\r\n", "oleander", false, ""},
      {"QUOTA_PUNISHMENT=1\r\nQUOTA_ANNOUNCE=1\r\n", "brisk", true, ""},
  };
  for (const Case& c : cases) {
    Site site(c.conf);
    site.setQuotaStore(kQuotaStore);
    if (c.refused) site.platform.script.replyTo("SITE DELUSER brisk", "550 Permission denied\r\n");
    auto& run = site.run();
    punishQuotaUser(run.punishment(), run.quota, run.quotaRule(), c.name);
    EXPECT_EQ(site.platform.output, c.output) << c.conf << c.name;
  }
}

TEST(PunishQuotaUserTest, WhoIsSpared) {
  Site site("QUOTA_PUNISHMENT=1\r\n");
  site.setQuotaStore(kQuotaStore);
  auto& run = site.run();
  // Passed: untouched.
  punishQuotaUser(run.punishment(), run.quota, run.quotaRule(), "tamsin");
  // Exempt (disabled by flag 6): the record goes, no command.
  punishQuotaUser(run.punishment(), run.quota, run.quotaRule(), "oleander");
  // Unknown to the server: nothing to send, nothing to delete.
  punishQuotaUser(run.punishment(), run.quota, run.quotaRule(), "ghost");
  EXPECT_TRUE(site.platform.siteCommands().empty());
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=12-01-2026\r\n"
            "brisk=10::0::Couriers\r\n"
            "tamsin=1200::1::Couriers\r\n"
            "setup_quota_started=1\r\n");
}

// Without a login, or when the server refuses the deletion, the member
// stays due; a kick refused (the user was not online) is no failure.
TEST(PunishQuotaUserTest, WhatLeavesAMemberDue) {
  struct Case {
    const char* name;
    std::function<void(test_site::SitePlatform&)> script;
    PunishOutcome outcome;
    std::size_t errors;
  } cases[] = {
      {"kick refused, deletion accepted",
       [](auto& p) {
         p.script.reply("SITE", "200 OK\r\n");
         p.script.replyTo("SITE kick brisk", "550 brisk is not online\r\n");
       },
       PunishOutcome::kDone, 0},
      {"deletion refused",
       [](auto& p) { p.script.replyTo("SITE DELUSER brisk", "550 Permission denied\r\n"); },
       PunishOutcome::kLeftDue, 1},
      {"no login", [](auto& p) { p.script.reply("PASS", "530 Login incorrect\r\n"); },
       PunishOutcome::kLeftDue, 1},
  };
  for (const Case& c : cases) {
    Site site("QUOTA_PUNISHMENT=1\r\n");
    site.setQuotaStore(kQuotaStore);
    c.script(site.platform);
    auto& run = site.run();
    EXPECT_EQ(punishQuotaUser(run.punishment(), run.quota, run.quotaRule(), "brisk"), c.outcome)
        << c.name;
    EXPECT_EQ(site.platform.error_lines.size(), c.errors) << c.name;
    EXPECT_EQ(site.quotaStore().find("brisk") == std::string::npos,
              c.outcome == PunishOutcome::kDone)
        << c.name;
  }
}

}  // namespace
}  // namespace quarvel
