#include "evaluation/punishment.h"

#include <gtest/gtest.h>

#include "entry/admin_connection.h"
#include "evaluation/test_site.h"

namespace quarvel {
namespace {

using test_site::Site;
using Lines = std::vector<std::string>;

TEST(SendSiteCommandTest, SendsTheLineAndReturnsTheReply) {
  Site site;
  site.platform.script.replies["SITE"] = "200-Changed\r\n200 Done\r\n";
  auto& run = site.run();
  int connection = openAdminConnection(run);
  EXPECT_EQ(sendSiteCommand(run, connection, "SITE CHANGE bob ratio 3"), "200-Changed\r\n200 Done");
  EXPECT_EQ(site.platform.log[0].back(), "SITE CHANGE bob ratio 3");
  EXPECT_TRUE(site.platform.error_codes.empty());
}

TEST(SendSiteCommandTest, LineBreaksAreNeverSent) {
  for (const char* command :
       {"SITE CHANGE bob\r\nSITE DELUSER Marlow", "SITE KICK bob\nQUIT", "SITE KICK bob\r"}) {
    Site site;
    auto& run = site.run();
    int connection = openAdminConnection(run);
    EXPECT_EQ(sendSiteCommand(run, connection, command), "");
    EXPECT_EQ(site.platform.log[0].size(), 2u) << "only the login: " << command;
    EXPECT_EQ(site.platform.error_codes, std::vector<long>{kCommandLineRefused});
    EXPECT_EQ(site.platform.output, "");
  }
}

TEST(SendSiteCommandTest, FailuresShowACodeAndReturn) {
  // The connection breaks after the login.
  Site broken;
  broken.platform.script.sends_fail_after_login = true;
  auto& run = broken.run();
  int connection = openAdminConnection(run);
  ASSERT_NE(connection, 0);
  EXPECT_EQ(sendSiteCommand(run, connection, "SITE KICK bob"), "");
  EXPECT_EQ(broken.platform.error_codes, std::vector<long>{kSendFailed});

  // The server does not answer.
  Site silent;
  silent.platform.script.replies["SITE"] = "";
  auto& quiet = silent.run();
  connection = openAdminConnection(quiet);
  EXPECT_EQ(sendSiteCommand(quiet, connection, "SITE KICK bob"), "");
  EXPECT_EQ(silent.platform.error_codes, std::vector<long>{kNoReply});

  // No such connection.
  Site none;
  EXPECT_EQ(sendSiteCommand(none.run(), 7, "SITE KICK bob"), "");
  EXPECT_EQ(none.platform.error_codes, std::vector<long>{kNotConnected});
  EXPECT_EQ(none.platform.output, "");
}

TEST(SendSiteCommandTest, AServerThatNeverStopsTalkingIsLeftBehind) {
  Site site;
  site.platform.script.floods_after_site = true;
  auto& run = site.run();
  int connection = openAdminConnection(run);
  std::string reply = sendSiteCommand(run, connection, "SITE KICK bob");
  EXPECT_GE(reply.size(), 1000000u);
  EXPECT_LE(reply.size(), 1100000u);
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
    run.admin_connection = openAdminConnection(run);
    punishTrialUser(run, "bob");
    EXPECT_EQ(site.platform.siteCommands(), c.sent) << c.punishment;
    EXPECT_EQ(site.platform.output, c.output) << c.punishment;
  }
}

TEST(PunishTrialUserTest, AnnouncesWhateverTheServerAnswers) {
  Site site("TRIAL_PUNISHMENT=1\r\n");
  site.platform.script.replies["SITE"] = "550 No such user\r\n";
  auto& run = site.run();
  run.admin_connection = openAdminConnection(run);
  punishTrialUser(run, "bob");
  EXPECT_EQ(site.platform.output, "!putlog UDelSite: \"bob\"\r\n");
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
    run.admin_connection = openAdminConnection(run);
    // The name as the caller spells it; the server gets the database's.
    punishQuotaUser(run, "BRISK");
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

TEST(PunishQuotaUserTest, WhoIsSpared) {
  Site site("QUOTA_PUNISHMENT=1\r\n");
  site.setQuotaStore(kQuotaStore);
  auto& run = site.run();
  run.admin_connection = openAdminConnection(run);
  // Passed: untouched.
  punishQuotaUser(run, "tamsin");
  // Exempt (disabled by flag 6): the record goes, no command.
  punishQuotaUser(run, "oleander");
  // Unknown to the server: nothing to send, nothing to delete.
  punishQuotaUser(run, "ghost");
  EXPECT_TRUE(site.platform.siteCommands().empty());
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=12-01-2026\r\n"
            "brisk=10::0::Couriers\r\n"
            "tamsin=1200::1::Couriers\r\n"
            "setup_quota_started=1\r\n");
}

TEST(PunishQuotaUserTest, WithoutALoginOnlyTheRecordGoes) {
  Site site("QUOTA_PUNISHMENT=1\r\n");
  site.setQuotaStore(kQuotaStore);
  punishQuotaUser(site.run(), "brisk");
  EXPECT_TRUE(site.platform.connects.empty());
  EXPECT_EQ(site.quotaStore().find("brisk"), std::string::npos);
  EXPECT_TRUE(site.platform.error_codes.empty());
}

}  // namespace
}  // namespace quarvel
