// The connection test: logs in as the administrator, says whether that
// worked, then lists every user of the user id table as the program sees it.
#include "config/text.h"
#include "entry/admin_connection.h"
#include "entry/handlers.h"
#include "evaluation/punishment.h"
#include "ftp/tls_policy.h"
#include "userdb/exemptions.h"
#include "userdb/server_user_list.h"

namespace quarvel {
namespace {

// name@group FLAGS:flags[ reason][ (deleted|expired)], without the IRC bold
// code that reason templates may carry.
std::string listingLine(const UserRecord& user) {
  std::string line = trimBlanks(user.user_name) + "@" + trimBlanks(user.primary_group) +
                     " FLAGS:" + trimBlanks(user.flags);
  if (user.exempt_code != 0) line += " " + trimBlanks(user.exempt_reason);
  if (user.account_state != AccountState::kActive) {
    line += " (" + accountStateWord(user.account_state) + ")";
  }
  return replaceAll(line, "\x02", "");
}

// Which file quota enrolment takes its accounts from, and how many.
std::string accountListLine(const AccountList& list) {
  if (list.path.empty()) {
    return "Account list: none (neither etc\\passwd below ioFTPD nor the UserTABLE file "
           "exists)";
  }
  const std::size_t count = list.names.size();
  return "Account list: " + list.path + " (" + std::to_string(count) +
         (count == 1 ? " account)" : " accounts)");
}

// An account of the user id table as the listing looked it up.
struct ListedAccount {
  std::string name;
  UserRecord user;
};

// Accounts with the server's staff flags that no rule exempts.
std::vector<std::string> unexemptStaffLines(Run& run, const std::vector<ListedAccount>& accounts) {
  std::vector<std::string> lines;
  for (const ListedAccount& account : accounts) {
    const std::string& name = account.name;
    const UserRecord& user = account.user;
    if (user.exempt_code != kNotExempt || !hasAnyFlag(user.flags, kStaffFlags)) continue;
    if (user.account_state != AccountState::kActive) continue;
    bool admin =
        punishVerdict(user, name, run.settings.adminUser()) == PunishVerdict::kAdminAccount;
    lines.push_back("Staff not exempt: " + trimBlanks(user.user_name) +
                    " FLAGS:" + trimBlanks(user.flags) +
                    (admin ? " (the admin login: counted, never punished)"
                           : " (EXEMPT_FLAGS=" + std::string(kStaffFlags) + " spares staff)"));
  }
  return lines;
}

std::string maskSecret(const std::string& text, const std::string& secret) {
  return secret.empty() ? text : replaceAll(text, secret, "********");
}

}  // namespace

Next runConnectionTest(Run& run) {
  AdminLogin login = logInAsAdmin(run);
  // With FTP_TLS on: the fingerprint to pin when the server's certificate
  // is self-signed.
  const TlsPeer& peer = run.ftp.lastTlsPeer();
  if (!peer.fingerprint.empty()) {
    run.printLine("TLS certificate SHA-256: " + fingerprintForDisplay(peer.fingerprint) +
                  (peer.trusted ? " (trusted by this system)"
                                : " (not trusted by this system; FTP_TLS_FINGERPRINT pins it)"));
  }
  if (!login.loggedIn()) {
    run.printLine("Cant Connect to FTP !");
    run.printLine("Please check your ioFTPD error.log / quarvel.conf settings.");
  } else {
    // Whatever the server said after the login, usually nothing; one write.
    // A server may echo the password back; it is never shown.
    run.printLine(maskSecret(login.readPendingLines(), run.settings.adminPassword()));
    run.printLine("");
    run.printLine("######## Quarvel FTP TEST DONE #######");
    run.printLine("");
    run.printLine("Connected to FTP !");
    login.drop();
  }
  run.printLine(" ");
  // Each account is looked up once: a damaged user file is told once.
  std::vector<ListedAccount> accounts;
  for (const std::string& name : readUserTableListing(run.files, run.settings)) {
    accounts.push_back({name, run.users.lookupUser(name)});
    run.printLine(listingLine(accounts.back().user));
  }
  run.printLine(accountListLine(run.users.accountList()));
  for (const std::string& line : unexemptStaffLines(run, accounts)) run.printLine(line);
  if (!run.users.readable()) run.users.reportUnreadable();
  return Next::kContinue;
}

}  // namespace quarvel
