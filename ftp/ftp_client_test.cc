#include "ftp/ftp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ftp/scripted_server_test_util.h"

namespace quarvel {
namespace {

// Short enough that a silent server costs little, long enough for loopback
// under Wine.
constexpr int kTimeoutMs = 500;

using Strings = std::vector<std::string>;

class FtpClientTest : public ::testing::Test {
 protected:
  int login(const std::string& user = "bob", const std::string& password = "secret") {
    server.start();
    return client.ftpConnect("127.0.0.1", server.port(), user, password);
  }

  LoopbackPlatform platform;
  ScriptedFtpServer server;
  FtpClient client{platform, kTimeoutMs};
};

struct LoginCase {
  const char* name;
  std::function<void(ScriptedFtpServer&)> script;
  bool logged_in;
  int code;
  const char* message;
  Strings commands;
};

TEST(FtpLoginTest, GreetingAndLoginReplies) {
  const LoginCase cases[] = {
      {"three-line greeting",
       [](ScriptedFtpServer& s) { s.greeting = "220-Welcome\r\n220-Rules\r\n220 Ready\r\n"; },
       true,
       230,
       "Logged in",
       {"USER bob", "PASS secret"}},
      {"greeting broken by a line without 220",
       [](ScriptedFtpServer& s) { s.greeting = "220-Welcome\r\nJust text\r\n220 Ready\r\n"; },
       false,
       0,
       "t text",
       {}},
      {"greeting refused",
       [](ScriptedFtpServer& s) { s.greeting = "421 Too many users\r\n"; },
       false,
       421,
       "Too many users",
       {}},
      {"LF alone ends lines",
       [](ScriptedFtpServer& s) {
         s.greeting = "220-Hi\n220 Ready\n";
         s.reply("USER", "331 Password\n");
         s.reply("PASS", "230 In\n");
       },
       true,
       230,
       "In",
       {"USER bob", "PASS secret"}},
      {"multi-line 230 to PASS",
       [](ScriptedFtpServer& s) { s.reply("PASS", "230-Hello\r\n230 OK\r\n"); },
       true,
       230,
       "OK",
       {"USER bob", "PASS secret"}},
      {"PASS refused",
       [](ScriptedFtpServer& s) { s.reply("PASS", "530 Login incorrect\r\n"); },
       false,
       530,
       "Login incorrect",
       {"USER bob", "PASS secret"}},
      {"USER refused: no PASS, the next line is the result",
       [](ScriptedFtpServer& s) { s.reply("USER", "530 Not allowed\r\n530 Go away\r\n"); },
       false,
       530,
       "Go away",
       {"USER bob"}},
      {"USER refused and nothing follows: time-out",
       [](ScriptedFtpServer& s) { s.reply("USER", "530 Not allowed\r\n"); },
       false,
       0,
       "",
       {"USER bob"}},
      {"multi-line 331: the rest of the USER reply is the result",
       [](ScriptedFtpServer& s) { s.reply("USER", "331-Password\r\n331 please\r\n"); },
       false,
       331,
       "please",
       {"USER bob", "PASS secret"}},
      {"silent server", [](ScriptedFtpServer& s) { s.greeting = ""; }, false, 0, "", {}},
      {"server closes in mid-greeting",
       [](ScriptedFtpServer& s) {
         s.greeting = "220-Welcome\r\n220";
         s.on("USER", [](ScriptedFtpServer::Session& session, const std::string&) {
           session.closeControl();
         });
       },
       false,
       0,
       "",
       {"USER bob"}},
      {"server closes in mid-reply to PASS",
       [](ScriptedFtpServer& s) {
         s.on("PASS", [](ScriptedFtpServer::Session& session, const std::string&) {
           session.send("230-Welcome\r\n23");
           session.closeControl();
         });
       },
       false,
       23,
       "",
       {"USER bob", "PASS secret"}},
  };
  for (const LoginCase& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPlatform platform;
    ScriptedFtpServer server;
    c.script(server);
    server.start();
    FtpClient client(platform, kTimeoutMs);
    int channel = client.ftpConnect("127.0.0.1", server.port(), "bob", "secret");
    EXPECT_EQ(channel > 0, c.logged_in);
    if (!c.logged_in) {
      EXPECT_EQ(channel, -1);
    }
    EXPECT_EQ(client.lastStatusCode(), c.code);
    EXPECT_EQ(client.lastStatusMessage(), c.message);
    client.closeChannel(channel);
    EXPECT_EQ(server.commands(), c.commands);
  }
}

// The status of a login refused at USER waits for a further line; the
// line the server did send is kept apart, for whoever explains the refusal.
TEST(FtpLoginTest, KeepsTheReplyToUser) {
  struct Case {
    const char* user_reply;
    const char* kept;
  } cases[] = {
      {"550 SSL/TLS required\r\n", "550 SSL/TLS required"},
      {"331 Password\r\n", "331 Password"},
  };
  for (const Case& c : cases) {
    LoopbackPlatform platform;
    ScriptedFtpServer server;
    server.reply("USER", c.user_reply);
    server.start();
    FtpClient client(platform, kTimeoutMs);
    int channel = client.ftpConnect("127.0.0.1", server.port(), "bob", "secret");
    EXPECT_EQ(client.lastUserReply(), c.kept);
    client.closeChannel(channel);
  }
  // A login refused at its greeting has no reply to USER.
  LoopbackPlatform platform;
  ScriptedFtpServer server;
  server.greeting = "421 Too many users\r\n";
  server.start();
  FtpClient client(platform, kTimeoutMs);
  client.ftpConnect("127.0.0.1", server.port(), "bob", "secret");
  EXPECT_EQ(client.lastUserReply(), "");
}

TEST(FtpLoginTest, RefusedConnectionGivesTheSocketError) {
  int port;
  {
    std::unique_ptr<TestListener> gone = listenOnLoopback();
    ASSERT_TRUE(gone);
    port = gone->port();
  }
  LoopbackPlatform platform;
  FtpClient client(platform, kTimeoutMs);
  EXPECT_EQ(client.ftpConnect("127.0.0.1", port, "bob", "secret"), -1);
  EXPECT_NE(client.lastStatusCode(), 0);
  EXPECT_EQ(client.lastStatusMessage(), "Unable to open socket");
}

TEST_F(FtpClientTest, ChannelsAreNumberedFromOne) { EXPECT_EQ(login(), 1); }

TEST_F(FtpClientTest, QuitReadsTheWholeReplyAndClosesTheChannel) {
  server.on("QUIT", [](ScriptedFtpServer::Session& s, const std::string&) {
    s.send("221-Bye\r\n221 Done\r\n");
    s.end();
  });
  int channel = login();
  ASSERT_GT(channel, 0);
  client.ftpQuit(channel);
  EXPECT_EQ(client.lastStatusCode(), 221);
  EXPECT_EQ(client.lastStatusMessage(), "Done");
  EXPECT_EQ(client.sendCommand(channel, "NOOP"), FtpClient::Sent::kNoChannel);
  EXPECT_EQ(server.commands(), (Strings{"USER bob", "PASS secret", "QUIT"}));
}

TEST_F(FtpClientTest, LineBreaksInACommandAreNeverSent) {
  int channel = login();
  ASSERT_GT(channel, 0);
  EXPECT_EQ(client.sendCommand(channel, "DELE a\r\nRMD /"), FtpClient::Sent::kLineBreak);
  EXPECT_EQ(client.sendCommand(channel, "DELE a\nRMD /"), FtpClient::Sent::kLineBreak);
  EXPECT_EQ(client.sendCommand(channel, "DELE a\rRMD /"), FtpClient::Sent::kLineBreak);
  // The operations refuse at once with a local error, waiting for nothing.
  EXPECT_EQ(client.ftpDeleteFile(channel, "a\r\nRMD /"), 0);
  EXPECT_EQ(client.lastStatusCode(), 501);
  EXPECT_EQ(client.ftpMakeDir(channel, "x\ny"), 0);
  EXPECT_EQ(client.lastStatusCode(), 501);
  client.ftpQuit(channel);
  EXPECT_EQ(server.received(), "USER bob\r\nPASS secret\r\nQUIT\r\n");
}

TEST_F(FtpClientTest, LineBreaksInTheLoginAreNeverSent) {
  EXPECT_EQ(login("bob\r\nSITE DELUSER admin"), -1);
  EXPECT_EQ(client.lastStatusCode(), 501);
  EXPECT_EQ(server.received(), "");
  LoopbackPlatform platform2;
  ScriptedFtpServer server2;
  server2.start();
  FtpClient client2(platform2, kTimeoutMs);
  EXPECT_EQ(client2.ftpConnect("127.0.0.1", server2.port(), "bob", "pw\nSITE x"), -1);
  client2.closeChannel(1);
  EXPECT_EQ(server2.received(), "USER bob\r\n");
}

TEST_F(FtpClientTest, OverlongReplyLineIsCutAndItsRestDropped) {
  std::string tail(70000, 'x');
  server.reply("NOOP", "200 " + tail + "\r\n200 next\r\n");
  int channel = login();
  ASSERT_GT(channel, 0);
  ASSERT_EQ(client.sendCommand(channel, "NOOP"), FtpClient::Sent::kSent);
  std::string line = client.readReplyLine(channel);
  EXPECT_EQ(line.size(), 65536u);
  EXPECT_EQ(line.substr(0, 6), "200 xx");
  EXPECT_EQ(client.readReplyLine(channel), "200 next");
}

TEST_F(FtpClientTest, EndOfDataFollowsWhatWasReceivedAndRead) {
  server.on("NOOP", [](ScriptedFtpServer::Session& s, const std::string&) {
    s.send("200-a\r\n200 b\r\n");
  });
  server.on("STAT", [](ScriptedFtpServer::Session& s, const std::string&) { s.closeControl(); });
  int channel = login();
  ASSERT_GT(channel, 0);
  EXPECT_TRUE(client.atEndOfData(channel));  // the login reply was read
  ASSERT_EQ(client.sendCommand(channel, "NOOP"), FtpClient::Sent::kSent);
  EXPECT_FALSE(client.atEndOfData(channel));  // a reply is awaited
  EXPECT_EQ(client.readReplyLine(channel), "200-a");
  EXPECT_FALSE(client.atEndOfData(channel));  // "200 b" is still unread
  EXPECT_EQ(client.readReplyLine(channel), "200 b");
  EXPECT_TRUE(client.atEndOfData(channel));
  ASSERT_EQ(client.sendCommand(channel, "STAT"), FtpClient::Sent::kSent);
  EXPECT_FALSE(client.atEndOfData(channel));
  EXPECT_EQ(client.readReplyLine(channel), "");
  EXPECT_TRUE(client.atEndOfData(channel));  // the peer closed
  EXPECT_EQ(client.readReplyLine(channel), "");
}

TEST_F(FtpClientTest, SilentReplyTimesOutAsAnEmptyLine) {
  server.on("NOOP", [](ScriptedFtpServer::Session&, const std::string&) {});
  int channel = login();
  ASSERT_GT(channel, 0);
  ASSERT_EQ(client.sendCommand(channel, "NOOP"), FtpClient::Sent::kSent);
  EXPECT_EQ(client.readReplyLine(channel), "");
  EXPECT_TRUE(client.atEndOfData(channel));
  EXPECT_EQ(client.ftpChangeDir(channel, "/x"), 1);  // the channel goes on
}

// A peer that keeps sending, slowly or line after line, never holds the
// client for more than its time-out.
TEST_F(FtpClientTest, ATricklingPeerCannotHoldTheClient) {
  struct Case {
    const char* name;
    const char* piece;  // sent every 20 ms, for 2.5 s
  } cases[] = {{"endless continuation lines", "331-more\r\n"}, {"a line that never ends", "x"}};
  for (const Case& c : cases) {
    ScriptedFtpServer trickle;
    std::string piece = c.piece;
    trickle.on("USER", [piece](ScriptedFtpServer::Session& s, const std::string&) {
      s.send("331-Password\r\n");
      for (int i = 0; i < 125; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        s.send(piece);
      }
      s.end();
    });
    trickle.start();
    std::int64_t started = platform.monotonicMs();
    EXPECT_EQ(client.ftpConnect("127.0.0.1", trickle.port(), "bob", "secret"), -1) << c.name;
    EXPECT_LT(platform.monotonicMs() - started, 2 * kTimeoutMs + 500) << c.name;
  }
}

TEST_F(FtpClientTest, AWholeReplyEndsAtItsFinalLine) {
  using End = FtpClient::Reply::End;
  struct Case {
    const char* name;
    const char* reply;  // then the server closes the connection
    End end;
    const char* line;
  } cases[] = {
      {"one line", "200 Done\r\n", End::kFinal, "200 Done"},
      {"continuations, a line without a code, a too short one",
       "200-a\r\nno code\r\n20\r\n200 b\r\n", End::kFinal, "200 b"},
      {"closed before the final line", "200-a\r\n", End::kChannelEnded, ""},
      {"more than the budget without a final line", "200-aaaaaaaa\r\n200-bbbbbbbb\r\n200 c\r\n",
       End::kTooLong, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedFtpServer peer;
    std::string reply = c.reply;
    peer.on("NOOP", [reply](ScriptedFtpServer::Session& s, const std::string&) {
      s.send(reply);
      s.end();
    });
    peer.start();
    int channel = client.ftpConnect("127.0.0.1", peer.port(), "bob", "secret");
    ASSERT_GT(channel, 0);
    ASSERT_EQ(client.sendCommand(channel, "NOOP"), FtpClient::Sent::kSent);
    FtpClient::Reply read = client.readReply(channel, client.deadlineFromNow(), 20);
    EXPECT_EQ(read.end, c.end);
    EXPECT_EQ(read.line, c.line);
    client.closeChannel(channel);
  }
}

// A reply that never came says whether the wait ran out or the peer closed
// first, whenever in the wait that happened.
TEST_F(FtpClientTest, AReplyThatNeverCameSaysWhy) {
  struct Case {
    const char* name;
    int close_after_ms;  // -1: the peer stays silent
    bool timed_out;
  } cases[] = {
      {"silent peer", -1, true},
      {"closed at once", 0, false},
      {"closed during the wait", kTimeoutMs / 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedFtpServer peer;
    int close_after_ms = c.close_after_ms;
    peer.on("NOOP", [close_after_ms](ScriptedFtpServer::Session& s, const std::string&) {
      if (close_after_ms < 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(close_after_ms));
      s.closeControl();
    });
    peer.start();
    int channel = client.ftpConnect("127.0.0.1", peer.port(), "bob", "secret");
    ASSERT_GT(channel, 0);
    ASSERT_EQ(client.sendCommand(channel, "NOOP"), FtpClient::Sent::kSent);
    FtpClient::Reply read = client.readReply(channel, client.deadlineFromNow(), 1000);
    EXPECT_EQ(read.end, FtpClient::Reply::End::kChannelEnded);
    EXPECT_EQ(read.timed_out, c.timed_out);
    client.closeChannel(channel);
  }
}

TEST_F(FtpClientTest, UnknownChannelReadsNothing) {
  EXPECT_EQ(client.sendCommand(7, "NOOP"), FtpClient::Sent::kNoChannel);
  EXPECT_EQ(client.readReplyLine(7), "");
  EXPECT_TRUE(client.atEndOfData(7));
  EXPECT_EQ(client.ftpDeleteFile(7, "a"), 0);
  EXPECT_EQ(client.lastStatusCode(), 0);
}

}  // namespace
}  // namespace quarvel
