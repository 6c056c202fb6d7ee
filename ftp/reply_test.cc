#include "ftp/reply.h"

#include <gtest/gtest.h>

#include <string>

namespace quarvel {
namespace {

TEST(ReplyTest, CodeTextAndContinuation) {
  struct Case {
    const char* line;
    int code;
    const char* text;
    bool continues;
  };
  const Case cases[] = {
      {"257 Directory created", 257, "Directory created", false},
      {"230-Hello", 230, "-Hello", true},
      {"230   OK   ", 230, "OK", false},
      {"220", 220, "", false},
      {"", 0, "", false},
      {"Welcome aboard", 0, "come aboard", false},
      {"12a reply", 12, "reply", false},
      {"-12 x", 0, "x", false},
      {"22", 22, "", false},
      {"331-", 331, "-", true},
      {"500\tTab kept", 500, "\tTab kept", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(replyCode(c.line), c.code);
    EXPECT_EQ(replyText(c.line), c.text);
    EXPECT_EQ(isContinuationLine(c.line), c.continues);
  }
}

TEST(ReplyTest, LocalErrorLinesKeepTheirCodeInThreeDigits) {
  EXPECT_EQ(localErrorLine(1, "Local File Not Found"), "001 Local File Not Found");
  EXPECT_EQ(localErrorLine(111, "Unable to open socket"), "111 Unable to open socket");
  // Winsock's connection refused (10061) must not spill into the message.
  std::string refused = localErrorLine(10061, "Unable to open socket");
  EXPECT_EQ(refused, "061 Unable to open socket");
  EXPECT_EQ(replyCode(refused), 61);
  EXPECT_EQ(replyText(refused), "Unable to open socket");
}

// Feeds the chunks one after another and gives every completed line.
std::vector<std::string> assemble(const std::vector<std::string>& chunks) {
  std::vector<std::string> lines;
  LineAssembler assembler;
  for (const std::string& chunk : chunks) {
    std::size_t pos = 0;
    while (pos < chunk.size()) {
      pos += assembler.feed(chunk.data() + pos, chunk.size() - pos);
      if (assembler.complete()) lines.push_back(assembler.take());
    }
  }
  return lines;
}

TEST(ReplyTest, AssemblerDropsCarriageReturnsAndEndsAtLineFeed) {
  EXPECT_EQ(assemble({"220 Ready\r\n"}), assemble({"220 Ready\n"}));
  EXPECT_EQ(assemble({"220 Ready\r\n"})[0], "220 Ready");
  EXPECT_EQ(assemble({"2\r2\r0 A\rB\r\r\n"})[0], "220 AB");
  EXPECT_EQ(assemble({"220-a\r", "\n220 b\n"}), (std::vector<std::string>{"220-a", "220 b"}));
  EXPECT_EQ(assemble({"\n\r\n"}), (std::vector<std::string>{"", ""}));
}

TEST(ReplyTest, AssemblerCapsALineAndDropsItsRest) {
  std::string longest(kMaxReplyLineLength, 'x');
  std::vector<std::string> lines = assemble({"500 " + longest, longest + "\r\n", "200 next\r\n"});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), kMaxReplyLineLength);
  EXPECT_EQ(lines[0].substr(0, 5), "500 x");
  EXPECT_EQ(lines[1], "200 next");
  // CRs are dropped before counting.
  std::string with_crs;
  for (std::size_t i = 0; i < kMaxReplyLineLength; ++i) with_crs += "y\r";
  EXPECT_EQ(assemble({with_crs + "\n"})[0].size(), kMaxReplyLineLength);
}

TEST(ReplyTest, PassivePort) {
  struct Case {
    const char* line;
    bool ok;
    int port;
  };
  const Case cases[] = {
      {"227 Entering Passive Mode (10,0,0,5,19,137)", true, 5001},
      {"227 Entering Passive Mode (127,0,0,1,0,21).", true, 21},
      {"227 =(1,2,3,4,255,255)", true, 65535},
      {"227 ok ( 1, 2, 3, 4, 4 , 1 )", true, 1025},
      {"227 Entering Passive Mode", false, 0},
      {"227 (1,2,3,4,19)", false, 0},
      {"227 (1,2,3,4,256,1)", false, 0},
      {"227 (1,2,3,4,-1,1)", false, 0},
      {"227 (1,2,3,4,a,1)", false, 0},
      {"227 (1,2,3,4,0,0)", false, 0},
      {"227 (1,2,3,4,19,137", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    int port = 0;
    EXPECT_EQ(passivePort(c.line, &port), c.ok);
    if (c.ok) {
      EXPECT_EQ(port, c.port);
    }
  }
}

TEST(ReplyTest, AnnouncedSize) {
  struct Case {
    const char* line;
    std::uint64_t size;
  };
  const Case cases[] = {
      {"150 Opening BINARY mode data connection for a.bin (20000 bytes)", 20000},
      {"150 Opening data connection for a.bin", 0},
      {"150 Here (  42 bytes)", 42},
      {"150 x (bytes: 42)", 0},
      {"150 x (5000000000 bytes) (7)", 5000000000ull},
      {"150 x (12", 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(announcedSize(c.line), c.size);
  }
}

}  // namespace
}  // namespace quarvel
