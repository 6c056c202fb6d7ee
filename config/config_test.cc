#include "config/config.h"

#include <gtest/gtest.h>

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
