// An in-memory platform for unit tests: files, folders, variables, the date
// and standard output live in maps and strings; writes can be made to fail.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quarvel {

class FakePlatform : public Platform {
 public:
  // The current folder C:\site and the program folder C:\prog\ exist.
  FakePlatform();

  // --- Test set-up and inspection --------------------------------------
  // Paths are normalised (backslashes to slashes, doubled separators
  // folded); adding a file adds its folders.
  void addFile(const std::string& path, const std::string& contents);
  void addFolder(const std::string& path);
  bool hasFile(const std::string& path) const;
  std::string file(const std::string& path) const;
  // Files whose opening is denied (as if another program held them).
  void lockFile(const std::string& path) { locked_.insert(normalise(path)); }
  // Every replaceFile fails from now on (a full disk), leaving files as
  // they are.
  void failReplaces(bool fail) { fail_replaces_ = fail; }
  // Every appendFile fails from now on (a full disk), adding nothing.
  void failAppends(bool fail) { fail_appends_ = fail; }
  std::vector<std::string> filesIn(const std::string& folder) const;

  std::string command_line;
  std::map<std::string, std::string> variables;  // exact names
  std::string current_folder = "C:\\site";
  std::string program_folder = "C:\\prog\\";
  LocalDate date = {2026, 12, 15};
  std::string output;                     // everything written to standard output
  std::vector<std::string> writes;        // one entry per write call
  std::vector<long> error_codes;          // showErrorCode calls
  std::vector<std::string> error_lines;   // writeErrorLine calls
  std::int64_t utc_seconds = 1797292800;  // 2026-12-15 00:00:00 UTC
  bool end_of_file_character = true;      // code 26 ends a text, as on Windows
  bool names_ignore_case = true;          // file names as on Windows
  // When set, the write with this number (replaceFile, writeNewFile and
  // renameFile, counted from 1 over the platform's life) and every later
  // one fail, as if the run had been stopped at that write.
  int fail_replaces_from = 0;
  int replace_count = 0;
  // How often each file (normalised path) was copied: server files are
  // read through a copy.
  std::map<std::string, int> copies;
  // What went to disk, in order: "replace PATH" for each replaceFile, "sync
  // PATH" for each syncFile, "new PATH" for each writeNewFile, "rename FROM
  // TO" for each renameFile (normalised paths).
  std::vector<std::string> disk_order;
  bool refuse_lock = false;  // acquireInstanceLock fails, as it may for real
  std::vector<std::pair<std::intptr_t, std::string>> window_texts;
  int lock_count = 0;
  std::int64_t clock_offset_ms = 0;

  // The clock behind monotonicMs: a real steady clock moved on by
  // `clock_offset_ms`, until setClock is called; from then on exactly the
  // time set, which only setClock and advanceClock move, so that a test can
  // make time pass (a time-out run out) without waiting.
  void setClock(std::int64_t ms) {
    clock_set_ = true;
    clock_ms_ = ms;
  }
  void advanceClock(std::int64_t ms) { (clock_set_ ? clock_ms_ : clock_offset_ms) += ms; }

  static std::string normalise(const std::string& path);

  // --- Platform --------------------------------------------------------
  std::string commandLine() override { return command_line; }
  std::string environment(const std::string& name) override;
  void setEnvironment(const std::string& name, const std::string& value) override;
  std::string currentFolder() override { return current_folder; }
  std::string programFolder() override { return program_folder; }
  std::unique_ptr<InstanceLock> acquireInstanceLock() override;
  void writeOutput(const std::string& bytes) override;
  void showErrorCode(long code) override { error_codes.push_back(code); }
  void writeErrorLine(const std::string& text) override { error_lines.push_back(text); }
  bool endOfFileCharacterEndsText() override { return end_of_file_character; }
  bool fileNamesIgnoreCase() override { return names_ignore_case; }
  LocalDate today() override { return date; }
  // See setClock.
  std::int64_t monotonicMs() override;
  std::int64_t utcSeconds() override { return utc_seconds; }
  FileError probeFile(const std::string& path) override;
  FileError readFile(const std::string& path, std::string* contents) override;
  bool fileSize(const std::string& path, std::uint64_t* size) override;
  bool fileIdentity(const std::string& path, FileIdentity* identity) override;
  FileError copyFile(const std::string& from, const std::string& to) override;
  FileError removeFile(const std::string& path) override;
  FileError createFolder(const std::string& path) override;
  FileError replaceFile(const std::string& path, const std::string& contents) override;
  FileError writeNewFile(const std::string& path, const std::string& contents,
                         const std::string& permissions_of) override;
  FileError renameFile(const std::string& from, const std::string& to) override;
  FileError syncFolder(const std::string& folder) override;
  FileError appendFile(const std::string& path, const std::string& bytes) override;
  FileError syncFile(const std::string& path) override;
  bool anyEntryMatches(const std::string& prefix) override;
  std::unique_ptr<BinaryFile> openForReading(const std::string& path, FileError* error) override;
  std::unique_ptr<BinaryFile> createForWriting(const std::string& path, FileError* error) override;
  std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port, int timeout_ms,
                                            int* error_number) override;
  void setWindowText(std::intptr_t window, const std::string& text) override {
    window_texts.emplace_back(window, text);
  }

 private:
  FileError openError(const std::string& path) const;
  bool folderExists(const std::string& path) const;

  void changed(const std::string& normalised_path) { versions_[normalised_path] = ++last_version_; }

  std::map<std::string, std::string> files_;
  std::map<std::string, std::int64_t> versions_;  // bumped by every change
  std::int64_t last_version_ = 0;
  std::set<std::string> folders_;
  std::set<std::string> locked_;
  // A write counted as the stopped-run settings above say: kOther when it
  // is to fail.
  FileError countWrite();
  bool fail_replaces_ = false;
  bool fail_appends_ = false;
  bool clock_set_ = false;
  std::int64_t clock_ms_ = 0;
};

}  // namespace quarvel
