// Everything one run of the program holds: the platform, the command line
// and its data folder, the output, the configuration and its start-up
// settings, the stores, the current user record, the FTP client and the
// admin connection. Built once in main and passed to every handler.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/files.h"
#include "config/output.h"
#include "config/settings.h"
#include "config/text.h"
#include "evaluation/records.h"
#include "evaluation/trial_evaluation.h"
#include "ftp/ftp_client.h"
#include "platform/platform.h"
#include "reports/report_sources.h"
#include "server/admin_session.h"
#include "stores/audit_log.h"
#include "stores/credit_store.h"
#include "stores/quota_store.h"
#include "stores/stores.h"
#include "stores/trial_store.h"
#include "userdb/user_database.h"

namespace quarvel {

// Whether the dispatch goes on after a handler.
enum class Next { kContinue, kEndRun };

// The data folder for a command line: the program folder for IRC, NUKE and
// UNNUKE (word 1 upper-cased), the current folder for everything else.
std::string dataFolderFor(Platform& platform, const std::string& command_line);

// Who changes records in a run, for the audit log: the user the server
// names for a SITE command (ST, SQ), the command word otherwise.
std::string operatorFor(Platform& platform, const std::string& command_line);

class Run {
 public:
  // `ftp_timeout_ms` is 60 seconds in the product; tests pass less.
  explicit Run(Platform& platform, int ftp_timeout_ms = FtpClient::kDefaultTimeoutMs);

  // Reads the start-up settings (SystemRoot from WINDIR first).
  void loadStartupSettings();

  std::string word(std::size_t n) const { return commandWord(command_line, n); }
  std::string env(const std::string& name) { return platform.environment(name); }
  std::string today();  // MM-DD-YYYY
  void printLine(const std::string& text) { out.printLine(text); }
  std::string configValue(const std::string& key) { return config.configValue(key); }

  // The run's admin login, made on its first command and dropped at the
  // end of the run (a preview puts a dry session here first).
  AdminSession& adminSession();
  // A login of its own, ended with QUIT when the object goes.
  std::unique_ptr<AdminSession> newAdminSession();

  // What the modules below take, made from this run's parts.
  Records records() { return {trial, quota, stores, users}; }
  TrialPass trialPass();
  ReportSources reportSources() { return {config, settings, users, trial, quota, out}; }

  Platform& platform;
  std::string command_line;
  Output out;
  Files files;
  Config config;
  Settings settings;
  TrialStore trial;
  QuotaStore quota;
  CreditStore credits;
  Stores stores;  // the commit points of all three
  UserDatabase users;
  FtpClient ftp;
  std::unique_ptr<AdminSession> admin_session;
  AuditLog audit;

 private:
  std::unique_ptr<LiveAdminSession> makeSession(bool quit_at_end);
  int ftp_timeout_ms_;
};

}  // namespace quarvel
