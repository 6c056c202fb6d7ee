#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "ftp/scripted_server_test_util.h"

namespace quarvel {
namespace {

constexpr int kTimeoutMs = 500;
using Strings = std::vector<std::string>;

struct CommandCase {
  const char* name;
  std::map<std::string, std::string> replies;       // overrides, by command word
  std::function<std::string(FtpClient&, int)> run;  // its result as text
  const char* result;
  Strings commands;  // after USER and PASS
  int code;
  const char* message;
};

std::string number(int n) { return std::to_string(n); }

TEST(FtpCommandsTest, OneLineCommands) {
  const CommandCase cases[] = {
      {"DELE accepted",
       {},
       [](FtpClient& c, int ch) { return number(c.ftpDeleteFile(ch, "a b.txt")); },
       "1",
       {"DELE a b.txt"},
       250,
       "File deleted"},
      {"DELE refused",
       {{"DELE", "550 No such file\r\n"}},
       [](FtpClient& c, int ch) { return number(c.ftpDeleteFile(ch, "x")); },
       "0",
       {"DELE x"},
       550,
       "No such file"},
      {"MKD accepted",
       {{"MKD", "257 Directory created\r\n"}},
       [](FtpClient& c, int ch) { return number(c.ftpMakeDir(ch, "/new")); },
       "1",
       {"MKD /new"},
       257,
       "Directory created"},
      {"MKD answered 250 is no success",
       {{"MKD", "250 Done\r\n"}},
       [](FtpClient& c, int ch) { return number(c.ftpMakeDir(ch, "/new")); },
       "0",
       {"MKD /new"},
       250,
       "Done"},
      {"RMD accepted",
       {},
       [](FtpClient& c, int ch) { return number(c.ftpRemoveDir(ch, "old")); },
       "1",
       {"RMD old"},
       250,
       "Folder removed"},
      {"CWD trims the folder",
       {},
       [](FtpClient& c, int ch) { return number(c.ftpChangeDir(ch, "  /incoming  ")); },
       "1",
       {"CWD /incoming"},
       250,
       "Folder changed"},
      {"CWD refused",
       {{"CWD", "550 No such folder\r\n"}},
       [](FtpClient& c, int ch) { return number(c.ftpChangeDir(ch, "/x")); },
       "0",
       {"CWD /x"},
       550,
       "No such folder"},
      {"rename",
       {},
       [](FtpClient& c, int ch) { return number(c.ftpMoveOrRename(ch, "a", "b c")); },
       "1",
       {"RNFR a", "RNTO b c"},
       250,
       "Renamed"},
      {"rename with RNFR refused sends no RNTO",
       {{"RNFR", "550 No such file\r\n"}},
       [](FtpClient& c, int ch) { return number(c.ftpMoveOrRename(ch, "a", "b")); },
       "0",
       {"RNFR a"},
       550,
       "No such file"},
      {"rename with RNTO refused",
       {{"RNTO", "553 Not allowed\r\n"}},
       [](FtpClient& c, int ch) { return number(c.ftpMoveOrRename(ch, "a", "b")); },
       "0",
       {"RNFR a", "RNTO b"},
       553,
       "Not allowed"},
      {"PWD",
       {{"PWD", "257 \"/pub\" is the current folder\r\n"}},
       [](FtpClient& c, int ch) { return c.ftpCurDir(ch); },
       "/pub",
       {"PWD"},
       257,
       "\"/pub\" is the current folder"},
      {"PWD with a doubled quote in the name",
       {{"PWD", "257 \"/say \"\"hi\"\"\" is current\r\n"}},
       [](FtpClient& c, int ch) { return c.ftpCurDir(ch); },
       "/say \"hi\"",
       {"PWD"},
       257,
       "\"/say \"\"hi\"\"\" is current"},
      {"PWD without quotes",
       {{"PWD", "257 /pub\r\n"}},
       [](FtpClient& c, int ch) { return c.ftpCurDir(ch); },
       "",
       {"PWD"},
       257,
       "/pub"},
      {"PWD refused",
       {{"PWD", "550 \"/pub\" gone\r\n"}},
       [](FtpClient& c, int ch) { return c.ftpCurDir(ch); },
       "",
       {"PWD"},
       550,
       "\"/pub\" gone"},
      {"TYPE A, reply not checked",
       {{"TYPE", "504 No\r\n"}},
       [](FtpClient& c, int ch) {
         c.ftpSetAscii(ch);
         return std::string("-");
       },
       "-",
       {"TYPE A"},
       504,
       "No"},
      {"TYPE I",
       {},
       [](FtpClient& c, int ch) {
         c.ftpSetBinary(ch);
         return std::string("-");
       },
       "-",
       {"TYPE I"},
       200,
       "Type set"},
      {"the rest of a multi-line reply answers the next command",
       {{"DELE", "250-Deleted\r\n250 Really\r\n"}},
       [](FtpClient& c, int ch) {
         std::string first = number(c.ftpDeleteFile(ch, "a"));
         return first + number(c.ftpMakeDir(ch, "b"));
       },
       "10",
       {"DELE a", "MKD b"},
       250,
       "Really"},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPlatform platform;
    ScriptedFtpServer server;
    for (const auto& r : c.replies) server.reply(r.first, r.second);
    server.start();
    FtpClient client(platform, kTimeoutMs);
    int channel = client.ftpConnect("127.0.0.1", server.port(), "bob", "secret");
    ASSERT_GT(channel, 0);
    EXPECT_EQ(c.run(client, channel), c.result);
    EXPECT_EQ(client.lastStatusCode(), c.code);
    EXPECT_EQ(client.lastStatusMessage(), c.message);
    client.closeChannel(channel);
    Strings sent = server.commands();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(Strings(sent.begin() + 2, sent.end()), c.commands);
  }
}

}  // namespace
}  // namespace quarvel
