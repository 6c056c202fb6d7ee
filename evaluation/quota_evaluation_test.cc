#include "evaluation/quota_evaluation.h"

#include <gtest/gtest.h>

#include "dates/dates.h"
#include "evaluation/site_test_util.h"

namespace quarvel {
namespace {

using test_site::Site;

TEST(CheckQuotaPassTest, PassesAndTakesPassesBack) {
  struct Case {
    const char* record;
    const char* after;  // nullptr: unchanged
    bool announced;
  } cases[] = {
      {"brisk=1000::0::Couriers", "brisk=1000::1::Couriers", true},
      {"brisk=1000::1::Couriers", nullptr, false},
      {"brisk=999.9::1::Couriers", "brisk=999.9::0::Couriers", false},
      {"brisk=999.9::0::Couriers", nullptr, false},
      {"brisk=5000::2::Couriers", nullptr, false},
      {"brisk=5000::3::Couriers", nullptr, false},
      {"brisk=1000::::Couriers", "brisk=1000::1::Couriers", true},
  };
  for (const Case& c : cases) {
    Site site;
    std::string before = std::string("\r\nsetup_quota_started=1\r\n") + c.record + "\r\n";
    site.setQuotaStore(before);
    auto& run = site.run();
    checkQuotaPass(run.quota, run.stores, run.settings, run.out, "brisk");
    EXPECT_EQ(site.quotaStore(),
              c.after ? std::string("setup_quota_started=1\r\n") + c.after + "\r\n" : before)
        << c.record;
    EXPECT_EQ(site.platform.output, c.announced ? "!putlog QUOTAPASSED: \"brisk\"\r\n" : "")
        << c.record;
  }
}

TEST(CheckQuotaPassTest, AnnouncesTheGivenSpellingAndIgnoresNonMembers) {
  Site site("QUOTA_UPLOAD=0\r\n");
  site.setQuotaStore("\r\nsetup_quota_started=1\r\nbrisk=0::0::Couriers\r\n");
  auto& run = site.run();
  checkQuotaPass(run.quota, run.stores, run.settings, run.out, "BRISK", "brisk");
  // Not a member: a zero target gives nobody a record.
  checkQuotaPass(run.quota, run.stores, run.settings, run.out, "pike");
  EXPECT_EQ(site.platform.output, "!putlog QUOTAPASSED: \"brisk\"\r\n");
  EXPECT_EQ(site.quotaStore(), "setup_quota_started=1\r\nBRISK=0::1::Couriers\r\n");
}

TEST(StartQuotaPeriodTest, EnrolsEveryKnownAccount) {
  Site site;
  site.platform.date = {2026, 12, 5};
  site.platform.addFile("C:\\ioFTPD\\etc\\passwd",
                        "Marlow:1:STANDARD\r\nbrisk:2:STANDARD\r\nghost:9:STANDARD\r\n"
                        "tamsin:3:STANDARD\r\noleander:4:STANDARD\r\n\r\n"
                        "pike:5:STANDARD\r\nwren:6:STANDARD\r\n");
  site.setTrialStore("\r\nwren=0::5::Couriers\r\n");
  startQuotaPeriod(site.run().records(), site.run().settings, site.platform.date);
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=12-05-2026\r\n"
            "setup_quota_ends=01-01-2027\r\n"
            "Marlow=0::3::SiteOps\r\n"
            "brisk=0::0::Couriers\r\n"
            "tamsin=0::0::Couriers\r\n"
            "oleander=0::3::Friends\r\n"
            "pike=0::0::NoGroup\r\n"
            "wren=0::2::Couriers\r\n"
            "setup_quota_started=1\r\n");
  EXPECT_EQ(site.platform.output, "");
}

TEST(StartQuotaPeriodTest, EndsOnTheFirstOfNextMonth) {
  Site site;
  site.platform.date = {2027, 3, 17};
  site.platform.addFile("C:\\ioFTPD\\etc\\passwd", "");
  startQuotaPeriod(site.run().records(), site.run().settings, site.platform.date);
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=03-17-2027\r\nsetup_quota_ends=04-01-2027\r\n"
            "setup_quota_started=1\r\n");
}

TEST(PeriodDatesTest, APeriodRunsToTheFirstOfTheNextMonthAndOneSetUpAheadIsAWholeMonth) {
  struct Case {
    LocalDate today;
    const char* starting_ends;
    const char* ahead_starts;
    const char* ahead_ends;
  } cases[] = {
      {{2027, 3, 17}, "04-01-2027", "04-01-2027", "05-01-2027"},
      {{2026, 11, 30}, "12-01-2026", "12-01-2026", "01-01-2027"},
      {{2026, 12, 31}, "01-01-2027", "01-01-2027", "02-01-2027"},
      {{2027, 1, 1}, "02-01-2027", "02-01-2027", "03-01-2027"},
  };
  for (const Case& c : cases) {
    PeriodDates starting = periodStartingOn(c.today);
    EXPECT_EQ(starting.starts, formatDate(c.today));
    EXPECT_EQ(starting.ends, c.starting_ends) << starting.starts;
    PeriodDates ahead = nextMonthPeriod(c.today);
    EXPECT_EQ(ahead.starts, c.ahead_starts) << starting.starts;
    EXPECT_EQ(ahead.ends, c.ahead_ends) << starting.starts;
  }
  // Set up ahead: the dates only, its enrolment still to run.
  Site site;
  setUpNextMonthPeriod(site.run().quota, {2026, 12, 5});
  EXPECT_EQ(site.quotaStore(), "setup_quota_starts=01-01-2027\r\nsetup_quota_ends=02-01-2027\r\n");
}

TEST(StartQuotaPeriodTest, OnlyMonthlyQuotasEnrol) {
  for (const char* type : {"2", "", "0"}) {
    Site site(std::string("QUOTA_TYPE=") + type + "\r\n");
    startQuotaPeriod(site.run().records(), site.run().settings, site.platform.date);
    EXPECT_FALSE(site.hasQuotaStore()) << type;
  }
}

const char kPeriodKeys[] =
    "\r\n"
    "setup_quota_starts=12-01-2026\r\n"
    "setup_quota_ends=01-01-2027\r\n"
    "setup_quota_started=1\r\n";

TEST(QuotaDailyEvaluationTest, RepairsStatuses) {
  Site site;
  site.setTrialStore("\r\ntamsin=0::3::Couriers\r\n");
  site.setQuotaStore(std::string(kPeriodKeys) +
                     "BRISK=1000::0::Couriers\r\n"   // reached the quota
                     "Marlow=5::0::SiteOps\r\n"      // exempt group
                     "pike=5::3::NoGroup\r\n"        // no longer exempt
                     "wren=5::2::Couriers\r\n"       // left the trial
                     "tamsin=5::2::Couriers\r\n"     // still on trial
                     "ghost=5::0::Couriers\r\n"      // gone from the server
                     "oleander=0::3::Friends\r\n");  // disabled, still exempt
  evaluateQuotaDaily(site.run().records(), site.run().settings, site.run().out, site.platform.date);
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=12-01-2026\r\n"
            "setup_quota_ends=01-01-2027\r\n"
            "setup_quota_started=1\r\n"
            "tamsin=5::2::Couriers\r\n"
            "BRISK=1000::1::Couriers\r\n"
            "Marlow=5::3::SiteOps\r\n"
            "pike=5::0::NoGroup\r\n"
            "wren=5::0::Couriers\r\n"
            "oleander=0::3::Friends\r\n");
  // The database's spelling is announced.
  EXPECT_EQ(site.platform.output, "!putlog QUOTAPASSED: \"brisk\"\r\n");
}

TEST(QuotaDailyEvaluationTest, LateEnrolment) {
  Site site("AddLate=1\r\nToGive=10\r\n");
  site.platform.date = {2026, 12, 11};
  site.platform.addFile("C:\\ioFTPD\\etc\\passwd",
                        "Marlow:1:STANDARD\r\nbrisk:2:STANDARD\r\nghost:9:STANDARD\r\n"
                        "tamsin:3:STANDARD\r\noleander:4:STANDARD\r\n"
                        "pike:5:STANDARD\r\nwren:6:STANDARD\r\n");
  site.setTrialStore("\r\nwren=0::5::Couriers\r\n");
  site.setQuotaStore(std::string(kPeriodKeys) + "brisk=0::0::Couriers\r\n");
  evaluateQuotaDaily(site.run().records(), site.run().settings, site.run().out, site.platform.date);
  // Ten days into the period: 100 megabytes each. The unknown account gets
  // no line; the trial user is suspended as at the start of a period.
  EXPECT_EQ(site.quotaStore(),
            "setup_quota_starts=12-01-2026\r\n"
            "setup_quota_ends=01-01-2027\r\n"
            "setup_quota_started=1\r\n"
            "brisk=0::0::Couriers\r\n"
            "Marlow=100::3::SiteOps\r\n"
            "tamsin=100::0::Couriers\r\n"
            "oleander=100::3::Friends\r\n"
            "pike=100::0::NoGroup\r\n"
            "wren=100::2::Couriers\r\n");
  EXPECT_EQ(site.quotaStore().find("ghost"), std::string::npos);
  EXPECT_EQ(site.quotaStore().find("\r\n="), std::string::npos);
}

TEST(QuotaDailyEvaluationTest, LateCreditRoundsHalvesToEven) {
  struct Case {
    const char* to_give;
    int day;
    const char* record;
  } cases[] = {
      {"2.5", 2, "pike=2::0::NoGroup"},
      {"3.5", 2, "pike=4::0::NoGroup"},
      {"0.5", 4, "pike=2::0::NoGroup"},
      {"", 20, "pike=0::0::NoGroup"},
  };
  for (const Case& c : cases) {
    Site site(std::string("AddLate=1\r\nToGive=") + c.to_give + "\r\n");
    site.platform.date = {2026, 12, c.day};
    site.platform.addFile("C:\\ioFTPD\\etc\\passwd", "pike:5:STANDARD\r\n");
    site.setQuotaStore(kPeriodKeys);
    evaluateQuotaDaily(site.run().records(), site.run().settings, site.run().out,
                       site.platform.date);
    std::string store = site.quotaStore();
    EXPECT_EQ(store.substr(store.rfind("\r\n", store.size() - 3) + 2),
              std::string(c.record) + "\r\n")
        << c.to_give;
  }
}

TEST(QuotaDailyEvaluationTest, LateEnrolmentNeedsAddLateAndARunningPeriod) {
  struct Case {
    const char* config;
    const char* store;
  } cases[] = {
      {"AddLate=0\r\nToGive=10\r\n",
       "\r\nsetup_quota_starts=12-01-2026\r\nsetup_quota_started=1\r\n"},
      {"AddLate=1\r\nToGive=10\r\n", "\r\nsetup_quota_starts=12-01-2026\r\n"},
  };
  for (const Case& c : cases) {
    Site site(c.config);
    site.setQuotaStore(c.store);
    evaluateQuotaDaily(site.run().records(), site.run().settings, site.run().out,
                       site.platform.date);
    EXPECT_EQ(site.quotaStore(), c.store) << c.config;
  }
}

}  // namespace
}  // namespace quarvel
