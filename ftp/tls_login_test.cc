// The TLS steps of the login and of data connections, against the scripted
// server, with a TLS client that only pretends: it hands the connection back
// unchanged and reports the certificate a case chooses. The real handshakes
// run in the end-to-end tests against servers with TLS.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "ftp/scripted_server_test_util.h"

namespace quarvel {
namespace {

constexpr int kTimeoutMs = 500;
const char kServerCert[] = "601759b3dbc408ab98ffba9ed140a457c7c32d38089f8cd1cb3aec05919ae1f9";

using Strings = std::vector<std::string>;

// What the pretended handshakes saw and give; shared by every client a
// maker makes, so a test sees all handshakes of a login.
struct Handshakes {
  std::vector<TlsPeer> peers = {{kServerCert, false}};  // one per handshake, the last repeats
  bool fail = false;
  int count = 0;
};

class PretendTlsClient : public TlsClient {
 public:
  explicit PretendTlsClient(Handshakes* log) : log_(log) {}
  std::unique_ptr<TcpConnection> handshake(std::unique_ptr<TcpConnection> plain, const std::string&,
                                           int, TlsPeer* peer, std::string* error) override {
    std::size_t n = static_cast<std::size_t>(log_->count++);
    if (log_->fail) {
      *error = "TLS handshake failed: alert";
      return nullptr;
    }
    *peer = log_->peers[n < log_->peers.size() ? n : log_->peers.size() - 1];
    return plain;
  }

 private:
  Handshakes* log_;
};

class TlsLoginTest : public ::testing::Test {
 protected:
  TlsLoginTest() {
    server.reply("AUTH", "234 Go ahead\r\n");
    server.reply("PBSZ", "200 PBSZ=0\r\n");
    server.reply("PROT", "200 Protection set to Private\r\n");
  }
  void requireTls(const std::string& pinned) {
    Handshakes* log = &handshakes;
    client.requireTls([log] { return std::make_unique<PretendTlsClient>(log); }, pinned);
  }
  int login() {
    server.start();
    return client.ftpConnect("127.0.0.1", server.port(), "bob", "secret");
  }

  Handshakes handshakes;
  LoopbackPlatform platform;
  ScriptedFtpServer server;
  FtpClient client{platform, kTimeoutMs};
};

const Strings kFullLogin = {"AUTH TLS", "USER bob", "PASS secret", "PBSZ 0", "PROT P"};

TEST_F(TlsLoginTest, TrustedOrPinnedCertificateLogsIn) {
  struct Case {
    const char* name;
    TlsPeer peer;
    std::string pinned;
  } cases[] = {
      {"trusted by the system", {kServerCert, true}, ""},
      {"self-signed and pinned in openssl's form",
       {kServerCert, false},
       "60:17:59:B3:DB:C4:08:AB:98:FF:BA:9E:D1:40:A4:57:C7:C3:2D:38:08:9F:8C:D1:CB:3A:EC:05:91:"
       "9A:E1:F9"},
  };
  for (const Case& c : cases) {
    LoopbackPlatform platform;
    ScriptedFtpServer server;
    server.reply("AUTH", "234 Go ahead\r\n");
    server.reply("PBSZ", "200 PBSZ=0\r\n");
    server.reply("PROT", "200 Protection set to Private\r\n");
    FtpClient client(platform, kTimeoutMs);
    Handshakes handshakes;
    handshakes.peers = {c.peer};
    Handshakes* log = &handshakes;
    client.requireTls([log] { return std::make_unique<PretendTlsClient>(log); }, c.pinned);
    server.start();
    int channel = client.ftpConnect("127.0.0.1", server.port(), "bob", "secret");
    EXPECT_GT(channel, 0) << c.name;
    EXPECT_EQ(client.lastStatusCode(), 230) << c.name;
    EXPECT_EQ(client.lastTlsPeer().fingerprint, kServerCert) << c.name;
    EXPECT_EQ(client.lastTlsFailure(), "") << c.name;
    client.closeChannel(channel);
    EXPECT_EQ(server.commands(), kFullLogin) << c.name;
  }
}

// The password never leaves in plain text: a login that cannot be secured
// stops before USER, and one whose protection of data is refused stops
// there, without a plain fallback.
TEST_F(TlsLoginTest, ALoginThatCannotBeSecuredStops) {
  struct Case {
    const char* name;
    std::function<void(ScriptedFtpServer&, Handshakes&)> script;
    std::string pinned;
    int code;
    const char* failure_holds;
    Strings commands;
  } cases[] = {
      {"server without TLS",
       [](ScriptedFtpServer& s, Handshakes&) { s.reply("AUTH", "500 Unknown command\r\n"); },
       "",
       500,
       "refused AUTH TLS: \"500 Unknown command\"",
       {"AUTH TLS"}},
      {"server silent on AUTH",
       [](ScriptedFtpServer& s, Handshakes&) {
         s.on("AUTH", [](ScriptedFtpServer::Session&, const std::string&) {});
       },
       "",
       421,
       "refused AUTH TLS: no answer",
       {"AUTH TLS"}},
      {"handshake fails",
       [](ScriptedFtpServer&, Handshakes& h) { h.fail = true; },
       "",
       421,
       "TLS handshake failed",
       {"AUTH TLS"}},
      {"self-signed, nothing pinned",
       [](ScriptedFtpServer&, Handshakes&) {},
       "",
       421,
       "not trusted by this system and no fingerprint is pinned",
       {"AUTH TLS"}},
      {"self-signed, another one pinned",
       [](ScriptedFtpServer&, Handshakes&) {},
       std::string(64, 'a'),
       421,
       "does not match the pinned fingerprint",
       {"AUTH TLS"}},
      {"PROT P refused",
       [](ScriptedFtpServer& s, Handshakes& h) {
         h.peers = {{kServerCert, true}};
         s.reply("PROT", "536 Not supported\r\n");
       },
       "", 536, "refused PROT P", kFullLogin},
  };
  for (const Case& c : cases) {
    LoopbackPlatform platform;
    ScriptedFtpServer server;
    server.reply("AUTH", "234 Go ahead\r\n");
    server.reply("PBSZ", "200 PBSZ=0\r\n");
    server.reply("PROT", "200 Protection set to Private\r\n");
    Handshakes handshakes;
    c.script(server, handshakes);
    FtpClient client(platform, kTimeoutMs);
    Handshakes* log = &handshakes;
    client.requireTls([log] { return std::make_unique<PretendTlsClient>(log); }, c.pinned);
    server.start();
    EXPECT_EQ(client.ftpConnect("127.0.0.1", server.port(), "bob", "secret"), -1) << c.name;
    EXPECT_EQ(client.lastStatusCode(), c.code) << c.name;
    EXPECT_NE(client.lastTlsFailure().find(c.failure_holds), std::string::npos)
        << c.name << ": " << client.lastTlsFailure();
    EXPECT_EQ(server.commands(), c.commands) << c.name;
  }
}

TEST_F(TlsLoginTest, NoTlsInTheBuildStopsBeforeUser) {
  client.requireTls([] { return std::unique_ptr<TlsClient>(); }, "");
  EXPECT_EQ(login(), -1);
  EXPECT_EQ(client.lastStatusCode(), 421);
  EXPECT_EQ(client.lastStatusMessage(), "TLS is not available in this build");
  EXPECT_EQ(server.commands(), Strings{"AUTH TLS"});
}

// Lines sent in plain text behind the 234 could pose as replies of the
// protected session (a login "accepted" by an attacker on the path).
TEST_F(TlsLoginTest, PlainTextBehindTheAuthReplyIsDropped) {
  server.reply("AUTH", "234 Go ahead\r\n230 Injected\r\n");
  requireTls("");
  handshakes.peers = {{kServerCert, true}};
  int channel = login();
  EXPECT_GT(channel, 0);
  EXPECT_EQ(client.lastStatusMessage(), "Logged in");
  client.closeChannel(channel);
  EXPECT_EQ(server.commands(), kFullLogin);
}

TEST_F(TlsLoginTest, DataConnectionsShakeHandsAfterTheTransferStarts) {
  server.file_contents = "payload";
  handshakes.peers = {{kServerCert, true}};
  requireTls("");
  int channel = login();
  ASSERT_GT(channel, 0);
  platform.addFile("C:\\down.bin", "");
  EXPECT_EQ(client.ftpGetFile(channel, 0, "127.0.0.1", "f.bin", "C:\\down.bin"), 1);
  EXPECT_EQ(handshakes.count, 2);  // the control and the data connection
  std::string contents;
  platform.readFile("C:\\down.bin", &contents);
  EXPECT_EQ(contents, "payload");

  client.dropTls();  // leaves the open login as it is
  EXPECT_EQ(client.ftpGetFile(channel, 0, "127.0.0.1", "f.bin", "C:\\down.bin"), 1);
  EXPECT_EQ(handshakes.count, 3);
}

TEST_F(TlsLoginTest, ADataConnectionToAnotherCertificateIsDropped) {
  server.file_contents = "payload";
  handshakes.peers = {{kServerCert, false}, {std::string(64, 'b'), false}};
  requireTls(kServerCert);
  int channel = login();
  ASSERT_GT(channel, 0);
  EXPECT_EQ(client.ftpGetFile(channel, 0, "127.0.0.1", "f.bin", "C:\\down.bin"), 0);
  EXPECT_EQ(client.lastStatusCode(), 426);
  EXPECT_EQ(client.lastStatusMessage(), "TLS on the data connection failed");
}

}  // namespace
}  // namespace quarvel
