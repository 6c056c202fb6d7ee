#include "stores/commit_record.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/fake_platform.h"
#include "stores/stores.h"

namespace quarvel {
namespace {

const char kRecord[] = "C:\\site\\Quarvel.commit";
const char kA[] = "C:\\site\\Quarvel.dat";
const char kB[] = "C:\\site\\Velkrin.dat";
const char kC[] = "C:\\site\\Credits.dat";

using Disk = std::map<std::string, std::string>;  // path -> bytes; absent: no file

Disk filesOf(const FakePlatform& platform) {
  Disk files;
  for (const char* path : {kA, kB, kC, kRecord}) {
    if (platform.hasFile(path)) files[path] = platform.file(path);
  }
  return files;
}

// Two stores replaced and one removed.
struct CommitTest : ::testing::Test {
  CommitTest() {
    platform.addFile(kA, "a=old\r\n");
    platform.addFile(kB, "b=old\r\n");
    platform.addFile(kC, "c=old\r\n");
    before = filesOf(platform);
    after = {{kA, "a=new\r\n"}, {kB, "b=new\r\n"}};
  }
  std::vector<PendingWrite> writes() const {
    return {{kA, false, "a=new\r\n"}, {kB, false, "b=new\r\n"}, {kC, true, ""}};
  }
  FakePlatform platform;
  Disk before;
  Disk after;
};

TEST_F(CommitTest, NewTextsThenTheRecordThenTheRenamesThenTheRecordGoes) {
  EXPECT_FALSE(commitTogether(platform, kRecord, writes()).failed());
  EXPECT_EQ(filesOf(platform), after);
  EXPECT_EQ(platform.disk_order,
            (std::vector<std::string>{"new C:/site/Quarvel.dat.new", "new C:/site/Velkrin.dat.new",
                                      "replace C:/site/Quarvel.commit",
                                      "rename C:/site/Quarvel.dat.new C:/site/Quarvel.dat",
                                      "rename C:/site/Velkrin.dat.new C:/site/Velkrin.dat"}));
  CommitFailure failure;
  EXPECT_EQ(finishInterruptedCommit(platform, kRecord, &failure), Recovery::kNone);
}

// One file needs no record: its atomic replacement is the whole commit.
TEST_F(CommitTest, OneFileIsReplacedWithoutARecord) {
  EXPECT_FALSE(commitTogether(platform, kRecord, {{kA, false, "a=new\r\n"}}).failed());
  EXPECT_EQ(platform.disk_order, std::vector<std::string>{"replace C:/site/Quarvel.dat"});
  EXPECT_FALSE(commitTogether(platform, kRecord, {}).failed());
  EXPECT_EQ(platform.disk_order.size(), 1u);
}

// Stopped at each write: before the record nothing changed and the
// temporary files are gone; from the record on the next run finishes it,
// and finishing it again changes nothing.
TEST_F(CommitTest, AStoppedCommitEndsAsBeforeOrAsAfter) {
  for (int n = 1; n <= 5; ++n) {
    FakePlatform stopped;
    for (const auto& file : before) stopped.addFile(file.first, file.second);
    stopped.fail_replaces_from = n;
    CommitFailure failure = commitTogether(stopped, kRecord, writes());
    ASSERT_TRUE(failure.failed()) << n;
    const char* named[] = {kA, kB, kRecord, kA, kB};
    EXPECT_EQ(failure.path, named[n - 1]) << n;
    stopped.fail_replaces_from = 0;
    Recovery recovery = finishInterruptedCommit(stopped, kRecord, &failure);
    EXPECT_EQ(recovery, n <= 3 ? Recovery::kNone : Recovery::kFinished) << n;
    EXPECT_EQ(filesOf(stopped), n <= 3 ? before : after) << n;
    EXPECT_FALSE(stopped.hasFile(temporaryPathOf(kA)) || stopped.hasFile(temporaryPathOf(kB)));
    EXPECT_EQ(finishInterruptedCommit(stopped, kRecord, &failure), Recovery::kNone) << n;
    EXPECT_EQ(filesOf(stopped), n <= 3 ? before : after) << n;
  }
}

// A record cut short anywhere, or one whose end line does not check, was
// never complete: it goes with its temporary files, and no store changes.
TEST_F(CommitTest, AnIncompleteRecordIsDiscarded) {
  const std::string record = commitRecordText(writes());
  std::vector<std::string> torn;
  for (std::size_t size = 0; size < record.size(); ++size) torn.push_back(record.substr(0, size));
  std::string wrong_count = record;
  wrong_count.replace(wrong_count.find("end\t3"), 5, "end\t2");
  std::string edited = record;
  edited.replace(edited.find("\t7\t"), 3, "\t8\t");  // a length
  const std::size_t whole = torn.size();
  torn.push_back(wrong_count);
  torn.push_back(edited);
  torn.push_back(record + "x");
  for (std::size_t i = 0; i < torn.size(); ++i) {
    const std::string& text = torn[i];
    FakePlatform p;
    for (const auto& file : before) p.addFile(file.first, file.second);
    p.addFile(temporaryPathOf(kA), "a=new\r\n");
    p.addFile(temporaryPathOf(kB), "b=new\r\n");
    p.addFile(kRecord, text);
    CommitFailure failure;
    EXPECT_EQ(finishInterruptedCommit(p, kRecord, &failure), Recovery::kDiscarded) << text;
    EXPECT_EQ(filesOf(p), before) << text;
    if (i >= whole) {  // every entry read whole: its temporary file went too
      EXPECT_FALSE(p.hasFile(temporaryPathOf(kA)) || p.hasFile(temporaryPathOf(kB))) << text;
    }
  }
}

// A temporary file that is not the one the record names (left by a later
// run that was stopped before its own record) is never renamed.
TEST_F(CommitTest, ATemporaryFileOfAnotherCommitIsNotRenamed) {
  platform.addFile(kRecord, commitRecordText(writes()));
  platform.addFile(temporaryPathOf(kA), "a=new\r\n");
  platform.addFile(temporaryPathOf(kB), "b=other\r\n");
  CommitFailure failure;
  EXPECT_EQ(finishInterruptedCommit(platform, kRecord, &failure), Recovery::kFinished);
  EXPECT_EQ(filesOf(platform), (Disk{{kA, "a=new\r\n"}, {kB, "b=old\r\n"}}));
  EXPECT_FALSE(platform.hasFile(temporaryPathOf(kB)));
}

// A record that cannot be carried out is said, and stays for the next run.
TEST_F(CommitTest, ARecordThatCannotBeFinishedStays) {
  platform.addFile(kRecord, commitRecordText(writes()));
  platform.addFile(temporaryPathOf(kA), "a=new\r\n");
  platform.lockFile(kA);
  CommitFailure failure;
  EXPECT_EQ(finishInterruptedCommit(platform, kRecord, &failure), Recovery::kFailed);
  EXPECT_EQ(failure.path, kA);
  EXPECT_TRUE(platform.hasFile(kRecord));
}

// A file of another module joins the stores' commit by offering its write.
TEST(StoresCommitTest, AJoinedFileGoesToDiskInTheSameCommit) {
  struct Ledger : CommitParticipant {
    void offerWrites(std::vector<PendingWrite>* writes) override {
      if (pending) writes->push_back({"C:\\site\\Ledger.txt", false, "x\r\n"});
    }
    void committed() override { pending = false; }
    bool pending = true;
  } ledger;
  FakePlatform platform;
  Output out(platform);
  Files files(platform, out, "C:\\site");
  TrialStore trial(files);
  QuotaStore quota(files);
  CreditStore credits(files);
  Stores stores(platform, trial, quota, credits);
  stores.join(&ledger);
  trial.writeTrialRecord("wren=0::7::G");
  ASSERT_TRUE(stores.commit());
  EXPECT_EQ(platform.disk_order,
            (std::vector<std::string>{"new C:/site/Quarvel.dat.new", "new C:/site/Ledger.txt.new",
                                      "replace C:/site/Quarvel.commit",
                                      "rename C:/site/Quarvel.dat.new C:/site/Quarvel.dat",
                                      "rename C:/site/Ledger.txt.new C:/site/Ledger.txt"}));
  EXPECT_FALSE(ledger.pending);
  // Nothing pending: no write, no record.
  ASSERT_TRUE(stores.commitAtEnd());
  EXPECT_EQ(platform.disk_order.size(), 5u);
}

}  // namespace
}  // namespace quarvel
