#include "stores/audit_log.h"

#include <algorithm>

#include "config/file_errors.h"
#include "config/text.h"
#include "dates/dates.h"
#include "server/contract.h"

namespace quarvel {
namespace {

// The log's lines: each ends with CR LF (a LF alone is taken too).
std::vector<std::string> logLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end > from && text[end - 1] == '\r' ? end - 1 : end;
    lines.push_back(text.substr(from, stop - from));
    from = end + 1;
  }
  return lines;
}

}  // namespace

AuditLog::AuditLog(Platform& platform, std::string data_folder, std::string run_command,
                   std::function<std::string()> secret)
    : platform_(platform),
      data_folder_(std::move(data_folder)),
      run_command_(std::move(run_command)),
      operator_(run_command_),
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

void AuditLog::recordChanges(const std::string& file_name, StoreKind kind,
                             const StoreChanges& changes) {
  if (!changes.any) return;
  if (std::find(changed_stores_.begin(), changed_stores_.end(), file_name) ==
      changed_stores_.end()) {
    changed_stores_.push_back(file_name);
  }
  if (disabled_ || capture_ != nullptr || changes.members.empty()) return;
  std::string what = kind == StoreKind::kQuota ? "quota record by " : "trial record by ";
  // One write for all: a period end changes every member's record.
  std::string lines;
  for (const RecordChange& change : changes.members) {
    lines += line(change.user, "", "",
                  what + (operator_.empty() ? "-" : operator_) + ": " + change.before + " -> " +
                      change.after);
  }
  // These lines go to disk with the run's next wait for the disk, not
  // before the store they explain: one more wait per event would be the
  // event's largest cost. A killed run still loses none.
  write(lines, false);
}

bool AuditLog::recordsChanged(const std::string& path) const {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  return std::find(changed_stores_.begin(), changed_stores_.end(), name) != changed_stores_.end();
}

void AuditLog::finishRun() {
  if (!summary_.empty()) append("", "", "", summary_);
  summary_.clear();
  if (unsynced_late_) unsynced_ = true;
  sync();
}

void AuditLog::sync() {
  if (!unsynced_) return;
  unsynced_ = false;
  unsynced_late_ = false;
  reportFailure(platform_.syncFile(path()));
}

std::string AuditLog::fieldText(const std::string& text) {
  if (text.empty()) return "-";
  std::string field = replaceAll(replaceAll(text, "\r", " "), "\n", " ");
  return replaceAll(replaceAll(field, "%", "%25"), "|", "%7C");
}

// One field: line breaks would split the entry, a "|" would make a field
// of its own, the password must not show.
std::string AuditLog::clean(const std::string& text) const {
  if (text.empty()) return "-";
  std::string cleaned = replaceAll(replaceAll(text, "\r", " "), "\n", " ");
  if (!secret_.empty()) cleaned = replaceAll(cleaned, secret_, "********");
  return fieldText(cleaned);
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
  write(line(user, command, reply, outcome));
}

std::string AuditLog::line(const std::string& user, const std::string& command,
                           const std::string& reply, const std::string& outcome) {
  if (!secret_known_) {
    secret_known_ = true;
    if (secret_source_) secret_ = secret_source_();
  }
  return utcTimestamp(platform_.utcSeconds()) + " | " + clean(run_command_) + " | " + clean(user) +
         " | " + clean(command) + " | " + clean(reply) + " | " + clean(outcome) + "\r\n";
}

void AuditLog::write(const std::string& lines, bool before_stores) {
  rotateIfFull();
  FileError error = platform_.appendFile(path(), lines);
  if (error == FileError::kNone) (before_stores ? unsynced_ : unsynced_late_) = true;
  reportFailure(error);
}

void AuditLog::reportFailure(FileError error) {
  if (error == FileError::kNone || failure_shown_) return;
  failure_shown_ = true;
  platform_.writeErrorLine("Quarvel.log could not be written (error " +
                           std::to_string(runtimeErrorNumber(error)) +
                           "); the run goes on without its audit log");
}

FileError readUserHistory(Platform& platform, const std::string& data_folder,
                          const std::string& user, std::vector<std::string>* lines) {
  lines->clear();
  const std::string wanted = AuditLog::fieldText(user);
  for (const char* name : {contract::kAuditLogOldFile, contract::kAuditLogFile}) {
    std::string text;
    FileError error = platform.readFile(data_folder + name, &text);
    if (error == FileError::kNotFound || error == FileError::kPathNotFound) continue;
    if (error != FileError::kNone) {
      lines->clear();
      return error;
    }
    for (const std::string& line : logLines(text)) {
      // The user is the third field; no field holds " | ".
      std::size_t first = line.find(" | ");
      std::size_t second = first == std::string::npos ? first : line.find(" | ", first + 3);
      if (second == std::string::npos) continue;
      std::size_t end = line.find(" | ", second + 3);
      std::string field =
          line.substr(second + 3, end == std::string::npos ? end : end - second - 3);
      if (equalsIgnoringCase(field, wanted)) lines->push_back(line);
    }
  }
  return FileError::kNone;
}

}  // namespace quarvel
