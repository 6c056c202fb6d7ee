#include "stores/audit_log.h"

#include "config/file_errors.h"
#include "config/text.h"
#include "dates/dates.h"
#include "server/contract.h"

namespace quarvel {

AuditLog::AuditLog(Platform& platform, std::string data_folder, std::string run_command,
                   std::function<std::string()> secret)
    : platform_(platform),
      data_folder_(std::move(data_folder)),
      run_command_(std::move(run_command)),
      secret_source_(std::move(secret)) {}

std::string AuditLog::path() const { return data_folder_ + contract::kAuditLogFile; }

void AuditLog::action(const std::string& user, const std::string& command, const std::string& reply,
                      const std::string& outcome) {
  append(user, command, reply, outcome);
}

void AuditLog::note(const std::string& user, const std::string& outcome) {
  append(user, "", "", outcome);
}

void AuditLog::summary(const std::string& text) {
  if (capture_ != nullptr) {
    capture_->push_back(text);
    return;
  }
  summary_ += (summary_.empty() ? "" : "; ") + text;
}

void AuditLog::finishRun() {
  if (!summary_.empty()) append("", "", "", summary_);
  summary_.clear();
  sync();
}

void AuditLog::sync() {
  if (!unsynced_) return;
  unsynced_ = false;
  reportFailure(platform_.syncFile(path()));
}

// One field: line breaks would split the entry, the password must not show.
std::string AuditLog::clean(const std::string& text) const {
  if (text.empty()) return "-";
  std::string cleaned = replaceAll(replaceAll(text, "\r", " "), "\n", " ");
  if (!secret_.empty()) cleaned = replaceAll(cleaned, secret_, "********");
  return cleaned;
}

void AuditLog::rotateIfFull() {
  if (rotation_checked_) return;
  rotation_checked_ = true;
  std::uint64_t size = 0;
  if (!platform_.fileSize(path(), &size) || size < kRotateBytes) return;
  // Copy, then remove: a failure on the way keeps the entries in one of the
  // two files. When the copy cannot be made (something that is no file
  // stands in its place, a full disk), the log keeps growing rather than
  // losing lines, and the operator is told why it does.
  std::string old_half = data_folder_ + contract::kAuditLogOldFile;
  FileError error = platform_.copyFile(path(), old_half);
  if (error == FileError::kNone) {
    platform_.removeFile(path());
    return;
  }
  platform_.writeErrorLine("Quarvel.log is over " + std::to_string(kRotateBytes / 1024 / 1024) +
                           " MB but could not be moved to " + old_half + " (error " +
                           std::to_string(runtimeErrorNumber(error)) + "); it goes on growing");
}

void AuditLog::append(const std::string& user, const std::string& command, const std::string& reply,
                      const std::string& outcome) {
  if (disabled_) return;
  if (capture_ != nullptr) {
    capture_->push_back(command.empty() ? clean(user) + ": " + outcome : "    " + command);
    return;
  }
  if (!secret_known_) {
    secret_known_ = true;
    if (secret_source_) secret_ = secret_source_();
  }
  rotateIfFull();
  std::string line = utcTimestamp(platform_.utcSeconds()) + " | " + clean(run_command_) + " | " +
                     clean(user) + " | " + clean(command) + " | " + clean(reply) + " | " +
                     clean(outcome) + "\r\n";
  FileError error = platform_.appendFile(path(), line);
  if (error == FileError::kNone) unsynced_ = true;
  reportFailure(error);
}

void AuditLog::reportFailure(FileError error) {
  if (error == FileError::kNone || failure_shown_) return;
  failure_shown_ = true;
  platform_.writeErrorLine("Quarvel.log could not be written (error " +
                           std::to_string(runtimeErrorNumber(error)) +
                           "); the run goes on without its audit log");
}

}  // namespace quarvel
