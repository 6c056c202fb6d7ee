#include "server/admin_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "ftp/scripted_server_test_util.h"

namespace quarvel {
namespace {

constexpr int kTimeoutMs = 500;
using Strings = std::vector<std::string>;
using Session = ScriptedFtpServer::Session;

// A live session on a scripted server, logging in as the program does.
struct Fixture {
  explicit Fixture(std::int64_t budget_ms = 0)
      : session(
            client,
            [this] {
              ++logins;
              int channel = client.ftpConnect("127.0.0.1", server.port(), "admin", "secret");
              return channel > 0 ? channel : 0;
            },
            "127.0.0.1:2121", kTimeoutMs, budget_ms) {}

  LoopbackPlatform platform;
  ScriptedFtpServer server;
  FtpClient client{platform, kTimeoutMs};
  int logins = 0;
  LiveAdminSession session;
};

Strings siteCommands(ScriptedFtpServer& server) {
  Strings site;
  for (const std::string& line : server.commands()) {
    if (line.compare(0, 5, "SITE ") == 0) site.push_back(line);
  }
  return site;
}

TEST(AdminSessionTest, RepliesBecomeOutcomes) {
  struct Case {
    const char* name;
    const char* reply;
    SiteOutcome outcome;
    int code;
    const char* text;
  } cases[] = {
      {"one line", "200 Command okay\r\n", SiteOutcome::kAccepted, 200, "Command okay"},
      {"multi-line, the final line counts", "200-User brisk\r\nno code here\r\n200 Done\r\n",
       SiteOutcome::kAccepted, 200, "Done"},
      {"refused", "550 Permission denied\r\n", SiteOutcome::kRefused, 550, "Permission denied"},
      {"multi-line refusal", "550-No\r\n550 such user\r\n", SiteOutcome::kRefused, 550,
       "such user"},
      {"unknown", "500 Unknown command\r\n", SiteOutcome::kRefused, 500, "Unknown command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.server.reply("SITE", c.reply);
    f.server.start();
    SiteReply reply = f.session.send("SITE DELUSER brisk");
    EXPECT_EQ(reply.outcome, c.outcome);
    EXPECT_EQ(reply.code, c.code);
    EXPECT_EQ(reply.text, c.text);
    EXPECT_EQ(reply.done(), c.outcome == SiteOutcome::kAccepted);
    // The session stays usable after a refusal.
    EXPECT_EQ(f.session.send("SITE KICK brisk").code, c.code);
    f.session.close();
    EXPECT_EQ(f.server.commands(), (Strings{"USER admin", "PASS secret", "SITE DELUSER brisk",
                                            "SITE KICK brisk", "QUIT"}));
    EXPECT_EQ(f.logins, 1);
  }
}

TEST(AdminSessionTest, RefusedLoginIsTriedOnceAndSendsNothing) {
  Fixture f;
  f.server.reply("PASS", "530 Login incorrect\r\n");
  f.server.start();
  for (const char* command : {"SITE DELUSER brisk", "SITE KICK pike"}) {
    SiteReply reply = f.session.send(command);
    EXPECT_EQ(reply.outcome, SiteOutcome::kNoLogin);
    EXPECT_FALSE(reply.done());
    EXPECT_EQ(reply.describe(), "no admin login on 127.0.0.1:2121 (530 Login incorrect)");
  }
  EXPECT_EQ(f.logins, 1);
  EXPECT_EQ(f.server.commands(), (Strings{"USER admin", "PASS secret"}));
}

// A login that got no reply names what it waited for and how long, or that
// the server closed first, not the empty status of a reply that never came.
TEST(AdminSessionTest, LoginWithoutAReplySaysWhy) {
  struct Case {
    const char* name;
    std::function<void(ScriptedFtpServer&)> script;
    const char* text;
  } cases[] = {
      {"never greets", [](ScriptedFtpServer& s) { s.greeting = ""; },
       "no admin login on 127.0.0.1:2121 (no greeting within 1 s)"},
      {"silent after the password",
       [](ScriptedFtpServer& s) { s.on("PASS", [](Session&, const std::string&) {}); },
       "no admin login on 127.0.0.1:2121 (no reply to the login within 1 s)"},
      {"closes at the user name",
       [](ScriptedFtpServer& s) {
         s.on("USER", [](Session& session, const std::string&) { session.closeControl(); });
       },
       "no admin login on 127.0.0.1:2121 (the connection closed before the reply to the "
       "login)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.script(f.server);
    f.server.start();
    SiteReply reply = f.session.send("SITE kick brisk");
    EXPECT_EQ(reply.outcome, SiteOutcome::kNoLogin);
    EXPECT_EQ(reply.describe(), c.text);
    EXPECT_EQ(f.session.send("SITE kick pike").describe(), c.text);
    EXPECT_EQ(f.logins, 1);
    EXPECT_EQ(siteCommands(f.server), Strings{});
  }
}

TEST(AdminSessionTest, NoCommandNoLogin) {
  Fixture f;
  SiteReply reply = f.session.send("SITE DELUSER brisk\r\nSITE DELUSER Marlow");
  EXPECT_EQ(reply.outcome, SiteOutcome::kNotSent);
  f.session.close();
  EXPECT_EQ(f.logins, 0);
}

// A server that goes silent costs one time-out for the whole session: every
// later command fails at once, unsent.
TEST(AdminSessionTest, SilentServerIsGivenUpAfterOneTimeOut) {
  Fixture f;
  f.server.on("SITE", [](Session&, const std::string&) {});
  f.server.start();
  auto start = std::chrono::steady_clock::now();
  SiteReply first = f.session.send("SITE kick brisk");
  EXPECT_EQ(first.outcome, SiteOutcome::kTimedOut);
  EXPECT_EQ(first.describe(),
            "no reply from 127.0.0.1:2121 to \"SITE kick brisk\" within 1 s; the admin login is "
            "given up for the rest of this run");
  for (const char* later : {"SITE DELUSER brisk", "SITE kick pike"}) {
    SiteReply reply = f.session.send(later);
    EXPECT_EQ(reply.outcome, SiteOutcome::kLost);
    EXPECT_NE(reply.describe().find("not sent: no reply from 127.0.0.1:2121"), std::string::npos)
        << reply.describe();
  }
  f.session.close();
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_LT(waited, std::chrono::milliseconds(2 * kTimeoutMs));
  EXPECT_EQ(siteCommands(f.server), Strings{"SITE kick brisk"});
}

TEST(AdminSessionTest, ConnectionLostMidRunLeavesTheRestUnsent) {
  Fixture f;
  f.server.on("SITE", [](Session& s, const std::string& argument) {
    if (argument.compare(0, 4, "kick") == 0) {
      s.send("200 Kicked\r\n");
    } else {
      s.send("200-Deleting");  // cut in mid-reply
      s.closeControl();
    }
  });
  f.server.start();
  EXPECT_TRUE(f.session.send("SITE kick brisk").done());
  SiteReply cut = f.session.send("SITE DELUSER brisk");
  EXPECT_EQ(cut.outcome, SiteOutcome::kLost);
  EXPECT_NE(cut.describe().find("closed before the reply to \"SITE DELUSER brisk\""),
            std::string::npos)
      << cut.describe();
  EXPECT_EQ(f.session.send("SITE kick pike").outcome, SiteOutcome::kLost);
  EXPECT_EQ(siteCommands(f.server), (Strings{"SITE kick brisk", "SITE DELUSER brisk"}));
}

// A server that answers every command just before the time-out cannot hold
// a run for one time-out per user: all replies share one budget.
TEST(AdminSessionTest, SlowRepliesShareOneBudget) {
  Fixture f(/*budget_ms=*/600);
  f.server.on("SITE", [](Session& s, const std::string&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    s.send("200 Done\r\n");
  });
  f.server.start();
  EXPECT_TRUE(f.session.send("SITE kick a").done());
  EXPECT_EQ(f.session.send("SITE kick b").outcome, SiteOutcome::kTimedOut);
  EXPECT_EQ(f.session.send("SITE kick c").outcome, SiteOutcome::kLost);
  f.session.close();
  EXPECT_EQ(siteCommands(f.server), (Strings{"SITE kick a", "SITE kick b"}));
}

TEST(AdminSessionTest, ServerEndingTheLoginStopsTheSession) {
  Fixture f;
  f.server.reply("SITE", "421 Service closing\r\n");
  f.server.start();
  EXPECT_EQ(f.session.send("SITE kick siteadmin").code, 421);
  EXPECT_EQ(f.session.send("SITE kick pike").outcome, SiteOutcome::kLost);
  f.session.close();
  EXPECT_EQ(siteCommands(f.server), Strings{"SITE kick siteadmin"});
}

TEST(AdminSessionTest, DrySessionNotesWithoutSending) {
  DryAdminSession dry;
  EXPECT_TRUE(dry.send("SITE kick brisk").done());
  EXPECT_TRUE(dry.send("SITE DELUSER brisk").done());
  EXPECT_EQ(dry.commands(), (Strings{"SITE kick brisk", "SITE DELUSER brisk"}));
}

}  // namespace
}  // namespace quarvel
