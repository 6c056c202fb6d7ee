#include "reports/listings.h"

#include <gtest/gtest.h>

#include "reports/report_site_test_util.h"

namespace quarvel {
namespace {

using test_site::ReportSite;

const char* kTemplates =
    "Irc_SiteName=S[$USER]\r\n"
    "Trials_Header=$BOLD$SITENAME trials\r\n"
    "Trials_Body=$USER/$GROUP $UPLOADED of $SHOWL, $DAYSLEFT days at $SITENAME\r\n"
    "Trials_Total=$SITENAME: $TOTAL in trial\r\n"
    "QUOTAs_Total=$TOTAL on quota\r\n"
    "QUOTAs_EXEMPTED_HEADER=$EXEMPT exempt\r\n"
    "QUOTAs_EXEMPTED=- $USER/$GROUP: $EXCUSE\r\n"
    "EXEMPT_IN_TRIAL=  $BOLDin trial$BOLD $SITENAME \r\n"
    "QUOTAs_PASSED_HEADER=$PASSED passed\r\n"
    "QUOTAs_PASSED=+ $USER/$GROUP: [$EXCUSE]\r\n";

const char* kTrialStore =
    "Carol=12.50::3::G\r\nbob_PREDEL_SIZE_a.rar=7.5\r\nx$SITENAMEx=0::-1::G\r\n"
    "nobody=5::2::G\r\nbob=1e3::07::G\r\n";

const char* kQuotaStore =
    "setup_quota_starts=03-01-2027\r\nsetup_quota_ends=04-01-2027\r\n"
    "setup_quota_started=1\r\n"
    "bob=10::2::Grp\r\nCarol=1200::1::Friends\r\ndan=0::3::X\r\neve=0::4::Y\r\n"
    "fay=0::x::Z\r\ngus=0::0::Z\r\nhal=1::1.0::Z\r\nbob_PREDEL_SIZE_b.rar=2\r\n";

TEST(ListingsTest, ListsAndCounts) {
  struct Case {
    const char* label;
    const char* trial;
    const char* quota;
    const char* command_line;
    const char* expected;
  } cases[] = {
      {"trial listing in store order; memos listed; amounts as stored", kTrialStore, "",
       "IRC info trial all",
       "\x02S[$USER] trials\r\n"
       "Carol/Friends 12.50 of 1000.5, 3 days at S[$USER]\r\n"
       "/ 7.5 of 1000.5,  days at S[$USER]\r\n"
       "xS[$USER]x/ 0 of 1000.5, -1 days at S[$USER]\r\n"
       "/ 5 of 1000.5, 2 days at S[$USER]\r\n"
       "bob/Couriers 1e3 of 1000.5, 07 days at S[$USER]\r\n"},
      {"fourth word in capitals, cleaned words", kTrialStore, "", "irc {INFO} \"trial\" A/L\\L",
       "\x02S[$USER] trials\r\n"
       "Carol/Friends 12.50 of 1000.5, 3 days at S[$USER]\r\n"
       "/ 7.5 of 1000.5,  days at S[$USER]\r\n"
       "xS[$USER]x/ 0 of 1000.5, -1 days at S[$USER]\r\n"
       "/ 5 of 1000.5, 2 days at S[$USER]\r\n"
       "bob/Couriers 1e3 of 1000.5, 07 days at S[$USER]\r\n"},
      {"no trial store", "", "", "IRC info trial all", "No users in trial!\r\n"},
      {"empty trial store", "\r\n  \r\n", "", "IRC info trial all", "No users in trial!\r\n"},
      {"trial count, memos counted", kTrialStore, "", "IRC info trial", "S[$USER]: 5 in trial\r\n"},
      {"trailing blank after trial", kTrialStore, "", "IRC info trial ",
       "S[$USER]: 5 in trial\r\n"},
      {"trial count, no store", "", "", "IRC INFO TRIAL", "S[$USER]: 0 in trial\r\n"},
      {"other fourth word", kTrialStore, "", "IRC info trial some", ""},
      {"two blanks: word 2 empty", kTrialStore, "", "IRC  info trial all", ""},
      {"quota count: memos count, period keys do not", "", kQuotaStore, "IRC info quota total",
       "8 on quota\r\n"},
      {"quota count, only period keys", "", "setup_quota_started=1\r\nsetup_quota_ends=x\r\n",
       "IRC info quota total", "0 on quota\r\n"},
      {"exempt listing: status 2 shows EXEMPT_IN_TRIAL, 3 and 4 the user's reason", "", kQuotaStore,
       "IRC info quota exempt",
       "3 exempt\r\n"
       "- bob/Grp: \x02in trial\x02 $SITENAME\r\n"
       "- dan/X: \x02"
       "disabled\x02\r\n"
       "- eve/Y: \r\n"},
      {"exempt listing, only period keys", "", "setup_quota_started=1\r\n", "IRC info quota exempt",
       "0 exempt\r\n"},
      {"exempt listing, nobody exempt", "", "gus=0::0::Z\r\n", "IRC info quota exempt",
       "0 exempt\r\n"},
      {"passed listing: status 1 (1.0 too); the user's own reason", "", kQuotaStore,
       "IRC info quota passed",
       "2 passed\r\n"
       "+ Carol/Friends: []\r\n"
       "+ hal/Z: []\r\n"},
      {"passed listing: an exempt user's reason shows", "", "dan=1::1::X\r\n",
       "IRC info quota passed",
       "1 passed\r\n+ dan/X: [\x02"
       "disabled\x02]\r\n"},
      {"passed listing, no store", "", "", "IRC info quota passed", "0 passed\r\n"},
      {"other quota word", "", kQuotaStore, "IRC info quota all", ""},
      {"PASSED belongs to the user report", "", kQuotaStore, "IRC passed quota total", "\r\n"},
  };
  for (const Case& c : cases) {
    ReportSite site(std::string("TRIAL_UPLOAD= 1000.5\r\n") + kTemplates, c.trial, c.quota);
    EXPECT_EQ(site.run(c.command_line), c.expected) << c.label;
  }
}

// The exempt reason holds at most 255 characters, as every field of the
// user record does.
TEST(ListingsTest, ReasonForTrialUsersIsCutTo255Characters) {
  std::string reason(300, 'r');
  ReportSite site("EXEMPT_IN_TRIAL=$BOLD" + reason +
                      "\r\nQUOTAs_EXEMPTED=$EXCUSE\r\n"
                      "QUOTAs_EXEMPTED_HEADER=\r\n",
                  "", "bob=0::2::G\r\n");
  EXPECT_EQ(site.run("IRC info quota exempt"), "\r\n\x02" + reason.substr(0, 254) + "\r\n");
}

}  // namespace
}  // namespace quarvel
