// The audit log, Quarvel.log in the data folder: what the program did on
// the server and to its stores, for the operator to read afterwards. One
// line per SITE command (and per punishment decided against), one per run
// that changed a store. Each line is handed to the system before the run
// goes on, so a killed run loses none. It goes to disk before the next
// store is written (a store on disk never runs ahead of the lines that
// explain it) and at the end of the run: one wait for the disk per commit,
// not one per line.
//
// A line: time stamp (UTC), the run's command word, the user, the command
// sent, the server's reply, the outcome, separated by " | " ("-" for a
// field that does not apply). No field can split its line or its fields:
// CR and LF become blanks, "%" and "|" are written %25 and %7C. The admin
// password never appears: any text holding it is masked.
//
// Each change to a member's record gets a line of its own, written just
// before the store that holds it is replaced (on disk at the next wait for
// it, not before the store: an event waits no longer than it did): the user, and as outcome
// who changed it (the operator: the server's user for a SITE command, the
// run's command word otherwise) and the record before and after:
// "trial record by sop: 10 MB uploaded, 14 days left, group Couriers -> ...".
// The summary line names the stores whose records changed; a store that
// was only rewritten (lines moved, a record written as it was) is not named.
// A punishment's lines end with its reason and the figures behind it
// ("done; reason: 3 of 10 MB uploaded in the period ...").
//
// At 10 MB the log moves to Quarvel.log.1 (replacing
// the older one); when it cannot, it keeps growing and each run says so on
// standard error. A log that cannot be written never stops a run: the first
// failure gives one line on standard error, and the run goes on. Nothing
// but a regular file is ever opened as the log (a FIFO would hold the run).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "stores/record_changes.h"

namespace quarvel {

class AuditLog {
 public:
  static constexpr std::uint64_t kRotateBytes = 10u * 1024 * 1024;

  // `data_folder` without a final separator. `secret` gives the text to
  // mask wherever it appears (empty: nothing is masked); it is asked for at
  // the first line, so a run that logs nothing never reads it.
  AuditLog(Platform& platform, std::string data_folder, std::string run_command,
           std::function<std::string()> secret);

  // A SITE command sent (or meant to be sent) for the user.
  void action(const std::string& user, const std::string& command, const std::string& reply,
              const std::string& outcome);
  // A decision about the user that sent nothing.
  void note(const std::string& user, const std::string& outcome);
  // A part of the run's summary of what it changed; the parts go out as
  // one line at finishRun.
  void summary(const std::string& text);
  // Who changes records in this run (see above); the command word until set.
  void setOperator(const std::string& name) { operator_ = name; }
  // The changes found in a store about to be written (`file_name` without
  // folder): a line for each member's, and the store is named in the
  // summary when anything in it changed. A preview logs no such line.
  void recordChanges(const std::string& file_name, StoreKind kind, const StoreChanges& changes);
  // Whether recordChanges found a change in the store at `path`.
  bool recordsChanged(const std::string& path) const;
  // Writes the summary line and puts the log on disk.
  void finishRun();
  // Puts the lines written so far on disk (nothing to do when none waits).
  void sync();
  void dropSummary() { summary_.clear(); }

  // From now on lines are kept here instead of written, without time stamp
  // and command (a preview prints what the run would log).
  void captureInto(std::vector<std::string>* lines) { capture_ = lines; }

  // From now on nothing is written (a preview leaves no trace).
  void disable() { disabled_ = true; }

  std::string path() const;

  // A field as the log writes it (the password not masked): what a reader
  // compares a user's name with.
  static std::string fieldText(const std::string& text);

 private:
  void append(const std::string& user, const std::string& command, const std::string& reply,
              const std::string& outcome);
  std::string line(const std::string& user, const std::string& command, const std::string& reply,
                   const std::string& outcome);
  // `before_stores`: the lines go to disk before the next store is written.
  void write(const std::string& lines, bool before_stores = true);
  std::string clean(const std::string& text) const;
  void rotateIfFull();
  void reportFailure(FileError error);

  Platform& platform_;
  std::string data_folder_;
  std::string run_command_;
  std::string operator_;
  std::vector<std::string> changed_stores_;
  std::function<std::string()> secret_source_;
  std::string secret_;
  bool secret_known_ = false;
  bool disabled_ = false;
  std::vector<std::string>* capture_ = nullptr;
  std::string summary_;
  bool rotation_checked_ = false;
  bool failure_shown_ = false;
  bool unsynced_ = false;       // lines written since the last sync
  bool unsynced_late_ = false;  // record change lines, synced at the next wait
};

// The lines of Quarvel.log.1 and then Quarvel.log (oldest first) whose user
// field is `user`, without regard to case. A log that is not there holds
// no lines; one that cannot be read gives its error and no lines.
FileError readUserHistory(Platform& platform, const std::string& data_folder,
                          const std::string& user, std::vector<std::string>* lines);

}  // namespace quarvel
