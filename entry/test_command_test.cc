#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "entry/admin_connection.h"
#include "entry/dispatch.h"
#include "entry/handlers.h"
#include "entry/site_test_util.h"

namespace quarvel {
namespace {

using Site = test_site::RunSite;

const char kListing[] =
    "brisk@Couriers FLAGS:3\r\n"
    "Marlow@SiteOps FLAGS:1M Exempt group SiteOps\r\n"
    "oleander@Friends FLAGS:36 disabled\r\n"
    "pike@NoGroup FLAGS:3\r\n"
    "tamsin@Couriers FLAGS:3\r\n"
    "wren@Couriers FLAGS:3\r\n"
    "Account list: C:\\ioFTPD\\etc\\passwd (6 accounts)\r\n";

TEST(AdminConnectionTest, LogsInWithTheConfiguredAccount) {
  Site site;
  AdminLogin login = logInAsAdmin(site.run());
  EXPECT_TRUE(login.loggedIn());
  EXPECT_EQ(site.platform.connects, std::vector<std::string>{"127.0.0.1:2121"});
  ASSERT_EQ(site.platform.log.size(), 1u);
  EXPECT_EQ(
      site.platform.log[0],
      (std::vector<std::string>{"USER siteadmin", std::string("PASS ") + test_site::kPassword}));
  // Nothing more was sent: an idle connection has nothing pending.
  EXPECT_EQ(login.readPendingLines(), "");
}

TEST(AdminConnectionTest, FailureIsNoLogin) {
  Site refused;
  refused.platform.script.reply("PASS", "530 Login incorrect\r\n");
  AdminLogin none = logInAsAdmin(refused.run());
  EXPECT_FALSE(none.loggedIn());
  EXPECT_EQ(none.channel(), 0);
  EXPECT_EQ(none.readPendingLines(), "");

  Site unreachable;
  unreachable.platform.reachable = false;
  EXPECT_FALSE(logInAsAdmin(unreachable.run()).loggedIn());
}

// The login owns its channel: gone with the object, ended once whether by
// QUIT or dropped, and handed on whole when moved.
TEST(AdminConnectionTest, TheLoginOwnsItsChannel) {
  Site site;
  auto& run = site.run();
  int channel = 0;
  {
    AdminLogin login = logInAsAdmin(run);
    channel = login.channel();
    ASSERT_NE(run.ftp.controlChannel(channel), nullptr);
  }
  EXPECT_EQ(run.ftp.controlChannel(channel), nullptr);
  EXPECT_EQ(site.platform.open_connections, 0);

  AdminLogin first = logInAsAdmin(run);
  AdminLogin moved = std::move(first);
  EXPECT_FALSE(first.loggedIn());
  ASSERT_TRUE(moved.loggedIn());
  moved.quit();
  moved.quit();
  moved.drop();
  EXPECT_FALSE(moved.loggedIn());
  EXPECT_EQ(site.platform.open_connections, 0);
  ASSERT_EQ(site.platform.log.size(), 2u);
  EXPECT_EQ(site.platform.log[1],
            (std::vector<std::string>{"USER siteadmin", std::string("PASS ") + test_site::kPassword,
                                      "QUIT"}));
}

TEST(AdminConnectionTest, PendingLinesAreTheWholeReplyJoined) {
  Site site;
  site.platform.script.reply("SITE", "200-First\r\n200-Second\r\n200 Done\r\n");
  auto& run = site.run();
  AdminLogin login = logInAsAdmin(run);
  ASSERT_EQ(run.ftp.sendCommand(login.channel(), "SITE WHO"), FtpClient::Sent::kSent);
  EXPECT_EQ(login.readPendingLines(), "200-First\r\n200-Second\r\n200 Done");
  EXPECT_EQ(login.readPendingLines(), "");
}

// Runs the test command as the server's operator does: the whole program,
// from the instance lock to the exit sequence.
void runTestCommand(Site& site) {
  site.platform.command_line = "test";
  runProgram(site.platform);
}

TEST(ConnectionTestCommand, ReachableServer) {
  Site site;
  runTestCommand(site);
  EXPECT_EQ(site.platform.output, std::string("\r\n"
                                              "\r\n"
                                              "######## Quarvel FTP TEST DONE #######\r\n"
                                              "\r\n"
                                              "Connected to FTP !\r\n"
                                              " \r\n") +
                                      kListing);
  // The login is dropped without a QUIT.
  EXPECT_EQ(site.platform.log[0].size(), 2u);
  EXPECT_FALSE(site.passwordShown());
  // What the run sent, all of it: one login, nothing after it, and no
  // connection is left open when the run ends.
  EXPECT_EQ(site.platform.log,
            (std::deque<std::vector<std::string>>{
                {"USER siteadmin", std::string("PASS ") + test_site::kPassword}}));
  EXPECT_EQ(site.platform.open_connections, 0);
}

TEST(ConnectionTestCommand, TextAfterTheLoginIsShownInOneWrite) {
  Site site;
  site.platform.script.reply("PASS", "230 Logged in\r\nNote one\r\nNote two\r\n");
  runTestCommand(site);
  EXPECT_EQ(site.platform.writes[0], "Note one\r\nNote two\r\n");
  EXPECT_EQ(site.platform.writes[2], "######## Quarvel FTP TEST DONE #######\r\n");
}

TEST(ConnectionTestCommand, FailedLogin) {
  const std::string expected = std::string(
                                   "Cant Connect to FTP !\r\n"
                                   "Please check your ioFTPD error.log / quarvel.conf settings.\r\n"
                                   " \r\n") +
                               kListing;
  Site refused;
  refused.platform.script.reply("PASS", "530 Login incorrect: pa55-Secret\r\n");
  runTestCommand(refused);
  EXPECT_EQ(refused.platform.output, expected);
  EXPECT_FALSE(refused.passwordShown());

  Site unreachable;
  unreachable.platform.reachable = false;
  runTestCommand(unreachable);
  EXPECT_EQ(unreachable.platform.output, expected);
}

TEST(ConnectionTestCommand, ListingEdgeCases) {
  // CR LF, LF alone and CR alone all end a line; a line with nothing before
  // its ":" is skipped; a user without a user file has no group or flags.
  Site site;
  site.platform.addFile("C:\\ioFTPD\\etc\\UserIdTable",
                        "brisk:2:STANDARD\r\n:9:STANDARD\nghost:8:STANDARD\rpike:5:STANDARD\r\n");
  site.platform.reachable = false;
  runTestCommand(site);
  std::string output = site.platform.output;
  EXPECT_EQ(output.substr(output.find(" \r\n") + 3),
            "brisk@Couriers FLAGS:3\r\n"
            "ghost@ FLAGS:\r\n"
            "pike@NoGroup FLAGS:3\r\n"
            "Account list: C:\\ioFTPD\\etc\\passwd (6 accounts)\r\n");

  // Users the database cannot find still give a line, from the emptied
  // record (which counts as a listed exempt user).
  Site lost("UserFOLDER=C:\\nowhere\r\n");
  lost.platform.addFile("C:\\ioFTPD\\etc\\UserIdTable", "brisk:2:STANDARD\r\n");
  lost.platform.reachable = false;
  runTestCommand(lost);
  output = lost.platform.output;
  EXPECT_EQ(output.substr(output.find(" \r\n") + 3),
            "@ FLAGS: exempt user\r\n"
            "Account list: C:\\ioFTPD\\etc\\passwd (6 accounts)\r\n");
}

TEST(ConnectionTestCommand, NoUserTableGivesNoListing) {
  Site site("UserTABLE=\r\n");
  site.platform.reachable = false;
  runTestCommand(site);
  EXPECT_EQ(site.platform.output,
            "Cant Connect to FTP !\r\n"
            "Please check your ioFTPD error.log / quarvel.conf settings.\r\n"
            " \r\n"
            "Account list: C:\\ioFTPD\\etc\\passwd (6 accounts)\r\n");
}

// On a stock server, without etc\passwd: the user id table is the account
// list; deleted and expired accounts are marked in the listing; a database
// that cannot be read is said on standard error.
TEST(ConnectionTestCommand, AccountListAndClosedAccounts) {
  Site site;
  site.platform.reachable = false;
  site.platform.removeFile("C:\\ioFTPD\\etc\\passwd");
  site.platform.addFile("C:\\ioFTPD\\users\\5", "groups 1\r\nflags 3\r\nDeletedOn 1765000000\r\n");
  site.platform.addFile("C:\\ioFTPD\\users\\6",
                        "groups 3\r\nflags 3\r\nExpiresAt 1765000000\r\nDeletedOn 0\r\n");
  runTestCommand(site);
  std::string output = site.platform.output;
  EXPECT_EQ(output.substr(output.find(" \r\n") + 3),
            "brisk@Couriers FLAGS:3\r\n"
            "Marlow@SiteOps FLAGS:1M Exempt group SiteOps\r\n"
            "oleander@Friends FLAGS:36 disabled\r\n"
            "pike@NoGroup FLAGS:3 (deleted)\r\n"
            "tamsin@Couriers FLAGS:3\r\n"
            "wren@Couriers FLAGS:3 (expired)\r\n"
            "Account list: C:\\ioFTPD\\etc\\UserIdTable (6 accounts)\r\n");
  EXPECT_TRUE(site.platform.error_lines.empty());

  Site gone;
  gone.platform.reachable = false;
  gone.platform.removeFile("C:\\ioFTPD\\etc\\passwd");
  gone.platform.removeFile("C:\\ioFTPD\\etc\\UserIdTable");
  runTestCommand(gone);
  output = gone.platform.output;
  EXPECT_EQ(output.substr(output.find(" \r\n") + 3),
            "Account list: none (neither etc\\passwd below ioFTPD nor the UserTABLE file "
            "exists)\r\n");
  EXPECT_EQ(gone.platform.error_lines.size(), 1u);
}

TEST(ConnectionTestCommand, DispatchRunsItForTheWholeLineOnly) {
  for (const char* line : {"TEST", "Test", "test"}) {
    Site site;
    site.platform.reachable = false;
    site.platform.command_line = line;
    runProgram(site.platform);
    EXPECT_EQ(site.platform.output.rfind("Cant Connect to FTP !\r\n", 0), 0u) << line;
  }
  Site site;
  site.platform.command_line = "test ";
  runProgram(site.platform);
  EXPECT_EQ(site.platform.output, "");
  EXPECT_TRUE(site.platform.connects.empty());
}

}  // namespace
}  // namespace quarvel
