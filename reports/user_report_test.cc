#include "reports/user_report.h"

#include <gtest/gtest.h>

#include "reports/report_site_test_util.h"

namespace quarvel {
namespace {

using test_site::ReportSite;

const char* kTemplates =
    "Irc_SiteName=S[$USER]\r\n"
    "Irc_No_User=none $USER at $SITENAME\r\n"
    "Irc_Trial_Uinfo=T $USER/$GROUP up:$UPLOADED of $SHOWL left:$MBLEFT days:$DAYSLEFT "
    "pd:$PERDAY\r\n"
    "Irc_Quota_Uinfo=$BOLDQ$BOLD $USER/$GROUP up:$UPLOADED of $SHOWL left:$MBLEFT "
    "days:$DAYSLEFT pd:$PERDAY\r\n"
    "Irc_Quota_EXEMPTED_Uinfo=X $USER/$GROUP ($EXCUSE) up:$UPLOADED left:$MBLEFT\r\n"
    "Irc_Quota_Next=next $USER/$GROUP\r\n"
    "Irc_Quota_Not_Started=not started at $SITENAME\r\n"
    "Irc_Quota_Yet=yet $USER/$GROUP\r\n";

const char* kTrialStore = "bob=1500::5::Old\r\nCarol=250.5::0::G\r\n";

const char* kQuotaStore =
    "setup_quota_starts=03-01-2027\r\nsetup_quota_ends=04-01-2027\r\n"
    "setup_quota_started=1\r\n"
    "bob=10::0::G\r\nCarol=1200::0::G\r\ndan=99.95::3::G\r\n";

TEST(UserReportTest, ReportsOnOneUser) {
  struct Case {
    const char* label;
    const char* extra_config;
    const char* trial;
    const char* quota;
    const char* command_line;
    const char* expected;
  } cases[] = {
      {"unknown user: the name as typed, after cleaning", "", kTrialStore, kQuotaStore,
       "IRC PASSED {\"no/bo\\dy}\"", "none nobody at S[nobody]\r\n"},
      {"a name only in the stores is still unknown", "", "eve=1::1::G\r\n", "", "IRC PASSED eve",
       "none eve at S[eve]\r\n"},
      {"trial user: over-achiever, the database's spelling, a trial beats quota", "", kTrialStore,
       kQuotaStore, "irc passed {BOB}",
       "T bob/Couriers up:1500 of 1000 left:-500.0 days:5 pd:-100.0\r\n"},
      {"slashes and backslashes removed from the name", "", kTrialStore, kQuotaStore,
       "IRC PASSED b/o\\b", "T bob/Couriers up:1500 of 1000 left:-500.0 days:5 pd:-100.0\r\n"},
      {"trial user on the last day: everything is due", "", kTrialStore, kQuotaStore,
       "IRC PASSED carol", "T Carol/Friends up:250.5 of 1000 left:749.5 days:0 pd:749.5\r\n"},
      {"TRIAL_UPLOAD 1000.5 is used as 1000", "TRIAL_UPLOAD=1000.5\r\n", "bob=0::4::G\r\n", "",
       "IRC PASSED bob", "T bob/Couriers up:0 of 1000 left:1000.0 days:4 pd:250.0\r\n"},
      {"quota user, counting: 12 days to the end", "", "", kQuotaStore, "IRC PASSED bob",
       "\x02Q\x02 bob/Couriers up:10.0 of 1000 left:990 days:12 pd:82.5\r\n"},
      {"quota user above the quota: clamped", "", "", kQuotaStore, "IRC PASSED Carol",
       "\x02Q\x02 Carol/Friends up:1200.0 of 1000 left:0 days:12 pd:0.0\r\n"},
      {"quota user, exempt", "", "", kQuotaStore, "IRC PASSED dan",
       "X dan/Couriers (\x02"
       "disabled\x02) up:100.0 left:900.05\r\n"},
      {"status 2: nothing", "", "", "bob=1::2::G\r\n", "IRC PASSED bob", ""},
      {"status 4: nothing", "", "", "bob=1::4::G\r\n", "IRC PASSED bob", ""},
      {"status 1.5: nothing", "", "", "bob=1::1.5::G\r\n", "IRC PASSED bob", ""},
      {"status passed", "", "", "setup_quota_ends=04-01-2027\r\nbob=1000::1::G\r\n",
       "IRC PASSED bob", "\x02Q\x02 bob/Couriers up:1000.0 of 1000 left:0 days:12 pd:0.0\r\n"},
      {"status not a number counts as 0", "", "", "setup_quota_ends=03-30-2027\r\nbob=1::x::G\r\n",
       "IRC PASSED bob", "\x02Q\x02 bob/Couriers up:1.0 of 1000 left:999 days:10 pd:99.9\r\n"},
      {"after the end date: the whole amount is due", "", "",
       "setup_quota_ends=03-01-2027\r\nbob=400::0::G\r\n", "IRC PASSED bob",
       "\x02Q\x02 bob/Couriers up:400.0 of 1000 left:600 days:-19 pd:600.0\r\n"},
      {"in neither store, period not started", "AddLate=1\r\n", "", "", "IRC PASSED bob",
       "not started at S[$USER]\r\n"},
      // "$SITENAME" goes in before "$USER": a user name holding it keeps it.
      {"in neither store, started, not late", "AddLate=0\r\n", "", kQuotaStore,
       "IRC PASSED x$SITENAMEx", "next x$SITENAMEx/\r\n"},
      {"in neither store, started, late", "AddLate=1\r\n", "", kQuotaStore,
       "IRC PASSED x$SITENAMEx", "yet x$SITENAMEx/\r\n"},
      {"AddLate must be exactly 1", "AddLate=1.0\r\n", "", "setup_quota_started=1\r\n",
       "IRC PASSED bob", "next bob/Couriers\r\n"},
  };
  for (const Case& c : cases) {
    ReportSite site(std::string(c.extra_config) + kTemplates, c.trial, c.quota);
    EXPECT_EQ(site.run(c.command_line), c.expected) << c.label;
  }
}

}  // namespace
}  // namespace quarvel
