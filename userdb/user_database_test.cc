#include "userdb/user_database.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"
#include "userdb/sample_site_test_data.h"
#include "userdb/server_user_list.h"

namespace quarvel {
namespace {

const char kPaths[] =
    "UserTABLE=C:\\ioFTPD\\etc\\UserIdTable\r\n"
    "UserFOLDER=C:\\ioFTPD\\users\r\n"
    "GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable\r\n";

const char kExemptions[] =
    "Quota_Users=someone|other\r\n"
    "Quota_Groups=SiteOps\r\n"
    "QUOTA_DISABLE_FLAG=6\r\n"
    "TRIAL_DISABLE_FLAG=7\r\n"
    "EXEMPT_USER_EXEMPT=$BOLDlisted$BOLD\r\n"
    "EXEMPT_IN_GROUP=in $BOLD$GROUP$BOLD\r\n"
    "EXEMPT_USER_DISABLE=disabled\r\n";

// One run's worth of objects on an in-memory machine: the data folder
// C:\site holds the configuration, the server lives in C:\ioFTPD (unless
// `server_line` names no server folder).
struct Site {
  explicit Site(const std::string& config_text,
                const std::string& server_line = "ioFTPD=C:\\ioFTPD\r\n") {
    platform.addFile("C:\\site\\quarvel.conf", config_text + server_line);
  }
  void addSampleSite() {
    for (const sample_site::File& f : sample_site::kFiles) {
      platform.addFile(server_folder + "\\" + f.path, f.text);
    }
  }
  void addServerFile(const std::string& path, const std::string& text) {
    platform.addFile(server_folder + "\\" + path, text);
  }
  UserRecord lookup(const std::string& name) { return db.lookupUser(name); }
  // Nothing printed, and no temporary copy left in the data folder.
  void expectQuiet(const std::string& label) {
    EXPECT_EQ(platform.output, "") << label;
    EXPECT_EQ(platform.filesIn("C:\\site"), std::vector<std::string>{"quarvel.conf"}) << label;
  }

  FakePlatform platform;
  Output out{platform};
  Files files{platform, out, "C:\\site"};
  Config config{files, out};
  Settings settings{config};
  std::string server_folder = "C:\\ioFTPD";
  UserDatabase db{settings, config, files};
};

TEST(UserDatabaseTest, SampleSiteAsItStands) {
  struct Case {
    const char* name;
    const char* user_name;
    const char* primary_group;
    const char* group_list;
    const char* flags;
    int exempt_code;
    const char* exempt_group;
    const char* exempt_reason;
  } cases[] = {
      {"marlow", "Marlow", "SiteOps", "SiteOps", "1M", 1, "SiteOps", "in \x02SiteOps\x02"},
      {"brisk", "brisk", "Couriers", "Couriers", "3", 0, "", ""},
      {"TAMSIN", "tamsin", "Couriers", "Couriers::Friends", "3", 0, "", ""},
      {"oleander", "oleander", "Friends", "Friends", "36", 2, "", "disabled"},
      {"pike", "pike", "NoGroup", "NoGroup", "3", 0, "", ""},
      {"wren", "wren", "Couriers", "Couriers", "3", 0, "", ""},
      // Unknown: the empty name counts as listed.
      {"nobody", "", "", "", "", 4, "", "\x02listed\x02"},
  };
  Site site(std::string(kPaths) + kExemptions);
  site.addSampleSite();
  for (const Case& c : cases) {
    const UserRecord& r = site.lookup(c.name);
    EXPECT_EQ(r.user_name, c.user_name) << c.name;
    EXPECT_EQ(r.primary_group, c.primary_group) << c.name;
    EXPECT_EQ(r.group_list, c.group_list) << c.name;
    EXPECT_EQ(r.flags, c.flags) << c.name;
    EXPECT_EQ(r.exempt_code, c.exempt_code) << c.name;
    EXPECT_EQ(r.exempt_group, c.exempt_group) << c.name;
    EXPECT_EQ(r.exempt_reason, c.exempt_reason) << c.name;
  }
  site.expectQuiet("sample site");
}

TEST(UserDatabaseTest, SmallFiles) {
  struct Case {
    const char* label;
    const char* user_table;
    const char* user_file;  // users\7
    const char* lookup;
    const char* user_name;
    const char* primary_group;
    const char* group_list;
    const char* flags;
  } cases[] = {
      {"letter case of the table wins", "ann:6:x\r\nbob:7:x\r\n", "groups 3\r\nflags 3\r\n", "BoB",
       "bob", "friends", "friends", "3"},
      {"first matching line wins", "BOB:7:x\r\nbob:6:x\r\n", "flags 3\r\n", "bob", "BOB", "", "",
       "3"},
      {"several groups keep the file's order", "bob:7:x\r\n", "groups 3 1\r\n", "bob", "bob",
       "friends", "friends::staff", ""},
      {"one id appends every matching group line", "bob:7:x\r\n", "groups 1\r\n", "bob", "bob",
       "staff", "staff::Staff2", ""},
      {"several groups lines add up", "bob:7:x\r\n", "groups 3\r\ngroups 1 3\r\n", "bob", "bob",
       "friends", "friends::staff::friends", ""},
      {"unknown group id", "bob:7:x\r\n", "groups 9\r\nflags 3\r\n", "bob", "bob", "", "", "3"},
      {"bare groups keyword, no flags line", "bob:7:x\r\n",
       "tagline hi there\r\ngroups\r\nadmingroups\r\n", "bob", "bob", "", "", ""},
      {"keywords in capitals", "bob:7:x\r\n", "FLAGS 3M\r\nGROUPS 3\r\n", "bob", "bob", "friends",
       "friends", "3M"},
      {"last flags line wins", "bob:7:x\r\n", "flags 3\r\nflags 1M\r\n", "bob", "bob", "", "",
       "1M"},
      {"LF line ends", "bob:7:x\n", "groups 3 1\nflags 3\n", "bob", "bob", "friends",
       "friends::staff", "3"},
      {"unknown user", "bob:7:x\r\n", "groups 3\r\nflags 3\r\n", "ann", "", "", "", ""},
      {"a line without an id has no user file", "bob\r\n", "flags 3\r\n", "bob", "bob", "", "", ""},
  };
  for (const Case& c : cases) {
    Site site(kPaths);
    site.addServerFile("etc\\UserIdTable", c.user_table);
    site.addServerFile("etc\\GroupIdTable", "staff:1:x\r\nfriends:3:x\r\nStaff2:1:x\r\n");
    site.addServerFile("users\\7", c.user_file);
    site.addServerFile("users\\6", "groups 1\r\nflags 9\r\n");
    const UserRecord& r = site.lookup(c.lookup);
    EXPECT_EQ(r.user_name, c.user_name) << c.label;
    EXPECT_EQ(r.primary_group, c.primary_group) << c.label;
    EXPECT_EQ(r.group_list, c.group_list) << c.label;
    EXPECT_EQ(r.flags, c.flags) << c.label;
    site.expectQuiet(c.label);
  }
}

// A database that cannot be read gives the same empty record as an unknown
// user, but says it is unreadable, so that no caller takes it for a site
// without users; it says why once, on standard error.
TEST(UserDatabaseTest, MissingServerPiecesGiveAnEmptyRecordQuietly) {
  struct Case {
    const char* label;
    const char* config;
    const char* server_folder;
    const char* why;  // in the one line on standard error
    bool user_table = true;
    bool user_folder = true;
    const char* table_text = "bob:7:x\r\n";
    bool table_locked = false;
  } cases[] = {
      {"server folder missing", kPaths, "C:\\gone", "no server folder"},
      {"server folder not set", kPaths, "", "no server folder"},
      {"UserTABLE not set", "UserFOLDER=C:\\ioFTPD\\users\r\n", "C:\\ioFTPD", "no user id table"},
      {"user id table missing", kPaths, "C:\\ioFTPD", "no user id table", false},
      {"user folder missing", kPaths, "C:\\ioFTPD", "no user folder", true, false},
      {"UserFOLDER not set", "UserTABLE=C:\\ioFTPD\\etc\\UserIdTable\r\n", "C:\\ioFTPD",
       "no user folder"},
      // Held by the server, or denied: not even an error number on stdout.
      {"user id table locked", kPaths, "C:\\ioFTPD", "cannot be opened", true, true, "bob:7:x\r\n",
       true},
      {"user id table without an account", kPaths, "C:\\ioFTPD", "lists no account", true, true,
       "\r\n"},
  };
  for (const Case& c : cases) {
    const std::string server = c.server_folder;
    Site site(c.config, server.empty() ? "" : "ioFTPD=" + server + "\r\n");
    site.platform.addFolder("C:\\ioFTPD\\etc");
    if (c.user_table) site.addServerFile("etc\\UserIdTable", c.table_text);
    if (c.table_locked) site.platform.lockFile("C:\\ioFTPD\\etc\\UserIdTable");
    if (c.user_folder) site.addServerFile("users\\7", "flags 3\r\ngroups 1\r\n");
    site.addServerFile("etc\\GroupIdTable", "staff:1:x\r\n");
    const UserRecord& r = site.lookup("bob");
    EXPECT_EQ(r.user_name, "") << c.label;
    EXPECT_EQ(r.primary_group, "") << c.label;
    EXPECT_EQ(r.group_list, "") << c.label;
    EXPECT_EQ(r.flags, "") << c.label;
    EXPECT_EQ(r.exempt_code, 4) << c.label;
    EXPECT_FALSE(site.db.readable()) << c.label;
    site.db.reportUnreadable();
    site.db.reportUnreadable();
    ASSERT_EQ(site.platform.error_lines.size(), 1u) << c.label;
    EXPECT_EQ(site.platform.error_lines[0].rfind("Quarvel: the user database cannot be read (", 0),
              0u)
        << c.label;
    EXPECT_NE(site.platform.error_lines[0].find(c.why), std::string::npos)
        << c.label << ": " << site.platform.error_lines[0];
    site.expectQuiet(c.label);
  }

  Site whole(kPaths);
  whole.addSampleSite();
  EXPECT_TRUE(whole.db.readable());
  whole.db.reportUnreadable();
  EXPECT_TRUE(whole.platform.error_lines.empty());
}

// SITE DELUSER only marks an account: it is still found, with its groups
// and flags, and says that it is deleted; so does an account past its
// expiry.
TEST(UserDatabaseTest, DeletedAndExpiredAccountsAreFoundAndSaySo) {
  struct Case {
    const char* label;
    const char* marks;
    AccountState state;
  } cases[] = {
      {"no marks (an older user file)", "", AccountState::kActive},
      {"marks at 0", "ExpiresAt 0\r\nDeletedBy 0\r\nDeletedOn 0\r\n", AccountState::kActive},
      {"deleted", "ExpiresAt 0\r\nDeletedMsg bye\r\nDeletedBy 1\r\nDeletedOn 1765000000\r\n",
       AccountState::kDeleted},
      // The fake's today is 12-15-2026.
      {"expired the day before", "ExpiresAt 1797206400\r\n",  // 12-14-2026
       AccountState::kExpired},
      {"expires today", "ExpiresAt 1797292800\r\n", AccountState::kActive},
  };
  for (const Case& c : cases) {
    Site site(kPaths);
    site.addServerFile("etc\\UserIdTable", "bob:7:x\r\n");
    site.addServerFile("etc\\GroupIdTable", "staff:1:x\r\n");
    site.addServerFile("users\\7", std::string("groups 1\r\nflags 3\r\n") + c.marks);
    const UserRecord& r = site.lookup("BOB");
    EXPECT_EQ(r.user_name, "bob") << c.label;
    EXPECT_EQ(r.primary_group, "staff") << c.label;
    EXPECT_EQ(r.flags, "3") << c.label;
    EXPECT_EQ(r.account_state, c.state) << c.label;
  }
}

TEST(UserDatabaseTest, MissingConfigurationPrintsOneLinePerSettingReached) {
  // The server folder is there, so UserTABLE is looked up; its empty value
  // names no file, and UserFOLDER is never asked for. The unknown user is
  // listed, which needs Quota_Users and EXEMPT_USER_EXEMPT only.
  FakePlatform platform;
  platform.addFolder("C:\\ioFTPD");
  Output out{platform};
  Files files{platform, out, "C:\\site"};
  Config config{files, out};
  Settings settings{config};
  std::string server_folder = "C:\\ioFTPD";
  UserDatabase db{settings, config, files};
  UserRecord bob = db.lookupUser("bob");
  EXPECT_EQ(platform.output, "53 - LOADCFG\r\n53 - LOADCFG\r\n53 - LOADCFG\r\n");
  EXPECT_EQ(bob.exempt_code, 4);
}

TEST(UserDatabaseTest, MissingGroupTableStillFindsUserAndFlags) {
  Site site(kPaths);
  site.addServerFile("etc\\UserIdTable", "bob:7:x\r\n");
  site.addServerFile("users\\7", "groups 1\r\nflags 3\r\n");
  const UserRecord& r = site.lookup("bob");
  EXPECT_EQ(r.user_name, "bob");
  EXPECT_EQ(r.flags, "3");
  EXPECT_EQ(r.group_list, "");
  site.expectQuiet("no group table");
}

TEST(UserDatabaseTest, TextFieldsAreCutAt255) {
  const std::string long_name(300, 'n');
  const std::string long_flags(300, 'f');
  const std::string group_a(100, 'a'), group_b(100, 'b'), group_c(100, 'c');
  Site site(std::string(kPaths) + "QUOTA_DISABLE_FLAG=f\r\n" +
            "EXEMPT_USER_DISABLE=" + std::string(300, 'r') + "\r\n");
  site.addServerFile("etc\\UserIdTable", long_name + ":7:x\r\n");
  site.addServerFile("etc\\GroupIdTable",
                     group_a + ":1:x\r\n" + group_b + ":2:x\r\n" + group_c + ":3:x\r\n");
  site.addServerFile("users\\7", "groups 1 2 3\r\nflags " + long_flags + "\r\n");
  const UserRecord& r = site.lookup(long_name);
  EXPECT_EQ(r.user_name, long_name.substr(0, 255));
  EXPECT_EQ(r.flags, long_flags.substr(0, 255));
  EXPECT_EQ(r.group_list, (group_a + "::" + group_b + "::" + group_c).substr(0, 255));
  EXPECT_EQ(r.primary_group, group_a);
  EXPECT_EQ(r.exempt_code, 2);
  EXPECT_EQ(r.exempt_reason, std::string(255, 'r'));
}

TEST(UserDatabaseTest, EveryLookupStartsAfreshAndRereadsTheFiles) {
  Site site(std::string(kPaths) + kExemptions);
  site.addSampleSite();
  ASSERT_EQ(site.lookup("Marlow").exempt_code, 1);
  const UserRecord& brisk = site.lookup("brisk");
  EXPECT_EQ(brisk.exempt_code, 0);
  EXPECT_EQ(brisk.exempt_group, "");
  EXPECT_EQ(brisk.exempt_reason, "");

  // The server changes the user file between two lookups.
  site.addServerFile("users\\2", "groups 2\r\nflags 36\r\n");
  EXPECT_EQ(site.lookup("brisk").primary_group, "SiteOps");
  EXPECT_EQ(site.lookup("nobody").primary_group, "");
}

TEST(UserDatabaseTest, AccountListsFromTheServerFiles) {
  const std::vector<std::string> passwd_order = {"Marlow",   "brisk", "tamsin",
                                                 "oleander", "pike",  "wren"};
  const std::vector<std::string> table_order = {"brisk", "Marlow", "oleander",
                                                "pike",  "tamsin", "wren"};
  Site site(kPaths);
  site.addSampleSite();
  AccountList list = readAccountList(site.files, site.settings);
  EXPECT_EQ(list.path, "C:\\ioFTPD\\etc\\passwd");
  EXPECT_EQ(list.names, passwd_order);
  EXPECT_EQ(readUserTableListing(site.files, site.settings), table_order);
  // Without a server folder the list must not fall back on the machine's
  // own \etc\passwd: the user id table is the list.
  Site no_server(kPaths, "");
  no_server.addSampleSite();
  no_server.platform.addFile("\\etc\\passwd", "root:x:0:0\n");
  list = readAccountList(no_server.files, no_server.settings);
  EXPECT_EQ(list.path, "C:\\ioFTPD\\etc\\UserIdTable");
  EXPECT_EQ(list.names, table_order);
  site.expectQuiet("account lists");
  no_server.expectQuiet("account list without a server folder");

  // The server keeps no passwd file of its own: the user id table is the
  // list then, read with the same rule.
  Site stock(kPaths);
  stock.addSampleSite();
  stock.platform.removeFile("C:\\ioFTPD\\etc\\passwd");
  list = stock.db.accountList();
  EXPECT_EQ(list.path, "C:\\ioFTPD\\etc\\UserIdTable");
  EXPECT_EQ(list.names, table_order);
  stock.expectQuiet("stock site");

  Site unset("UserFOLDER=C:\\ioFTPD\\users\r\n");
  EXPECT_TRUE(readUserTableListing(unset.files, unset.settings).empty());
  Site missing(kPaths);
  list = readAccountList(missing.files, missing.settings);
  EXPECT_EQ(list.path, "");
  EXPECT_TRUE(list.names.empty());
  EXPECT_TRUE(readUserTableListing(missing.files, missing.settings).empty());
  missing.expectQuiet("missing lists");
}

}  // namespace
}  // namespace quarvel
