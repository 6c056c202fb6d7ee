// Another platform's files with every change kept in memory: a write, an
// append, a copy or a removal is seen by every later read through this
// object, as on disk, while the files underneath are never touched. What is
// not file work (variables, output, the date, the clock, connections, the
// lock) passes through to the platform underneath; a caller that must keep
// those to itself as well overrides them.
//
// Paths are matched as given (the program builds each path one way). A
// folder cannot be made in memory: writes go to folders that exist
// underneath, and fail as they would there when the folder is missing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace quarvel {

class OverlayPlatform : public Platform {
 public:
  explicit OverlayPlatform(Platform& below) : below_(below) {}

  // A file as this overlay holds it: written (with its bytes) or removed.
  struct Change {
    bool removed = false;
    std::string contents;
    std::int64_t version = 0;  // rises with every change of any file
  };
  // Every file changed so far, by path.
  const std::map<std::string, Change>& changes() const { return changes_; }

  // --- Passed through --------------------------------------------------
  std::string commandLine() override { return below_.commandLine(); }
  std::string environment(const std::string& name) override { return below_.environment(name); }
  void setEnvironment(const std::string& name, const std::string& value) override {
    below_.setEnvironment(name, value);
  }
  std::string currentFolder() override { return below_.currentFolder(); }
  std::string programFolder() override { return below_.programFolder(); }
  std::unique_ptr<InstanceLock> acquireInstanceLock() override {
    return below_.acquireInstanceLock();
  }
  void writeOutput(const std::string& bytes) override { below_.writeOutput(bytes); }
  void showErrorCode(long code) override { below_.showErrorCode(code); }
  void writeErrorLine(const std::string& text) override { below_.writeErrorLine(text); }
  LocalDate today() override { return below_.today(); }
  std::int64_t monotonicMs() override { return below_.monotonicMs(); }
  std::int64_t utcSeconds() override { return below_.utcSeconds(); }
  bool endOfFileCharacterEndsText() override { return below_.endOfFileCharacterEndsText(); }
  bool fileNamesIgnoreCase() override { return below_.fileNamesIgnoreCase(); }
  std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port, int timeout_ms,
                                            int* error_number) override {
    return below_.connectTcp(host, port, timeout_ms, error_number);
  }
  void setWindowText(std::intptr_t window, const std::string& text) override {
    below_.setWindowText(window, text);
  }

  // --- Files, in memory over the files below ----------------------------
  FileError probeFile(const std::string& path) override;
  FileError readFile(const std::string& path, std::string* contents) override;
  bool fileSize(const std::string& path, std::uint64_t* size) override;
  // A file changed in memory: its size, and its version as the time of its
  // last change (negative, so it never equals a time the files below give).
  bool fileIdentity(const std::string& path, FileIdentity* identity) override;
  FileError copyFile(const std::string& from, const std::string& to) override;
  FileError removeFile(const std::string& path) override;
  // Only a folder that is already there (none can be made in memory).
  FileError createFolder(const std::string& path) override;
  FileError replaceFile(const std::string& path, const std::string& contents) override;
  FileError writeNewFile(const std::string& path, const std::string& contents,
                         const std::string&) override {
    return replaceFile(path, contents);
  }
  FileError renameFile(const std::string& from, const std::string& to) override;
  FileError syncFolder(const std::string&) override { return FileError::kNone; }
  FileError appendFile(const std::string& path, const std::string& bytes) override;
  FileError syncFile(const std::string& path) override { return probeFile(path); }
  // The entries below, and the files written in memory; a file removed in
  // memory still matches while the entry below is there.
  bool anyEntryMatches(const std::string& prefix) override;
  std::unique_ptr<BinaryFile> openForReading(const std::string& path, FileError* error) override;
  std::unique_ptr<BinaryFile> createForWriting(const std::string& path, FileError* error) override;

 private:
  class MemoryWriter;

  const Change* find(const std::string& path) const;
  // Whether a file may be written at `path`: kNone, kPathNotFound when its
  // folder is missing, or the error the files below give for a path that
  // is not a file (a folder, a file held by another program).
  FileError writable(const std::string& path);
  void change(const std::string& path, bool removed, std::string contents);

  Platform& below_;
  std::map<std::string, Change> changes_;
  std::int64_t last_version_ = 0;
};

}  // namespace quarvel
