#include "evaluation/credits.h"

#include <gtest/gtest.h>

#include "evaluation/site_test_util.h"

namespace quarvel {
namespace {

using test_site::Site;

constexpr char kFile[] = "C:\\in\\a.rar";
constexpr double kMiB = 1024 * 1024;

TEST(UploadCreditTest, AFileEarnsItsSizeOnceThenOnlyWhatItGrewBy) {
  struct Case {
    std::vector<FileCredit> before;
    double size_mb;
    const char* uploader;
    double earned;
    std::vector<FileCredit> after;
  } cases[] = {
      {{}, 12.5, "bob", 12.5, {{"bob", 12.5}}},
      // An append by the same user, then by another: the growth only.
      {{{"bob", 10}}, 12.5, "BOB", 2.5, {{"bob", 12.5}}},
      {{{"bob", 10}}, 12.5, "ann", 2.5, {{"bob", 10}, {"ann", 2.5}}},
      // Shorter than what was credited: replaced, counts afresh.
      {{{"bob", 10}, {"ann", 2}}, 3, "ann", 3, {{"ann", 3}}},
      // Unchanged: nothing more.
      {{{"bob", 10}}, 10, "bob", 0, {{"bob", 10}}},
  };
  for (const Case& c : cases) {
    std::vector<FileCredit> credits = c.before;
    EXPECT_EQ(uploadCredit(c.size_mb, FileCredit{c.uploader}, &credits), c.earned) << c.size_mb;
    ASSERT_EQ(credits.size(), c.after.size()) << c.size_mb;
    for (std::size_t i = 0; i < credits.size(); ++i) {
      EXPECT_EQ(credits[i].user, c.after[i].user);
      EXPECT_EQ(credits[i].mb, c.after[i].mb);
    }
  }
}

TEST(CreditMemberTest, CreditsAMemberAndRefreshesItsGroupOnly) {
  Site site;
  site.setTrialStore("bob=10::3::Old::x\r\n");
  site.setQuotaStore("ann=1.0::0::G\r\n");
  auto& run = site.run();
  EXPECT_TRUE(creditMember(run.trial, "bob", "New", 2.5));
  EXPECT_FALSE(creditMember(run.quota, "bob", "New", 2.5));
  EXPECT_TRUE(creditMember(run.quota, "ann", "G", -1));
  EXPECT_EQ(site.trialStore(), "\r\nbob=12.5::3::New::x\r\n");
  EXPECT_EQ(site.quotaStore(), "\r\nann=0::0::G\r\n");
}

TEST(NukeChangeTest, ChangesTheAmountToOneDecimalInEachStoreAndKeepsTheGroup) {
  Site site;
  site.setTrialStore("bob=9e307::3::G\r\n");
  site.setQuotaStore("ann=1::0::H\r\nbob=9e307::0::G::x\r\n");
  auto& run = site.run();
  applyNukeChange(run.trial, run.quota, "BOB", 9e307);  // saturates
  applyNukeChange(run.trial, run.quota, "carol", -5);
  EXPECT_EQ(site.trialStore(), "\r\nBOB=179769313486231" + std::string(294, '0') + "::3::G\r\n");
  EXPECT_EQ(site.quotaStore(),
            "ann=1::0::H\r\nBOB=179769313486231" + std::string(294, '0') + "::0::G::x\r\n");
  applyNukeChange(run.trial, run.quota, "bob", -kMaxAmountMB);
  applyNukeChange(run.trial, run.quota, "bob", -1.26);
  EXPECT_EQ(site.trialStore(), "\r\nbob=-1.3::3::G\r\n");
}

// A deletion by bob of a file that was 2 MB, in both stores.
struct DeletionSite : Site {
  DeletionSite(const std::string& trial, const std::string& quota) {
    setTrialStore(trial);
    setQuotaStore(quota);
  }
  std::vector<std::string> settle(bool file_gone) {
    if (!file_gone) platform.addFile(kFile, std::string(2 * kMiB, 'x'));
    auto& r = run();
    return settleDeletion(r.trial, r.quota, r.credits, r.files, deletion, "12-15-2026");
  }
  Deletion deletion{"bob", "NewGroup", "a.rar", kFile};
};

TEST(SettleDeletionTest, TheMemoNotedBeforeIsTakenOffOnceTheFileIsGone) {
  DeletionSite site("bob=10::3::G\r\n", "bob=10::0::G\r\nann=1::0::G\r\n");
  site.platform.addFile(kFile, std::string(2 * kMiB, 'x'));
  auto& run = site.run();
  noteSizeBeforeDeletion(run.trial, run.quota, run.files, site.deletion);
  run.stores.commit();
  EXPECT_EQ(site.platform.file(Site::kTrialPath), "bob=10::3::G\r\nbob_PREDEL_SIZE_a.rar=2\r\n");
  site.platform.removeFile(kFile);
  EXPECT_EQ(
      settleDeletion(run.trial, run.quota, run.credits, run.files, site.deletion, "12-15-2026"),
      std::vector<std::string>{"bob"});
  EXPECT_EQ(site.trialStore(), "bob=8::3::NewGroup\r\n");
  EXPECT_EQ(site.quotaStore(), "ann=1::0::G\r\nbob=8::0::NewGroup\r\n");
}

TEST(SettleDeletionTest, AFileStillThereOnlyConsumesTheMemo) {
  DeletionSite site("bob=10::3::G\r\nbob_PREDEL_SIZE_a.rar=2\r\n", "bob=10::0::G\r\n");
  EXPECT_TRUE(site.settle(false).empty());
  EXPECT_EQ(site.trialStore(), "bob=10::3::G\r\n");
  EXPECT_EQ(site.quotaStore(), "bob=10::0::G\r\n");
}

TEST(SettleDeletionTest, ACreditedFileIsTakenBackFromWhoeverWasCredited) {
  DeletionSite site("bob=10::3::G\r\nbob_PREDEL_SIZE_a.rar=9\r\n",
                    "ann=5::1::Friends\r\nbob=10::0::G\r\n");
  site.run().credits.setCredits(kFile, {{"bob", 2}, {"ANN", 1.5}});
  // ann is named as the credit store has her; bob, deleting, takes the
  // group of his event. The memo's size plays no part.
  EXPECT_EQ(site.settle(true), (std::vector<std::string>{"bob", "ANN"}));
  EXPECT_EQ(site.trialStore(), "bob=8::3::NewGroup\r\n");
  EXPECT_EQ(site.quotaStore(), "bob=8::0::NewGroup\r\nANN=3.5::1::Friends\r\n");
  EXPECT_TRUE(site.run().credits.creditsOf(kFile).empty());
}

TEST(SettleDeletionTest, ACreditedFileStillThereKeepsEveryCredit) {
  DeletionSite site("bob=10::3::G\r\nbob_PREDEL_SIZE_a.rar=2\r\n", "bob=10::0::G\r\n");
  site.run().credits.setCredits(kFile, {{"bob", 2}});
  EXPECT_TRUE(site.settle(false).empty());
  EXPECT_EQ(site.trialStore(), "bob=10::3::G\r\n");
  EXPECT_EQ(site.run().credits.creditsOf(kFile).size(), 1u);
}

std::string withoutLeadingBlank(const std::string& store) {
  return store.compare(0, 2, "\r\n") == 0 ? store.substr(2) : store;
}

// The credits of a 2 MB file of bob's, noted with their trial and period,
// and what its deletion after the stores changed takes back.
TEST(SettleDeletionTest, ACreditIsTakenBackOnlyFromTheTrialAndPeriodItWentTo) {
  const std::string kPeriod =
      "setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n";
  const std::string kNextPeriod =
      "setup_quota_starts=01-01-2027\r\nsetup_quota_ends=02-01-2027\r\nsetup_quota_started=1\r\n";
  struct Row {
    const char* label;
    FileCredit credit;
    std::string quota_now;  // bob at 10 MB
    const char* trial_after;
    const char* quota_after;
  } rows[] = {
      {"same trial, same period",
       {"bob", 2, "12-18-2026", "12-01-2026"},
       kPeriod,
       "bob=8::3::NewGroup",
       "bob=8::0::NewGroup"},
      {"the trial's last day a day off (the count-down ran)",
       {"bob", 2, "12-17-2026", "-"},
       kPeriod,
       "bob=8::3::NewGroup",
       "bob=10::0::G"},
      {"a later period: nothing from it",
       {"bob", 2, "-", "12-01-2026"},
       kNextPeriod,
       "bob=10::3::G",
       "bob=10::0::G"},
      {"an earlier trial of his",
       {"bob", 2, "11-02-2026", "-"},
       kPeriod,
       "bob=10::3::G",
       "bob=10::0::G"},
      {"a period without a start date",
       {"bob", 2, "-", "0"},
       "",
       "bob=10::3::G",
       "bob=8::0::NewGroup"},
      {"not known (moved over): from both",
       {"bob", 2},
       kNextPeriod,
       "bob=8::3::NewGroup",
       "bob=8::0::NewGroup"},
  };
  for (const Row& row : rows) {
    DeletionSite site("bob=10::3::G\r\n", row.quota_now + "bob=10::0::G\r\n");
    site.run().credits.setCredits(kFile, {row.credit});
    site.settle(true);
    // (A store whose only member line was rewritten begins with a blank line.)
    EXPECT_EQ(withoutLeadingBlank(site.trialStore()), std::string(row.trial_after) + "\r\n")
        << row.label;
    EXPECT_EQ(withoutLeadingBlank(site.quotaStore()), row.quota_now + row.quota_after + "\r\n")
        << row.label;
    EXPECT_TRUE(site.run().credits.creditsOf(kFile).empty()) << row.label;
  }
}

TEST(SettleDeletionTest, ANukedFilesDeletionTakesNothingMoreAndDropsItsEntry) {
  DeletionSite site("bob=10::3::G\r\nbob_PREDEL_SIZE_a.rar=2\r\n", "bob=10::0::G\r\n");
  site.run().credits.setEntry(kFile, {{{"bob", 2}}, true});
  EXPECT_TRUE(site.settle(true).empty());
  EXPECT_EQ(site.trialStore(), "bob=10::3::G\r\n");
  EXPECT_EQ(site.quotaStore(), "bob=10::0::G\r\n");
  EXPECT_TRUE(site.run().credits.entryOf(kFile).credits.empty());
}

TEST(UploadCreditTest, AnAppendInANewPeriodIsACreditOfItsOwn) {
  std::vector<FileCredit> credits = {{"bob", 10, "-", "12-01-2026"}};
  EXPECT_EQ(uploadCredit(12, FileCredit{"BOB", 0, "-", "01-01-2027"}, &credits), 2);
  ASSERT_EQ(credits.size(), 2u);
  EXPECT_EQ(credits[0].mb, 10);
  EXPECT_EQ(credits[1].quota, "01-01-2027");
  EXPECT_EQ(uploadCredit(13, FileCredit{"bob", 0, "-", "01-01-2027"}, &credits), 1);
  EXPECT_EQ(credits[1].mb, 3);
}

TEST(SettleRenameTest, EntriesFollowARenameAndAMoveIntoAnExcludedFolderTakesThemBack) {
  const char kFolder[] = "C:\\in";
  for (bool to_excluded : {false, true}) {
    DeletionSite site("bob=10::3::G\r\n", "bob=10::0::G\r\nann=3::0::G\r\n");
    auto& r = site.run();
    // (The quota store names no period: "0".)
    FileCredit bob{"bob", 2, "12-18-2026", "0"};
    r.credits.setCredits(kFile, {bob});
    r.credits.setCredits("C:\\in\\b.rar", {{"ann", 1, "-", "0"}});
    Deletion mover{"ann", "G", "in", kFolder};
    std::vector<std::string> lowered = settleRename(r.trial, r.quota, r.credits, mover, kFolder,
                                                    "C:\\old\\in", to_excluded, "12-15-2026");
    EXPECT_TRUE(r.credits.creditsOf(kFile).empty());
    EXPECT_EQ(r.credits.creditsOf("C:\\old\\in\\a.rar").size(), to_excluded ? 0u : 1u);
    EXPECT_EQ(r.credits.creditsOf("C:\\old\\in\\b.rar").size(), to_excluded ? 0u : 1u);
    EXPECT_EQ(lowered,
              to_excluded ? (std::vector<std::string>{"bob", "ann"}) : std::vector<std::string>());
    EXPECT_EQ(site.quotaStore(),
              to_excluded ? "bob=8::0::G\r\nann=2::0::G\r\n" : "bob=10::0::G\r\nann=3::0::G\r\n");
  }
}

}  // namespace
}  // namespace quarvel
