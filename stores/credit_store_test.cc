#include "stores/credit_store.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace quarvel {
namespace {

TEST(CreditStoreTest, PathsWithEqualsAndPercentSignsKeepTheirOwnEntry) {
  for (const char* path : {"C:\\in\\a=b.rar", "C:\\in\\100%3D.rar", "C:\\in\\%25=%.rar"}) {
    EXPECT_EQ(pathOfCreditKey(creditKey(path)), path);
    EXPECT_EQ(creditKey(path).find('='), std::string::npos) << path;
  }
  FakePlatform platform;
  Output out(platform);
  Files files(platform, out, "C:\\site");
  CreditStore store(files);
  store.setCredits("C:\\in\\a=b.rar", {{"bob", 1.5}, {"ann", 2}});
  store.setCredits("C:\\in\\a%3Db.rar", {{"cid", 7}});
  std::vector<FileCredit> credits = store.creditsOf("c:\\IN\\A=B.rar");  // any case
  ASSERT_EQ(credits.size(), 2u);
  EXPECT_EQ(credits[1].user, "ann");
  EXPECT_EQ(credits[0].mb, 1.5);
  EXPECT_EQ(store.creditsOf("C:\\in\\a%3Db.rar")[0].user, "cid");
}

TEST(CreditStoreTest, ASweepDropsTheOldestEntriesOfVanishedFilesAndMovesTheRestOn) {
  FakePlatform platform;
  platform.addFile("C:\\site\\Credits.dat",
                   "C:\\in\\gone.rar=bob::1\r\nC:\\in\\kept.rar=bob::2\r\n"
                   "C:\\in\\also-gone.rar=bob::3\r\nno value line\r\n");
  platform.addFile("C:\\in\\kept.rar", "x");
  Output out(platform);
  Files files(platform, out, "C:\\site");
  CreditStore store(files);
  store.sweep(files, 2);
  EXPECT_EQ(store.file().readAllLines(),
            (std::vector<std::string>{"C:\\in\\also-gone.rar=bob::3", "no value line",
                                      "C:\\in\\kept.rar=bob::2"}));
  store.sweep(files, 2);
  EXPECT_EQ(store.file().readAllLines(), std::vector<std::string>{"C:\\in\\kept.rar=bob::2"});
}

}  // namespace
}  // namespace quarvel
