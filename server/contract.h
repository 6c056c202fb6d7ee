// The fixed forms at the meeting points with the FTP server: the caller's
// variables, the output line prefixes, the store and configuration file
// names and the SITE commands the program sends.
#pragma once

namespace quarvel::contract {

// Variables set by the server for a run.
inline constexpr char kUserVariable[] = "user";
inline constexpr char kGroupVariable[] = "group";
inline constexpr char kPathVariable[] = "path";
inline constexpr char kPwdVariable[] = "pwd";
// The caller's flag letters (ioftpd.env: FLAGS=%[$flags]).
inline constexpr char kFlagsVariable[] = "flags";

// Files in the data folder (each with its leading backslash).
inline constexpr char kConfigFile[] = "\\quarvel.conf";
inline constexpr char kTrialStoreFile[] = "\\Quarvel.dat";
inline constexpr char kQuotaStoreFile[] = "\\Velkrin.dat";
// What the program did on the server, for the operator (and its older half).
inline constexpr char kAuditLogFile[] = "\\Quarvel.log";
inline constexpr char kAuditLogOldFile[] = "\\Quarvel.log.1";
// What each uploaded file was credited, and to whom.
inline constexpr char kCreditStoreFile[] = "\\Credits.dat";
// The credit ledger's folder, which replaced Credits.dat.
inline constexpr char kCreditLedgerFolder[] = "\\Credits";
// Who was warned of a coming deadline, and on which day.
inline constexpr char kWarningStoreFile[] = "\\Warned.dat";
// Present only while a commit over several files is under way, or after
// one was stopped part-way: the next run finishes it (stores/commit_record.h).
inline constexpr char kCommitRecordFile[] = "\\Quarvel.commit";
// After a store's name: the copy qstart and qnow keep of the store they
// replace.
inline constexpr char kBackupSuffix[] = ".bak";
// The server user list below the server folder.
inline constexpr char kServerUserList[] = "\\etc\\passwd";

// Output line prefixes.
inline constexpr char kPutlog[] = "!putlog ";
inline constexpr char kReplyContinuation[] = "226-";

// Announcement tags: !putlog <tag>: "<name>".
inline constexpr char kUserAdded[] = "UserADDED";
inline constexpr char kUserDeleted[] = "UserDEL";
inline constexpr char kPassedTrial[] = "PassedTrial";
inline constexpr char kQuotaPassed[] = "QUOTAPASSED";
inline constexpr char kUserDeletedOnSite[] = "UDelSite";
inline constexpr char kUserDisabledOnSite[] = "UDisSite";
// A quota punishment done at or after a period end (only with QUOTA_ANNOUNCE).
inline constexpr char kQuotaDeleted[] = "QuotaDEL";
inline constexpr char kQuotaDisabled[] = "QuotaDIS";
// A trial or quota deadline near and the target not reached (only with
// TRIAL_WARN_DAYS or QUOTA_WARN_DAYS):
// !putlog <tag>: "<name>" "<days left>" "<megabytes to go>".
inline constexpr char kTrialWarning[] = "TrialWARN";
inline constexpr char kQuotaWarning[] = "QuotaWARN";

// SITE commands sent on the admin connection (a user name follows).
inline constexpr char kSiteKick[] = "SITE kick ";
inline constexpr char kSiteDelUser[] = "SITE DELUSER ";
inline constexpr char kSiteChange[] = "SITE CHANGE ";
inline constexpr char kFlagsAdd[] = " FLAGS +";

// The name of the system-wide instance lock.
inline constexpr char kInstanceLockName[] = "QuarvelInstance";

}  // namespace quarvel::contract

#include <initializer_list>
#include <string>

namespace quarvel::contract {

// !putlog <tag>: "<name>"
inline std::string announcement(const char* tag, const std::string& name) {
  return std::string(kPutlog) + tag + ": \"" + name + "\"";
}

// !putlog <tag>: "<name>" "<value>" ...
inline std::string announcement(const char* tag, const std::string& name,
                                std::initializer_list<std::string> values) {
  std::string line = announcement(tag, name);
  for (const std::string& value : values) line += " \"" + value + "\"";
  return line;
}

}  // namespace quarvel::contract
