#include "evaluation/punishment.h"

#include "config/text.h"
#include "entry/admin_connection.h"
#include "server/contract.h"

namespace quarvel {

std::string sendSiteCommand(Run& run, int connection, const std::string& command) {
  // A user name or a configured command with a line break in it would
  // otherwise slip a second command onto the administrator's login.
  if (command.find_first_of("\r\n") != std::string::npos) {
    run.platform.showErrorCode(kCommandLineRefused);
    return std::string();
  }
  int sent = run.ftp.sendCommand(connection, command);
  if (sent != 0) {
    run.platform.showErrorCode(sent == 1 ? kNotConnected : kSendFailed);
    return std::string();
  }
  std::string reply = readPendingLines(run, connection);
  if (reply.empty()) run.platform.showErrorCode(kNoReply);
  return reply;
}

void punishTrialUser(Run& run, const std::string& name) {
  switch (run.settings.trial_punishment) {
    case 1:
      sendSiteCommand(run, run.admin_connection, contract::kSiteDelUser + name);
      run.printLine(contract::announcement(contract::kUserDeletedOnSite, name));
      break;
    case 2: {
      std::string command =
          contract::kSiteChange + name + contract::kFlagsAdd + run.settings.trial_disable_flag;
      run.printLine("wtf - " + command);
      sendSiteCommand(run, run.admin_connection, command);
      run.printLine(contract::announcement(contract::kUserDisabledOnSite, name));
      break;
    }
    default:
      break;
  }
}

void punishQuotaUser(Run& run, const std::string& name) {
  UserRecord user = run.users.lookupUser(name);
  std::string db_name = trimBlanks(user.user_name);
  if (QuotaStatus(run.quota.member(name).second).isPassed()) return;

  if (!db_name.empty() && user.exempt_code == 0 && run.admin_connection != 0) {
    int connection = run.admin_connection;
    switch (run.settings.quota_punishment) {
      case 1:
        sendSiteCommand(run, connection, contract::kSiteKick + db_name);
        sendSiteCommand(run, connection, contract::kSiteDelUser + db_name);
        break;
      case 2:
        sendSiteCommand(run, connection, contract::kSiteKick + db_name);
        sendSiteCommand(run, connection,
                        contract::kSiteChange + db_name + contract::kFlagsAdd +
                            run.settings.quota_disable_flag);
        break;
      default:
        break;
    }
  }
  // An unknown user has no record to delete; writing "=" would only rewrite
  // the file.
  if (!db_name.empty()) run.quota.removeMember(db_name);
}

}  // namespace quarvel
