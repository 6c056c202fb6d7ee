#include "userdb/exemptions.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

ExemptionSettings siteSettings() {
  ExemptionSettings s;
  s.quota_users = "bob|Alice";
  s.quota_groups = "staff|SiteOps";
  s.quota_disable_flag = "6";
  s.trial_disable_flag = "M";
  s.user_exempt_reason = "$BOLDlisted$BOLD";
  s.group_reason = "$BOLDgroup$BOLD $GROUP";
  s.user_disable_reason = "disabled";
  return s;
}

TEST(ExemptionsTest, ContainsTextBoundaries) {
  EXPECT_FALSE(containsText("", ""));
  EXPECT_FALSE(containsText("", "a"));
  EXPECT_TRUE(containsText("a", ""));
  EXPECT_TRUE(containsText("13M", "3"));
  EXPECT_FALSE(containsText("13m", "M"));
}

TEST(ExemptionsTest, RulesAndTheirOrder) {
  struct Case {
    const char* label;
    const char* name;
    const char* groups;
    const char* flags;
    int code;
    const char* group;
  } cases[] = {
      {"listed, other case", "BOB", "", "", 4, ""},
      {"listed, other case (2)", "alice", "", "", 4, ""},
      {"listed name trimmed", "  alice ", "", "", 4, ""},
      {"plain substring: ob in bob|alice", "ob", "", "", 4, ""},
      {"not found: empty name is always listed", "", "", "", 4, ""},
      {"listed beats group and flags", "bob", "staff", "6M", 4, ""},
      {"one group", "carl", "staff", "", 1, "staff"},
      {"group names compare with case", "carl", "Staff", "", 0, ""},
      {"second of two groups", "carl", "friends::staff", "", 1, "staff"},
      {"first listed group of several wins", "carl", "SiteOps::staff", "", 1,
       "SiteOps"},
      {"group substring counts too", "carl", "aff", "", 1, "aff"},
      {"group beats flags", "carl", "staff", "6M", 1, "staff"},
      {"no group: flags decide", "carl", "", "16", 2, ""},
      {"quota flag beats trial flag", "carl", "friends", "6M", 2, ""},
      {"trial flag", "carl", "friends::users", "1M", 3, ""},
      {"flags compare with case", "carl", "friends", "1m", 0, ""},
      {"not exempt", "carl", "friends::users", "13", 0, ""},
  };
  const ExemptionSettings settings = siteSettings();
  for (const Case& c : cases) {
    Exemption e = decideExemption(c.name, c.groups, c.flags, settings);
    EXPECT_EQ(e.code, c.code) << c.label;
    EXPECT_EQ(e.group, c.group) << c.label;
    EXPECT_EQ(e.reason.empty(), c.code == 0) << c.label;
  }
}

TEST(ExemptionsTest, EmptySettings) {
  ExemptionSettings none;
  // Nothing listed, but an empty name still counts as listed.
  EXPECT_EQ(decideExemption("", "", "", none).code, 4);
  EXPECT_EQ(decideExemption("bob", "staff", "", none).code, 0);
  EXPECT_EQ(decideExemption("bob", "staff::friends", "", none).code, 0);
  // An empty flag setting is contained in any non-empty flags text.
  EXPECT_EQ(decideExemption("bob", "", "3", none).code, 2);

  ExemptionSettings trial_only;
  trial_only.quota_disable_flag = "6";
  EXPECT_EQ(decideExemption("bob", "", "3", trial_only).code, 3);
}

TEST(ExemptionsTest, BlankGroupPiecesNeverMatch) {
  ExemptionSettings s;
  s.quota_groups = "staff";
  // "|" alone would be found in every list; such pieces are skipped.
  EXPECT_EQ(decideExemption("bob", " ::staff", "", s).group, "staff");
  EXPECT_EQ(decideExemption("bob", "::", "", s).code, 0);
  EXPECT_EQ(decideExemption("bob", "  ", "", s).code, 0);
}

TEST(ExemptionsTest, ReasonTemplates) {
  const ExemptionSettings s = siteSettings();
  EXPECT_EQ(decideExemption("bob", "", "", s).reason, "\x02listed\x02");
  EXPECT_EQ(decideExemption("carl", "friends::staff", "", s).reason,
            "\x02group\x02 staff");
  EXPECT_EQ(decideExemption("carl", "", "6", s).reason, "disabled");
  EXPECT_EQ(decideExemption("carl", "", "M", s).reason, "disabled");

  ExemptionSettings odd = s;
  odd.quota_groups = "$BOLD";
  odd.group_reason = "in $GROUP";
  // $BOLD is replaced before $GROUP: a group name is never rendered.
  EXPECT_EQ(decideExemption("carl", "$BOLD", "", odd).reason, "in $BOLD");
}

}  // namespace
}  // namespace quarvel
