// A run stopped at any of its store commits (the fake platform fails that
// write and every later one, as if the process had been killed there)
// leaves stores from which running the command again ends exactly where an
// undisturbed run ends, and it prints no line claiming a change it did not
// save.
#include <gtest/gtest.h>

#include <algorithm>

#include "entry/dispatch.h"
#include "evaluation/site_test_util.h"

namespace quarvel {
namespace {

using test_site::Site;

struct Scenario {
  const char* name;
  const char* config;
  const char* command_line;
  const char* trial;  // nullptr: no store
  const char* quota;
  // What finishes the work when the stopped run had saved a part of it:
  // the operator's retry, or the next daily run.
  const char* next;
  std::map<std::string, std::string> variables;
};

const char kEndedPeriod[] =
    "setup_quota_starts=11-01-2026\r\nsetup_quota_ends=12-01-2026\r\nsetup_quota_started=1\r\n"
    "brisk=5::0::Couriers\r\ntamsin=1200::1::Couriers\r\npike=5::0::NoGroup\r\n";
const char kRunningPeriod[] =
    "setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\nsetup_quota_started=1\r\n"
    "brisk=5::0::Couriers\r\ntamsin=400::2::Couriers\r\n";

const Scenario kScenarios[] = {
    // Count-down and removal of the expired are one commit, before the
    // punishment is sent and announced.
    {"expiry",
     "TRIAL_PUNISHMENT=1\r\n",
     "newday",
     "\r\nbrisk=10::1::Couriers\r\ntamsin=0::3::Couriers\r\n",
     nullptr,
     "newday",
     {}},
    // The period's end and the next enrolment are one commit.
    {"period end", "QUOTA_PUNISHMENT=1\r\n", "newday", nullptr, kEndedPeriod, "newday", {}},
    {"enrolment",
     "",
     "qnow force",
     "\r\nwren=0::5::Couriers\r\n",
     kRunningPeriod,
     "qnow force",
     {}},
    // The quota suspension is committed before the trial record.
    {"trial add", "", "ST add brisk", nullptr, kRunningPeriod, "ST add brisk", {}},
    {"trial del",
     "",
     "ST del tamsin",
     "\r\ntamsin=1::3::Couriers\r\n",
     kRunningPeriod,
     "checkup",
     {}},
    // The credit before the pass command, the removal before its
    // announcement.
    {"trial pass",
     "TRIAL_ONPASS=SITE CHANGE $USER ratio 3\r\n",
     "ST give tamsin 600",
     "\r\ntamsin=1::3::Couriers\r\n",
     kRunningPeriod,
     "checkup",
     {}},
    {"quota pass",
     "",
     "SQ give brisk 2000",
     "\r\ntamsin=1::3::Couriers\r\n",
     kRunningPeriod,
     "checkup",
     {}},
    // The credit and the removal of a passing trial are one commit.
    {"upload",
     "",
     "UD \"C:\\site\\in\\a.zip\"",
     "\r\ntamsin=499::3::Couriers\r\n",
     nullptr,
     "checkup",
     {{"user", "tamsin"}, {"group", "Couriers"}}},
};

struct Stores {
  std::string trial;
  std::string quota;
  std::string credits;
  bool operator==(const Stores& o) const {
    return trial == o.trial && quota == o.quota && credits == o.credits;
  }
};

constexpr char kCreditPath[] = "C:\\site\\Credits.dat";
constexpr char kRecordPath[] = "C:\\site\\Quarvel.commit";

class Play {
 public:
  explicit Play(const Scenario& s) : site_(s.config) {
    if (s.trial) site_.setTrialStore(s.trial);
    if (s.quota) site_.setQuotaStore(s.quota);
    site_.platform.addFile("C:\\site\\in\\a.zip", std::string(2 * 1024 * 1024, 'x'));
    site_.platform.variables = s.variables;
  }
  // Runs a command line; `fail_from` > 0 stops the stores at that commit.
  void run(const std::string& command_line, int fail_from = 0) {
    site_.platform.command_line = command_line;
    site_.platform.fail_replaces_from = fail_from;
    site_.platform.replace_count = 0;
    site_.platform.output.clear();
    runProgram(site_.platform);
    site_.platform.fail_replaces_from = 0;
  }
  Stores stores() {
    FakePlatform& p = site_.platform;
    return {p.hasFile(Site::kTrialPath) ? site_.trialStore() : "(none)",
            p.hasFile(Site::kQuotaPath) ? site_.quotaStore() : "(none)",
            p.hasFile(kCreditPath) ? p.file(kCreditPath) : "(none)"};
  }
  FakePlatform& platform() { return site_.platform; }

 private:
  Site site_;
};

TEST(CommitPointsTest, AStoppedRunIsFinishedByTheNextOne) {
  for (const Scenario& s : kScenarios) {
    Play clean(s);
    clean.run(s.command_line);
    Stores clean_end = clean.stores();
    std::string clean_output = clean.platform().output;
    int commits = clean.platform().replace_count;
    ASSERT_GT(commits, 0) << s.name;
    for (int n = 1; n <= commits; ++n) {
      std::string label = std::string(s.name) + ", stopped at write " + std::to_string(n);
      Play play(s);
      Stores before = play.stores();
      play.run(s.command_line, n);
      // Said once, naming the file (a store or the commit record); nothing
      // printed beyond what the clean run had printed before that commit.
      ASSERT_EQ(play.platform().error_lines.size(), 1u) << label;
      const std::string& said = play.platform().error_lines[0];
      EXPECT_TRUE(said.find(".dat") != std::string::npos ||
                  said.find(".commit") != std::string::npos)
          << label << ": " << said;
      std::string printed = play.platform().output;
      EXPECT_EQ(clean_output.compare(0, printed.size(), printed), 0) << label << ": " << printed;
      // A run that saved nothing is simply run again; a commit record left
      // behind is a commit made, which the next run finishes.
      bool saved_nothing = play.stores() == before && !play.platform().hasFile(kRecordPath);
      play.run(saved_nothing ? s.command_line : s.next);
      Stores finished = play.stores();
      EXPECT_EQ(finished.trial, clean_end.trial) << label;
      EXPECT_EQ(finished.quota, clean_end.quota) << label;
      EXPECT_EQ(finished.credits, clean_end.credits) << label;
      EXPECT_FALSE(play.platform().hasFile(kRecordPath)) << label;
    }
  }
}

TEST(CommitPointsTest, ABigNewdayIsOneWrite) {
  std::string trials = "\r\n";
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    std::string name = "u" + std::to_string(i);
    trials += name + "=5::" + (i % 10 == 0 ? "1" : "9") + "::G\r\n";
    if (i % 10 != 0) expected += name + "=5::8::G\r\n";
  }
  expected += "setup_trial_counted=12-15-2026\r\n";
  Site site("TRIAL_PUNISHMENT=0\r\n");
  site.setTrialStore(trials);
  site.platform.command_line = "newday";
  runProgram(site.platform);
  EXPECT_EQ(site.platform.replace_count, 1);
  EXPECT_EQ(site.trialStore(), expected);
}

// The audit log's lines reach the disk before any store written after
// them, and at the end of the run: one wait for the disk per commit, not
// one per line (twelve lines here, three syncs).
TEST(CommitPointsTest, TheLogGoesToDiskBeforeTheStoresWrittenAfterIt) {
  Play play(kScenarios[1]);  // a period end punishing two members
  play.run("newday");
  const std::string log = "sync C:/site/Quarvel.log";
  const std::string quota = "replace C:/site/Velkrin.dat";
  EXPECT_EQ(play.platform().disk_order, (std::vector<std::string>{log, quota, log, quota, log}));
  std::string lines = play.platform().file("C:\\site\\Quarvel.log");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 12) << lines;
  EXPECT_NE(lines.find("| brisk | SITE DELUSER brisk | 200 OK | done; reason: 5 of 1000 MB "
                       "uploaded in the period 11-01-2026 to 11-30-2026\r\n"),
            std::string::npos);
}

// A run that wrote lines but changed no store still puts them on disk at
// its end.
TEST(CommitPointsTest, TheLogOfARunThatChangedNoStoreGoesToDiskAtTheEnd) {
  Site site("");
  site.platform.removeFile("C:\\ioFTPD\\etc\\UserIdTable");  // the database cannot be read
  site.platform.command_line = "ST add brisk";
  runProgram(site.platform);
  EXPECT_NE(site.platform.file("C:\\site\\Quarvel.log").find("cannot be read"), std::string::npos);
  EXPECT_EQ(site.platform.disk_order, std::vector<std::string>{"sync C:/site/Quarvel.log"});
}

}  // namespace
}  // namespace quarvel
