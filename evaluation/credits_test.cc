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
    EXPECT_EQ(uploadCredit(c.size_mb, c.uploader, &credits), c.earned) << c.size_mb;
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
    return settleDeletion(r.trial, r.quota, r.credits, r.files, deletion);
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
  EXPECT_EQ(settleDeletion(run.trial, run.quota, run.credits, run.files, site.deletion),
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

}  // namespace
}  // namespace quarvel
