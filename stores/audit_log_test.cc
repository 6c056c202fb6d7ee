#include "stores/audit_log.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace quarvel {
namespace {

constexpr char kLog[] = "C:\\site\\Quarvel.log";
constexpr char kOldLog[] = "C:\\site\\Quarvel.log.1";

TEST(AuditLogTest, LinesAreAppendedWithTheirFields) {
  FakePlatform platform;
  platform.addFile(kLog, "earlier\r\n");
  AuditLog log(platform, "C:\\site", "newday", [] { return std::string("pa55-Secret"); });
  log.action("brisk", "SITE DELUSER brisk", "200 User brisk deleted", "punished");
  platform.utc_seconds += 61;
  log.note("Marlow", "not punished: exempt now");
  log.summary("trials: 3 counted down one day");
  log.summary("1 expired");
  // Each line is written at once; the wait for the disk comes once, at the
  // end of the run.
  EXPECT_NE(platform.file(kLog).find("Marlow"), std::string::npos);
  EXPECT_TRUE(platform.disk_order.empty());
  log.finishRun();
  EXPECT_EQ(platform.disk_order, std::vector<std::string>{"sync C:/site/Quarvel.log"});
  EXPECT_EQ(platform.file(kLog),
            "earlier\r\n"
            "2026-12-15 00:00:00 UTC | newday | brisk | SITE DELUSER brisk | "
            "200 User brisk deleted | punished\r\n"
            "2026-12-15 00:01:01 UTC | newday | Marlow | - | - | not punished: exempt now\r\n"
            "2026-12-15 00:01:01 UTC | newday | - | - | - | trials: 3 counted down one day; 1 "
            "expired\r\n");
}

TEST(AuditLogTest, NeitherThePasswordNorLineBreaksGetIn) {
  FakePlatform platform;
  AuditLog log(platform, "C:\\site", "newday", [] { return std::string("pa55-Secret"); });
  log.action("brisk", "SITE CHANGE brisk tagline pa55-Secret", "550 no\r\nway pa55-Secret",
             "refused");
  std::string text = platform.file(kLog);
  EXPECT_EQ(text.find("pa55-Secret"), std::string::npos) << text;
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
}

TEST(AuditLogTest, AFullLogMovesToItsOlderHalf) {
  FakePlatform platform;
  std::string full(AuditLog::kRotateBytes, 'x');
  platform.addFile(kLog, full);
  platform.addFile(kOldLog, "oldest\r\n");
  AuditLog log(platform, "C:\\site", "newday", nullptr);
  log.note("a", "one");
  log.note("b", "two");
  EXPECT_EQ(platform.file(kOldLog), full);
  EXPECT_EQ(platform.file(kLog),
            "2026-12-15 00:00:00 UTC | newday | a | - | - | one\r\n"
            "2026-12-15 00:00:00 UTC | newday | b | - | - | two\r\n");

  // Just under the limit: kept.
  FakePlatform below;
  below.addFile(kLog, std::string(AuditLog::kRotateBytes - 1, 'x'));
  AuditLog(below, "C:\\site", "newday", nullptr).note("a", "one");
  EXPECT_FALSE(below.hasFile(kOldLog));
}

TEST(AuditLogTest, AFullLogThatCannotMoveKeepsGrowingAndSaysSo) {
  // Something that cannot be written over stands where the older half goes
  // (a folder, a locked file): no line is lost, and the run tells why the
  // log is not rotated.
  FakePlatform platform;
  std::string full(AuditLog::kRotateBytes, 'x');
  platform.addFile(kLog, full);
  platform.lockFile(kOldLog);
  AuditLog log(platform, "C:\\site", "newday", nullptr);
  log.note("a", "one");
  log.note("b", "two");
  EXPECT_EQ(platform.file(kLog), full +
                                     "2026-12-15 00:00:00 UTC | newday | a | - | - | one\r\n"
                                     "2026-12-15 00:00:00 UTC | newday | b | - | - | two\r\n");
  EXPECT_EQ(platform.error_lines,
            std::vector<std::string>{"Quarvel.log is over 10 MB but could not be moved to "
                                     "C:\\site\\Quarvel.log.1 (error 70); it goes on growing"});
}

TEST(AuditLogTest, AnUnwritableLogGivesOneLineAndNothingElse) {
  FakePlatform platform;
  platform.failAppends(true);
  AuditLog log(platform, "C:\\site", "newday", nullptr);
  log.action("brisk", "SITE DELUSER brisk", "200 OK", "punished");
  log.note("brisk", "done");
  EXPECT_EQ(
      platform.error_lines,
      std::vector<std::string>{
          "Quarvel.log could not be written (error 75); the run goes on without its audit log"});
  EXPECT_EQ(platform.output, "");
  EXPECT_FALSE(platform.hasFile(kLog));
}

// A name or reply holding CR, LF or "|" stays in its own field of its own
// line, and the reader finds the entry by the name as given.
TEST(AuditLogTest, OddNamesCannotForgeALineOrAField) {
  FakePlatform platform;
  AuditLog log(platform, "C:\\site", "ST", nullptr);
  const std::string odd = "x | newday | bob\r\n2026 | y%7C";
  log.note(odd, "trial record by sop: none -> 0 MB uploaded");
  log.action("bob", "SITE CHANGE bob", "200 a | b", "done");
  std::string text = platform.file(kLog);
  EXPECT_EQ(text,
            "2026-12-15 00:00:00 UTC | ST | x %7C newday %7C bob  2026 %7C y%257C | - | - | "
            "trial record by sop: none -> 0 MB uploaded\r\n"
            "2026-12-15 00:00:00 UTC | ST | bob | SITE CHANGE bob | 200 a %7C b | done\r\n");
  std::vector<std::string> lines;
  EXPECT_EQ(readUserHistory(platform, "C:\\site", odd, &lines), FileError::kNone);
  EXPECT_EQ(lines.size(), 1u);
  EXPECT_EQ(readUserHistory(platform, "C:\\site", "BOB", &lines), FileError::kNone);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("SITE CHANGE bob"), std::string::npos);
}

TEST(AuditLogTest, AUsersHistoryComesOldestFirstFromBothHalves) {
  FakePlatform platform;
  platform.addFile(kOldLog,
                   "t | newday | Bob | - | - | one\r\nt | newday | bobby | - | - | no\r\n"
                   "a line of no fields\r\n");
  platform.addFile(kLog,
                   "t | UD | - | - | - | bob in the outcome only\r\nt | UD | bob | - | - | two\n");
  std::vector<std::string> lines;
  EXPECT_EQ(readUserHistory(platform, "C:\\site", "bob", &lines), FileError::kNone);
  EXPECT_EQ(lines, (std::vector<std::string>{"t | newday | Bob | - | - | one",
                                             "t | UD | bob | - | - | two"}));
  // No log at all: no lines, no error.
  FakePlatform empty;
  EXPECT_EQ(readUserHistory(empty, "C:\\site", "bob", &lines), FileError::kNone);
  EXPECT_TRUE(lines.empty());
  // A half that cannot be read is an error, not an empty history.
  platform.lockFile(kLog);
  EXPECT_NE(readUserHistory(platform, "C:\\site", "bob", &lines), FileError::kNone);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace quarvel
