#include "config/config.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "platform/fake_platform.h"

namespace quarvel {
namespace {

class ConfigTest : public ::testing::Test {
 protected:
  std::string lookup(const std::string& file_text, const std::string& key) {
    platform_.addFile("C:\\site\\quarvel.conf", file_text);
    Output out(platform_);
    Files files(platform_, out, "C:\\site");
    Config config(files, out);
    return config.configValue(key);
  }
  FakePlatform platform_;
};

TEST_F(ConfigTest, LinesAndValues) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;
  } cases[] = {
      {"  TRIAL_UPLOAD  =  500  \r\n", "trial_upload", "500"},
      {"Irc_SiteName=\"  My Site \"\r\n", "IRC_SITENAME", "My Site"},
      {"FTP_STATS=a=b\r\n", "FTP_STATS", "a"},
      {"TRIAL_DAYS=7\r\nTRIAL_DAYS=14\r\n", "TRIAL_DAYS", "7"},
      {"#TRIAL_DAYS=3\r\n", "TRIAL_DAYS", ""},
      {"X=tab\t\r\n", "X", "tab\t"},
      {"\r\n\r\nA=1\r\n\r\nB=2", "B", "2"},
      {"JUSTAKEY\r\n", "JUSTAKEY", ""},
      // Files saved on Linux or old Macs: every key is found.
      {"A=1\nB=2\nC=3\n", "C", "3"},
      {"A=1\rB=2\r", "B", "2"},
      {"A=1\r\n\x1a"
       "B=2\r\n",
       "B", ""},
  };
  for (const Case& c : cases) {
    platform_ = FakePlatform();
    EXPECT_EQ(lookup(c.text, c.key), c.value) << c.text;
  }
}

TEST_F(ConfigTest, AKeySetEmptyIsToldFromAMissingOne) {
  struct Case {
    const char* text;
    bool present;
    const char* value;
  } cases[] = {
      {"A=1\r\n", false, ""},        {"KEY=\r\n", true, ""},    {"KEY\r\n", true, ""},
      {" key =  x \r\n", true, "x"}, {"#KEY=x\r\n", false, ""},
  };
  for (const Case& c : cases) {
    platform_ = FakePlatform();
    platform_.addFile("C:\\site\\quarvel.conf", c.text);
    Output out(platform_);
    Files files(platform_, out, "C:\\site");
    Config config(files, out);
    std::optional<std::string> entry = config.configEntry("KEY");
    EXPECT_EQ(entry.has_value(), c.present) << c.text;
    EXPECT_EQ(entry.value_or(""), c.value) << c.text;
  }
  // A missing file gives nothing and no line: configValue reports it.
  FakePlatform bare;
  Output out(bare);
  Files files(bare, out, "C:\\site");
  Config config(files, out);
  EXPECT_FALSE(config.configEntry("KEY").has_value());
  EXPECT_EQ(bare.output, "");
}

TEST_F(ConfigTest, MissingFilePrintsItsErrorAtEveryLookup) {
  Output out(platform_);
  Files files(platform_, out, "C:\\site");
  Config config(files, out);
  EXPECT_EQ(config.configValue("A"), "");
  EXPECT_EQ(config.configValue("B"), "");
  EXPECT_EQ(platform_.output, "53 - LOADCFG\r\n53 - LOADCFG\r\n");

  FakePlatform other;
  Output out2(other);
  Files missing_folder(other, out2, "C:\\nowhere");
  Config config2(missing_folder, out2);
  config2.configValue("A");
  EXPECT_EQ(other.output, "76 - LOADCFG\r\n");

  FakePlatform locked;
  locked.addFile("C:\\site\\quarvel.conf", "A=1\r\n");
  locked.lockFile("C:\\site\\quarvel.conf");
  Output out3(locked);
  Files files3(locked, out3, "C:\\site");
  Config config3(files3, out3);
  config3.configValue("A");
  EXPECT_EQ(locked.output, "70 - LOADCFG\r\n");
}

TEST_F(ConfigTest, EmptyFileIsNoError) {
  EXPECT_EQ(lookup("", "A"), "");
  EXPECT_EQ(platform_.output, "");
}

}  // namespace
}  // namespace quarvel

namespace quarvel {
namespace {

// Which values a decision may rest on, and the one line that tells of one
// that is not valid.
TEST(SettingsTest, DecidesOnlyOnValidSettings) {
  const std::string sound =
      "TRIAL_UPLOAD= 500 \r\nTRIAL_DAYS=7\r\nTRIAL_PUNISHMENT=\r\nQUOTA_UPLOAD=1e3\r\n"
      "QUOTA_PUNISHMENT=2\r\nQUOTA_DISABLE_FLAG=6\r\nTRIAL_DISABLE_FLAG=5\r\n";
  struct Case {
    std::string text;
    Decision decision;
    const char* told;  // empty: valid
  } cases[] = {
      {sound, Decision::kTrialPass, ""},
      {sound, Decision::kTrialPunish, ""},  // a punishment set empty is none
      {sound, Decision::kQuotaPunish, ""},
      {sound, Decision::kExemption, ""},  // EXEMPT_FLAGS, the lists and paths may be absent
      {sound + "TRIAL_UPLOAD=5 MB\r\n", Decision::kTrialPass, ""},  // the first line is read
      {"TRIAL_UPLOAD=5 MB\r\n", Decision::kTrialPass,
       "Quarvel: TRIAL_UPLOAD=5 MB on line 1 of quarvel.conf is not a number; "
       "nothing that rests on it was decided."},
      {"TRIAL_DAYS=\r\n", Decision::kTrialStart,
       "Quarvel: TRIAL_DAYS on line 1 of quarvel.conf is empty; "
       "nothing that rests on it was decided."},
      {"A=1\r\n", Decision::kQuotaPass,
       "Quarvel: QUOTA_UPLOAD is not set in quarvel.conf; nothing that rests on it was decided."},
      {sound + "EXEMPT_FLAGS=1M\t;staff\r\n", Decision::kExemption,
       "Quarvel: EXEMPT_FLAGS=1M\t;staff on line 8 of quarvel.conf has a remark after its "
       "value; nothing that rests on it was decided."},
      {sound + "GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable # groups\r\n", Decision::kExemption,
       "Quarvel: GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable # groups on line 8 of quarvel.conf "
       "has a remark after its value; nothing that rests on it was decided."},
      {sound + "Quota_Users=bob#1|carol\r\n", Decision::kExemption, ""},  // "#" inside a name
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.addFile("C:\\site\\quarvel.conf", c.text);
    Output out(platform);
    Files files(platform, out, "C:\\site");
    Config config(files, out);
    Settings settings(config);
    std::vector<std::string> told;
    settings.alsoTellInvalid([&told](const std::string& line) { told.push_back(line); });
    bool expected_valid = std::string(c.told).empty();
    EXPECT_EQ(settings.mayDecide(c.decision), expected_valid) << c.text;
    // Asked again, the answer stands and nothing more is told.
    EXPECT_EQ(settings.mayDecide(c.decision), expected_valid) << c.text;
    EXPECT_EQ(told, expected_valid ? std::vector<std::string>() : std::vector<std::string>{c.told})
        << c.text;
  }
}

}  // namespace
}  // namespace quarvel
