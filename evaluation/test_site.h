// For unit tests: an in-memory site (the sample server database, a
// configuration, the stores in C:\site) and an in-memory FTP server that
// logs every line it receives and answers from a small script, without any
// real waiting.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/text.h"
#include "entry/run.h"
#include "platform/fake_platform.h"
#include "userdb/sample_site_test_data.h"

namespace quarvel {
namespace test_site {

// How the in-memory server behaves. Replies are keyed by the command word
// (upper case, "SITE" for every SITE command); a missing key gets "200 OK".
struct ServerScript {
  bool reachable = true;
  std::string greeting = "220 Test server ready\r\n";
  std::map<std::string, std::string> replies = {
      {"USER", "331 Password required\r\n"},
      {"PASS", "230 Logged in\r\n"},
      {"QUIT", "221 Bye\r\n"},
  };
  bool sends_fail_after_login = false;
  // From the first SITE command on, every receive fills the whole buffer.
  bool floods_after_site = false;
};

class ScriptedConnection : public TcpConnection {
 public:
  ScriptedConnection(const ServerScript& script, std::vector<std::string>* log)
      : script_(script), log_(log), pending_(script.greeting) {}

  bool sendAll(const char* data, std::size_t size) override {
    if (logged_in_ && script_.sends_fail_after_login) return false;
    received_.append(data, size);
    std::size_t end;
    while ((end = received_.find('\n')) != std::string::npos) {
      std::string line = received_.substr(0, end);
      received_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      log_->push_back(line);
      std::string word = toUpper(line.substr(0, line.find(' ')));
      auto it = script_.replies.find(word);
      std::string reply = it == script_.replies.end() ? "200 OK\r\n" : it->second;
      if (word == "PASS" && reply.compare(0, 3, "230") == 0) logged_in_ = true;
      if (word == "SITE" && script_.floods_after_site) flooding_ = true;
      pending_ += reply;
    }
    return true;
  }

  long receive(char* buffer, std::size_t size, int) override {
    if (flooding_) {
      for (std::size_t i = 0; i < size; ++i) buffer[i] = i % 8 == 7 ? '\n' : 'x';
      return static_cast<long>(size);
    }
    if (pending_.empty()) return -1;  // a time-out, at once
    std::size_t n = std::min(size, pending_.size());
    std::memcpy(buffer, pending_.data(), n);
    pending_.erase(0, n);
    return static_cast<long>(n);
  }

 private:
  const ServerScript& script_;
  std::vector<std::string>* log_;
  std::string pending_;
  std::string received_;
  bool logged_in_ = false;
  bool flooding_ = false;
};

class SitePlatform : public FakePlatform {
 public:
  std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port, int,
                                            int* error_number) override {
    connects.push_back(host + ":" + std::to_string(port));
    if (!script.reachable) {
      *error_number = 10061;
      return nullptr;
    }
    log.emplace_back();
    return std::make_unique<ScriptedConnection>(script, &log.back());
  }

  // Every SITE command received, over all connections, in order.
  std::vector<std::string> siteCommands() const {
    std::vector<std::string> site;
    for (const auto& connection : log) {
      for (const std::string& line : connection) {
        if (line.compare(0, 5, "SITE ") == 0) site.push_back(line);
      }
    }
    return site;
  }

  ServerScript script;
  std::vector<std::string> connects;
  // Per connection, every line received (CR LF removed). A deque keeps the
  // logs handed to open connections in place.
  std::deque<std::vector<std::string>> log;
};

inline constexpr char kPassword[] = "pa55-Secret";

inline std::string baseConfig() {
  return std::string(
             "ioFTPD=C:\\ioFTPD\r\n"
             "UserTABLE=C:\\ioFTPD\\etc\\UserIdTable\r\n"
             "UserFOLDER=C:\\ioFTPD\\users\r\n"
             "GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable\r\n"
             "FTP_HOST=127.0.0.1\r\n"
             "FTP_PORT=2121\r\n"
             "FTP_USER=siteadmin\r\n"
             "FTP_PASS=") +
         kPassword +
         "\r\n"
         "Quota_Groups=SiteOps\r\n"
         "QUOTA_DISABLE_FLAG=6\r\n"
         "TRIAL_DISABLE_FLAG=7\r\n"
         "EXEMPT_USER_EXEMPT=$BOLDexempt$BOLD user\r\n"
         "EXEMPT_IN_GROUP=Exempt group $BOLD$GROUP$BOLD\r\n"
         "EXEMPT_USER_DISABLE=$BOLDdisabled$BOLD\r\n"
         "TRIAL_UPLOAD=500\r\n"
         "TRIAL_DAYS=7\r\n"
         "QUOTA_UPLOAD=1000\r\n"
         "QUOTA_TYPE=1\r\n";
}

// One run on the sample site. Set up the platform (files, date, script,
// extra configuration lines), then call run(): the Run is built on first
// use with the start-up settings loaded, as the dispatch would.
class Site {
 public:
  explicit Site(const std::string& extra_config = std::string()) {
    for (const sample_site::File& f : sample_site::kFiles) {
      platform.addFile(std::string("C:\\ioFTPD\\") + f.path, f.text);
    }
    platform.addFile("C:\\site\\quarvel.conf", extra_config + baseConfig());
  }

  Run& run() {
    if (!run_) {
      run_ = std::make_unique<Run>(platform, 1000);
      run_->loadStartupSettings();
    }
    return *run_;
  }

  void setTrialStore(const std::string& text) { platform.addFile(kTrialPath, text); }
  void setQuotaStore(const std::string& text) { platform.addFile(kQuotaPath, text); }
  // The store files as the run leaves them: its pending changes are
  // committed first, as at the run's end.
  std::string trialStore() {
    settle();
    return platform.file(kTrialPath);
  }
  std::string quotaStore() {
    settle();
    return platform.file(kQuotaPath);
  }
  bool hasQuotaStore() {
    settle();
    return platform.hasFile(kQuotaPath);
  }
  void settle() {
    if (run_) run_->stores.commit();
  }

  // The password never leaves the program except towards the server.
  bool passwordShown() const { return platform.output.find(kPassword) != std::string::npos; }

  static constexpr char kTrialPath[] = "C:\\site\\Quarvel.dat";
  static constexpr char kQuotaPath[] = "C:\\site\\Velkrin.dat";

  SitePlatform platform;

 private:
  std::unique_ptr<Run> run_;
};

}  // namespace test_site
}  // namespace quarvel
