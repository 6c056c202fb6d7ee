#include "userdb/exemptions.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

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
      {"first listed group of several wins", "carl", "SiteOps::staff", "", 1, "SiteOps"},
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

// EXEMPT_FLAGS spares accounts with any of its letters, after every other
// rule, so that whoever another rule exempts keeps that rule's code.
TEST(ExemptionsTest, StaffFlags) {
  struct Case {
    const char* exempt_flags;
    const char* name;
    const char* groups;
    const char* flags;
    int code;
  } cases[] = {
      {"1M", "carl", "friends", "1", 5},   {"1M", "carl", "friends", "3M", 5},
      {" 1M ", "carl", "friends", "M", 5}, {"1M", "carl", "friends", "3m", 0},
      {"1M", "carl", "friends", "3", 0},   {"1M", "carl", "friends", "", 0},
      {"", "carl", "friends", "1", 0},     {"  ", "carl", "friends", "1", 0},
      {"1M", "bob", "friends", "1", 4},    {"1M", "carl", "staff", "1", 1},
      {"1M", "carl", "friends", "16", 2},
  };
  for (const Case& c : cases) {
    ExemptionSettings s = siteSettings();
    s.trial_disable_flag = "7";
    s.exempt_flags = c.exempt_flags;
    Exemption e = decideExemption(c.name, c.groups, c.flags, s);
    EXPECT_EQ(e.code, c.code) << c.exempt_flags << " " << c.name << " " << c.flags;
    if (c.code == kExemptStaffFlag) {
      EXPECT_EQ(e.reason, "\x02listed\x02");
    }
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

TEST(ExemptionsTest, SettingsAreLookedUpOnlyAsTheRulesAreTried) {
  // With the configuration file missing every lookup prints a line, so a
  // rule that is never reached must not look its settings up.
  const std::map<std::string, std::string> settings = {
      {"Quota_Users", "bob|Alice"},        {"Quota_Groups", "staff"},
      {"QUOTA_DISABLE_FLAG", "6"},         {"TRIAL_DISABLE_FLAG", "M"},
      {"EXEMPT_USER_EXEMPT", "listed"},    {"EXEMPT_IN_GROUP", "group"},
      {"EXEMPT_USER_DISABLE", "disabled"}, {"EXEMPT_FLAGS", ""}};
  struct Case {
    const char* name;
    const char* groups;
    const char* flags;
    std::vector<std::string> keys;
  } cases[] = {
      {"bob", "staff", "6", {"Quota_Users", "EXEMPT_USER_EXEMPT"}},
      {"carl", "staff", "6", {"Quota_Users", "Quota_Groups", "EXEMPT_IN_GROUP"}},
      {"carl",
       "",
       "6M",
       {"Quota_Users", "Quota_Groups", "QUOTA_DISABLE_FLAG", "EXEMPT_USER_DISABLE"}},
      {"carl",
       "",
       "M",
       {"Quota_Users", "Quota_Groups", "QUOTA_DISABLE_FLAG", "TRIAL_DISABLE_FLAG",
        "EXEMPT_USER_DISABLE"}},
      {"carl",
       "",
       "1",
       {"Quota_Users", "Quota_Groups", "QUOTA_DISABLE_FLAG", "TRIAL_DISABLE_FLAG", "EXEMPT_FLAGS"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> asked;
    decideExemption(c.name, c.groups, c.flags, [&](const std::string& key) {
      asked.push_back(key);
      return settings.at(key);
    });
    EXPECT_EQ(asked, c.keys) << c.name << " " << c.groups << " " << c.flags;
  }
}

TEST(ExemptionsTest, ReasonTemplates) {
  const ExemptionSettings s = siteSettings();
  EXPECT_EQ(decideExemption("bob", "", "", s).reason, "\x02listed\x02");
  EXPECT_EQ(decideExemption("carl", "friends::staff", "", s).reason, "\x02group\x02 staff");
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
