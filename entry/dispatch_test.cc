#include "entry/dispatch.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace quarvel {
namespace {

// Every row runs on the lines it matches, in table order, until one ends
// the run; so the order decides something only where rows overlap. A line
// is taken by one named row at most; the rows that look at every line (ST,
// SQ, IRC) come on top, and each of them acts on its own word alone, so the
// lines of the rows after them still reach those (stats_command_test runs
// "stats" past them).
TEST(Dispatch, ALineIsTakenByOneNamedRowAtMost) {
  struct Case {
    const char* line;
    std::vector<std::string> rows;  // the named rows that match, in order
  } cases[] = {
      {"test", {"test"}},
      {"QSTART", {"qstart"}},
      {"qnow", {"qnow"}},
      {"UD \"/pub/a.zip\"", {"UD"}},
      {"nuke bob 2048", {"NUKE"}},
      {"UNNUKE bob 2048", {"UNNUKE"}},
      {"predl DELE a.zip", {"PREDL"}},
      {"POSDL DELE a.zip", {"POSDL"}},
      {"stats", {"stats"}},
      {"checkup", {"checkup"}},
      {"newday", {"newday"}},
      {"preview 12-01-2026", {"preview"}},
      {"preview", {"preview"}},
      {"passed", {"PASSED"}},
      {"PASSED bob", {"PASSED"}},
      // Lines a looser test would hand to a row: no row of its own.
      {"stats now", {}},
      {"test preview", {}},
      {"nuke bob", {}},
      {"IRC stats", {}},
      {"IRC PASSED bob", {}},
      {"ST add bob", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> named;
    for (const CommandRow& row : commandTable()) {
      if (row.test != CommandTest::kAlways && rowMatches(row, c.line)) named.push_back(row.name);
    }
    EXPECT_EQ(named, c.rows) << c.line;
  }
}

TEST(Dispatch, CommandTests) {
  struct Case {
    const char* row;
    const char* line;
    bool matches;
  } cases[] = {
      {"test", "TEST", true},
      {"test", "Test", true},
      {"test", "test ", false},
      {"newday", "newday now", false},
      {"newday", "Newday", true},
      {"NUKE", "nuke bob 2048", true},
      {"NUKE", "NUKE  bob 2048", false},
      {"NUKE", "NUKE bob", false},
      {"NUKE", "NUKE bob 1 x", true},
      {"UD", "ud \"x\"", true},
      {"UD", "UDX \"x\"", false},
      {"PREDL", "predl DELE a.zip", true},
      {"stats", "", false},
      {"ST", "anything", true},
  };
  for (const Case& c : cases) {
    const CommandRow* row = nullptr;
    for (const CommandRow& r : commandTable()) {
      if (std::string(r.name) == c.row) row = &r;
    }
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(rowMatches(*row, c.line), c.matches) << c.row << " / " << c.line;
  }
}

TEST(Dispatch, ExcludedFolders) {
  struct Case {
    const char* entries;
    const char* pwd;
    bool excluded;
  } cases[] = {
      {"/incoming/private|/groups", "/INCOMING/Private/x", true},
      {"/incoming/private|/groups", "/incoming", false},
      {"/incoming/private|/groups", "/groups", true},
      {"||", "/anything", false},
      {"/a", "", false},
      {"", "/a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isExcluded(c.entries, c.pwd), c.excluded) << c.entries << " / " << c.pwd;
  }
}

std::vector<std::string> visited;

Next record(Run& run) {
  visited.push_back(run.command_line);
  return Next::kContinue;
}

Next endHere(Run&) {
  visited.push_back("end");
  return Next::kEndRun;
}

TEST(Dispatch, EveryMatchingRowRunsInOrderUntilOneEndsTheRun) {
  FakePlatform platform;
  platform.command_line = "qnow";
  quarvel::Run run(platform);
  std::vector<CommandRow> table = {{"qnow", CommandTest::kWholeLine, record},
                                   {"X", CommandTest::kAlways, record},
                                   {"qnow", CommandTest::kWholeLine, endHere},
                                   {"Y", CommandTest::kAlways, record}};
  visited.clear();
  dispatch(run, table);
  EXPECT_EQ(visited, (std::vector<std::string>{"qnow", "qnow", "end"}));
}

TEST(Dispatch, DataFolderFollowsTheCommandWord) {
  FakePlatform platform;
  struct Case {
    const char* line;
    const char* folder;
  } cases[] = {{"IRC info trial", "C:\\prog\\"},
               {"nuke bob 1", "C:\\prog\\"},
               {"UNNUKE bob 1", "C:\\prog\\"},
               {"stats", "C:\\site"},
               {"IRCX", "C:\\site"},
               {"", "C:\\site"}};
  for (const Case& c : cases) EXPECT_EQ(dataFolderFor(platform, c.line), c.folder) << c.line;
}

TEST(Dispatch, StartUpReadsTheSettingsAndSetsSystemRoot) {
  FakePlatform platform;
  platform.addFile(
      "C:\\site\\quarvel.conf",
      "WINDIR=C:\\Windows\r\nTRIAL_DAYS=7.5\r\nTRIAL_UPLOAD=1000.5\r\nioFTPD=D:\\io\r\n");
  quarvel::Run run(platform);
  run.loadStartupSettings();
  EXPECT_EQ(platform.variables["SystemRoot"], "C:\\Windows");
  EXPECT_EQ(run.settings.trialDays(), 8);
  // The target keeps its fraction: every decision compares against it as set.
  EXPECT_EQ(run.settings.trialUploadMB(), 1000.5);
  EXPECT_EQ(run.settings.serverFolder(), "D:\\io");

  FakePlatform bare;
  bare.variables["SystemRoot"] = "C:\\old";
  bare.addFile("C:\\site\\quarvel.conf", "A=1\r\n");
  quarvel::Run run2(bare);
  run2.loadStartupSettings();
  EXPECT_EQ(bare.variables.count("SystemRoot"), 0u);
}

TEST(Dispatch, MissingConfigurationPrintsOneLinePerStartUpKey) {
  FakePlatform platform;
  platform.command_line = "nothing";
  EXPECT_EQ(runProgram(platform), 0);
  std::string expected;
  for (int i = 0; i < 10; ++i) expected += "53 - LOADCFG\r\n";
  EXPECT_EQ(platform.output, expected);
  EXPECT_EQ(platform.lock_count, 1);
}

TEST(Dispatch, WithoutTheLockNothingIsReadOrWritten) {
  FakePlatform platform;
  platform.refuse_lock = true;
  platform.addFile("C:\\site\\quarvel.conf", "QUOTA_TYPE=1\r\n");
  platform.command_line = "qnow";  // would start a quota period in Velkrin.dat
  EXPECT_EQ(runProgram(platform), 0);
  EXPECT_EQ(platform.output, "");
  EXPECT_EQ(platform.filesIn("C:\\site"), std::vector<std::string>{"quarvel.conf"});
  EXPECT_EQ(platform.error_lines.size(), 1u);
}

TEST(Dispatch, AnExcludedRunEndsSilently) {
  FakePlatform platform;
  platform.addFile("C:\\site\\quarvel.conf", "EXCLUDED_DIRS=/private\r\n");
  platform.variables["pwd"] = "/Private/x";
  platform.command_line = "test";
  EXPECT_EQ(runProgram(platform), 0);
  EXPECT_EQ(platform.output, "");
}

}  // namespace
}  // namespace quarvel
