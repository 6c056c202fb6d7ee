// For unit tests: one builder of in-memory sites (a data folder with the
// configuration and the stores, a server user database below C:\ioFTPD, the
// date), the parts of one run on such a site, and the scripted FTP server
// (ftp/scripted_server_test_util.h) reached in memory, without any real
// waiting. The sample site of the evaluation tests is one preset;
// reports/ and entry/ build theirs on the same builder.
#pragma once

#include <deque>
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
#include "ftp/scripted_server_test_util.h"
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

// The site's FTP server, in memory: USER, PASS and QUIT answered as a
// server that takes the login, every other command with "200 OK".
class SitePlatform : public FakePlatform {
 public:
  SitePlatform() {
    script.greeting = "220 Test server ready\r\n";
    script.unknown_reply = "200 OK\r\n";
    script.reply("USER", "331 Password required\r\n");
    script.reply("PASS", "230 Logged in\r\n");
    script.reply("QUIT", "221 Bye\r\n");
  }

  std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port, int,
                                            int* error_number) override {
    connects.push_back(host + ":" + std::to_string(port));
    if (!reachable) {
      *error_number = 10061;
      return nullptr;
    }
    log.emplace_back();
    // Its waits pass on this platform's clock, as they would in real time.
    return std::make_unique<Counted>(
        std::make_unique<ScriptedConnection>(script, &log.back(), this), &open_connections);
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

  FtpScript script;
  // False: every connection is refused (error 10061).
  bool reachable = true;
  std::vector<std::string> connects;
  // Per connection, every line received (CR LF removed). A deque keeps the
  // logs handed to open connections in place.
  std::deque<std::vector<std::string>> log;
  // Connections handed out and not closed yet.
  int open_connections = 0;

 private:
  // Counts itself in `open` while it lives.
  class Counted : public TcpConnection {
   public:
    Counted(std::unique_ptr<TcpConnection> inner, int* open)
        : inner_(std::move(inner)), open_(open) {
      ++*open_;
    }
    ~Counted() override { --*open_; }
    bool sendAll(const char* data, std::size_t size) override {
      return inner_->sendAll(data, size);
    }
    long receive(char* buffer, std::size_t size, int timeout_ms) override {
      return inner_->receive(buffer, size, timeout_ms);
    }
    void endSending() override { inner_->endSending(); }

   private:
    std::unique_ptr<TcpConnection> inner_;
    int* open_;
  };
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
        settings(config),
        trial(files),
        quota(files),
        credits(files),
        stores(p, trial, quota, credits),
        users(settings, config, files),
        ftp(p, kTimeoutMs),
        audit(p, files.dataPath(""), commandWord(p.commandLine(), 1),
              [this] { return settings.adminPassword(); }) {
    users.alsoTellUnreadable([this](const std::string& line) { audit.note("-", line); });
  }

  Records records() { return {trial, quota, stores, users}; }

  // The run's admin login, kept to the end; and a login of its own.
  AdminSession& adminSession() {
    if (!admin_session) admin_session = makeSession(false);
    return *admin_session;
  }
  std::unique_ptr<AdminSession> newAdminSession() { return makeSession(true); }

  Punishment punishment() {
    return {users, settings, adminSession(), stores, audit, platform, &out};
  }
  TrialPass trialPass() {
    return {settings.trialUploadMB(),
            settings.trialOnPass(),
            [this] { return newAdminSession(); },
            audit,
            platform,
            [this] { return settings.mayDecide(Decision::kTrialPass); }};
  }
  PunishRule trialRule() { return {settings.trialPunishment(), settings.trialDisableFlag()}; }
  PunishRule quotaRule() { return {settings.quotaPunishment(), settings.quotaDisableFlag()}; }

  static constexpr int kTimeoutMs = 1000;

  Platform& platform;
  Output out;
  Files files;
  Config config;
  Settings settings;
  TrialStore trial;
  QuotaStore quota;
  CreditStore credits;
  Stores stores;
  UserDatabase users;
  FtpClient ftp;
  AuditLog audit;
  std::unique_ptr<AdminSession> admin_session;

 private:
  std::unique_ptr<AdminSession> makeSession(bool quit_at_end) {
    std::string where = settings.adminHost() + ":" + settings.adminPortText();
    return std::make_unique<LiveAdminSession>(
        ftp, [this] { return login(); }, where, kTimeoutMs, 0, quit_at_end);
  }
  int login() {
    AdminLoginSettings login = settings.adminLogin();
    int channel =
        ftp.ftpConnect(login.host, static_cast<int>(login.port), login.user, login.password);
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
