#include "reports/templates.h"

#include <gtest/gtest.h>

#include "config/config.h"
#include "config/files.h"
#include "config/output.h"
#include "platform/fake_platform.h"

namespace quarvel {
namespace {

TEST(TemplatesTest, SubstitutesInOrder) {
  struct Case {
    const char* label;
    const char* text;
    Substitutions substitutions;
    const char* expected;
  } cases[] = {
      {"tokens run together",
       "$BOLD$USER$BOLD",
       {{"$BOLD", "\x02"}, {"$USER", "bob"}},
       "\002bob\002"},
      {"token inside a longer word", "$USERS", {{"$USER", "bob"}}, "bobS"},
      {"case significant", "$user $User", {{"$USER", "bob"}}, "$user $User"},
      {"a value holding a later token is changed by it",
       "[$SITENAME]",
       {{"$SITENAME", "S $USER"}, {"$USER", "bob"}},
       "[S bob]"},
      {"a value holding an earlier token keeps it",
       "[$USER]",
       {{"$SITENAME", "S"}, {"$USER", "a$SITENAME"}},
       "[a$SITENAME]"},
      {"an inserted value is not scanned again by its own step", "$A", {{"$A", "$A$A"}}, "$A$A"},
      {"an empty value removes the token", "x$SITENAMEy", {{"$SITENAME", ""}}, "xy"},
      {"a token not in the list stays", "$GROUP", {{"$USER", "bob"}}, "$GROUP"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(substitute(c.text, c.substitutions), c.expected) << c.label;
  }
}

TEST(TemplatesTest, RendersFromTheConfiguration) {
  FakePlatform platform;
  platform.addFile("C:\\prog\\quarvel.conf",
                   "Irc_SiteName=  \"My Site\"  \r\nheader=$BOLD$SITENAME$BOLD\r\n");
  Output out(platform);
  Files files(platform, out, platform.programFolder());
  Config config(files, out);
  EXPECT_EQ(renderTemplate(config, "HEADER", {boldToken(), siteNameToken(config)}),
            "\x02My Site\x02");
  EXPECT_EQ(renderTemplate(config, "missing", {boldToken(), siteNameToken(config)}), "");
}

}  // namespace
}  // namespace quarvel
