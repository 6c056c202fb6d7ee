// The C entry points: convert the arguments and forward to the one client
// of the process. No exception leaves a C function.
#include "ftp/ftp_api.h"

#include <string>
#include <utility>
#include <vector>

#include "ftp/ftp_client.h"
#include "ftp/tls_policy.h"
#include "platform/tls.h"

struct FtpList {
  std::vector<std::string> lines{std::string()};
};

namespace {

using quarvel::FtpClient;

FtpClient& client() {
  static FtpClient instance(quarvel::realPlatform());
  return instance;
}

std::string text(const char* s) { return s != nullptr ? s : std::string(); }

// Runs the call; a failure value when it throws (out of memory).
template <typename Result, typename Call>
Result guarded(Result failure, Call call) {
  try {
    return call();
  } catch (...) {
    return failure;
  }
}

// Runs a listing call into the caller's list (or a scratch one).
template <typename Listing>
int listInto(FtpList* list, Listing listing) {
  return guarded(0, [&] {
    FtpList scratch;
    FtpList& target = list != nullptr ? *list : scratch;
    return listing(&target.lines);
  });
}

}  // namespace

extern "C" {

int ftpConnect(const char* host, int port, const char* user, const char* password) {
  return guarded(-1,
                 [&] { return client().ftpConnect(text(host), port, text(user), text(password)); });
}

void ftpQuit(int channel) {
  guarded(0, [&] {
    client().ftpQuit(channel);
    return 0;
  });
}

int FTPGETLASTSTATUSCODE(void) { return client().lastStatusCode(); }

const char* FTPGETLASTSTATUSMSG(void) {
  static std::string message;
  return guarded<const char*>("", [&] {
    message = client().lastStatusMessage();
    return message.c_str();
  });
}

const char* ftpTlsSession(void) {
  static std::string session;
  return guarded<const char*>("", [&] {
    const quarvel::TlsPeer& peer = client().lastTlsPeer();
    session = peer.protocol.empty() ? std::string() : peer.protocol + " " + peer.cipher;
    return session.c_str();
  });
}

int FTPMAKEDIR(int channel, const char* folder) {
  return guarded(0, [&] { return client().ftpMakeDir(channel, text(folder)); });
}

int FTPMOVEORRENAME(int channel, const char* old_name, const char* new_name) {
  return guarded(0,
                 [&] { return client().ftpMoveOrRename(channel, text(old_name), text(new_name)); });
}

int FTPREMOVEDIR(int channel, const char* folder) {
  return guarded(0, [&] { return client().ftpRemoveDir(channel, text(folder)); });
}

int ftpChangeDir(int channel, const char* folder) {
  return guarded(0, [&] { return client().ftpChangeDir(channel, text(folder)); });
}

const char* ftpCurDir(int channel) {
  static std::string folder;
  return guarded<const char*>("", [&] {
    folder = client().ftpCurDir(channel);
    return folder.c_str();
  });
}

int ftpDeleteFile(int channel, const char* name) {
  return guarded(0, [&] { return client().ftpDeleteFile(channel, text(name)); });
}

void ftpSetAscii(int channel) {
  guarded(0, [&] {
    client().ftpSetAscii(channel);
    return 0;
  });
}

void ftpSetBinary(int channel) {
  guarded(0, [&] {
    client().ftpSetBinary(channel);
    return 0;
  });
}

FtpList* ftpListCreate(void) {
  return guarded<FtpList*>(nullptr, [] { return new FtpList; });
}

void ftpListFree(FtpList* list) { delete list; }

int ftpListCount(const FtpList* list) {
  return list != nullptr ? static_cast<int>(list->lines.size()) - 1 : 0;
}

const char* ftpListItem(const FtpList* list, int position) {
  if (list == nullptr || position < 0 || static_cast<std::size_t>(position) >= list->lines.size()) {
    return nullptr;
  }
  return list->lines[static_cast<std::size_t>(position)].c_str();
}

int ftpGetList(int channel, const char* host, FtpList* list) {
  return listInto(list, [&](std::vector<std::string>* lines) {
    return client().ftpGetList(channel, text(host), lines);
  });
}

int ftpGetFileList(int channel, const char* host, FtpList* list) {
  return listInto(list, [&](std::vector<std::string>* lines) {
    return client().ftpGetFileList(channel, text(host), lines);
  });
}

int ftpGetDirList(int channel, const char* host, FtpList* list) {
  return listInto(list, [&](std::vector<std::string>* lines) {
    return client().ftpGetDirList(channel, text(host), lines);
  });
}

int ftpGetFile(int channel, intptr_t window, const char* host, const char* remote_name,
               const char* local_path) {
  return guarded(0, [&] {
    return client().ftpGetFile(channel, window, text(host), text(remote_name), text(local_path));
  });
}

int ftpPutFile(int channel, const char* host, intptr_t window, const char* remote_name,
               const char* local_path) {
  return guarded(0, [&] {
    return client().ftpPutFile(channel, text(host), window, text(remote_name), text(local_path));
  });
}

void ftpSetProgressCallback(FtpProgressCallback callback, void* context) {
  guarded(0, [&] {
    if (callback == nullptr) {
      client().setProgressSink(nullptr);
    } else {
      client().setProgressSink([callback, context](std::intptr_t window, const std::string& text) {
        callback(window, text.c_str(), context);
      });
    }
    return 0;
  });
}

int ftpSetTls(int enable, const char* fingerprint) {
  return guarded(0, [&] {
    std::string pinned = text(fingerprint);
    if (enable == 0) {
      client().dropTls();
      return 1;
    }
    if (!pinned.empty() && quarvel::fingerprintDigits(pinned).empty()) return 0;
    client().requireTls(quarvel::systemTlsClient, pinned);
    return 1;
  });
}

}  // extern "C"
