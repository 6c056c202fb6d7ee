#include "stores/credit_store.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fake_platform.h"

namespace quarvel {
namespace {

// A platform and the stores' folder C:\site.
struct LedgerSite {
  FakePlatform platform;
  Output out{platform};
  Files files{platform, out, "C:\\site"};

  std::string commit(CreditStore& store) {
    std::string failed;
    EXPECT_EQ(store.commit(&failed), FileError::kNone) << failed;
    return failed;
  }
};

TEST(CreditLedgerTest, EveryNameIsFoundAgainAsWrittenAndNoLineIsSplit) {
  const std::string names[] = {
      "C:\\in\\a=b.rar",
      "C:\\in\\a%3Db.rar",
      "C:\\in\\%25=%.rar",
      "C:\\in\\cr\r.rar",
      "C:\\in\\lf\n.rar",
      "C:\\in\\eof\x1A.rar",
      std::string("C:\\in\\nul\0.rar", 14),
      "C:\\in\\cr_.rar",
      "C:\\in\\ blank .rar ",
      "C:\\in\\new\r\nline=x.rar",
  };
  LedgerSite site;
  {
    CreditStore store(site.files, false);
    double mb = 1;
    for (const std::string& name : names) store.setCredits(name, {{"bob", mb++}});
    site.commit(store);
  }
  CreditStore again(site.files, false);
  double mb = 1;
  for (const std::string& name : names) {
    std::vector<FileCredit> credits = again.creditsOf(name);
    ASSERT_EQ(credits.size(), 1u) << name;
    EXPECT_EQ(credits[0].mb, mb++) << name;
  }
  // All ten names share their folder, hence one shard: ten lines in it.
  std::string shard = site.platform.file(again.shardPathOf(names[0]));
  EXPECT_EQ(std::count(shard.begin(), shard.end(), '\n'), 10);
  EXPECT_EQ(std::count(shard.begin(), shard.end(), '\r'), 10);
  EXPECT_EQ(shard.find('\x1A'), std::string::npos);
  EXPECT_EQ(shard.find('\0'), std::string::npos);
}

TEST(CreditLedgerTest, LetterCaseFollowsThePlatformsFileNames) {
  struct Row {
    bool ignore_case;
    const char* owner_of_upper;  // after ann's Case.bin, then bob's case.bin
    bool upper_case_found;       // CASE.BIN
  } rows[] = {
      {false, "ann", false},  // Linux: two files, each its uploader's
      {true, "bob", true},    // Windows: one file, the later upload's
  };
  for (const Row& row : rows) {
    LedgerSite site;
    site.platform.names_ignore_case = row.ignore_case;
    CreditStore store(site.files);
    store.setCredits("C:\\in\\Case.bin", {{"ann", 5}});
    store.setCredits("C:\\IN\\case.bin", {{"bob", 5}});
    site.commit(store);
    CreditStore again(site.files);
    EXPECT_EQ(again.creditsOf("C:\\in\\Case.bin").at(0).user, row.owner_of_upper);
    EXPECT_EQ(again.creditsOf("C:\\IN\\case.bin").at(0).user, "bob");
    EXPECT_EQ(again.creditsOf("c:\\in\\CASE.BIN").empty(), !row.upper_case_found);
  }
}

TEST(CreditLedgerTest, AnOldCreditsFileIsMovedOverWholeAndDeletedOnlyOnceEveryShardIsWritten) {
  std::string old_store;
  for (int i = 0; i < 300; ++i) {
    old_store += "C:\\site\\rel" + std::to_string(i) + "\\a%3Db.rar=bob::" + std::to_string(i) +
                 "::ann::0.5\r\n";
  }
  old_store += "no value line\r\n\r\n";
  for (int stop_at : {5, 0}) {  // a run stopped at its fifth write, then one that is not
    LedgerSite site;
    site.platform.addFile("C:\\site\\Credits.dat", old_store);
    if (stop_at != 0) {
      site.platform.fail_replaces_from = stop_at;
      CreditStore stopped(site.files, true);
      stopped.creditsOf("C:\\x");
      std::string failed;
      EXPECT_NE(stopped.commit(&failed), FileError::kNone);
      EXPECT_TRUE(site.platform.hasFile("C:\\site\\Credits.dat"));
      site.platform.fail_replaces_from = 0;
    }
    CreditStore store(site.files, true);
    EXPECT_EQ(store.creditsOf("C:\\site\\rel7\\a=b.rar").size(), 2u);
    site.commit(store);
    EXPECT_FALSE(site.platform.hasFile("C:\\site\\Credits.dat"));
    CreditStore again(site.files, true);
    for (int i = 0; i < 300; ++i) {
      std::vector<FileCredit> credits =
          again.creditsOf("C:\\site\\rel" + std::to_string(i) + "\\a=b.rar");
      ASSERT_EQ(credits.size(), 2u) << i;
      EXPECT_EQ(credits[0].mb, i);
      EXPECT_EQ(credits[1].user, "ann");
      // Nothing says which period they went to.
      EXPECT_EQ(credits[1].trial, kUnknownPeriod);
      EXPECT_EQ(credits[1].quota, kUnknownPeriod);
    }
  }
}

TEST(CreditLedgerTest, EntriesKeepPeriodsAndTheNukeMarkOfTheirFolderOnly) {
  LedgerSite site;
  CreditStore store(site.files, true);
  store.setCredits("C:\\rel\\a.rar",
                   {{"bob", 2, "12-20-2026", "-"}, {"ann", 1, "-", "12-01-2026"}});
  store.setCredits("C:\\rel\\b.rar", {{"bob", 3, "-", "0"}});
  store.setCredits("C:\\rel\\sub\\c.rar", {{"bob", 4}});
  EXPECT_EQ(store.markNuked("C:\\REL", true), 2);
  EXPECT_EQ(store.markNuked("C:\\rel", true), 0);
  site.commit(store);
  EXPECT_EQ(site.platform.file(store.shardPathOf("C:\\rel\\a.rar")),
            "C:\\rel\\a.rar=bob::2::12-20-2026::-::ann::1::-::12-01-2026::nuked\r\n"
            "C:\\rel\\b.rar=bob::3::-::0::nuked\r\n");
  CreditStore again(site.files, true);
  EXPECT_TRUE(again.entryOf("C:\\rel\\b.rar").nuked);
  EXPECT_FALSE(again.entryOf("C:\\rel\\sub\\c.rar").nuked);
  EXPECT_EQ(again.markNuked("C:\\rel\\", false), 2);
  EXPECT_FALSE(again.entryOf("C:\\rel\\a.rar").nuked);
  EXPECT_EQ(again.entryOf("C:\\rel\\a.rar").credits[1].quota, "12-01-2026");
  EXPECT_EQ(again.pathsMovedWith("C:\\rel"),
            (std::vector<std::string>{"C:\\rel\\a.rar", "C:\\rel\\b.rar"}));
}

TEST(CreditLedgerTest, PendingWritesAreListedUntilMarkedWrittenAndAnEmptyShardIsDeleted) {
  LedgerSite site;
  CreditStore store(site.files, true);
  EXPECT_TRUE(store.pendingWrites().empty());
  store.setCredits("C:\\in\\a.rar", {{"bob", 2}});
  store.noteRenameSource("Bob", "C:\\in\\a.rar");
  std::vector<LedgerWrite> writes = store.pendingWrites();
  ASSERT_EQ(writes.size(), 2u);
  ASSERT_EQ(store.prepareFolder(), FileError::kNone);
  for (const LedgerWrite& write : writes) site.platform.replaceFile(write.path, write.bytes);
  store.markWritten();
  EXPECT_TRUE(store.pendingWrites().empty());
  EXPECT_EQ(site.platform.file("C:\\site\\Credits\\renames.dat"), "bob=C:\\in\\a.rar\r\n");

  CreditStore next(site.files, true);
  EXPECT_EQ(next.takeRenameSource("BOB"), "C:\\in\\a.rar");
  EXPECT_EQ(next.takeRenameSource("bob"), "");
  next.setCredits("C:\\in\\a.rar", {});
  writes = next.pendingWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_TRUE(writes[0].remove);
  EXPECT_TRUE(writes[1].remove);
  site.commit(next);
  EXPECT_FALSE(site.platform.hasFile(next.shardPathOf("C:\\in\\a.rar")));
}

TEST(CreditLedgerTest, AShardThatCannotBeReadIsNeverWritten) {
  LedgerSite site;
  CreditStore probe(site.files, true);
  std::string shard = probe.shardPathOf("C:\\in\\a.rar");
  site.platform.addFile(shard, "C:\\in\\b.rar=bob::1::-::-\r\n");
  site.platform.lockFile(shard);
  CreditStore store(site.files, true);
  EXPECT_TRUE(store.creditsOf("C:\\in\\b.rar").empty());
  store.setCredits("C:\\in\\a.rar", {{"bob", 2}});
  std::string failed;
  EXPECT_EQ(store.commit(&failed), FileError::kAccessDenied);
  EXPECT_EQ(failed, shard);
  EXPECT_EQ(site.platform.file(shard), "C:\\in\\b.rar=bob::1::-::-\r\n");
}

TEST(CreditLedgerTest, ASweepDropsTheOldestEntriesOfVanishedFilesAndMovesTheRestOn) {
  LedgerSite site;
  CreditStore probe(site.files, true);
  std::string shard = probe.shardPathOf("C:\\in\\x.rar");
  site.platform.addFile(shard,
                        "C:\\in\\gone.rar=bob::1\r\nC:\\in\\kept.rar=bob::2\r\n"
                        "C:\\in\\also-gone.rar=bob::3\r\nno value line\r\n");
  site.platform.addFile("C:\\in\\kept.rar", "x");
  CreditStore store(site.files, true);
  store.sweep(site.files, 2, "C:\\in\\x.rar");
  site.commit(store);
  EXPECT_EQ(site.platform.file(shard),
            "C:\\in\\also-gone.rar=bob::3\r\nno value line\r\nC:\\in\\kept.rar=bob::2\r\n");
  store.sweep(site.files, 2, "C:\\in\\x.rar");
  site.commit(store);
  EXPECT_EQ(site.platform.file(shard), "C:\\in\\kept.rar=bob::2\r\n");
}

}  // namespace
}  // namespace quarvel
