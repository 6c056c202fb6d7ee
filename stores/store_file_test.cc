#include "stores/store_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "config/text.h"
#include "platform/fake_platform.h"
#include "stores/quota_store.h"
#include "stores/store_record.h"
#include "stores/trial_store.h"

namespace quarvel {
namespace {

const char kTrialPath[] = "C:\\site\\Quarvel.dat";
const char kQuotaPath[] = "C:\\site\\Velkrin.dat";

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() { platform_.addFolder("C:\\site"); }
  // A store as a fresh run sees it (its own cache).
  TrialStore freshTrial() { return TrialStore(files_); }
  FakePlatform platform_;
  Output out_{platform_};
  Files files_{platform_, out_, "C:\\site"};
};

TEST_F(StoreTest, WritingToAMissingFileStartsWithAnEmptyLine) {
  TrialStore trial(files_);
  trial.writeTrialRecord("alice=0::7::Couriers");
  trial.file().commit();
  EXPECT_EQ(platform_.file(kTrialPath), "\r\nalice=0::7::Couriers\r\n");
  EXPECT_EQ(trial.readTrialRecord("ALICE "), "0::7::Couriers");
}

TEST_F(StoreTest, UpdatesMoveTheRecordToTheEndAndDeletesRemoveIt) {
  platform_.addFile(kTrialPath, "a=1::1::G\r\nb=2::2::G\r\nc=3::3::G\r\n");
  TrialStore trial(files_);
  trial.writeTrialRecord("a=9::1::G");
  trial.file().commit();
  EXPECT_EQ(platform_.file(kTrialPath), "b=2::2::G\r\nc=3::3::G\r\na=9::1::G\r\n");
  trial.writeTrialRecord("B=");
  trial.file().commit();
  EXPECT_EQ(platform_.file(kTrialPath), "c=3::3::G\r\na=9::1::G\r\n");
  trial.writeTrialRecord("c=");
  trial.writeTrialRecord("a=");
  trial.file().commit();
  EXPECT_EQ(platform_.file(kTrialPath), "\r\n");
  EXPECT_EQ(freshTrial().readTrialRecord("a"), "");
  EXPECT_EQ(trial.listTrialUsers(), std::vector<std::string>{""});
}

TEST_F(StoreTest, ReadingRules) {
  platform_.addFile(kTrialPath,
                    "\r\n  \r\nALICE = \"5\"::1::G \r\nalice=6::1::G\r\ncarol=1::2::G=x\r\n"
                    "nokey\r\n");
  TrialStore trial(files_);
  EXPECT_EQ(trial.readTrialRecord("alice"), "5::1::G");  // first line wins
  EXPECT_EQ(trial.readTrialRecord("carol"), "1::2::G");  // text after a second = is lost
  EXPECT_EQ(trial.readTrialRecord("nokey"), "");
  EXPECT_EQ(trial.readTrialRecord(""), "");
  EXPECT_EQ(trial.listTrialUsers(),
            (std::vector<std::string>{"ALICE ", "alice", "carol", "nokey"}));

  platform_.addFile(kQuotaPath, "bob=\"1\"::0::G\r\n");
  QuotaStore quota(files_);
  EXPECT_EQ(quota.readQuotaRecord("bob"), "\"1\"::0::G");  // quota keeps quotes
}

TEST_F(StoreTest, LinuxLineEndsAreLinesToo) {
  platform_.addFile(kTrialPath, "a=1::1::G\nb=2::2::G\n");
  TrialStore trial(files_);
  EXPECT_EQ(trial.readTrialRecord("b"), "2::2::G");
  trial.writeTrialRecord("a=3::1::G");
  trial.file().commit();
  EXPECT_EQ(platform_.file(kTrialPath), "b=2::2::G\r\na=3::1::G\r\n");
}

TEST_F(StoreTest, QuotaListingLeavesThePeriodKeysOut) {
  platform_.addFile(kQuotaPath,
                    "setup_quota_starts=12-01-2026\r\nSETUP_QUOTA_ENDS=01-01-2027\r\n"
                    "bob=0::0::G\r\nsetup_quota_starts_fan=0::0::G\r\nbob_PREDEL_SIZE_x=4\r\n"
                    "setup_quota_started=1\r\n");
  QuotaStore quota(files_);
  EXPECT_EQ(quota.listQuotaUsers(), (std::vector<std::string>{"bob", "bob_PREDEL_SIZE_x"}));
  EXPECT_EQ(quota.readQuotaRecord("setup_quota_started"), "1");
}

TEST_F(StoreTest, ReadsTestForTheFileBeforeUsingTheCache) {
  QuotaStore quota(files_);
  quota.writeQuotaRecord("bob=0::0::G");
  quota.file().removeFile();
  EXPECT_EQ(quota.readQuotaRecord("bob"), "");
  quota.writeQuotaRecord("setup_quota_started=1");
  quota.file().commit();
  EXPECT_EQ(platform_.file(kQuotaPath), "\r\nsetup_quota_started=1\r\n");
}

TEST_F(StoreTest, AFailedRewriteLeavesTheOldStore) {
  platform_.addFile(kTrialPath, "a=1::1::G\r\n");
  TrialStore trial(files_);
  platform_.failReplaces(true);
  trial.writeTrialRecord("b=0::7::G");
  EXPECT_EQ(platform_.file(kTrialPath), "a=1::1::G\r\n");
  // The run goes on with what it wrote.
  EXPECT_EQ(trial.readTrialRecord("b"), "0::7::G");
}

TEST_F(StoreTest, AnUnreadableStoreIsNeverRewrittenFromNothing) {
  platform_.addFile(kTrialPath, "a=1::1::G\r\n");
  platform_.lockFile(kTrialPath);
  TrialStore trial(files_);
  trial.writeTrialRecord("b=0::7::G");
  EXPECT_EQ(platform_.file(kTrialPath), "a=1::1::G\r\n");
}

TEST_F(StoreTest, ReadAllLinesIsACopyOfTheCache) {
  EXPECT_TRUE(freshTrial().readAllTrialLines().empty());
  platform_.addFile(kTrialPath, "\r\nbob=10::1::G\r\n  ann=0::3::G\r\n");
  TrialStore trial(files_);
  std::vector<std::string> lines = trial.readAllTrialLines();
  trial.writeTrialRecord("bob=10::0::G");
  EXPECT_EQ(lines, (std::vector<std::string>{"bob=10::1::G", "  ann=0::3::G"}));
  EXPECT_EQ(trial.readAllTrialLines(), (std::vector<std::string>{"  ann=0::3::G", "bob=10::0::G"}));
}

TEST_F(StoreTest, TrialListingLeavesTheStoreKeysOut) {
  platform_.addFile(kTrialPath,
                    "bob=0::3::G\r\nSETUP_TRIAL_COUNTED=12-01-2026\r\nann=0::2::G\r\n"
                    "setup_trial_due=ann\r\n");
  TrialStore trial(files_);
  EXPECT_EQ(trial.listTrialUsers(), (std::vector<std::string>{"bob", "ann"}));
  EXPECT_EQ(trial.countedDay(), "12-01-2026");
  EXPECT_EQ(trial.dueUsers(), std::vector<std::string>{"ann"});
  // A store from before the date was kept, or with no date there.
  for (const char* kept : {"", "setup_trial_counted=1-2-2026\r\n", "setup_trial_counted=\r\n"}) {
    platform_.addFile(kTrialPath, std::string("bob=0::3::G\r\n") + kept);
    EXPECT_EQ(freshTrial().countedDay(), "") << kept;
  }
}

TEST_F(StoreTest, ChangesReachTheDiskOnlyAtACommit) {
  platform_.addFile(kTrialPath, "a=1::1::G\r\n");
  TrialStore trial(files_);
  trial.writeTrialRecord("b=0::7::G");
  trial.writeTrialRecord("a=");
  EXPECT_EQ(platform_.file(kTrialPath), "a=1::1::G\r\n");
  EXPECT_EQ(trial.file().commit(), FileError::kNone);
  EXPECT_EQ(platform_.file(kTrialPath), "b=0::7::G\r\n");
  // Nothing pending, or nothing changed in the bytes: no write at all.
  int writes = platform_.replace_count;
  trial.file().commit();
  trial.writeTrialRecord("c=1::1::G");
  trial.writeTrialRecord("c=");
  trial.file().commit();
  EXPECT_EQ(platform_.replace_count, writes);
  EXPECT_TRUE(trial.file().changedOnDisk());
  // A run whose commits found nothing to write changed nothing on disk.
  platform_.addFile(kTrialPath, "a=1::1::G\r\nb=0::7::G\r\n");
  TrialStore unchanged(files_);
  unchanged.writeTrialRecord("b=0::7::G");
  EXPECT_EQ(unchanged.file().commit(), FileError::kNone);
  EXPECT_FALSE(unchanged.file().changedOnDisk());
}

TEST_F(StoreTest, ARemovedStoreGoesAtTheCommitOrIsReplacedByWhatFollowed) {
  platform_.addFile(kQuotaPath, "bob=0::0::G\r\n");
  QuotaStore quota(files_);
  quota.file().removeFile();
  EXPECT_TRUE(platform_.hasFile(kQuotaPath));
  EXPECT_EQ(quota.readQuotaRecord("bob"), "");
  EXPECT_FALSE(quota.file().exists());
  quota.file().commit();
  EXPECT_FALSE(platform_.hasFile(kQuotaPath));

  platform_.addFile(kQuotaPath, "bob=0::0::G\r\n");
  QuotaStore again(files_);
  again.file().removeFile();
  again.writeQuotaRecord("setup_quota_starts=12-01-2026");
  again.file().commit();
  EXPECT_EQ(platform_.file(kQuotaPath), "\r\nsetup_quota_starts=12-01-2026\r\n");
}

TEST_F(StoreTest, AnUnreadableStoreRefusesTheCommit) {
  platform_.addFile(kTrialPath, "a=1::1::G\r\n");
  platform_.lockFile(kTrialPath);
  TrialStore trial(files_);
  EXPECT_TRUE(trial.file().exists());
  EXPECT_EQ(trial.file().commit(), FileError::kNone);  // nothing asked
  trial.writeTrialRecord("b=0::7::G");
  EXPECT_EQ(trial.file().commit(), FileError::kAccessDenied);
  EXPECT_EQ(platform_.file(kTrialPath), "a=1::1::G\r\n");
}

// No value from a caller may split a line, end the file early or reach a
// server command: CR, LF, NUL and code 26 become "_".
TEST_F(StoreTest, LineBreakingCharactersNeverReachTheFile) {
  struct Case {
    std::string entry;
    std::string file;
  } cases[] = {
      {"bob=5::7::Couriers\r\nadmin=0::1::Couriers",
       "\r\nbob=5::7::Couriers__admin=0::1::Couriers\r\n"},
      {"bob=5::7::G\rx", "\r\nbob=5::7::G_x\r\n"},
      {std::string("a\0b=1::2::G", 11), "\r\na_b=1::2::G\r\n"},
      {"a\x1a"
       "b=1::2::G\x1a",
       "\r\na_b=1::2::G_\r\n"},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    Output out{platform};
    Files files{platform, out, "C:\\site"};
    TrialStore trial(files);
    trial.writeTrialRecord(c.entry);
    trial.file().commit();
    EXPECT_EQ(platform.file(kTrialPath), c.file) << c.file;
    EXPECT_EQ(trial.listTrialUsers().size(), 1u) << c.file;
  }
}

// A line read with a NUL in its key (written by hand, or by another
// program) is replaced by an entry of that key under its safe name, and
// removed by its removal: it never stays to be read again by every run.
TEST_F(StoreTest, ALineWhoseKeyHoldsANulIsReplacedAndRemovedByItsKey) {
  const std::string nul_key("a\0b", 3);
  for (bool removal : {false, true}) {
    platform_.addFile(kTrialPath, nul_key + "=1::1::G\r\nc=1::2::G\r\n");
    TrialStore trial = freshTrial();
    ASSERT_EQ(trial.readTrialRecord(nul_key), "1::1::G");
    if (removal) {
      trial.removeMember(nul_key);
    } else {
      trial.writeTrialRecord(nul_key + "=1::0::G");
    }
    trial.file().commit();
    EXPECT_EQ(platform_.file(kTrialPath),
              removal ? "c=1::2::G\r\n" : "c=1::2::G\r\na_b=1::0::G\r\n");
    EXPECT_EQ(freshTrial().readTrialRecord(nul_key), "");
  }
}

// Code 26 ends a text file only where the platform gives it that meaning.
TEST_F(StoreTest, EndOfFileCharacterFollowsThePlatform) {
  for (bool windows : {true, false}) {
    platform_.end_of_file_character = windows;
    platform_.addFile(kTrialPath, "a=1::1::G\x1a\r\nb=2::2::G\r\n");
    TrialStore trial(files_);
    EXPECT_EQ(trial.readTrialRecord("b"), windows ? "" : "2::2::G") << windows;
    EXPECT_EQ(trial.readTrialRecord("a"), windows ? "1::1::G" : "1::1::G\x1a") << windows;
  }
}

// A large store rewritten again and again, keys spelt in any case, some
// repeated in the file and some removed: every read finds the last value
// written and the file holds each key once, in the order last written.
TEST_F(StoreTest, ManyKeysRewrittenAgainAndAgainStayFoundInOrder) {
  std::vector<std::pair<std::string, std::string>> model;  // key, line
  std::string text;
  for (int i = 0; i < 500; ++i) {
    const std::string key = "user" + std::to_string(i);
    text += key + "=" + std::to_string(i) + "::0::G\r\n";
    model.emplace_back(key, key + "=" + std::to_string(i) + "::0::G");
    if (i % 50 == 0) {
      text += "USER" + std::to_string(i) + "=repeat::0::G\r\n";
      model.emplace_back(key, "USER" + std::to_string(i) + "=repeat::0::G");
    }
  }
  platform_.addFile(kTrialPath, text);
  StoreFile store(files_, "\\Quarvel.dat", StoreRules{true, {}});
  EXPECT_EQ(store.read("user50"), "50::0::G");  // the first line of a key
  for (int round = 0; round < 6; ++round) {
    for (int i = round; i < 500; i += 3) {
      const std::string key = "user" + std::to_string(i);
      const std::string spelt = round % 2 ? "USER" + std::to_string(i) : key;
      const bool removed = (i + round) % 7 == 0;
      const std::string value =
          removed ? "" : std::to_string(round) + "::" + std::to_string(i) + "::G";
      store.write(spelt + "=" + value);
      model.erase(std::remove_if(model.begin(), model.end(),
                                 [&](const auto& entry) { return entry.first == key; }),
                  model.end());
      if (!removed) model.emplace_back(key, spelt + "=" + value);
    }
  }
  for (int i = 0; i < 500; ++i) {
    const std::string key = "User" + std::to_string(i);
    std::string expected;
    for (const auto& entry : model) {
      if (equalsIgnoringCase(entry.first, key)) {
        expected = field(entry.second, "=", 2);
        break;
      }
    }
    EXPECT_EQ(store.read(key), expected) << key;
  }
  ASSERT_EQ(store.commit(), FileError::kNone);
  std::string expected_text;
  for (const auto& entry : model) expected_text += entry.second + "\r\n";
  EXPECT_EQ(platform_.file(kTrialPath), expected_text);
}

// A run that touches a few keys finds them in the text as read; one that
// touches many, or lists the store, indexes every line. Both must read,
// write and commit alike: the same operations on awkward texts (every line
// end, blanks around keys, keys in any case and repeated, empty keys,
// stray "=", code 26) against a store indexed before its first operation.
TEST_F(StoreTest, SearchingTheTextAndTheIndexAgree) {
  const std::vector<std::string> keys = {"bob", "BOB",   " bob ", "Bob x",
                                         "bo",  "bobby", "a",     "",
                                         "=",   "b=c",   "\x1a",  "setup_quota_ends"};
  const std::vector<std::string> ends = {"\r\n", "\r", "\n", "\n\r", ""};
  const std::vector<std::string> values = {"", "1::0::G", "\"2\"::1::H=x", "  3 "};
  std::mt19937 random(20261210);
  auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
  for (int round = 0; round < 3000; ++round) {
    platform_.end_of_file_character = round % 2 == 0;
    std::string text;
    const int lines = static_cast<int>(random() % 8);
    for (int i = 0; i < lines; ++i) {
      text += random() % 6 == 0 ? std::string("  ") : pick(keys) + "=" + pick(values);
      text += random() % 5 == 0 ? std::string(" ") : std::string();
      text += pick(ends);
    }
    // Operations: a read of a key, or the write of key=value.
    std::vector<std::pair<bool, std::string>> steps;
    const int count = 1 + static_cast<int>(random() % 24);
    for (int i = 0; i < count; ++i) {
      const bool write = random() % 2 == 0;
      steps.emplace_back(write, write ? pick(keys) + "=" + pick(values) : pick(keys));
    }
    std::string traces[2];
    for (int indexed = 0; indexed < 2; ++indexed) {
      platform_.addFile(kQuotaPath, text);
      StoreFile store(files_, "\\Velkrin.dat", StoreRules{round % 3 == 0, {}});
      if (indexed) store.readAllLines();
      std::string trace;
      for (const auto& step : steps) {
        if (step.first) {
          store.write(step.second);
        } else {
          trace += "[" + store.read(step.second) + "]";
        }
      }
      ASSERT_EQ(store.commit(), FileError::kNone);
      trace += "|" + platform_.file(kQuotaPath) + "|" + joinLines(store.readAllLines());
      traces[indexed] = trace;
    }
    ASSERT_EQ(traces[0], traces[1]) << "round " << round;
  }
}

TEST(StoreRecordTest, AmountsSaturateInsteadOfWrapping) {
  const std::string largest = "179769313486231" + std::string(294, '0');
  struct Case {
    const char* uploaded;
    double credit;
    std::string after;
  } cases[] = {
      {"10", 2.5, "12.5"},
      {"9e307", 9e307, largest},
      {"-9e307", -9e307, "-" + largest},
  };
  for (const Case& c : cases) {
    QuotaRecord credited =
        QuotaRecord::parse(std::string(c.uploaded) + "::0::G").credited(c.credit);
    EXPECT_EQ(credited.uploaded.text(), c.after) << c.uploaded;
    // A saturated amount stays there.
    if (c.credit > 1e300 || c.credit < -1e300) {
      EXPECT_EQ(credited.credited(c.credit).uploaded.text(), c.after) << c.uploaded;
    }
    EXPECT_EQ(credited.encode(), c.after + "::0::G");
  }
}

}  // namespace
}  // namespace quarvel
