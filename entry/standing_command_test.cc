// PASSED [user]: a user's own standing, read only, in the IRC report's
// words.
#include <gtest/gtest.h>

#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using test_site::HandlerSite;
using Env = std::map<std::string, std::string>;

const char kTemplates[] =
    "Irc_SiteName=S\r\n"
    "Irc_No_User=$USER is no user of $SITENAME\r\n"
    "Irc_Trial_Uinfo=$BOLDT$BOLD $USER/$GROUP up:$UPLOADED of $SHOWL left:$MBLEFT "
    "days:$DAYSLEFT\r\n"
    "Irc_Quota_Uinfo=$BOLDQ$BOLD $USER/$GROUP up:$UPLOADED of $SHOWL left:$MBLEFT "
    "days:$DAYSLEFT\r\n"
    "Irc_Quota_EXEMPTED_Uinfo=X $USER ($EXCUSE)\r\n"
    "Irc_Quota_Next=next $USER/$GROUP\r\n"
    "Irc_Quota_Yet=yet $USER/$GROUP\r\n"
    "Irc_Account_Closed=$USER is $STATE\r\n";

// Bob on trial, carol a passed member (her flag 6 makes her exempt in the
// database), Marlow exempt, nogroup in neither store.
HandlerSite standingSite(const std::string& extra_config = "") {
  HandlerSite site(kTemplates + extra_config);
  site.platform.program_folder = "C:\\site";  // IRC reads the same files
  site.setTrialStore("bob=120::3::x\r\n");
  site.setQuotaStore(test_site::runningQuota(
      "bob=5::2::x\r\ncarol=1000::1::x\r\nMarlow=0::3::x\r\nnogroup=0::0::x\r\n"));
  return site;
}

Env caller(const char* user, const char* flags = "3") { return {{"user", user}, {"flags", flags}}; }

TEST(StandingCommandTest, Cases) {
  struct Case {
    const char* label;
    const char* command_line;
    Env env;
    const char* output;
  } cases[] = {
      {"trial user", "PASSED", caller("bob"), "T Bob/Couriers up:120 of 500 left:380.0 days:3\r\n"},
      {"quota member, passed", "passed", caller("carol"),
       "Q carol/Couriers up:1000.0 of 1000 left:0 days:17\r\n"},
      {"quota member, counting", "PASSED", caller("nogroup"),
       "Q nogroup/ up:0.0 of 1000 left:1000 days:17\r\n"},
      {"exempt", "PASSED", caller("Marlow", "1M"), "X Marlow (member of SiteOps)\r\n"},
      {"own name given", "PASSED BOB", caller("bob"),
       "T Bob/Couriers up:120 of 500 left:380.0 days:3\r\n"},
      {"staff asks for another", "PASSED carol", caller("Marlow", "1M"),
       "Q carol/Couriers up:1000.0 of 1000 left:0 days:17\r\n"},
      {"odd characters cleaned as IRC does", "PASSED {b/o\\b}", caller("Marlow", "M"),
       "T Bob/Couriers up:120 of 500 left:380.0 days:3\r\n"},
      {"no line may pass for a server command", "PASSED !putlog", caller("Marlow", "1"),
       " !putlog is no user of S\r\n"},
      {"plain user asks for another", "PASSED carol", caller("bob"),
       "PASSED: only users with one of the flags 1M may ask for another user's standing\r\n"},
      {"no flags from the server",
       "PASSED carol",
       {{"user", "bob"}},
       "PASSED: only users with one of the flags 1M may ask for another user's standing (no "
       "FLAGS from the server: ioftpd.env needs FLAGS=%[$flags])\r\n"},
      {"no user from the server",
       "PASSED",
       {},
       "PASSED: the server gave no user name: ioftpd.env needs the line USER=%[$user]\r\n"},
      {"two names", "PASSED bob carol", caller("Marlow", "1M"),
       "PASSED: give one user name, or none for your own standing\r\n"},
  };
  for (const Case& c : cases) {
    HandlerSite site = standingSite();
    EXPECT_EQ(site.run(c.command_line, c.env), c.output) << c.label;
  }
  // A user not on the server, and other staff letters.
  HandlerSite site = standingSite("PASSED_OTHERS_FLAGS=Z\r\n");
  EXPECT_EQ(site.run("PASSED ghost", caller("bob", "3Z")), "ghost is no user of S\r\n");
  EXPECT_EQ(site.run("PASSED ghost", caller("Marlow", "1M")),
            "PASSED: only users with one of the flags Z may ask for another user's standing\r\n");
}

// The standing is the IRC report on the same user, less the IRC control
// codes.
TEST(StandingCommandTest, SameWordsAsTheIrcReport) {
  for (const char* name : {"bob", "carol", "Marlow", "nogroup", "ghost"}) {
    HandlerSite site = standingSite();
    std::string irc = site.run(std::string("IRC PASSED ") + name);
    irc.erase(std::remove(irc.begin(), irc.end(), '\x02'), irc.end());
    EXPECT_EQ(site.run(std::string("PASSED ") + name, caller("Marlow", "1M")), irc) << name;
  }
}

// It changes no file and writes no log line, not even a temporary copy of
// the server's files; it answers in an excluded folder too.
TEST(StandingCommandTest, ReadsOnly) {
  HandlerSite site = standingSite("EXCLUDED_DIRS=/private\r\nTRIAL_WARN_DAYS=3\r\n");
  std::vector<std::string> before = site.platform.filesIn("C:\\site");
  std::string trial = site.trialStore(), quota = site.quotaStore();
  Env env = caller("bob");
  env["pwd"] = "/private/x/";
  EXPECT_EQ(site.run("PASSED", env),
            "T Bob/Couriers up:120 of 500 left:380.0 days:3\r\n"
            "Bob: 380.0 MB to go in the last 3 days of your trial\r\n");
  EXPECT_EQ(site.platform.filesIn("C:\\site"), before);
  EXPECT_EQ(site.trialStore(), trial);
  EXPECT_EQ(site.quotaStore(), quota);
  EXPECT_TRUE(site.platform.error_lines.empty());
}

}  // namespace
}  // namespace quarvel
