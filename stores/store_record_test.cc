#include "stores/store_record.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"
#include "stores/quota_store.h"
#include "stores/store_check.h"
#include "stores/trial_store.h"

namespace quarvel {
namespace {

TEST(StoreRecordTest, ParseThenEncodeKeepsTheStoredBytes) {
  // Values with three fields or more come back byte for byte, odd text and
  // fields this program never writes included; shorter ones gain the
  // missing separators, as every rewrite always wrote them.
  struct Case {
    std::string value;
    std::string encoded;
  } cases[] = {
      {"12.50::007:: Couriers ", "12.50::007:: Couriers "},
      {"1e3::-0::G::note::x", "1e3::-0::G::note::x"},
      {"5:::3::G", "5:::3::G"},
      {"::::", "::::"},
      {"5::3", "5::3::"},
      {"5", "5::::"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrialRecord::parse(c.value).encode(), c.encoded) << c.value;
    EXPECT_EQ(QuotaRecord::parse(c.value).encode(), c.encoded) << c.value;
  }
  TrialRecord trial = TrialRecord::parse("12.50::007:: Couriers ::x");
  EXPECT_EQ(trial.uploaded.value(), 12.5);
  EXPECT_EQ(trial.days_left.wholeValue(), 7);
  EXPECT_EQ(trial.group, " Couriers ");
  QuotaRecord quota = QuotaRecord::parse(" 1::1::G");
  EXPECT_TRUE(quota.status.isPassed());
  EXPECT_EQ(quota.uploaded.text(), " 1");
}

TEST(StoreRecordTest, AChangedFieldIsRewrittenAloneAndTheRestKeepTheirText) {
  TrialRecord trial = TrialRecord::parse("010::3.0::G::extra").credited(2.5);
  EXPECT_EQ(trial.encode(), "12.5::3.0::G::extra");
  trial.days_left = StoredNumber::whole(2);
  EXPECT_EQ(trial.encode(), "12.5::2::G::extra");
  QuotaRecord quota = QuotaRecord::parse("7.0::0::G::extra");
  EXPECT_EQ(quota.withStatus(QuotaStatus::kPassed).encode(), "7.0::1::G::extra");
  // A credit saturates rather than overflowing to infinity.
  EXPECT_EQ(QuotaRecord::parse("1e308::0::G").credited(1e308).uploaded.value(), kMaxAmountMB);
  EXPECT_EQ(QuotaRecord::parse("abc::0::G").credited(-3).uploaded.text(), "-3");
}

TEST(StoreRecordTest, StoresHandOutTypedMembersAndKeepUnknownFieldsOnARewrite) {
  FakePlatform platform;
  platform.addFile("C:\\site\\Quarvel.dat",
                   "bob=10::3::G::kept\r\n\"ann\" = \"4\"::2::H\r\nnokey\r\n"
                   "setup_trial_counted=01-02-2026\r\nbob_PREDEL_SIZE_a.zip=1.5\r\n");
  Output out(platform);
  Files files(platform, out, "C:\\site");
  TrialStore trial(files);
  ASSERT_TRUE(trial.member("BOB").has_value());
  EXPECT_FALSE(trial.member("carol").has_value());
  std::vector<TrialMember> members = trial.membersInFileOrder();
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(members[1].name, "\"ann\"");
  EXPECT_EQ(members[1].record.uploaded.text(), "4");
  EXPECT_EQ(members[2].name, "bob_PREDEL_SIZE_a.zip");
  EXPECT_EQ(trial.countedLines(), 4);
  EXPECT_EQ(trial.memos().find("bob", "a.zip"), 1.5);
  EXPECT_FALSE(trial.memos().find("bob", "b.zip").has_value());
  trial.putMember("bob", trial.member("bob")->credited(1));
  trial.memos().drop("bob", "a.zip");
  trial.memos().put("ann", "x=y", 2);
  ASSERT_EQ(trial.file().commit(), FileError::kNone);
  EXPECT_EQ(platform.file("C:\\site\\Quarvel.dat"),
            "\"ann\" = \"4\"::2::H\r\nnokey\r\nsetup_trial_counted=01-02-2026\r\n"
            "bob=11::3::G::kept\r\nann_PREDEL_SIZE_x%3Dy=2\r\n");
}

TEST(StoreRecordTest, TheSummaryCountsQuotaLinesThatAreNotCounting) {
  EXPECT_EQ(countSummaryQuotaLines({"a=1::0::G", "b=1::1::G", "c=5", "  ", "d=1:: 0::G",
                                    "SETUP_QUOTA_ENDS=01-01-2026", "e=1::0"}),
            3);
}

}  // namespace
}  // namespace quarvel

namespace quarvel {
namespace {

TEST(StoreCheckTest, NamesLinesNotUnderstoodAndDamagedRecords) {
  const std::string trial =
      "\r\ntamsin=1::3::Couriers\r\nsetup_trial_due=tamsin\r\nSETUP_TRIAL_COUNTED=11-10-2026\r\n"
      "setup_format=2\nfree text\rwren=abc::3::Couriers\r\nrook=5::x\r\nquoted=\"7::1::G\"\r\n"
      "\x1a"
      "after=the end\r\n";
  const std::vector<StoreFinding> trial_found = checkStoreText(StoreKind::kTrial, trial);
  ASSERT_EQ(trial_found.size(), 4u);
  EXPECT_EQ(trial_found[0].line, 5);
  EXPECT_EQ(trial_found[0].text,
            "\"setup_format=2\" is not a line Quarvel understands; it is "
            "kept as it is");
  EXPECT_EQ(trial_found[1].line, 6);
  EXPECT_EQ(trial_found[2].line, 7);
  EXPECT_EQ(trial_found[2].text, "wren: the amount \"abc\" is not a number");
  EXPECT_EQ(trial_found[3].text, "rook: the days left \"x\" are not a number");

  const std::string quota =
      "setup_quota_starts=11-01-2026\r\nsetup_quota_pending=a\r\nbrisk=5::0::C\r\n"
      "pike=1e3::4::G\r\nemptied=\r\n";
  const std::vector<StoreFinding> quota_found = checkStoreText(StoreKind::kQuota, quota);
  ASSERT_EQ(quota_found.size(), 1u);
  EXPECT_EQ(quota_found[0].line, 4);
  EXPECT_EQ(quota_found[0].text, "pike: the status \"4\" is none of 0, 1, 2 and 3");
}

}  // namespace
}  // namespace quarvel
