// Everything the program needs from the operating system, behind one
// interface. platform_posix.cc and platform_windows.cc implement it (the build
// links exactly one); fake_platform.h keeps files, variables and the date in
// memory for unit tests. No other file of the program includes a system header
// or tests the platform with the preprocessor.
//
// Paths are passed as the program builds them, with backslashes. The POSIX
// implementation maps every backslash to a slash just before a path reaches
// the file system; the Windows implementation uses them as they are.
//
// Only regular files are opened. A FIFO, a device or a socket where a file is
// expected would block the run (and every run queued behind its lock) or
// feed it without end; it is refused as kAccessDenied, and the first refusal
// of each path in a run writes one line naming it on standard error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarvel {

// Why a file operation failed. config/file_errors.h turns these into the
// numbers the program prints (53, 76, 70, ...).
enum class FileError {
  kNone = 0,
  kNotFound,      // the file does not exist
  kPathNotFound,  // a folder on the way does not exist
  kAccessDenied,  // the file exists but may not be opened (also: held locked)
  kOther,
};

// What tells two versions of a file apart without reading it: its length
// and the time of its last change (in the platform's own units).
struct FileIdentity {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  bool operator==(const FileIdentity& other) const {
    return size == other.size && modified == other.modified;
  }
};

struct LocalDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

// A file opened for block-wise binary reading or writing (FTP transfers).
// Closed when destroyed.
class BinaryFile {
 public:
  virtual ~BinaryFile() = default;
  // Reads up to `size` bytes: the count read, 0 at the end, -1 on an error.
  virtual long read(char* buffer, std::size_t size) = 0;
  // Writes all `size` bytes; false on an error.
  virtual bool write(const char* data, std::size_t size) = 0;
};

// One TCP client connection. Closed when destroyed.
class TcpConnection {
 public:
  virtual ~TcpConnection() = default;
  // Sends all bytes; false when the platform reports an error.
  virtual bool sendAll(const char* data, std::size_t size) = 0;
  // Waits up to `timeout_ms` for data and returns what has arrived, at most
  // `size` bytes: the count (> 0), 0 when the peer closed the connection,
  // -1 on a time-out or an error.
  virtual long receive(char* buffer, std::size_t size, int timeout_ms) = 0;
  // Tells the peer that nothing more will be sent (a FIN); receiving goes on.
  virtual void endSending() {}
};

// The system-wide instance lock. Held while the object lives; released when
// it is destroyed and also, by the system, when the process ends in any way
// (crash and kill included).
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Process ---------------------------------------------------------

  // The command line after the program's name and the blanks behind it.
  // Windows: the raw process command line cut by commandLineAfterProgramName
  // (platform/command_line.h). POSIX: the arguments joined by single blanks,
  // verbatim (an empty argument gives an empty word).
  virtual std::string commandLine() = 0;

  // The caller's variable `name`; empty when it is not set. Windows matches
  // the name without regard to case; POSIX reads exactly this name.
  virtual std::string environment(const std::string& name) = 0;

  // Sets a variable of this process; an empty value removes it.
  virtual void setEnvironment(const std::string& name, const std::string& value) = 0;

  // The current working folder, without a final separator (except a root).
  virtual std::string currentFolder() = 0;

  // The folder of the program's own file, with its final separator.
  virtual std::string programFolder() = 0;

  // Blocks, without using the processor and without a time limit, until no
  // other run holds the lock, then takes it. A holder that ends in any way
  // (crash included) lets the next waiter proceed. Every caller of one
  // installation meets the same lock, whatever its environment. When the
  // lock cannot be made or taken: null, after one line on standard error
  // naming the lock and the reason; the run must then do nothing, never go
  // on unserialised.
  virtual std::unique_ptr<InstanceLock> acquireInstanceLock() = 0;

  // Writes the bytes to standard output in one write call, unbuffered.
  virtual void writeOutput(const std::string& bytes) = 0;

  // Shows a failure that has no other channel: the numeric code as one line
  // on standard error (never a dialog: runs are started by a server).
  virtual void showErrorCode(long code) = 0;

  // Writes the text and CR LF to standard error in one write: notices for
  // the operator that must not mix with the lines callers read on stdout.
  virtual void writeErrorLine(const std::string& text) = 0;

  // Today's local date.
  virtual LocalDate today() = 0;

  // Milliseconds of a clock that only moves forward (for time limits).
  virtual std::int64_t monotonicMs() = 0;

  // Seconds since 1970-01-01 00:00:00 UTC (for time stamps).
  virtual std::int64_t utcSeconds() = 0;

  // --- Files -----------------------------------------------------------

  // Opens the file for reading and closes it again: kNone when that worked.
  virtual FileError probeFile(const std::string& path) = 0;

  // Whether a character of code 26 ends a text file when it is read
  // (Windows text mode gives it that meaning; POSIX does not).
  virtual bool endOfFileCharacterEndsText() = 0;

  // Whether the file system takes two names that differ only in letter
  // case for the same file (Windows does; POSIX file systems do not).
  virtual bool fileNamesIgnoreCase() = 0;

  // Reads the whole file as bytes.
  virtual FileError readFile(const std::string& path, std::string* contents) = 0;

  // The file's length in bytes; false when it cannot be opened.
  virtual bool fileSize(const std::string& path, std::uint64_t* size) = 0;

  // The file's identity; false when it cannot be opened or is no file.
  virtual bool fileIdentity(const std::string& path, FileIdentity* identity) = 0;

  // Copies `from` to `to`, overwriting `to`.
  virtual FileError copyFile(const std::string& from, const std::string& to) = 0;

  virtual FileError removeFile(const std::string& path) = 0;

  // Makes the folder (its parent must exist); kNone when it is there now.
  virtual FileError createFolder(const std::string& path) = 0;

  // Replaces the file's whole contents atomically: the bytes go to a
  // temporary file in the same folder, which is flushed to disk and renamed
  // over `path`. Whatever happens, `path` afterwards holds either its old
  // contents (or is still missing) or the new ones, never a part; a
  // successful call leaves no temporary file behind. The new file keeps the
  // old one's permissions.
  virtual FileError replaceFile(const std::string& path, const std::string& contents) = 0;

  // The steps of a commit over several files (stores/commit_record.h).
  // writeNewFile makes a fresh regular file holding exactly `contents`, on
  // disk when it returns (whatever was at `path` before is removed first);
  // it takes the permissions of `permissions_of` when that is a file.
  // renameFile moves `from` over `to` atomically; syncFolder returns once
  // the folder's entries (renames, new files) are on disk.
  virtual FileError writeNewFile(const std::string& path, const std::string& contents,
                                 const std::string& permissions_of) = 0;
  virtual FileError renameFile(const std::string& from, const std::string& to) = 0;
  virtual FileError syncFolder(const std::string& folder) = 0;

  // Appends the bytes at the end of the file, creating it when missing. They
  // are handed to the system before the call returns, so they outlive the
  // program however it ends; syncFile puts them on disk. A failed call may
  // leave part of the bytes behind but never touches what the file held
  // before.
  virtual FileError appendFile(const std::string& path, const std::string& bytes) = 0;

  // Returns once everything written to the file is on disk (it survives a
  // power cut too).
  virtual FileError syncFile(const std::string& path) = 0;

  // A directory search for `prefix` followed by "*", folders included: true
  // when it finds any entry. For "C:\a\b" the entry b of C:\a (or any entry
  // whose name begins with b) matches; for "C:\a\b\" any entry inside b.
  virtual bool anyEntryMatches(const std::string& prefix) = 0;

  // Opens an existing regular file for binary reading; null and *error on
  // failure.
  virtual std::unique_ptr<BinaryFile> openForReading(const std::string& path, FileError* error) = 0;

  // Creates (or empties) a regular file for binary writing; null and *error
  // on failure.
  virtual std::unique_ptr<BinaryFile> createForWriting(const std::string& path,
                                                       FileError* error) = 0;

  // --- Network and progress --------------------------------------------

  // Opens a TCP connection; `timeout_ms` bounds name lookup and connect.
  // On failure: null, and *error_number holds the platform's error number
  // (errno on POSIX, the Winsock error on Windows; never 0).
  virtual std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port,
                                                    int timeout_ms, int* error_number) = 0;

  // Replaces the text of the caller's progress window (a window handle on
  // Windows; POSIX has no such window and does nothing).
  virtual void setWindowText(std::intptr_t window, const std::string& text) = 0;
};

// The platform of the machine the program runs on (one per process). main
// calls initRealPlatform with its arguments first (POSIX builds the command
// line from them; Windows reads the raw command line and ignores them).
void initRealPlatform(int argc, char** argv);
Platform& realPlatform();

}  // namespace quarvel
