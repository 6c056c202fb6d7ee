// The Win32 platform: Windows x64 (and Wine). Uses the ANSI entry points
// throughout: paths, variables and the command line are bytes, as the rest of
// the program treats them.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
// winsock2.h must come before windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/instance_lock.h"
#include "platform/kill_switch.h"
#include "platform/platform.h"
#include "platform/socket_connection.h"
#include "platform/system_library_windows.h"

namespace quarvel {
namespace {

// The one place where a Win32 error code becomes a FileError.
FileError fileError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return FileError::kNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return FileError::kPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileError::kAccessDenied;
    default:
      return FileError::kOther;
  }
}

// Readers share everything: the server may hold its own files open for
// writing while a run reads them.
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openExisting(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE createEmpty(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool writeAll(HANDLE handle, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

class WindowsBinaryFile : public BinaryFile {
 public:
  explicit WindowsBinaryFile(HANDLE handle) : handle_(handle) {}
  ~WindowsBinaryFile() override { CloseHandle(handle_); }
  long read(char* buffer, std::size_t size) override {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, chunk, &got, nullptr)) return -1;
    return static_cast<long>(got);
  }
  bool write(const char* data, std::size_t size) override { return writeAll(handle_, data, size); }

 private:
  HANDLE handle_;
};

class WindowsTcpConnection : public TcpConnection {
 public:
  explicit WindowsTcpConnection(SOCKET socket) : socket_(socket) {}
  ~WindowsTcpConnection() override {
    // Say goodbye with a FIN before closing, so a peer reading an upload
    // sees its end rather than a reset.
    shutdown(socket_, SD_SEND);
    closesocket(socket_);
  }
  bool sendAll(const char* data, std::size_t size) override {
    while (size > 0) {
      int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
      int sent = send(socket_, data, chunk, 0);
      if (sent == SOCKET_ERROR || sent == 0) return false;
      data += sent;
      size -= static_cast<std::size_t>(sent);
    }
    return true;
  }
  long receive(char* buffer, std::size_t size, int timeout_ms) override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    if (timeout_ms < 0) timeout_ms = 0;
    timeval limit = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &limit) <= 0) return -1;
    int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    int got = recv(socket_, buffer, chunk, 0);
    return got == SOCKET_ERROR ? -1 : got;
  }
  void endSending() override { shutdown(socket_, SD_SEND); }

 private:
  SOCKET socket_;
};

// A named mutex: the system marks it abandoned when its holder ends in any
// way, and the next waiter then owns it. Beside it, a lock on the lock file
// in the program's folder (as the native build takes), which the system
// drops with its holder too: under Wine, runs of different Wine servers (a
// caller with another TMPDIR) do not see each other's mutex, but the file
// lock reaches the same file.
class WindowsInstanceLock : public InstanceLock {
 public:
  WindowsInstanceLock(HANDLE mutex, HANDLE file) : mutex_(mutex), file_(file) {}
  ~WindowsInstanceLock() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }

 private:
  HANDLE mutex_;
  HANDLE file_;
};

// Opens the lock file (created when missing, shared with every other run;
// read-only for an account that may not write it). INVALID_HANDLE_VALUE and
// *error when it cannot be opened.
HANDLE openInstanceFile(const std::string& path, DWORD* error) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    file = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return file;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    *error = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// Waits until the opened lock file holds its lock; closes it and gives
// INVALID_HANDLE_VALUE and *error when it cannot be locked. A conflict is
// retried after a pause rather than waited for in the system: Wine answers
// a lock held by another Wine server's process at once, as a conflict.
HANDLE lockInstanceFile(HANDLE file, DWORD* error) {
  for (;;) {
    OVERLAPPED at = {};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &at)) {
      return file;
    }
    DWORD code = GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
      CloseHandle(file);
      *error = code;
      return INVALID_HANDLE_VALUE;
    }
    Sleep(50);
  }
}

std::intptr_t createMutex(const std::string& name, unsigned long* error, bool* denied) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  DWORD code = GetLastError();
  *error = code;
  *denied = mutex == nullptr && code == ERROR_ACCESS_DENIED;
  return reinterpret_cast<std::intptr_t>(mutex);
}

// Connects one address without blocking past `deadline` (GetTickCount64).
SOCKET connectBefore(const addrinfo* address, ULONGLONG deadline, int* error) {
  SOCKET s = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
  if (s == INVALID_SOCKET) {
    *error = WSAGetLastError();
    return INVALID_SOCKET;
  }
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  if (connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) == SOCKET_ERROR) {
    int code = WSAGetLastError();
    if (code != WSAEWOULDBLOCK) {
      *error = code;
      closesocket(s);
      return INVALID_SOCKET;
    }
    ULONGLONG now = GetTickCount64();
    ULONGLONG left = deadline > now ? deadline - now : 0;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit = {static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
    int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready <= 0 || !FD_ISSET(s, &writable)) {
      int so_error = 0;
      int length = sizeof so_error;
      if (ready > 0) {
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &length);
      }
      *error = ready == 0      ? WSAETIMEDOUT
               : ready < 0     ? WSAGetLastError()
               : so_error != 0 ? so_error
                               : WSAECONNREFUSED;
      closesocket(s);
      return INVALID_SOCKET;
    }
  }
  u_long blocking = 0;
  ioctlsocket(s, FIONBIO, &blocking);
  return s;
}

class WindowsPlatform : public Platform {
 public:
  WindowsPlatform() : kill_switch_(std::getenv(kKillSwitchVariable)) {
    WSADATA data;
    winsock_ready_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    // Winsock loads its TCP provider by a path that names %SystemRoot%.
    // Loading it now, while the caller's variables are still intact, keeps
    // connections working after the run has changed SystemRoot.
    if (winsock_ready_) {
      SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      if (probe != INVALID_SOCKET) closesocket(probe);
    }
  }

  std::string commandLine() override {
    const char* raw = GetCommandLineA();
    return commandLineAfterProgramName(raw == nullptr ? "" : raw);
  }

  std::string environment(const std::string& name) override {
    std::vector<char> buffer(256);
    for (;;) {
      DWORD n =
          GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return std::string();
      if (n < buffer.size()) return std::string(buffer.data(), n);
      buffer.resize(n);  // n counts the terminating zero
    }
  }

  void setEnvironment(const std::string& name, const std::string& value) override {
    SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
  }

  std::string currentFolder() override {
    DWORD n = GetCurrentDirectoryA(0, nullptr);
    if (n == 0) return std::string();
    std::vector<char> buffer(n);
    n = GetCurrentDirectoryA(n, buffer.data());
    if (n == 0 || n >= buffer.size()) return std::string();
    return std::string(buffer.data(), n);
  }

  std::string programFolder() override {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
      DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return std::string();
      if (n < buffer.size()) {
        std::string path(buffer.data(), n);
        std::size_t cut = path.find_last_of("\\/");
        return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
      }
      buffer.resize(buffer.size() * 2);
    }
  }

  std::unique_ptr<InstanceLock> acquireInstanceLock() override {
    std::vector<std::string> notices;
    InstanceMutex found = openInstanceMutex(createMutex, &notices);
    for (const std::string& notice : notices) writeErrorLine(notice);
    if (found.handle == 0) return nullptr;
    HANDLE mutex = reinterpret_cast<HANDLE>(found.handle);
    // The file is opened before the wait, as the POSIX build opens its own:
    // a program folder that goes while the run waits leaves it the lock.
    std::string folder = programFolder();
    std::string path = folder + kInstanceLockFileName;
    DWORD error = 0;
    HANDLE file = folder.empty() ? INVALID_HANDLE_VALUE : openInstanceFile(path, &error);
    DWORD wait = WaitForSingleObject(mutex, INFINITE);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
      writeErrorLine("Quarvel: cannot wait for the instance lock " + found.name + " (error " +
                     std::to_string(GetLastError()) + "); the run did nothing");
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      CloseHandle(mutex);
      return nullptr;
    }
    // The mutex first: runs of one Wine server (or of Windows itself) queue
    // on it, so only one of them at a time polls the file lock.
    if (file != INVALID_HANDLE_VALUE) file = lockInstanceFile(file, &error);
    if (file == INVALID_HANDLE_VALUE) {
      // The mutex alone serialises every run on Windows itself.
      writeErrorLine("Quarvel: cannot lock the instance lock file " + path + " (error " +
                     std::to_string(error) + "); the run goes on with the mutex alone");
    }
    return std::make_unique<WindowsInstanceLock>(mutex, file);
  }

  void writeOutput(const std::string& bytes) override {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    writeAll(out, bytes.data(), bytes.size());
  }

  bool endOfFileCharacterEndsText() override { return true; }
  bool fileNamesIgnoreCase() override { return true; }

  void showErrorCode(long code) override { writeErrorLine(std::to_string(code)); }

  void writeErrorLine(const std::string& text) override {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    std::string line = text + "\r\n";
    writeAll(err, line.data(), line.size());
  }

  LocalDate today() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalDate date;
    date.year = now.wYear;
    date.month = now.wMonth;
    date.day = now.wDay;
    return date;
  }

  std::int64_t monotonicMs() override { return static_cast<std::int64_t>(GetTickCount64()); }

  std::int64_t utcSeconds() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    // 100-ns ticks since 1601-01-01; 11644473600 s lie between 1601 and 1970.
    return static_cast<std::int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
  }

  FileError probeFile(const std::string& path) override {
    FileError error = FileError::kNone;
    HANDLE file = openRegular(path, &error);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return error;
  }

  FileError readFile(const std::string& path, std::string* contents) override {
    FileError error = FileError::kNone;
    HANDLE file = openRegular(path, &error);
    if (file == INVALID_HANDLE_VALUE) return error;
    contents->clear();
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
      contents->reserve(static_cast<std::size_t>(size.QuadPart));
    }
    char buffer[65536];
    FileError result = FileError::kNone;
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        result = fileError(GetLastError());
        if (result == FileError::kNone) result = FileError::kOther;
        break;
      }
      if (got == 0) break;
      contents->append(buffer, got);
    }
    CloseHandle(file);
    return result;
  }

  bool fileSize(const std::string& path, std::uint64_t* size) override {
    FileError error = FileError::kNone;
    HANDLE file = openRegular(path, &error);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length;
    bool ok = GetFileSizeEx(file, &length) != 0;
    CloseHandle(file);
    if (ok) *size = static_cast<std::uint64_t>(length.QuadPart);
    return ok;
  }

  bool fileIdentity(const std::string& path, FileIdentity* identity) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return false;
    }
    identity->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    identity->modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime);
    return true;
  }

  // CopyFileA carries the read-only mark over; the copy must stay
  // replaceable and removable, as the server's files may be read-only.
  FileError copyFile(const std::string& from, const std::string& to) override {
    FileError error = FileError::kNone;
    HANDLE source = openRegular(from, &error);
    if (source == INVALID_HANDLE_VALUE) return error;
    CloseHandle(source);
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
      return fileError(GetLastError());
    }
    DWORD attributes = GetFileAttributesA(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      SetFileAttributesA(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return FileError::kNone;
  }

  FileError removeFile(const std::string& path) override {
    beforeDiskChange();
    if (DeleteFileA(path.c_str())) return FileError::kNone;
    return fileError(GetLastError());
  }

  FileError createFolder(const std::string& path) override {
    if (CreateDirectoryA(path.c_str(), nullptr)) return FileError::kNone;
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return FileError::kNone;
    }
    return fileError(error);
  }

  // Windows cannot rename over a file in one plain call: MoveFileEx with
  // REPLACE_EXISTING does it, and WRITE_THROUGH returns only once the move
  // is on disk.
  // The attributes follow at renameFile, which keeps the target's.
  FileError writeNewFile(const std::string& path, const std::string& contents,
                         const std::string&) override {
    beforeDiskChange();
    FileError created = FileError::kNone;
    HANDLE file = createRegular(path, &created);
    if (file == INVALID_HANDLE_VALUE) return created;
    DWORD error = ERROR_SUCCESS;
    if (!writeAll(file, contents.data(), contents.size()) || !FlushFileBuffers(file)) {
      error = GetLastError();
    }
    CloseHandle(file);
    if (error == ERROR_SUCCESS) return FileError::kNone;
    DeleteFileA(path.c_str());
    FileError result = fileError(error);
    return result == FileError::kNone ? FileError::kOther : result;
  }

  // WRITE_THROUGH returns only once the move is on disk: no folder to sync.
  FileError renameFile(const std::string& from, const std::string& to) override {
    beforeDiskChange(true);
    DWORD old_attributes = GetFileAttributesA(to.c_str());
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      FileError result = fileError(GetLastError());
      return result == FileError::kNone ? FileError::kOther : result;
    }
    if (old_attributes != INVALID_FILE_ATTRIBUTES &&
        (old_attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      SetFileAttributesA(to.c_str(), old_attributes);
    }
    return FileError::kNone;
  }

  FileError syncFolder(const std::string&) override { return FileError::kNone; }

  FileError replaceFile(const std::string& path, const std::string& contents) override {
    beforeDiskChange();
    std::string temp = path + ".new";
    // A read-only store stays read-only (where the system lets the move
    // replace it at all).
    DWORD old_attributes = GetFileAttributesA(path.c_str());
    FileError created = FileError::kNone;
    HANDLE file = createRegular(temp, &created);
    if (file == INVALID_HANDLE_VALUE) return created;
    DWORD error = ERROR_SUCCESS;
    if (!writeAll(file, contents.data(), contents.size()) || !FlushFileBuffers(file)) {
      error = GetLastError();
    }
    CloseHandle(file);
    if (error == ERROR_SUCCESS &&
        !MoveFileExA(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = GetLastError();
    }
    if (error == ERROR_SUCCESS) {
      if (old_attributes != INVALID_FILE_ATTRIBUTES &&
          (old_attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesA(path.c_str(), old_attributes);
      }
      return FileError::kNone;
    }
    DeleteFileA(temp.c_str());
    FileError result = fileError(error);
    return result == FileError::kNone ? FileError::kOther : result;
  }

  // FILE_APPEND_DATA alone makes every write land at the end, also when
  // another writer grew the file meanwhile.
  FileError appendFile(const std::string& path, const std::string& bytes) override {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fileError(GetLastError());
    // A pipe or a device would take the bytes elsewhere, or hold the run.
    FileError error = FileError::kNone;
    file = keepDiskFile(file, path, &error);
    if (file == INVALID_HANDLE_VALUE) return error;
    return closeAfter(file, writeAll(file, bytes.data(), bytes.size()));
  }

  FileError syncFile(const std::string& path) override {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fileError(GetLastError());
    return closeAfter(file, FlushFileBuffers(file));
  }

  bool anyEntryMatches(const std::string& prefix) override {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((prefix + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
  }

  std::unique_ptr<BinaryFile> openForReading(const std::string& path, FileError* error) override {
    HANDLE file = openRegular(path, error);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<WindowsBinaryFile>(file);
  }

  std::unique_ptr<BinaryFile> createForWriting(const std::string& path, FileError* error) override {
    HANDLE file = createRegular(path, error);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<WindowsBinaryFile>(file);
  }

  std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port, int timeout_ms,
                                            int* error_number) override {
    if (!winsock_ready_) {
      *error_number = WSANOTINITIALISED;
      return nullptr;
    }
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms < 0 ? 0 : timeout_ms);
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || found == nullptr) {
      *error_number = rc != 0 ? rc : WSAHOST_NOT_FOUND;
      return nullptr;
    }
    int error = WSAECONNREFUSED;
    SOCKET s = INVALID_SOCKET;
    for (addrinfo* a = found; a != nullptr && s == INVALID_SOCKET; a = a->ai_next) {
      s = connectBefore(a, deadline, &error);
    }
    freeaddrinfo(found);
    if (s == INVALID_SOCKET) {
      *error_number = error != 0 ? error : WSAECONNREFUSED;
      return nullptr;
    }
    // A peer that stops reading cannot hold a send for longer either.
    DWORD send_timeout = static_cast<DWORD>(timeout_ms < 0 ? 0 : timeout_ms);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send_timeout),
               sizeof send_timeout);
    // Every send goes out at once: a TLS record or the last piece of a file
    // smaller than a segment is not held back until the peer acknowledges
    // the data before it.
    BOOL no_delay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
               sizeof no_delay);
    return socketConnection(static_cast<std::intptr_t>(s));
  }

  // SetWindowTextA does not wait on a window of another process, so a hung
  // caller cannot stall a transfer. user32 is loaded by the first caller
  // that names a window: bound at start it would cost every run.
  void setWindowText(std::intptr_t window, const std::string& text) override {
    if (window == 0) return;
    static const auto set_window_text = [] {
      std::string why;
      HMODULE user32 = loadSystemLibrary("user32.dll", &why);
      return user32 == nullptr
                 ? nullptr
                 : libraryFunction<decltype(&::SetWindowTextA)>(user32, "SetWindowTextA");
    }();
    if (set_window_text != nullptr) set_window_text(reinterpret_cast<HWND>(window), text.c_str());
  }

 private:
  // Ends the process as a kill would when a test asked for it (kill_switch.h).
  void beforeDiskChange(bool is_rename = false) {
    if (kill_switch_.fires(is_rename)) TerminateProcess(GetCurrentProcess(), kKilledExitCode);
  }
  KillSwitch kill_switch_;

  // Closes the file after an operation on it; the operation's error, when
  // `ok` is false, read before the close can change it.
  static FileError closeAfter(HANDLE file, bool ok) {
    DWORD code = GetLastError();
    CloseHandle(file);
    if (ok) return FileError::kNone;
    FileError error = fileError(code);
    return error == FileError::kNone ? FileError::kOther : error;
  }

  // Opens an existing file for reading and keeps it only when it is a disk
  // file: a device (NUL, CON, COM1) or a pipe would block or feed the run
  // without end. INVALID_HANDLE_VALUE and *error otherwise.
  HANDLE openRegular(const std::string& path, FileError* error) {
    HANDLE file = openExisting(path);
    if (file == INVALID_HANDLE_VALUE) {
      *error = fileError(GetLastError());
      return file;
    }
    return keepDiskFile(file, path, error);
  }

  // Creates (or empties) a file for writing, kept only when it is a disk file.
  HANDLE createRegular(const std::string& path, FileError* error) {
    HANDLE file = createEmpty(path);
    if (file == INVALID_HANDLE_VALUE) {
      *error = fileError(GetLastError());
      if (*error == FileError::kNone) *error = FileError::kOther;
      return file;
    }
    return keepDiskFile(file, path, error);
  }

  HANDLE keepDiskFile(HANDLE file, const std::string& path, FileError* error) {
    if (GetFileType(file) == FILE_TYPE_DISK) return file;
    CloseHandle(file);
    if (refused_.insert(path).second) {
      writeErrorLine("Quarvel: " + path + " is not a regular file; not opened");
    }
    *error = FileError::kAccessDenied;
    return INVALID_HANDLE_VALUE;
  }

  bool winsock_ready_ = false;
  std::set<std::string> refused_;
};

}  // namespace

std::unique_ptr<TcpConnection> socketConnection(std::intptr_t socket) {
  return std::make_unique<WindowsTcpConnection>(static_cast<SOCKET>(socket));
}

// Windows reads the raw command line itself; the arguments are not needed.
void initRealPlatform(int, char**) { realPlatform(); }

Platform& realPlatform() {
  static WindowsPlatform platform;
  return platform;
}

}  // namespace quarvel
