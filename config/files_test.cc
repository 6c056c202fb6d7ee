#include "config/files.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace quarvel {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  FakePlatform platform_;
  Output out_{platform_};
  Files files_{platform_, out_, "C:\\site"};
};

TEST_F(FilesTest, SizesInMegabytes) {
  struct Case {
    std::size_t bytes;
    double mb;
  } cases[] = {{0, 0}, {5242880, 5}, {262144, 0.2}, {786432, 0.8}, {1153434, 1.1}, {10485760, 10}};
  for (const Case& c : cases) {
    platform_.addFile("C:\\site\\f", std::string(c.bytes, 'x'));
    EXPECT_DOUBLE_EQ(files_.fileSizeMB("C:\\site\\f"), c.mb) << c.bytes;
  }
  EXPECT_DOUBLE_EQ(files_.fileSizeMB("C:\\site\\missing"), 0);
}

TEST_F(FilesTest, ExistenceCountsLockedFiles) {
  platform_.addFile("C:\\site\\a", "");
  platform_.addFile("C:\\site\\held", "");
  platform_.lockFile("C:\\site\\held");
  EXPECT_TRUE(files_.fileExists("C:\\site\\a"));
  EXPECT_TRUE(files_.fileExists("C:\\site\\held"));
  EXPECT_FALSE(files_.fileExists("C:\\site\\none"));
  EXPECT_TRUE(files_.folderExists("C:\\site"));
  EXPECT_TRUE(files_.folderExists("C:\\site\\"));
  EXPECT_FALSE(files_.folderExists("C:\\nowhere"));
}

TEST_F(FilesTest, ReadWholeFileGoesThroughATemporaryCopy) {
  platform_.addFile("D:\\ftp\\etc\\UserIdTable", "\r\n\r\nbob:1:STANDARD\r\nann:2\nx\r\n");
  EXPECT_EQ(files_.readWholeFile("D:\\ftp\\etc\\UserIdTable", "passwd"),
            "bob:1:STANDARD\r\nann:2\nx");
  EXPECT_EQ(platform_.filesIn("C:\\site").size(), 0u);  // the copy is gone
  EXPECT_EQ(files_.readWholeFile("D:\\ftp\\none", "passwd"), "");
  EXPECT_EQ(platform_.output, "");
}

// Line ends as the server writes them: CR or CR LF end a line, a LF alone
// stays inside it, code 26 ends the text, empty lines before the first
// text and the last line end vanish; a file already in that form (the
// usual case) comes back as it is.
TEST_F(FilesTest, ServerFileLineEnds) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\nb\r\n", "a\r\nb"}, {"a\r\nb", "a\r\nb"},          {"a\r\n\r\n", "a\r\n"},
      {"a\nb\r\n", "a\nb"},     {"a\rb\r", "a\r\nb"},          {"a\r", "a"},
      {"\r\n\ra\r\n", "a"},     {"a\r\nb\x1a\r\nc", "a\r\nb"}, {"", ""},
  };
  for (const auto& [bytes, text] : cases) {
    platform_.addFile("D:\\ftp\\f", bytes);
    EXPECT_EQ(files_.readWholeFile("D:\\ftp\\f", "f"), text) << bytes;
  }
}

TEST_F(FilesTest, ReadFailurePrintsTheBareNumberAndKeepsTheCopy) {
  platform_.addFile("D:\\ftp\\users\\7", "flags 3\r\n");
  platform_.lockFile("D:\\ftp\\users\\7");
  EXPECT_EQ(files_.readWholeFile("D:\\ftp\\users\\7", "7"), "");
  EXPECT_EQ(platform_.output, "70\r\n");
}

TEST_F(FilesTest, TagsCannotLeaveTheDataFolder) {
  EXPECT_EQ(safeTag("..\\..\\evil"), ".._.._evil");
  EXPECT_EQ(safeTag("a/b:c d"), "a_b_c_d");
  platform_.addFile("D:\\u", "x\r\n");
  EXPECT_EQ(files_.readWholeFile("D:\\u", "..\\x"), "x");
  EXPECT_FALSE(platform_.hasFile("C:\\x.tmp"));
}

TEST_F(FilesTest, PrintLineIsOneWrite) {
  out_.printLine("a\r\nb");
  ASSERT_EQ(platform_.writes.size(), 1u);
  EXPECT_EQ(platform_.writes[0], "a\r\nb\r\n");
}

// A server file is copied and read once per run for each version of it: a
// second read of the same file costs nothing, a changed file is read afresh,
// and a failed read is never kept (each one still prints its number).
TEST_F(FilesTest, ServerFilesAreReadOncePerVersion) {
  const char kTable[] = "C:\\ioFTPD\\etc\\UserIdTable";
  platform_.addFile(kTable, "bob:1:x\r\n");
  auto first = files_.readServerFile(kTable, "passwd");
  EXPECT_EQ(*first, "bob:1:x");
  EXPECT_EQ(files_.readServerFile(kTable, "passwd"), first);
  EXPECT_EQ(files_.readWholeFile(kTable, "passwd"), "bob:1:x");
  EXPECT_EQ(platform_.copies[FakePlatform::normalise(kTable)], 1);

  platform_.addFile(kTable, "bob:1:x\r\nann:2:x\r\n");
  EXPECT_EQ(*files_.readServerFile(kTable, "passwd"), "bob:1:x\r\nann:2:x");
  EXPECT_EQ(platform_.copies[FakePlatform::normalise(kTable)], 2);

  EXPECT_EQ(*files_.readServerFile("C:\\ioFTPD\\other", "passwd"), "");  // missing: silent
  platform_.addFile("C:\\ioFTPD\\other", "x");
  platform_.lockFile("C:\\ioFTPD\\other");
  files_.readServerFile("C:\\ioFTPD\\other", "passwd");
  files_.readServerFile("C:\\ioFTPD\\other", "passwd");
  EXPECT_EQ(platform_.output, "70\r\n70\r\n");
}

// A copy that cannot be made in the data folder (a full disk) does not make
// the server's file unreadable: it is read where it is, silently.
TEST_F(FilesTest, AServerFileIsReadInPlaceWhenItsCopyCannotBeMade) {
  const char kTable[] = "C:\\ioFTPD\\etc\\UserIdTable";
  platform_.addFile(kTable, "bob:1:x\r\n");
  platform_.lockFile("C:\\site\\passwd.tmp");
  EXPECT_EQ(*files_.readServerFile(kTable, "passwd"), "bob:1:x");
  EXPECT_EQ(platform_.output, "");
  EXPECT_EQ(platform_.error_lines, std::vector<std::string>{});
}

}  // namespace
}  // namespace quarvel
