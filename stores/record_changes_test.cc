#include "stores/record_changes.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

const char kPeriod[] = "setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\n";

TEST(RecordChangesTest, OnlyRecordsThatReadOtherwiseAreChanges) {
  struct Case {
    const char* name;
    StoreKind kind;
    std::string before;
    std::string after;
    bool any;
    std::vector<std::string> members;  // user: before -> after
  };
  const Case cases[] = {
      {"lines moved",
       StoreKind::kQuota,
       std::string(kPeriod) + "a=1::0::G\r\nb=2::3::G\r\n",
       "b=2::3::G\r\n" + std::string(kPeriod) + "a=1::0::G\r\n",
       false,
       {}},
      {"the same record written otherwise",
       StoreKind::kTrial,
       "\r\na=10::5::G\r\n",
       "a=10.0::5::G\r\n",
       false,
       {}},
      {"a blank line and LF alone",
       StoreKind::kTrial,
       "a=1::5::G\nb=2::5::G\n",
       "\r\nb=2::5::G\r\na=1::5::G\r\n",
       false,
       {}},
      {"a key written again in another case",
       StoreKind::kTrial,
       "Bob=1::5::G\r\n",
       "bob=1::5::G\r\n",
       false,
       {}},
      {"an amount",
       StoreKind::kTrial,
       "a=1::5::G\r\nb=2::5::G\r\n",
       "a=1::5::G\r\nb=2.5::5::G\r\n",
       true,
       {"b: 2 MB uploaded, 5 days left, group G -> 2.5 MB uploaded, 5 days left, group G"}},
      {"added and removed",
       StoreKind::kQuota,
       "a=1::1::G\r\n",
       "b=0::2::\r\n",
       true,
       {"b: none -> 0 MB uploaded, on trial, no group",
        "a: 1 MB uploaded, passed, group G -> none"}},
      {"a whole store gone",
       StoreKind::kTrial,
       "a=1::1::G\r\n",
       "",
       true,
       {"a: 1 MB uploaded, 1 day left, group G -> none"}},
      {"fields past the third",
       StoreKind::kQuota,
       "a=1::0::G\r\n",
       "a=1::0::G::x\r\n",
       true,
       {"a: 1 MB uploaded, counting, group G -> 1 MB uploaded, counting, group G, more: ::x"}},
      {"only the store's own keys",
       StoreKind::kTrial,
       "a=1::1::G\r\n",
       "a=1::1::G\r\nsetup_trial_counted=12-15-2026\r\n",
       true,
       {}},
      {"a size memo",
       StoreKind::kQuota,
       "a=1::0::G\r\n",
       "a=1::0::G\r\na_PREDEL_SIZE_x.rar=3\r\n",
       true,
       {}},
      {"a credit entry moved",
       StoreKind::kCredits,
       "C:\\x=a::1\r\nC:\\y=b::2\r\n",
       "C:\\y=b::2\r\nC:\\x=a::1\r\n",
       false,
       {}},
      {"a credit entry", StoreKind::kCredits, "C:\\x=a::1\r\n", "C:\\x=a::1::b::2\r\n", true, {}},
  };
  for (const Case& c : cases) {
    StoreChanges changes = compareStoreTexts(c.kind, c.before, c.after);
    EXPECT_EQ(changes.any, c.any) << c.name;
    std::vector<std::string> members;
    for (const RecordChange& change : changes.members) {
      members.push_back(change.user + ": " + change.before + " -> " + change.after);
    }
    EXPECT_EQ(members, c.members) << c.name;
    // Told the keys written (here every key of both texts), the keyed
    // comparison finds the same.
    std::vector<std::string> keys;
    for (const std::string& text : {c.before, c.after}) {
      std::size_t from = 0;
      while (from < text.size()) {
        std::size_t end = text.find_first_of("\r\n", from);
        if (end == std::string::npos) end = text.size();
        keys.push_back(text.substr(
            from, text.find('=', from) < end ? text.find('=', from) - from : end - from));
        from = end + 1;
      }
    }
    StoreChanges keyed = compareStoreKeys(c.kind, c.before, c.after, keys);
    EXPECT_EQ(keyed.any, c.any) << c.name;
    EXPECT_EQ(keyed.members.size(), c.members.size()) << c.name;
  }
}

}  // namespace
}  // namespace quarvel
