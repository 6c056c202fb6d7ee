#include "config/config_check.h"

#include <gtest/gtest.h>

#include "config/known_keys.h"
#include "config/text.h"

namespace quarvel {
namespace {

// Every key whose absence changes behaviour, set sensibly, on lines 1 to 14.
const char kSound[] =
    "ioFTPD=C:\\ioFTPD\r\n"
    "UserTABLE=C:\\ioFTPD\\etc\\UserIdTable\r\n"
    "UserFOLDER=C:\\ioFTPD\\users\r\n"
    "GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable\r\n"
    "FTP_HOST=127.0.0.1\r\n"
    "FTP_PORT=21\r\n"
    "FTP_USER=quarvel\r\n"
    "FTP_PASS=secret\r\n"
    "TRIAL_UPLOAD=5000\r\n"
    "TRIAL_DAYS=14\r\n"
    "TRIAL_DISABLE_FLAG=6\r\n"
    "QUOTA_DISABLE_FLAG=6\r\n"
    "QUOTA_TYPE=1\r\n"
    "QUOTA_UPLOAD=10000\r\n";

std::vector<std::string> findings(const std::string& text) {
  std::vector<std::string> texts;
  for (const ConfigFinding& finding : checkConfigLines(parseConfigLines(text))) {
    texts.push_back(findingText(finding));
  }
  return texts;
}

// The sound file with one line replaced (`line` from 1) or, with line 0,
// with lines added at its end.
std::string changed(int line, const std::string& with) {
  std::vector<std::string> lines = splitTextLines(kSound);
  if (line == 0) {
    lines.push_back(with);
  } else {
    lines[line - 1] = with;
  }
  return joinLines(lines) + "\r\n";
}

TEST(ConfigCheckTest, SoundFileAndRemarksGiveNothing) {
  EXPECT_EQ(findings(kSound), std::vector<std::string>());
  // Remarks, blank lines, a template with a tab inside, a number with blanks.
  EXPECT_EQ(findings(std::string(kSound) +
                     "# TRIAL_UPLOAD=1 tried once\r\n; old: QUOTA_UPLAOD=3\r\n\r\n"
                     "Just a note without a sign\r\nFTP_STATS=a\tb\r\nToGive=  300  \r\n"),
            std::vector<std::string>());
  // A number reads the same with a tab behind it.
  EXPECT_EQ(findings(changed(6, "FTP_PORT=21\t")), std::vector<std::string>());
}

TEST(ConfigCheckTest, EachMistakeIsNamedWithItsLine) {
  struct Case {
    int line;  // replaced line, 0 for a line added at the end (line 15)
    const char* text;
    std::vector<std::string> expected;
  } cases[] = {
      {9,
       "TRIAL_UPLAOD=5000",
       {"line 9: TRIAL_UPLAOD is not a key Quarvel reads; did you mean TRIAL_UPLOAD?",
        "TRIAL_UPLOAD is not set: it reads as 0 and every trial user passes at the next checkup"}},
      {0, "Completely_Other=1", {"line 15: Completely_Other is not a key Quarvel reads"}},
      {10,
       "TRIAL_DAYS\t=7",
       {"line 10: TRIAL_DAYS has a tab beside its name, so the line is never read",
        "TRIAL_DAYS is not set: it reads as 0 and new trials start with no days"}},
      {9,
       "\tTRIAL_UPLAOD =7",
       {"line 9: TRIAL_UPLAOD has a tab beside its name, so the line is never read; "
        "did you mean TRIAL_UPLOAD?",
        "TRIAL_UPLOAD is not set: it reads as 0 and every trial user passes at the next checkup"}},
      {10,
       "TRIAL_DAYS 7",
       {"line 10: TRIAL_DAYS has no \"=\", so the line sets nothing",
        "TRIAL_DAYS is not set: it reads as 0 and new trials start with no days"}},
      {9,
       "TRIAL_UPLOAD=abc",
       {"line 9: TRIAL_UPLOAD=abc is not a number; it reads as 0",
        "line 9: TRIAL_UPLOAD is not above 0: every trial user passes at the next checkup"}},
      {9, "TRIAL_UPLOAD=5,000", {"line 9: TRIAL_UPLOAD=5,000 is not a number; it reads as 5"}},
      {6, "FTP_PORT=2121a", {"line 6: FTP_PORT=2121a is not a number; it reads as 2121"}},
      {12,
       "QUOTA_DISABLE_FLAG=",
       {"line 12: QUOTA_DISABLE_FLAG is empty: every account with any flags counts as disabled "
        "and is exempt from the quota"}},
      {11,
       "TRIAL_DISABLE_FLAG=6\t",
       {"line 11: TRIAL_DISABLE_FLAG: the value has a tab at its start or end, which stays part "
        "of the value"}},
      {0,
       "trial_days=30",
       {"line 15: trial_days is set again; line 10 is read and this line is "
        "ignored"}},
      {0,
       "TRIAL_ONPASS=SITE CHANGE $USER ratio=3",
       {"line 15: TRIAL_ONPASS: the text after the second \"=\" is lost; the value read is "
        "\"SITE CHANGE $USER ratio\""}},
      {10,
       "TRIAL_DAYS=0",
       {"line 10: TRIAL_DAYS is not above 0: every new trial runs out at the "
        "next newday"}},
      {0, "=5", {"line 15: a value without a key"}},
      // A remark after a flag, a list or a path becomes part of the value.
      {12,
       "QUOTA_DISABLE_FLAG=6 # disabled",
       {"line 12: QUOTA_DISABLE_FLAG: \"# disabled\" is not a remark here: a value has no "
        "remarks after it, so it reads as \"6 # disabled\""}},
      {0,
       "Quota_Groups=SiteOps  ; exempt staff",
       {"line 15: Quota_Groups: \"; exempt staff\" is not a remark here: a value has no "
        "remarks after it, so it reads as \"SiteOps  ; exempt staff\""}},
      {3,
       "UserFOLDER=C:\\ioFTPD\\users\t# the accounts",
       {"line 3: UserFOLDER: \"# the accounts\" is not a remark here: a value has no remarks "
        "after it, so it reads as \"C:\\ioFTPD\\users\t# the accounts\""}},
      // Without a blank before it, or in a template, "#" is plain text.
      {0, "Quota_Users=bob#1|ann", {}},
      {0, "FTP_STATS=uploaded # of files", {}},
      // The bytes of a BOM before the first key.
      {1,
       "\xEF\xBB\xBFioFTPD=C:\\ioFTPD",
       {"line 1: ioFTPD is preceded by a BOM (the bytes EF BB BF that some editors write first), "
        "so the key is not read; save the file without BOM (ANSI)",
        "ioFTPD is not set: no account can be read, so nobody is found"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(findings(changed(c.line, c.text)), c.expected) << c.text;
  }
}

TEST(ConfigCheckTest, QuotaUploadMattersOnlyWhenTheQuotaIsOn) {
  std::string off = changed(13, "QUOTA_TYPE=0");
  EXPECT_EQ(findings(replaceAll(off, "QUOTA_UPLOAD=10000", "QUOTA_UPLOAD=0")),
            std::vector<std::string>());
  EXPECT_EQ(
      findings(changed(14, "QUOTA_UPLOAD=0")),
      std::vector<std::string>{"line 14: QUOTA_UPLOAD is not above 0: every quota member passes"});
  EXPECT_EQ(findings(changed(14, "# none")),
            std::vector<std::string>{
                "QUOTA_UPLOAD is not set: it reads as 0 and every quota member passes"});
}

TEST(ConfigCheckTest, FractionalTargetsAreWarnedAbout) {
  struct Case {
    int line;
    const char* text;
    const char* expected;  // empty: no finding
  } cases[] = {
      {9, "TRIAL_UPLOAD=500.6",
       "line 9: TRIAL_UPLOAD=500.6 is not a whole number: a user passes at 500.6 MB or more, and "
       "the IRC reports show the target as 501 MB"},
      {14, "QUOTA_UPLOAD=999.5",
       "line 14: QUOTA_UPLOAD=999.5 is not a whole number: a user passes at 999.5 MB or more, and "
       "the IRC reports show the target as 1000 MB"},
      {9, "TRIAL_UPLOAD=500.0", ""},
  };
  for (const Case& c : cases) {
    std::vector<ConfigFinding> found = checkConfigLines(parseConfigLines(changed(c.line, c.text)));
    if (c.expected[0] == '\0') {
      EXPECT_TRUE(found.empty()) << c.text;
      continue;
    }
    ASSERT_EQ(found.size(), 1u) << c.text;
    EXPECT_EQ(findingText(found[0]), c.expected);
    EXPECT_TRUE(found[0].warning) << c.text;
  }
}

TEST(ConfigCheckTest, MissingKeysHaveNoLine) {
  std::vector<std::string> found = findings("");
  ASSERT_EQ(found.size(), 12u);
  EXPECT_EQ(found[0], "ioFTPD is not set: no account can be read, so nobody is found");
  EXPECT_EQ(found[11],
            "QUOTA_DISABLE_FLAG is not set: every account with any flags counts as "
            "disabled and is exempt from the quota");
}

TEST(KnownKeysTest, NearestKeyOnlyWhenClose) {
  struct Case {
    const char* typed;
    const char* nearest;  // null: no suggestion
  } cases[] = {
      {"TRIAL_UPLAOD", "TRIAL_UPLOAD"},
      {"trial_upload", "TRIAL_UPLOAD"},
      {"QUOTA_UPLOD", "QUOTA_UPLOAD"},
      {"GroupTABEL", "GroupTABLE"},
      {"Usertable", "UserTABLE"},
      {"FTP_PASSWORD", nullptr},
      {"X", nullptr},
      {"HOST", nullptr},
      {"Irc_Quota_Nxt", "Irc_Quota_Next"},
  };
  for (const Case& c : cases) {
    const KnownKey* found = nearestKnownKey(c.typed);
    EXPECT_EQ(found == nullptr ? std::string("(none)") : std::string(found->name),
              c.nearest == nullptr ? std::string("(none)") : std::string(c.nearest))
        << c.typed;
  }
}

TEST(ConfigLinesTest, LineOfKeyIsTheLineConfigValueReads) {
  // CR, LF and CR LF each end a line; double quotes vanish; the first wins.
  std::vector<ConfigLine> lines =
      parseConfigLines("# remark\rA=1\n\r\n \"B\" = 2 \r\nb=3\r\nC\r\n");
  EXPECT_EQ(lineOfKey(lines, "a"), 2);
  EXPECT_EQ(lineOfKey(lines, "B"), 4);
  EXPECT_EQ(lines[3].value, "2");
  EXPECT_EQ(lineOfKey(lines, "C"), 6);
  EXPECT_FALSE(lines[5].has_equals);
  EXPECT_EQ(lineOfKey(lines, "D"), 0);
}

}  // namespace
}  // namespace quarvel
