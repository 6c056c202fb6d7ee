#include "entry/run.h"

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "entry/admin_connection.h"

namespace quarvel {

std::string dataFolderFor(Platform& platform, const std::string& command_line) {
  std::string first = toUpper(commandWord(command_line, 1));
  if (first == "IRC" || first == "UNNUKE" || first == "NUKE") return platform.programFolder();
  return platform.currentFolder();
}

Run::Run(Platform& p, int ftp_timeout_ms)
    : platform(p),
      command_line(p.commandLine()),
      out(p),
      files(p, out, dataFolderFor(p, command_line)),
      config(files, out),
      trial(files),
      quota(files),
      credits(files),
      stores(p, trial, quota, credits),
      users(config, files, settings.server_folder),
      ftp(p, ftp_timeout_ms),
      audit(p, files.dataPath(""), commandWord(command_line, 1),
            [this] { return configValue("FTP_PASS"); }),
      ftp_timeout_ms_(ftp_timeout_ms) {
  // A run held back by an unreadable user database leaves its reason in
  // the audit log as well.
  users.alsoTellUnreadable([this](const std::string& line) { audit.note("-", line); });
  stores.keepLogAhead(&audit);
}

void Run::loadStartupSettings() {
  // The server starts programs with an environment of its own making;
  // SystemRoot is what the network layer of Windows needs from it.
  settings.windir = configValue("WINDIR");
  platform.setEnvironment("SystemRoot", settings.windir);
  settings.excluded_dirs = configValue("EXCLUDED_DIRS");
  settings.trial_upload = readWholeNumber(configValue("TRIAL_UPLOAD"));
  settings.trial_days = readWholeNumber(configValue("TRIAL_DAYS"));
  settings.trial_punishment = readWholeNumber(configValue("TRIAL_PUNISHMENT"));
  settings.quota_punishment = readWholeNumber(configValue("QUOTA_PUNISHMENT"));
  settings.trial_disable_flag = configValue("TRIAL_DISABLE_FLAG");
  settings.quota_disable_flag = configValue("QUOTA_DISABLE_FLAG");
  settings.trial_onpass = configValue("TRIAL_ONPASS");
  settings.server_folder = configValue("ioFTPD");
}

std::unique_ptr<LiveAdminSession> Run::makeSession(bool quit_at_end) {
  std::string where = configValue("FTP_HOST") + ":" + configValue("FTP_PORT");
  return std::make_unique<LiveAdminSession>(
      ftp, LiveAdminSession::Opener([this] { return logInAsAdmin(*this); }), where,
      ftp_timeout_ms_, 0,
      quit_at_end);
}

AdminSession& Run::adminSession() {
  if (!admin_session) admin_session = makeSession(false);
  return *admin_session;
}

std::unique_ptr<AdminSession> Run::newAdminSession() { return makeSession(true); }

TrialPass Run::trialPass() {
  return {settings.trial_upload, settings.trial_onpass, [this] { return newAdminSession(); },
          audit, platform};
}

std::string Run::today() { return formatDate(platform.today()); }

}  // namespace quarvel
