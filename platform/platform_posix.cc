// The POSIX platform: Linux and friends.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "platform/kill_switch.h"
#include "platform/platform.h"
#include "platform/socket_connection.h"

extern char** environ;

namespace quarvel {
namespace {

// Paths are built with backslashes; the file system wants slashes.
std::string nativePath(const std::string& path) {
  std::string p = path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

std::string parentFolder(const std::string& native) {
  std::size_t slash = native.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

bool isFolder(const std::string& native) {
  struct stat st;
  return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The one place where errno becomes a FileError. A missing file whose folder
// is missing too is a missing path, as Windows tells the two apart.
FileError fileError(int error, const std::string& native) {
  switch (error) {
    case ENOENT:
      return isFolder(parentFolder(native)) ? FileError::kNotFound : FileError::kPathNotFound;
    case ENOTDIR:
      return FileError::kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return FileError::kAccessDenied;
    default:
      return FileError::kOther;
  }
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

class PosixBinaryFile : public BinaryFile {
 public:
  explicit PosixBinaryFile(int fd) : fd_(fd) {}
  ~PosixBinaryFile() override { ::close(fd_); }
  long read(char* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_, buffer, size);
      if (n < 0 && errno == EINTR) continue;
      return static_cast<long>(n);
    }
  }
  bool write(const char* data, std::size_t size) override { return writeAll(fd_, data, size); }

 private:
  int fd_;
};

class PosixTcpConnection : public TcpConnection {
 public:
  explicit PosixTcpConnection(int fd) : fd_(fd) {}
  ~PosixTcpConnection() override { ::close(fd_); }
  bool sendAll(const char* data, std::size_t size) override {
    // A send asks for an answer: what comes next is no stream yet.
    streaming_ = false;
    while (size > 0) {
      ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  long receive(char* buffer, std::size_t size, int timeout_ms) override {
    // What has arrived already is taken at once: one system call, not a
    // poll and a recv, while a transfer keeps the socket full.
    long n = receiveNow(buffer, size);
    if (n == kNothingYet && streaming_ && timeout_ms > 0) {
      // While data flows, the next piece is a few microseconds away: asking
      // again for a moment beats going to sleep. A client that sleeps
      // between pieces leaves its core idle, and the sending server's
      // processes (vsftpd hands each piece from one to another) are then
      // spread over both cores and wait on each other: TLS downloads from
      // vsftpd took some 15 % longer.
      const auto until = std::chrono::steady_clock::now() + kStreamSpin;
      do {
        n = receiveNow(buffer, size);
      } while (n == kNothingYet && std::chrono::steady_clock::now() < until);
    }
    if (n == kNothingYet) {
      struct pollfd pfd = {fd_, POLLIN, 0};
      int ready;
      do {
        ready = ::poll(&pfd, 1, timeout_ms);
      } while (ready < 0 && errno == EINTR);
      if (ready <= 0) return -1;
      do {
        n = ::recv(fd_, buffer, size, 0);
      } while (n < 0 && errno == EINTR);
      if (n < 0) n = -1;
    }
    streaming_ = n > 0;
    return n;
  }
  void endSending() override { ::shutdown(fd_, SHUT_WR); }

 private:
  static constexpr long kNothingYet = -2;
  static constexpr std::chrono::microseconds kStreamSpin{100};

  // What has arrived, without waiting: the count, 0 at the end, -1 on an
  // error, kNothingYet when nothing is there.
  long receiveNow(char* buffer, std::size_t size) {
    ssize_t n;
    do {
      n = ::recv(fd_, buffer, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<long>(n);
    return errno == EAGAIN || errno == EWOULDBLOCK ? kNothingYet : -1;
  }

  int fd_;
  bool streaming_ = false;  // the last receive took data
};

// flock on a file in the program's folder: the kernel releases it when the
// holder ends in any way, and a waiter sleeps in flock.
class PosixInstanceLock : public InstanceLock {
 public:
  explicit PosixInstanceLock(int fd) : fd_(fd) {}
  ~PosixInstanceLock() override { ::close(fd_); }

 private:
  int fd_;
};

// Opens the lock file, creating it readable and writable for everyone: the
// server, the scheduler and the bot may run under different accounts, and a
// file that one of them could not open would leave it without the lock. The
// mode is set after creation, so the caller's umask cannot narrow it. An
// account that may not write the file still locks it read-only.
int openLockFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0) {
    fchmod(fd, 0666);
    return fd;
  }
  if (errno != EEXIST) return -1;
  fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) {
    fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  }
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;  // "not a regular file" has no errno of its own
    return -1;
  }
  return fd;
}

int connectWithTimeout(const struct addrinfo* ai, int timeout_ms, int* error) {
  int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
  if (fd < 0) {
    *error = errno;
    return -1;
  }
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
  if (rc < 0 && errno == EINPROGRESS) {
    struct pollfd pfd = {fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&pfd, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
      *error = ready == 0 ? ETIMEDOUT : errno;
      ::close(fd);
      return -1;
    }
    int so_error = 0;
    socklen_t len = sizeof so_error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &len);
    if (so_error != 0) {
      *error = so_error;
      ::close(fd);
      return -1;
    }
  } else if (rc < 0) {
    *error = errno;
    ::close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, flags);
  // A peer that stops reading cannot hold a send for longer either.
  struct timeval send_timeout = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof send_timeout);
  // Every send goes out at once: a TLS record or the last piece of a file
  // smaller than a segment is not held back until the peer acknowledges the
  // data before it.
  int no_delay = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &no_delay, sizeof no_delay);
  return fd;
}

class PosixPlatform : public Platform {
 public:
  PosixPlatform(int argc, char** argv) : kill_switch_(std::getenv(kKillSwitchVariable)) {
    for (int i = 1; i < argc; ++i) {
      if (i > 1) command_line_ += ' ';
      command_line_ += argv[i];
    }
  }

  std::string commandLine() override { return command_line_; }

  std::string environment(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    return value == nullptr ? std::string() : std::string(value);
  }

  void setEnvironment(const std::string& name, const std::string& value) override {
    if (value.empty()) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }

  std::string currentFolder() override {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) {
        // The folder was removed under the run: keep its name, as Windows
        // does, so files in it are reported as a missing path.
        ssize_t n = readlink("/proc/self/cwd", buffer.data(), buffer.size() - 1);
        if (n <= 0) return std::string();
        std::string path(buffer.data(), static_cast<std::size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() &&
            path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
          path.erase(path.size() - deleted.size());
        }
        return path;
      }
      buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
  }

  std::string programFolder() override {
    std::vector<char> buffer(4096);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return std::string();
    std::string path(buffer.data(), static_cast<std::size_t>(n));
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  }

  std::unique_ptr<InstanceLock> acquireInstanceLock() override {
    std::string folder = programFolder();
    if (folder.empty()) {
      writeErrorLine(
          "Quarvel: cannot find the program's folder for the instance lock; "
          "the run did nothing");
      return nullptr;
    }
    std::string path = folder + kInstanceLockFileName;
    int fd = openLockFile(path);
    if (fd >= 0) {
      int rc;
      while ((rc = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
      }
      if (rc == 0) return std::make_unique<PosixInstanceLock>(fd);
      int saved = errno;
      ::close(fd);
      errno = saved;
    }
    std::string reason = errno == EINVAL ? "not a regular file" : std::strerror(errno);
    writeErrorLine("Quarvel: cannot take the instance lock " + path + " (" + reason +
                   "); the run did nothing");
    return nullptr;
  }

  void writeOutput(const std::string& bytes) override {
    writeAll(STDOUT_FILENO, bytes.data(), bytes.size());
  }

  void showErrorCode(long code) override { writeErrorLine(std::to_string(code)); }

  void writeErrorLine(const std::string& text) override {
    std::string line = text + "\r\n";
    writeAll(STDERR_FILENO, line.data(), line.size());
  }

  bool endOfFileCharacterEndsText() override { return false; }
  bool fileNamesIgnoreCase() override { return false; }

  LocalDate today() override {
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    LocalDate date;
    date.year = local.tm_year + 1900;
    date.month = local.tm_mon + 1;
    date.day = local.tm_mday;
    return date;
  }

  std::int64_t monotonicMs() override {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  }

  std::int64_t utcSeconds() override { return static_cast<std::int64_t>(time(nullptr)); }

  FileError probeFile(const std::string& path) override {
    FileError error = FileError::kNone;
    int fd = openRegular(nativePath(path), &error);
    if (fd >= 0) ::close(fd);
    return error;
  }

  FileError readFile(const std::string& path, std::string* contents) override {
    FileError error = FileError::kNone;
    std::uint64_t size = 0;
    int fd = openRegular(nativePath(path), &error, &size);
    if (fd < 0) return error;
    auto file = std::make_unique<PosixBinaryFile>(fd);
    contents->clear();
    // Room for the whole file at once, so that a large store is held once
    // and not in a buffer grown by doubling.
    contents->reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    for (;;) {
      long n = file->read(buffer, sizeof buffer);
      if (n < 0) return FileError::kOther;
      if (n == 0) break;
      contents->append(buffer, static_cast<std::size_t>(n));
    }
    return FileError::kNone;
  }

  bool fileSize(const std::string& path, std::uint64_t* size) override {
    FileError error = FileError::kNone;
    int fd = openRegular(nativePath(path), &error, size);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }

  bool fileIdentity(const std::string& path, FileIdentity* identity) override {
    struct stat st;
    if (::stat(nativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    identity->size = static_cast<std::uint64_t>(st.st_size);
    identity->modified =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
  }

  FileError copyFile(const std::string& from, const std::string& to) override {
    FileError error = FileError::kNone;
    auto source = openForReading(from, &error);
    if (!source) return error;
    auto target = createForWriting(to, &error);
    if (!target) return error;
    char buffer[65536];
    for (;;) {
      long n = source->read(buffer, sizeof buffer);
      if (n < 0) return FileError::kOther;
      if (n == 0) return FileError::kNone;
      if (!target->write(buffer, static_cast<std::size_t>(n))) return FileError::kOther;
    }
  }

  FileError removeFile(const std::string& path) override {
    beforeDiskChange();
    std::string native = nativePath(path);
    if (::unlink(native.c_str()) != 0) return fileError(errno, native);
    return FileError::kNone;
  }

  FileError createFolder(const std::string& path) override {
    std::string native = nativePath(path);
    struct stat existing;
    if (::mkdir(native.c_str(), 0755) == 0) return FileError::kNone;
    int saved = errno;
    if (saved == EEXIST && ::stat(native.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
      return FileError::kNone;
    }
    return fileError(saved, native);
  }

  FileError writeNewFile(const std::string& path, const std::string& contents,
                         const std::string& permissions_of) override {
    beforeDiskChange();
    std::string native = nativePath(path);
    // As in replaceFile: never reuse what is under the name.
    ::unlink(native.c_str());
    int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return fileError(errno, native);
    struct stat old;
    bool ok = true;
    if (::stat(nativePath(permissions_of).c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
      ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && writeAll(fd, contents.data(), contents.size()) && ::fsync(fd) == 0;
    int saved = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok) return FileError::kNone;
    ::unlink(native.c_str());
    return fileError(saved, native);
  }

  FileError renameFile(const std::string& from, const std::string& to) override {
    beforeDiskChange(true);
    std::string source = nativePath(from);
    std::string target = nativePath(to);
    if (::rename(source.c_str(), target.c_str()) != 0) return fileError(errno, source);
    return FileError::kNone;
  }

  FileError syncFolder(const std::string& folder) override {
    std::string native = nativePath(folder);
    int dir = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return fileError(errno, native);
    bool ok = ::fsync(dir) == 0;
    int saved = errno;
    ::close(dir);
    return ok ? FileError::kNone : fileError(saved, native);
  }

  FileError replaceFile(const std::string& path, const std::string& contents) override {
    beforeDiskChange();
    std::string native = nativePath(path);
    std::string temp = native + ".new";
    // A fresh file of our own: whatever a crash or someone else left under
    // the temporary name (a FIFO would block the open, a link would lead the
    // bytes elsewhere) is removed first, and O_EXCL refuses to reuse it.
    ::unlink(temp.c_str());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return fileError(errno, temp);
    // The replacement keeps the old file's permissions (a store made
    // read-only stays read-only).
    struct stat old;
    bool ok = true;
    if (::stat(native.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
      ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && writeAll(fd, contents.data(), contents.size()) && ::fsync(fd) == 0;
    int saved = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), native.c_str()) != 0) {
      saved = ok ? errno : saved;
      ::unlink(temp.c_str());
      return fileError(saved, native);
    }
    // Make the rename itself durable.
    int dir = ::open(parentFolder(native).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return FileError::kNone;
  }

  FileError appendFile(const std::string& path, const std::string& bytes) override {
    std::string native = nativePath(path);
    FileError error = FileError::kNone;
    int fd = openRegularForWriting(native, O_CREAT | O_APPEND, &error);
    if (fd < 0) return error;
    bool ok = writeAll(fd, bytes.data(), bytes.size());
    int saved = errno;
    ok = (::close(fd) == 0) && ok;
    return ok ? FileError::kNone : fileError(saved, native);
  }

  FileError syncFile(const std::string& path) override {
    std::string native = nativePath(path);
    FileError error = FileError::kNone;
    int fd = openRegularForWriting(native, 0, &error);
    if (fd < 0) return error;
    bool ok = ::fsync(fd) == 0;
    int saved = errno;
    ok = (::close(fd) == 0) && ok;
    return ok ? FileError::kNone : fileError(saved, native);
  }

  bool anyEntryMatches(const std::string& prefix) override {
    std::string native = nativePath(prefix);
    std::string folder;
    std::string start;
    std::size_t slash = native.find_last_of('/');
    if (slash == std::string::npos) {
      folder = ".";
      start = native;
    } else {
      folder = slash == 0 ? "/" : native.substr(0, slash);
      start = native.substr(slash + 1);
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool found = false;
    while (struct dirent* entry = readdir(dir)) {
      if (std::strncmp(entry->d_name, start.c_str(), start.size()) == 0) {
        found = true;
        break;
      }
    }
    closedir(dir);
    return found;
  }

  std::unique_ptr<BinaryFile> openForReading(const std::string& path, FileError* error) override {
    int fd = openRegular(nativePath(path), error);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixBinaryFile>(fd);
  }

  std::unique_ptr<BinaryFile> createForWriting(const std::string& path, FileError* error) override {
    std::string native = nativePath(path);
    // Not emptied before it is known to be a regular file; O_NONBLOCK keeps
    // the open of a FIFO from waiting for a reader.
    int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
      *error = errno == ENXIO ? refuse(native) : fileError(errno, native);
      return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      *error = refuse(native);
      return nullptr;
    }
    // A file just created is empty already. Emptying it anyway would make
    // ext4 write it to disk when it is closed (its guard for files
    // rewritten in place), and a temporary copy is deleted right after.
    if (st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
      *error = fileError(errno, native);
      ::close(fd);
      return nullptr;
    }
    // O_NONBLOCK stays: on a regular file it changes nothing.
    return std::make_unique<PosixBinaryFile>(fd);
  }

  std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port, int timeout_ms,
                                            int* error_number) override {
    struct addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || found == nullptr) {
      *error_number = rc == EAI_SYSTEM && errno != 0 ? errno : EHOSTUNREACH;
      return nullptr;
    }
    int error = ECONNREFUSED;
    int fd = -1;
    for (struct addrinfo* ai = found; ai != nullptr && fd < 0; ai = ai->ai_next) {
      fd = connectWithTimeout(ai, timeout_ms, &error);
    }
    freeaddrinfo(found);
    if (fd < 0) {
      *error_number = error != 0 ? error : ECONNREFUSED;
      return nullptr;
    }
    return socketConnection(fd);
  }

  void setWindowText(std::intptr_t, const std::string&) override {}

 private:
  // Ends the process as a kill would when a test asked for it (kill_switch.h).
  void beforeDiskChange(bool is_rename = false) {
    if (kill_switch_.fires(is_rename)) ::_exit(kKilledExitCode);
  }
  KillSwitch kill_switch_;

  // A regular file opened for reading, its size in *size when one is asked
  // for; -1 and *error for anything else. Opened without waiting (a FIFO
  // would block the open); O_NONBLOCK then stays, as it changes nothing on
  // a regular file.
  int openRegular(const std::string& native, FileError* error, std::uint64_t* size = nullptr) {
    int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      // ENXIO: a socket, or a device without a driver.
      *error = errno == ENXIO ? refuse(native) : fileError(errno, native);
      return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
      *error = fileError(errno, native);
      ::close(fd);
      return -1;
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      // Windows cannot open a folder as a file either; that is no news.
      *error = S_ISDIR(st.st_mode) ? FileError::kAccessDenied : refuse(native);
      return -1;
    }
    if (size != nullptr) *size = static_cast<std::uint64_t>(st.st_size);
    return fd;
  }

  // A regular file opened for writing with the extra `flags`; -1 and
  // *error for anything else. As in openRegular, the open does not wait (a
  // FIFO with no reader would hold the run, and its lock, for ever).
  int openRegularForWriting(const std::string& native, int flags, FileError* error) {
    int fd = ::open(native.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | flags, 0644);
    if (fd < 0) {
      *error = errno == ENXIO ? refuse(native) : fileError(errno, native);
      return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      *error = refuse(native);
      return -1;
    }
    return fd;
  }

  // Says once per run and path that a file that is not a regular one was
  // not opened.
  FileError refuse(const std::string& native) {
    if (refused_.insert(native).second) {
      writeErrorLine("Quarvel: " + native + " is not a regular file; not opened");
    }
    return FileError::kAccessDenied;
  }

  std::string command_line_;
  std::set<std::string> refused_;
};

PosixPlatform* instance = nullptr;

}  // namespace

std::unique_ptr<TcpConnection> socketConnection(std::intptr_t socket) {
  return std::make_unique<PosixTcpConnection>(static_cast<int>(socket));
}

// main hands its arguments over before the first use of realPlatform().
void initRealPlatform(int argc, char** argv) {
  static PosixPlatform platform(argc, argv);
  instance = &platform;
}

Platform& realPlatform() {
  if (instance == nullptr) initRealPlatform(0, nullptr);
  return *instance;
}

}  // namespace quarvel
