#include "entry/run.h"

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "entry/admin_connection.h"
#include "server/contract.h"

namespace quarvel {

std::string dataFolderFor(Platform& platform, const std::string& command_line) {
  std::string first = toUpper(commandWord(command_line, 1));
  if (first == "IRC" || first == "UNNUKE" || first == "NUKE") return platform.programFolder();
  return platform.currentFolder();
}

std::string operatorFor(Platform& platform, const std::string& command_line) {
  std::string first = toUpper(commandWord(command_line, 1));
  if (first == "ST" || first == "SQ") {
    // The server names the user who gave the SITE command.
    std::string user = trimBlanks(platform.environment(contract::kUserVariable));
    if (!user.empty()) return user;
  }
  return commandWord(command_line, 1);
}

Run::Run(Platform& p, int ftp_timeout_ms)
    : platform(p),
      command_line(p.commandLine()),
      out(p),
      files(p, out, dataFolderFor(p, command_line)),
      config(files, out),
      settings(config),
      trial(files),
      quota(files),
      credits(files),
      stores(p, trial, quota, credits),
      users(settings, config, files),
      ftp(p, ftp_timeout_ms),
      audit(p, files.dataPath(""), commandWord(command_line, 1),
            [this] { return settings.adminPassword(); }),
      ftp_timeout_ms_(ftp_timeout_ms) {
  // A run held back by an unreadable user database leaves its reason in
  // the audit log as well.
  users.alsoTellUnreadable([this](const std::string& line) { audit.note("-", line); });
  stores.keepLogAhead(&audit);
  // So is a decision withheld for a setting that is not valid.
  settings.alsoTellInvalid([this](const std::string& line) {
    platform.writeErrorLine(line);
    audit.note("-", line);
  });
  audit.setOperator(operatorFor(p, command_line));
}

void Run::loadStartupSettings() {
  // The server starts programs with an environment of its own making;
  // SystemRoot is what the network layer of Windows needs from it.
  platform.setEnvironment("SystemRoot", settings.windir());
  settings.readStartup();
}

std::unique_ptr<LiveAdminSession> Run::makeSession(bool quit_at_end) {
  std::string where = settings.adminHost() + ":" + settings.adminPortText();
  return std::make_unique<LiveAdminSession>(
      ftp, LiveAdminSession::Opener([this] { return logInAsAdmin(*this); }), where, ftp_timeout_ms_,
      0, quit_at_end);
}

AdminSession& Run::adminSession() {
  if (!admin_session) admin_session = makeSession(false);
  return *admin_session;
}

std::unique_ptr<AdminSession> Run::newAdminSession() { return makeSession(true); }

TrialPass Run::trialPass() {
  return {settings.trialUploadMB(),
          settings.trialOnPass(),
          [this] { return newAdminSession(); },
          audit,
          platform,
          [this] { return settings.mayDecide(Decision::kTrialPass); }};
}

std::string Run::today() { return formatDate(platform.today()); }

}  // namespace quarvel
