// The Platform contract, checked on the real platform of this build and on
// the fake that unit tests use, so that the two cannot drift apart. Paths are
// built with backslashes, as the program builds them.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "gtest/gtest.h"
#include "platform/fake_platform.h"
#include "platform/overlay_platform.h"
#include "platform/platform.h"
#include "platform/test_listener.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

// A fresh folder in the system's temp folder, removed afterwards.
class RealFiles {
 public:
  static constexpr bool kReplaceCanFail = true;

  RealFiles() {
    std::random_device random;
    fs::path temp = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      fs::path candidate = temp / ("quarvel-contract-" + std::to_string(random()));
      if (fs::create_directory(candidate)) {
        folder_ = candidate;
        break;
      }
    }
    std::string root = folder_.string();
    std::replace(root.begin(), root.end(), '/', '\\');
    root_ = root;
  }
  ~RealFiles() {
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
  }

  Platform& platform() { return realPlatform(); }
  std::string root() const { return root_; }
  void addFolder(const std::string& path) { fs::create_directories(native(path)); }
  void addFile(const std::string& path, const std::string& contents) {
    std::ofstream(native(path), std::ios::binary) << contents;
  }
  std::string file(const std::string& path) const {
    std::ifstream in(native(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> filesIn(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(native(folder))) {
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void setReadOnly(const std::string& path, bool read_only) {
    fs::permissions(native(path), fs::perms::owner_write,
                    read_only ? fs::perm_options::remove : fs::perm_options::add);
  }
  // Makes the next replaceFile of `path` fail before the file is touched: a
  // folder stands where the temporary file would go.
  void breakReplace(const std::string& path) { addFolder(path + ".new"); }

 private:
  // Both systems accept slashes.
  static fs::path native(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return fs::path(path);
  }

  fs::path folder_;
  std::string root_;
};

class FakeFiles {
 public:
  static constexpr bool kReplaceCanFail = true;

  FakeFiles() { fake_.addFolder(root()); }
  Platform& platform() { return fake_; }
  std::string root() const { return "C:\\contract"; }
  void addFolder(const std::string& path) { fake_.addFolder(path); }
  void addFile(const std::string& path, const std::string& contents) {
    fake_.addFile(path, contents);
  }
  std::string file(const std::string& path) const { return fake_.file(path); }
  std::vector<std::string> filesIn(const std::string& folder) const {
    std::vector<std::string> names = fake_.filesIn(folder);
    std::sort(names.begin(), names.end());
    return names;
  }
  void breakReplace(const std::string&) { fake_.failReplaces(true); }

 private:
  FakePlatform fake_;
};

// The files of a real folder under an overlay that keeps every change in
// memory: set-up goes to disk, everything the test checks is read through
// the overlay.
class OverlayFiles {
 public:
  static constexpr bool kReplaceCanFail = false;  // memory is never full

  Platform& platform() { return overlay_; }
  std::string root() const { return disk_.root(); }
  void addFolder(const std::string& path) { disk_.addFolder(path); }
  void addFile(const std::string& path, const std::string& contents) {
    disk_.addFile(path, contents);
  }
  std::string file(const std::string& path) {
    std::string contents;
    overlay_.readFile(path, &contents);
    return contents;
  }
  std::vector<std::string> filesIn(const std::string& folder) const {
    std::vector<std::string> names = disk_.filesIn(folder);
    for (const auto& entry : overlay_.changes()) {
      const std::string& path = entry.first;
      if (path.compare(0, folder.size() + 1, folder + "\\") != 0 ||
          path.find('\\', folder.size() + 1) != std::string::npos) {
        continue;
      }
      std::string name = path.substr(folder.size() + 1);
      names.erase(std::remove(names.begin(), names.end(), name), names.end());
      if (!entry.second.removed) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void breakReplace(const std::string&) {}

 private:
  RealFiles disk_;
  OverlayPlatform overlay_{disk_.platform()};
};

template <typename Files>
class PlatformContract : public ::testing::Test {
 protected:
  Platform& platform() { return files_.platform(); }
  std::string at(const std::string& name) const { return files_.root() + "\\" + name; }

  Files files_;
};

using Platforms = ::testing::Types<RealFiles, FakeFiles, OverlayFiles>;
TYPED_TEST_SUITE(PlatformContract, Platforms);

TYPED_TEST(PlatformContract, ReplaceFileCreatesAndReplacesWithoutLeftovers) {
  Platform& p = this->platform();
  const std::string store = this->at("Quarvel.dat");
  const char kFirst[] = "\r\nalice=1::2::g\r\nbob=0::3::h\r\n\0\x1a end";
  const std::string first(kFirst, sizeof kFirst - 1);
  ASSERT_EQ(FileError::kNone, p.replaceFile(store, first));
  EXPECT_EQ(first, this->files_.file(store));

  // Shorter text: nothing of the old file may remain behind it.
  ASSERT_EQ(FileError::kNone, p.replaceFile(store, "x\r\n"));
  EXPECT_EQ("x\r\n", this->files_.file(store));
  ASSERT_EQ(FileError::kNone, p.replaceFile(store, ""));
  EXPECT_EQ("", this->files_.file(store));

  EXPECT_EQ(std::vector<std::string>{"Quarvel.dat"}, this->files_.filesIn(this->files_.root()));
}

TYPED_TEST(PlatformContract, FailedReplaceKeepsTheOldFile) {
  Platform& p = this->platform();
  if (TypeParam::kReplaceCanFail) {
    const std::string store = this->at("Quarvel.dat");
    this->files_.addFile(store, "old\r\n");
    this->files_.breakReplace(store);
    EXPECT_NE(FileError::kNone, p.replaceFile(store, "new\r\n"));
    EXPECT_EQ("old\r\n", this->files_.file(store));
    EXPECT_EQ(std::vector<std::string>{"Quarvel.dat"}, this->files_.filesIn(this->files_.root()));
  }

  // A missing folder: nothing is created.
  EXPECT_EQ(FileError::kPathNotFound, p.replaceFile(this->at("missing\\Quarvel.dat"), "new\r\n"));
  EXPECT_FALSE(p.anyEntryMatches(this->at("missing")));
}

TYPED_TEST(PlatformContract, AppendCreatesThenAddsAtTheEnd) {
  Platform& p = this->platform();
  const std::string log = this->at("Quarvel.log");
  ASSERT_EQ(FileError::kNone, p.appendFile(log, "one\r\n"));
  ASSERT_EQ(FileError::kNone, p.appendFile(log, std::string("two\0\r\n", 6)));
  EXPECT_EQ(std::string("one\r\ntwo\0\r\n", 11), this->files_.file(log));
  EXPECT_EQ(FileError::kNone, p.syncFile(log));
  EXPECT_EQ(std::string("one\r\ntwo\0\r\n", 11), this->files_.file(log));
  EXPECT_EQ(FileError::kNotFound, p.syncFile(this->at("Quarvel.log.1")));

  // Nothing is created where the folder is missing, and a folder is no log.
  EXPECT_EQ(FileError::kPathNotFound, p.appendFile(this->at("missing\\Quarvel.log"), "x"));
  EXPECT_FALSE(p.anyEntryMatches(this->at("missing")));
  this->files_.addFolder(this->at("folder"));
  EXPECT_EQ(FileError::kAccessDenied, p.appendFile(this->at("folder"), "x"));
}

// Which kind of error each file operation reports for a file that is not
// there and for a folder that is not there.
TYPED_TEST(PlatformContract, MissingFileAndMissingFolderErrors) {
  Platform& p = this->platform();
  this->files_.addFile(this->at("present.txt"), "data");
  const std::string absent = this->at("absent.txt");
  const std::string no_folder = this->at("absent\\x.txt");
  const std::string present = this->at("present.txt");

  struct Case {
    const char* what;
    std::string path;
    FileError expected;
  };
  const Case cases[] = {
      {"missing file", absent, FileError::kNotFound},
      {"missing folder", no_folder, FileError::kPathNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string contents = "unchanged";
    std::uint64_t size = 7;
    FileError error = FileError::kNone;
    EXPECT_EQ(c.expected, p.probeFile(c.path));
    EXPECT_EQ(c.expected, p.readFile(c.path, &contents));
    EXPECT_EQ(c.expected, p.removeFile(c.path));
    EXPECT_EQ(c.expected, p.copyFile(c.path, this->at("copy.txt")));
    EXPECT_FALSE(p.fileSize(c.path, &size));
    EXPECT_EQ(nullptr, p.openForReading(c.path, &error));
    EXPECT_EQ(c.expected, error);
  }

  FileError error = FileError::kNone;
  EXPECT_EQ(nullptr, p.createForWriting(no_folder, &error));
  EXPECT_EQ(FileError::kPathNotFound, error);
  EXPECT_EQ(FileError::kPathNotFound, p.copyFile(present, no_folder));
  EXPECT_EQ(std::vector<std::string>{"present.txt"}, this->files_.filesIn(this->files_.root()));
}

// A folder is there but is no file: fileExists counts it as present, as it
// counts a file held by another program.
TYPED_TEST(PlatformContract, FolderOpenedAsFileIsDenied) {
  Platform& p = this->platform();
  this->files_.addFolder(this->at("sub"));
  std::uint64_t size = 0;
  EXPECT_EQ(FileError::kAccessDenied, p.probeFile(this->at("sub")));
  EXPECT_FALSE(p.fileSize(this->at("sub"), &size));
}

TYPED_TEST(PlatformContract, FilesAreReadSizedCopiedAndRemovedAsBytes) {
  Platform& p = this->platform();
  const std::string bytes(
      "a\r\nb\rc\nd\0e\x1a"
      "f",
      12);
  const std::string source = this->at("source.bin");
  const std::string target = this->at("target.bin");
  this->files_.addFile(source, bytes);
  this->files_.addFile(target, "a longer old text than the source has");
  this->files_.addFile(this->at("empty.bin"), "");

  std::string contents;
  EXPECT_EQ(FileError::kNone, p.probeFile(source));
  EXPECT_EQ(FileError::kNone, p.readFile(source, &contents));
  EXPECT_EQ(bytes, contents);

  std::uint64_t size = 99;
  EXPECT_TRUE(p.fileSize(source, &size));
  EXPECT_EQ(12u, size);
  EXPECT_TRUE(p.fileSize(this->at("empty.bin"), &size));
  EXPECT_EQ(0u, size);

  EXPECT_EQ(FileError::kNone, p.copyFile(source, target));
  EXPECT_EQ(bytes, this->files_.file(target));

  EXPECT_EQ(FileError::kNone, p.removeFile(target));
  EXPECT_EQ(FileError::kNotFound, p.probeFile(target));
}

TYPED_TEST(PlatformContract, BinaryFilesWorkInBlocks) {
  Platform& p = this->platform();
  const std::string path = this->at("transfer.bin");
  this->files_.addFile(path, "an old and longer text that must vanish");
  FileError error = FileError::kOther;
  {
    auto out = p.createForWriting(path, &error);
    ASSERT_NE(nullptr, out);
    EXPECT_TRUE(out->write("first\0", 6));
    EXPECT_TRUE(out->write("second\r\n", 8));
  }
  EXPECT_EQ(std::string("first\0second\r\n", 14), this->files_.file(path));

  auto in = p.openForReading(path, &error);
  ASSERT_NE(nullptr, in);
  std::string got;
  char block[5];
  for (int reads = 0; reads < 10; ++reads) {
    long n = in->read(block, sizeof block);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    EXPECT_LE(n, 5);
    got.append(block, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(std::string("first\0second\r\n", 14), got);
  EXPECT_EQ(0, in->read(block, sizeof block));
}

// The search behind folderExists: "X" finds X's own entry in its parent,
// "X\" any entry inside X, an empty folder included (it holds "." and "..").
TYPED_TEST(PlatformContract, AnyEntryMatchesFolderAndFolderWithSeparator) {
  Platform& p = this->platform();
  this->files_.addFolder(this->at("users"));
  this->files_.addFolder(this->at("empty"));
  this->files_.addFile(this->at("users\\alice"), "x");
  this->files_.addFile(this->at("plain.txt"), "x");

  struct Case {
    std::string prefix;
    bool expected;
  };
  const Case cases[] = {
      {this->at("users"), true},        {this->at("users\\"), true},
      {this->at("empty"), true},        {this->at("empty\\"), true},
      {this->at("use"), true},          {this->at("users\\al"), true},
      {this->at("users\\bob"), false},  {this->at("nothing"), false},
      {this->at("nothing\\"), false},   {this->at("plain.txt"), true},
      {this->at("plain.txt\\"), false}, {this->at("nothing\\deeper\\"), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, p.anyEntryMatches(c.prefix)) << c.prefix;
  }
}

// --- The overlay only ---------------------------------------------------

// Whatever is written through the overlay, the folder underneath keeps its
// files and bytes; a file changed in memory gets a new identity with every
// change, even at the same size.
TEST(OverlayPlatformTest, ChangesStayInMemoryAndTheDiskIsUntouched) {
  RealFiles disk;
  const std::string store = disk.root() + "\\Quarvel.dat";
  const std::string copy = disk.root() + "\\passwd.tmp";
  disk.addFile(store, "old\r\n");
  OverlayPlatform overlay(disk.platform());

  FileIdentity on_disk, first, second;
  ASSERT_TRUE(overlay.fileIdentity(store, &on_disk));
  ASSERT_EQ(FileError::kNone, overlay.replaceFile(store, "new\r\n"));
  ASSERT_TRUE(overlay.fileIdentity(store, &first));
  ASSERT_EQ(FileError::kNone, overlay.replaceFile(store, "NEW\r\n"));
  ASSERT_TRUE(overlay.fileIdentity(store, &second));
  EXPECT_FALSE(first == on_disk);
  EXPECT_FALSE(second == first);
  EXPECT_EQ(5u, second.size);

  EXPECT_EQ(FileError::kNone, overlay.appendFile(disk.root() + "\\Quarvel.log", "line\r\n"));
  EXPECT_EQ(FileError::kNone, overlay.copyFile(store, copy));
  std::string read;
  EXPECT_EQ(FileError::kNone, overlay.readFile(copy, &read));
  EXPECT_EQ("NEW\r\n", read);
  EXPECT_EQ(FileError::kNone, overlay.removeFile(copy));
  EXPECT_EQ(FileError::kNotFound, overlay.probeFile(copy));
  EXPECT_EQ(FileError::kNone, overlay.removeFile(store));
  EXPECT_EQ(FileError::kNotFound, overlay.readFile(store, &read));

  EXPECT_EQ("old\r\n", disk.file(store));
  EXPECT_EQ(std::vector<std::string>{"Quarvel.dat"}, disk.filesIn(disk.root()));
}

// --- The real platform only -------------------------------------------

TEST(RealPlatformContract, ReplacingAFolderFailsAndLeavesNoTemporaryFile) {
  RealFiles files;
  Platform& p = files.platform();
  const std::string store = files.root() + "\\Quarvel.dat";
  files.addFolder(store);
  files.addFile(store + "\\inside", "kept");
  EXPECT_EQ(FileError::kAccessDenied, p.replaceFile(store, "new\r\n"));
  EXPECT_EQ("kept", files.file(store + "\\inside"));
  EXPECT_EQ(std::vector<std::string>{}, files.filesIn(files.root()));
}

// Server files may be read-only; their temporary copies must still be
// removable and replaceable, or every later lookup would fail.
TEST(RealPlatformContract, CopyOfAReadOnlyFileCanBeReplacedAndRemoved) {
  RealFiles files;
  Platform& p = files.platform();
  const std::string source = files.root() + "\\passwd";
  const std::string copy = files.root() + "\\passwd.tmp";
  files.addFile(source, "root:x\r\n");
  files.setReadOnly(source, true);
  ASSERT_EQ(FileError::kNone, p.copyFile(source, copy));
  ASSERT_EQ(FileError::kNone, p.copyFile(source, copy));
  EXPECT_EQ("root:x\r\n", files.file(copy));
  EXPECT_EQ(FileError::kNone, p.removeFile(copy));
  files.setReadOnly(source, false);
}

TEST(RealPlatformContract, ProcessFacts) {
  Platform& p = realPlatform();
  const std::string name = "QUARVEL_CONTRACT_VARIABLE";
  p.setEnvironment(name, "a value with  blanks");
  EXPECT_EQ("a value with  blanks", p.environment(name));
  p.setEnvironment(name, "");
  EXPECT_EQ("", p.environment(name));

  std::string program = p.programFolder();
  ASSERT_FALSE(program.empty());
  EXPECT_TRUE(program.back() == '\\' || program.back() == '/') << program;
  EXPECT_TRUE(p.anyEntryMatches(program)) << program;

  std::string current = p.currentFolder();
  ASSERT_FALSE(current.empty());
  if (current.size() > 3) {
    EXPECT_TRUE(current.back() != '\\' && current.back() != '/') << current;
  }

  LocalDate today = p.today();
  EXPECT_GE(today.year, 2000);
  EXPECT_TRUE(today.month >= 1 && today.month <= 12);
  EXPECT_TRUE(today.day >= 1 && today.day <= 31);
}

using Clock = std::chrono::steady_clock;

long millisecondsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Up to `count` bytes, as far as they arrive in time.
std::string receiveText(TcpConnection& connection, std::size_t count) {
  std::string got;
  char buffer[64];
  while (got.size() < count) {
    long n = connection.receive(buffer, sizeof buffer, 2000);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

TEST(RealPlatformContract, ConnectToAClosedPortFailsWithAnErrorNumber) {
  int port = 0;
  {
    auto listener = listenOnLoopback();
    ASSERT_NE(nullptr, listener);
    port = listener->port();
  }  // closed again: nothing listens on the port now

  int error_number = 0;
  Clock::time_point start = Clock::now();
  auto connection = realPlatform().connectTcp("127.0.0.1", port, 3000, &error_number);
  EXPECT_EQ(nullptr, connection);
  EXPECT_NE(0, error_number);
  EXPECT_LT(millisecondsSince(start), 4000);
}

TEST(RealPlatformContract, ConnectionSendsReceivesEndsSendingAndSeesThePeerClose) {
  // "localhost" may name ::1 first, where nothing listens: the next address
  // must be tried.
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    auto listener = listenOnLoopback();
    ASSERT_NE(nullptr, listener);
    int error_number = 0;
    auto connection = realPlatform().connectTcp(host, listener->port(), 3000, &error_number);
    ASSERT_NE(nullptr, connection) << error_number;
    auto peer = listener->accept(3000);
    ASSERT_NE(nullptr, peer);

    char buffer[64];
    Clock::time_point start = Clock::now();
    EXPECT_EQ(-1, connection->receive(buffer, sizeof buffer, 200));  // nothing yet
    long waited = millisecondsSince(start);
    EXPECT_GE(waited, 150);
    EXPECT_LT(waited, 2000);

    ASSERT_TRUE(peer->sendAll("220 ready\r\n", 11));
    EXPECT_EQ("220 ready\r\n", receiveText(*connection, 11));
    EXPECT_TRUE(connection->sendAll("QUIT\r\n", 6));
    EXPECT_EQ("QUIT\r\n", receiveText(*peer, 6));

    // Ending the sending side: the peer reads the end, and can still answer.
    connection->endSending();
    EXPECT_EQ(0, peer->receive(buffer, sizeof buffer, 2000));
    ASSERT_TRUE(peer->sendAll("221 bye\r\n", 9));
    EXPECT_EQ("221 bye\r\n", receiveText(*connection, 9));

    peer.reset();
    EXPECT_EQ(0, connection->receive(buffer, sizeof buffer, 2000));
  }
}

// A run sets or removes SystemRoot at start-up; Winsock finds its provider
// through that variable, so connections must not depend on it afterwards.
TEST(RealPlatformContract, ConnectsAfterSystemRootIsRemoved) {
  Platform& p = realPlatform();
  const std::string saved = p.environment("SystemRoot");
  p.setEnvironment("SystemRoot", "");
  auto listener = listenOnLoopback();
  int error_number = 0;
  auto connection = listener == nullptr
                        ? nullptr
                        : p.connectTcp("127.0.0.1", listener->port(), 3000, &error_number);
  p.setEnvironment("SystemRoot", saved);
  ASSERT_NE(nullptr, listener);
  EXPECT_NE(nullptr, connection) << error_number;
}

#ifdef _WIN32
// The window library is loaded by the first text shown, not at start-up, so
// the first call must already reach the window; a window of 0 is none.
TEST(RealPlatformContract, ShowsTheTextInTheWindowGiven) {
  // A message-only window: one that needs no display.
  HWND window =
      CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  realPlatform().setWindowText(0, "nothing");
  realPlatform().setWindowText(reinterpret_cast<std::intptr_t>(window), "8192 of 20000");
  char text[64] = {};
  GetWindowTextA(window, text, sizeof text);
  DestroyWindow(window);
  EXPECT_STREQ("8192 of 20000", text);
}
#endif

}  // namespace
}  // namespace quarvel
