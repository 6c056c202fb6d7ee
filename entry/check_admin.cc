// The admin part of `quarvel check`: the login as every run makes it, with
// the server's reply shown and the password masked, and the rights the
// punishments need (SITE kick, SITE DELUSER, SITE CHANGE ... FLAGS).
#include <algorithm>

#include "config/numbers.h"
#include "config/text.h"
#include "entry/admin_connection.h"
#include "entry/check_report.h"
#include "ftp/reply.h"
#include "server/contract.h"
#include "userdb/exemptions.h"

namespace quarvel {
namespace {

// The password is never shown, not even its length.
constexpr char kMaskedPassword[] = "********";
// Kicking a name that no account carries tries the permission and
// disconnects nobody.
constexpr char kKickProbeName[] = "quarvel-check-nobody";
constexpr char kNoReply[] = "(no reply)";

// A refused login whose reply asks for an encrypted connection: 534 (the
// request is refused by the security policy) or a text naming TLS or SSL.
bool asksForTls(const std::string& line) {
  std::string text = toUpper(replyText(line));
  return replyCode(line) == 534 ||
         (replyCode(line) >= 400 &&
          (text.find("TLS") != std::string::npos || text.find("SSL") != std::string::npos));
}

// The last reply line as the server sent it, or the local error line of a
// connection that never reached a server.
std::string lastStatusLine(FtpClient& ftp) {
  if (ftp.lastStatusCode() == 0 && ftp.lastStatusMessage().empty()) return kNoReply;
  std::string code = std::to_string(ftp.lastStatusCode() % 1000);
  code.insert(0, 3 - std::min<std::size_t>(code.size(), 3), '0');
  return code + " " + ftp.lastStatusMessage();
}

bool isRefusal(const std::string& line) {
  std::string text = toLower(line);
  return replyCode(line) >= 500 && (text.find("denied") != std::string::npos ||
                                    text.find("permission") != std::string::npos ||
                                    text.find("not understood") != std::string::npos ||
                                    text.find("not allowed") != std::string::npos);
}

// Sends the command and shows every line of its reply.
std::string showExchange(Run& run, CheckReport& report, int connection,
                         const std::string& command) {
  report.note("> " + command);
  if (run.ftp.sendCommand(connection, command) != FtpClient::Sent::kSent) return std::string();
  std::int64_t deadline = run.ftp.deadlineFromNow();
  std::string line;
  do {
    line = run.ftp.readReplyLine(connection, deadline);
    if (line.empty()) break;
    report.note("< " + line);
  } while (isContinuationLine(line) || replyCode(line) == 0);
  return line;
}

void checkAdminFlags(Run& run, CheckReport& report, const std::string& admin) {
  const UserRecord user = run.users.lookupUser(admin);
  if (trimBlanks(user.user_name).empty()) {
    report.problem(report.where("FTP_USER") + ": " + admin +
                   " is not an account of the user id table, so its flags cannot be read");
    return;
  }
  std::string flags = trimBlanks(user.flags);
  if (flags.find_first_of("1M") == std::string::npos) {
    report.problem(report.where("FTP_USER") + ": " + admin + " has flags " + flags +
                   "; without flag 1 or M the server's default permissions refuse it SITE kick, "
                   "SITE DELUSER and SITE CHANGE FLAGS");
  } else {
    report.note("admin " + admin + " has flags " + flags +
                ": the server's default permissions let it kick, delete and change flags");
  }
  if (user.exempt_code == kNotExempt && run.settings.monthlyQuota()) {
    report.warning(report.where("FTP_USER") + ": " + admin +
                   " is not exempt from the quota: it is enrolled and its uploads are counted, "
                   "but as the admin login it is never punished");
  }
}

}  // namespace

void checkAdminLogin(Run& run, CheckReport& report) {
  std::string host = run.settings.adminHost();
  std::string admin = run.settings.adminUser();
  std::string port = integerForm(run.settings.adminPort());
  report.note("admin login: " + host + " port " + port + " as " + admin + ", password " +
              kMaskedPassword);
  AdminLogin login = logInAsAdmin(run);
  if (!login.loggedIn()) {
    std::string status = lastStatusLine(run.ftp);
    if (run.ftp.lastStatusMessage() == "Unable to open socket") {
      report.problem(report.where("FTP_HOST") + ", " + report.where("FTP_PORT") +
                     ": no FTP server answers at " + host + " port " + port + " (" + status + ")");
    } else {
      // A refusal of USER that ends the reply leaves no status: show the
      // line the server did send.
      const std::string& user_reply = run.ftp.lastUserReply();
      if (status == kNoReply && !user_reply.empty()) status = user_reply;
      report.note("< " + replaceAll(status, run.settings.adminPassword(), kMaskedPassword));
      if (!run.settings.adminLogin().tls && (asksForTls(status) || asksForTls(user_reply))) {
        report.problem(report.where("FTP_TLS") + ": the server wants TLS for the login of " +
                       admin + "; set FTP_TLS=1");
      } else {
        report.problem(report.where("FTP_USER") + ", " + report.where("FTP_PASS") +
                       ": the server refused the login of " + admin);
      }
    }
    return;
  }
  report.note("< " + lastStatusLine(run.ftp));
  std::string kick =
      showExchange(run, report, login.channel(), std::string(contract::kSiteKick) + kKickProbeName);
  if (isRefusal(kick)) {
    report.problem(report.where("FTP_USER") + ": the server does not let " + admin +
                   " use SITE kick");
  }
  login.quit();
  checkAdminFlags(run, report, admin);
}

}  // namespace quarvel
