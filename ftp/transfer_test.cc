#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ftp/ftp_client.h"
#include "ftp/scripted_server_test_util.h"

namespace quarvel {
namespace {

constexpr int kTimeoutMs = 500;
constexpr char kHost[] = "127.0.0.1";
constexpr char kLocal[] = "C:\\site\\a.bin";
using Strings = std::vector<std::string>;
using Session = ScriptedFtpServer::Session;

// Every byte value, CR LF and NUL included.
std::string binaryBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) % 256);
  return bytes;
}

// The client's progress texts, as "window:text".
void recordProgress(FtpClient& client, Strings* progress) {
  client.setProgressSink([progress](std::intptr_t window, const std::string& text) {
    progress->push_back(std::to_string(window) + ":" + text);
  });
}

class FtpTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.addFolder("C:\\site");
    recordProgress(client, &progress);
  }

  int login() {
    server.start();
    int channel = client.ftpConnect(kHost, server.port(), "bob", "secret");
    EXPECT_GT(channel, 0);
    return channel;
  }

  // The commands after USER and PASS, once the client has gone.
  Strings commandsAfterLogin(int channel) {
    client.closeChannel(channel);
    const Strings& all = server.commands();
    return all.size() < 2 ? all : Strings(all.begin() + 2, all.end());
  }

  void expectStatus(int code, const std::string& message) {
    EXPECT_EQ(client.lastStatusCode(), code);
    EXPECT_EQ(client.lastStatusMessage(), message);
  }

  LoopbackPlatform platform;
  ScriptedFtpServer server;
  FtpClient client{platform, kTimeoutMs};
  Strings progress;
  Strings lines{"stale", "lines"};
};

// --- Listings ----------------------------------------------------------

TEST(FtpListingTest, LinesUpToTheFirstBlankLine) {
  struct Case {
    const char* name;
    const char* listing;
    Strings lines;  // positions 1..n
  };
  const Case cases[] = {
      {"CR LF",
       "drwxr-xr-x 2 a b 0 Jan 1 pub\r\n-rw-r--r-- 1 a b 5 Jan 1 x\r\n",
       {"drwxr-xr-x 2 a b 0 Jan 1 pub", "-rw-r--r-- 1 a b 5 Jan 1 x"}},
      {"LF alone", "-rw x\nlrwx y\n", {"-rw x", "lrwx y"}},
      {"blank line in the middle", "-rw a\r\n   \r\n-rw b\r\n", {"-rw a"}},
      {"last line without a line end", "-rw a\r\n-rw b", {"-rw a", "-rw b"}},
      {"empty listing", "", {}},
      {"blank first line", "\r\n-rw a\r\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPlatform platform;
    ScriptedFtpServer server;
    server.listing = c.listing;
    server.start();
    FtpClient client(platform, kTimeoutMs);
    int channel = client.ftpConnect(kHost, server.port(), "bob", "secret");
    std::vector<std::string> lines{"stale"};
    EXPECT_EQ(client.ftpGetList(channel, kHost, &lines), static_cast<int>(c.lines.size()));
    Strings expected{""};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(client.lastStatusCode(), 226);
    client.closeChannel(channel);
    EXPECT_EQ(server.commands(), (Strings{"USER bob", "PASS secret", "PASV", "TYPE A", "LIST"}));
  }
}

TEST_F(FtpTransferTest, DataGoesToTheCallersHostNotThePassiveAddress) {
  server.passive_address = "10,0,0,5";
  server.listing = "-rw a\r\n";
  int channel = login();
  EXPECT_EQ(client.ftpGetList(channel, kHost, &lines), 1);
  ASSERT_EQ(platform.connections.size(), 2u);
  EXPECT_EQ(platform.connections[1].rfind("127.0.0.1:", 0), 0u) << platform.connections[1];
}

TEST_F(FtpTransferTest, FileAndFolderFilters) {
  server.listing =
      "drwxr-xr-x 2 a b 0 pub\r\n-rw-r--r-- 1 a b 5 x\r\nlrwxrwxrwx 1 a b 3 l -> x\r\n"
      "Dr-x 1 a b 0 old\r\n-rw------- 1 a b 9 y\r\n";
  int channel = login();
  EXPECT_EQ(client.ftpGetFileList(channel, kHost, &lines), 2);
  EXPECT_EQ(lines, (Strings{"", "-rw-r--r-- 1 a b 5 x", "-rw------- 1 a b 9 y"}));
  EXPECT_EQ(client.ftpGetDirList(channel, kHost, &lines), 2);
  EXPECT_EQ(lines, (Strings{"", "drwxr-xr-x 2 a b 0 pub", "Dr-x 1 a b 0 old"}));
  expectStatus(226, "Transfer complete");
}

TEST_F(FtpTransferTest, ListingFailures) {
  server.reply("PASV", "500 No passive mode\r\n");
  int channel = login();
  EXPECT_EQ(client.ftpGetList(channel, kHost, &lines), 0);
  EXPECT_EQ(lines, Strings{""});
  expectStatus(500, "No passive mode");
  lines = {"stale"};
  EXPECT_EQ(client.ftpGetDirList(channel, kHost, &lines), 0);
  EXPECT_EQ(lines, Strings{""});
  EXPECT_EQ(commandsAfterLogin(channel), (Strings{"PASV", "PASV"}));
}

// A server that sends its final reply only once the client has closed the
// data connection (as vsftpd's lingering close nearly does) still ends the
// listing at once, with its lines and the 226.
TEST_F(FtpTransferTest, ListingClosesItsDataConnectionBeforeTheFinalReply) {
  server.on("LIST", [](Session& s, const std::string&) {
    s.send("150 Here comes the listing\r\n");
    if (!s.acceptData()) return;
    s.sendData("-rw a\r\n\r\n");
    s.receiveData();  // until the client closes its side
    s.closeData();
    s.send("226 Transfer complete\r\n");
  });
  int channel = login();
  EXPECT_EQ(client.ftpGetList(channel, kHost, &lines), 1);
  EXPECT_EQ(lines, (Strings{"", "-rw a"}));
  expectStatus(226, "Transfer complete");
}

TEST_F(FtpTransferTest, UnusablePassiveReplyLeavesItAsStatus) {
  server.reply("PASV", "227 Entering Passive Mode\r\n");
  int channel = login();
  EXPECT_EQ(client.ftpGetList(channel, kHost, &lines), 0);
  expectStatus(227, "Entering Passive Mode");
  EXPECT_EQ(commandsAfterLogin(channel), Strings{"PASV"});
}

TEST_F(FtpTransferTest, RefusedListReportsTheRefusalAtOnce) {
  server.on("LIST", [](Session& s, const std::string&) { s.send("550 No access\r\n"); });
  int channel = login();
  EXPECT_EQ(client.ftpGetList(channel, kHost, &lines), 0);
  expectStatus(550, "No access");
}

// --- Downloads -----------------------------------------------------------

TEST_F(FtpTransferTest, DownloadWritesTheFileAndShowsProgress) {
  server.file_contents = binaryBytes(20000);
  platform.addFile(kLocal, "old contents");
  client.setProgressSink(nullptr);  // the platform's window text
  int channel = login();
  EXPECT_EQ(client.ftpGetFile(channel, 42, kHost, "a b.bin", kLocal), 1);
  EXPECT_EQ(platform.file(kLocal), server.file_contents);
  expectStatus(226, "Transfer complete");
  ASSERT_FALSE(platform.window_texts.empty());
  EXPECT_EQ(platform.window_texts.back(),
            (std::pair<std::intptr_t, std::string>{42, "20000 of 20000"}));
  // However the data arrives, the window moves on by at most one block.
  std::uint64_t shown_before = 0;
  for (const auto& shown : platform.window_texts) {
    std::uint64_t done = std::stoull(shown.second);
    EXPECT_GT(done, shown_before) << shown.second;
    EXPECT_LE(done - shown_before, FtpClient::kBlockSize) << shown.second;
    shown_before = done;
  }
  EXPECT_EQ(commandsAfterLogin(channel), (Strings{"PASV", "TYPE I", "RETR a b.bin"}));
}

// How the server may play a download: the preliminary reply (with or
// without a size, 150 or 125), the data, and the final reply, which an
// error code does not undo once the data has come. Without the data
// connection's end, the download is no success.
TEST(FtpDownloadTest, ServerScenarios) {
  struct Case {
    const char* name;
    const char* start;  // the preliminary reply
    std::string data;
    const char* end;  // the final reply; null: the data connection stays open
    std::intptr_t window;
    int result;
    int code;
    const char* message;  // null: not checked
    Strings progress;
  };
  const Case cases[] = {
      {"no size announced counts against zero",
       "150 Opening data connection",
       "hello",
       "226 Done",
       3,
       1,
       226,
       "Done",
       {"3:5 of 0"}},
      {"started by a 125 reply",
       "125 Data connection already open. Transfer starting.",
       "hello",
       "226 Done",
       0,
       1,
       226,
       "Done",
       {}},
      {"ending in an error reply still succeeds",
       "150 Opening (5 bytes)",
       "hello",
       "451 Local error in processing",
       0,
       1,
       451,
       "Local error in processing",
       {}},
      {"stalled", "150 Opening (100 bytes)", std::string(50, 'x'), nullptr, 0, 0, 426, nullptr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPlatform platform;
    platform.addFolder("C:\\site");
    ScriptedFtpServer server;
    server.on("RETR", [&c](Session& s, const std::string&) {
      s.send(std::string(c.start) + "\r\n");
      if (!s.acceptData()) return;
      s.sendData(c.data);
      if (!c.end) return;  // and then nothing, connection open
      s.closeData();
      s.send(std::string(c.end) + "\r\n");
    });
    server.start();
    FtpClient client(platform, kTimeoutMs);
    Strings progress;
    recordProgress(client, &progress);
    int channel = client.ftpConnect(kHost, server.port(), "bob", "secret");
    EXPECT_EQ(client.ftpGetFile(channel, c.window, kHost, "a", kLocal), c.result);
    EXPECT_EQ(platform.file(kLocal), c.data);
    EXPECT_EQ(client.lastStatusCode(), c.code);
    if (c.message) {
      EXPECT_EQ(client.lastStatusMessage(), c.message);
    }
    EXPECT_EQ(progress, c.progress);
    client.closeChannel(channel);
  }
}

TEST_F(FtpTransferTest, UploadStartsOnA125ReplyToo) {
  std::string stored;
  server.on("STOR", [&stored](Session& s, const std::string&) {
    s.send("125 Data connection already open. Transfer starting.\r\n");
    if (!s.acceptData()) return;
    stored = s.receiveData();
    s.closeData();
    s.send("226 Stored\r\n");
  });
  platform.addFile("C:\\site\\up.txt", "up");
  int channel = login();
  EXPECT_EQ(client.ftpPutFile(channel, kHost, 0, "b", "C:\\site\\up.txt"), 1);
  expectStatus(226, "Stored");
  client.closeChannel(channel);
  server.commands();
  EXPECT_EQ(stored, "up");
}

TEST_F(FtpTransferTest, RefusedDownloadLeavesAnEmptyLocalFile) {
  server.reply("RETR", "550 No such file\r\n");
  platform.addFile(kLocal, "old contents");
  int channel = login();
  EXPECT_EQ(client.ftpGetFile(channel, 0, kHost, "a", kLocal), 0);
  EXPECT_TRUE(platform.hasFile(kLocal));
  EXPECT_EQ(platform.file(kLocal), "");
  expectStatus(550, "No such file");
}

TEST_F(FtpTransferTest, DownloadWithPassiveRefused) {
  server.reply("PASV", "425 Cannot open data connection\r\n");
  int channel = login();
  EXPECT_EQ(client.ftpGetFile(channel, 0, kHost, "a", kLocal), 0);
  EXPECT_EQ(platform.file(kLocal), "");
  expectStatus(425, "Cannot open data connection");
  EXPECT_EQ(commandsAfterLogin(channel), Strings{"PASV"});
}

TEST_F(FtpTransferTest, LocalFileProblemsStopTheDownloadBeforeAnythingIsSent) {
  platform.addFile(kLocal, "held by another program");
  platform.lockFile(kLocal);
  int channel = login();
  EXPECT_EQ(client.ftpGetFile(channel, 0, kHost, "a", kLocal), 0);
  expectStatus(70, "Local File Can't be deleted");
  EXPECT_EQ(platform.file(kLocal), "held by another program");
  EXPECT_EQ(client.ftpGetFile(channel, 0, kHost, "a", "C:\\nowhere\\a.bin"), 0);
  expectStatus(76, "Local File Open Error");
  EXPECT_EQ(commandsAfterLogin(channel), Strings{});
}

TEST_F(FtpTransferTest, FullLocalDiskIsNoSuccess) {
  server.file_contents = binaryBytes(100000);
  platform.fail_writes_after = 20000;
  int channel = login();
  EXPECT_EQ(client.ftpGetFile(channel, 0, kHost, "a", kLocal), 0);
  expectStatus(75, "Local File Write Error");
  // The control channel stays in step: the next command gets its own reply.
  EXPECT_EQ(client.ftpChangeDir(channel, "/pub"), 1);
}

// --- Uploads -------------------------------------------------------------

TEST_F(FtpTransferTest, UploadSendsBlocksAndShowsProgressForFullBlocks) {
  struct Case {
    std::size_t size;
    Strings progress;
  };
  const Case cases[] = {
      {20000, {"1:8192 of 20000", "1:16384 of 20000"}},
      {16384, {"1:8192 of 16384", "1:16384 of 16384"}},
      {0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    LoopbackPlatform platform;
    platform.addFile(kLocal, binaryBytes(c.size));
    ScriptedFtpServer server;
    server.start();
    FtpClient client(platform, kTimeoutMs);
    Strings progress;
    recordProgress(client, &progress);
    int channel = client.ftpConnect(kHost, server.port(), "bob", "secret");
    EXPECT_EQ(client.ftpPutFile(channel, kHost, 1, "up load.bin", kLocal), 1);
    EXPECT_EQ(client.lastStatusCode(), 226);
    EXPECT_EQ(progress, c.progress);
    client.closeChannel(channel);
    EXPECT_EQ(server.stored(), binaryBytes(c.size));
    EXPECT_EQ(server.commands(),
              (Strings{"USER bob", "PASS secret", "TYPE I", "PASV", "STOR up load.bin"}));
  }
}

TEST_F(FtpTransferTest, UploadFailures) {
  platform.addFile(kLocal, "data");
  int channel = login();
  EXPECT_EQ(client.ftpPutFile(channel, kHost, 0, "a", "C:\\site\\missing.bin"), 0);
  expectStatus(1, "Local File Not Found");
  EXPECT_EQ(client.ftpPutFile(channel, kHost, 0, "a", "C:\\nowhere\\a.bin"), 0);
  expectStatus(1, "Local File Not Found");
  platform.lockFile(kLocal);
  EXPECT_EQ(client.ftpPutFile(channel, kHost, 0, "a", kLocal), 0);
  expectStatus(70, "Local File Access Error");
  EXPECT_EQ(commandsAfterLogin(channel), Strings{});
}

TEST_F(FtpTransferTest, UploadRefusedOrNotConfirmed) {
  platform.addFile(kLocal, binaryBytes(10000));
  int stor = 0;
  server.on("STOR", [&stor](Session& s, const std::string&) {
    if (++stor == 1) {
      s.send("553 Not allowed\r\n");
      return;
    }
    s.send("150 Ok to send data\r\n");
    if (!s.acceptData()) return;
    s.receiveData();
    s.closeData();
    s.send("451 Disk full\r\n");
  });
  int channel = login();
  EXPECT_EQ(client.ftpPutFile(channel, kHost, 1, "a", kLocal), 0);
  expectStatus(553, "Not allowed");
  EXPECT_EQ(client.ftpPutFile(channel, kHost, 1, "a", kLocal), 0);
  expectStatus(451, "Disk full");
  EXPECT_EQ(progress, Strings{"1:8192 of 10000"});
}

TEST_F(FtpTransferTest, UploadIntoAClosedDataConnectionFails) {
  platform.addFile(kLocal, binaryBytes(8 * 1024 * 1024));
  server.on("STOR", [](Session& s, const std::string&) {
    s.send("150 Ok to send data\r\n");
    if (!s.acceptData()) return;
    s.closeData();
  });
  int channel = login();
  EXPECT_EQ(client.ftpPutFile(channel, kHost, 0, "a", kLocal), 0);
  EXPECT_EQ(client.lastStatusCode(), 426);
}

TEST_F(FtpTransferTest, UploadToAPeerThatStopsReadingEndsAfterTheTimeOut) {
  platform.addFile(kLocal, binaryBytes(32 * 1024 * 1024));
  server.on("STOR", [](Session& s, const std::string&) {
    s.send("150 Ok to send data\r\n");
    if (!s.acceptData()) return;
    // Far longer than the client may wait, so an upload that ends before
    // the peer lets go ended by the time-out.
    std::this_thread::sleep_for(std::chrono::milliseconds(16 * kTimeoutMs));
    s.closeData();
  });
  int channel = login();
  std::int64_t started = platform.monotonicMs();
  EXPECT_EQ(client.ftpPutFile(channel, kHost, 0, "a", kLocal), 0);
  // Generous: a loaded machine (or a sanitizer build) spends time on the
  // 32 MB before the peer's buffers fill.
  EXPECT_LT(platform.monotonicMs() - started, 8 * kTimeoutMs);
}

}  // namespace
}  // namespace quarvel
