// For unit tests: one builder of in-memory sites (a data folder with the
// configuration and the stores, a server user database below C:\ioFTPD, the
// date), the parts of one run on such a site, and an in-memory FTP server
// that logs every line it receives and answers from a small script, without
// any real waiting. The sample site of the evaluation tests is one preset;
// reports/ and entry/ build theirs on the same builder.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/config.h"
#include "config/files.h"
#include "config/numbers.h"
#include "config/output.h"
#include "config/text.h"
#include "evaluation/punishment.h"
#include "evaluation/records.h"
#include "evaluation/trial_evaluation.h"
#include "ftp/ftp_client.h"
#include "platform/fake_platform.h"
#include "server/admin_session.h"
#include "stores/audit_log.h"
#include "stores/credit_store.h"
#include "stores/quota_store.h"
#include "stores/stores.h"
#include "stores/trial_store.h"
#include "userdb/sample_site_test_data.h"
#include "userdb/user_database.h"

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
  // Replies to one exact command line, before the word's reply.
  std::map<std::string, std::string> per_command;
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
      auto exact = script_.per_command.find(line);
      if (exact != script_.per_command.end()) reply = exact->second;
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

// The parts of one run, built as the program builds them: the user
// database lies below the configured server folder, and the admin login
// (with a short time-out) reads FTP_HOST, FTP_PORT, FTP_USER and FTP_PASS
// when it is made.
class RunParts {
 public:
  RunParts(Platform& p, const std::string& data_folder)
      : platform(p),
        out(p),
        files(p, out, data_folder),
        config(files, out),
        trial(files),
        quota(files),
        credits(files),
        stores(p, trial, quota, credits),
        server_folder(config.configValue("ioFTPD")),
        users(config, files, server_folder),
        ftp(p, kTimeoutMs),
        audit(p, files.dataPath(""), commandWord(p.commandLine(), 1),
              [this] { return config.configValue("FTP_PASS"); }) {
    users.alsoTellUnreadable([this](const std::string& line) { audit.note("-", line); });
  }

  Records records() { return {trial, quota, stores, users}; }

  // The run's admin login, kept to the end; and a login of its own.
  AdminSession& adminSession() {
    if (!admin_session) admin_session = makeSession(false);
    return *admin_session;
  }
  std::unique_ptr<AdminSession> newAdminSession() { return makeSession(true); }

  Punishment punishment() { return {users, config, adminSession(), stores, audit, platform}; }
  TrialPass trialPass() {
    return {readWholeNumber(config.configValue("TRIAL_UPLOAD")), config.configValue("TRIAL_ONPASS"),
            [this] { return newAdminSession(); }, audit, platform};
  }
  PunishRule trialRule() {
    return {readWholeNumber(config.configValue("TRIAL_PUNISHMENT")),
            config.configValue("TRIAL_DISABLE_FLAG")};
  }
  PunishRule quotaRule() {
    return {readWholeNumber(config.configValue("QUOTA_PUNISHMENT")),
            config.configValue("QUOTA_DISABLE_FLAG")};
  }

  static constexpr int kTimeoutMs = 1000;

  Platform& platform;
  Output out;
  Files files;
  Config config;
  TrialStore trial;
  QuotaStore quota;
  CreditStore credits;
  Stores stores;
  std::string server_folder;
  UserDatabase users;
  FtpClient ftp;
  AuditLog audit;
  std::unique_ptr<AdminSession> admin_session;

 private:
  std::unique_ptr<AdminSession> makeSession(bool quit_at_end) {
    std::string where = config.configValue("FTP_HOST") + ":" + config.configValue("FTP_PORT");
    return std::make_unique<LiveAdminSession>(
        ftp, [this] { return login(); }, where, kTimeoutMs, 0, quit_at_end);
  }
  int login() {
    long long port = readWholeNumber(config.configValue("FTP_PORT"));
    int channel = ftp.ftpConnect(config.configValue("FTP_HOST"), static_cast<int>(port),
                                 config.configValue("FTP_USER"), config.configValue("FTP_PASS"));
    return channel > 0 ? channel : 0;
  }
};

// The builder: a site whose data folder is the current folder C:\site
// (most runs) or the program folder C:\prog\ (IRC, NUKE and UNNUKE runs).
// Set up the platform (files, date, script), then call run(): the parts of
// one run are built on first use. The store readers commit that run's
// pending changes first, as the end of a run does.
class TestSite {
 public:
  static constexpr char kCurrentFolder[] = "C:\\site";
  static constexpr char kProgramFolder[] = "C:\\prog\\";

  explicit TestSite(std::string data_folder = kCurrentFolder)
      : data_folder_(std::move(data_folder)) {}
  virtual ~TestSite() = default;
  // Movable while no run is built (a run keeps the platform's address).
  TestSite(TestSite&&) = default;
  TestSite& operator=(TestSite&&) = default;

  // A file of the data folder: "Quarvel.dat", ...
  std::string dataPath(const std::string& name) const {
    return data_folder_ + (data_folder_.back() == '\\' ? "" : "\\") + name;
  }
  std::string trialPath() const { return dataPath("Quarvel.dat"); }
  std::string quotaPath() const { return dataPath("Velkrin.dat"); }

  void setConfig(const std::string& text) { platform.addFile(dataPath("quarvel.conf"), text); }
  void setTrialStore(const std::string& text) { platform.addFile(trialPath(), text); }
  void setQuotaStore(const std::string& text) { platform.addFile(quotaPath(), text); }

  // The sample server database (userdb/sample_site_test_data.h).
  void addSampleDatabase() {
    for (const sample_site::File& f : sample_site::kFiles) {
      platform.addFile(std::string("C:\\ioFTPD\\") + f.path, f.text);
    }
  }
  void setGroupTable(const std::string& text) {
    platform.addFile("C:\\ioFTPD\\etc\\GroupIdTable", text);
  }
  // A user with the given group ids ("" for none) and flags, added to the
  // end of the user id table.
  void addUser(const std::string& name, const std::string& id, const std::string& group_ids,
               const std::string& flags) {
    user_table_ += name + ":" + id + ":STANDARD\r\n";
    platform.addFile("C:\\ioFTPD\\etc\\UserIdTable", user_table_);
    std::string groups = group_ids.empty() ? "" : "groups " + group_ids + "\r\n";
    platform.addFile("C:\\ioFTPD\\users\\" + id, groups + "flags " + flags + "\r\n");
  }

  RunParts& run() {
    if (!run_) run_ = std::make_unique<RunParts>(platform, data_folder_);
    return *run_;
  }

  // The store files as the run leaves them.
  std::string trialStore() {
    settle();
    return platform.file(trialPath());
  }
  std::string quotaStore() {
    settle();
    return platform.file(quotaPath());
  }
  bool hasQuotaStore() {
    settle();
    return platform.hasFile(quotaPath());
  }
  virtual void settle() {
    if (run_) run_->stores.commit();
  }

  // The password never leaves the program except towards the server.
  bool passwordShown() const { return platform.output.find(kPassword) != std::string::npos; }

  SitePlatform platform;

 private:
  std::string data_folder_;
  std::string user_table_;
  std::unique_ptr<RunParts> run_;
};

// The evaluation tests' site: the sample server database, and the
// configuration baseConfig() after `extra_config`, in C:\site.
class Site : public TestSite {
 public:
  explicit Site(const std::string& extra_config = std::string()) {
    addSampleDatabase();
    setConfig(extra_config + baseConfig());
  }

  static constexpr char kTrialPath[] = "C:\\site\\Quarvel.dat";
  static constexpr char kQuotaPath[] = "C:\\site\\Velkrin.dat";
};

}  // namespace test_site
}  // namespace quarvel
