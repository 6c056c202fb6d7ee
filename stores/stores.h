// The stores of a run and their commit points (see store_file.h).
#pragma once

#include <vector>

#include "platform/platform.h"
#include "stores/audit_log.h"
#include "stores/commit_record.h"
#include "stores/credit_store.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"

namespace quarvel {

// A file kept by another module that goes to disk with the stores, in the
// same commit (commit_record.h).
class CommitParticipant {
 public:
  virtual ~CommitParticipant() = default;
  // Adds what it would write now to `writes`; nothing when nothing changed.
  virtual void offerWrites(std::vector<PendingWrite>* writes) = 0;
  // What it offered is on disk.
  virtual void committed() = 0;
};

class Stores {
 public:
  Stores(Platform& platform, TrialStore& trial, QuotaStore& quota, CreditStore& credits)
      : platform_(platform), trial_(trial), quota_(quota), credits_(credits) {}

  // Which store goes to disk first when a command changed both: the one
  // whose change the next run can repair should it find only the other.
  // Both are renamed into place under one commit record, so a kill leaves
  // both or neither; the order is that of the renames.
  enum class Order { kTrialFirst, kQuotaFirst };

  // Finishes or discards the commit a stopped run left (commit_record.h).
  // Called once the instance lock is held, before any store is read. False
  // when it could not be finished: that is said as for a failed commit,
  // and the run must then read and change nothing.
  bool finishInterruptedCommit();

  // A commit point: writes every changed store (the credit store and every
  // joined participant included), all as one commit. False when a store
  // could not be written: that is said once on standard error, naming the
  // file, and from then on nothing more is committed in this run, so the
  // caller prints no line that claims the change and sends no command for
  // it. A change that cannot reach every store it touched reaches none: a
  // store that could not be read is never written, and no other one is
  // then written either.
  bool commit(Order order = Order::kTrialFirst);

  // Whether the trial and quota stores could be read (a missing one reads
  // as empty). When one could not, that is said as for a failed commit, and
  // nothing is committed from then on: a store that cannot be read is never
  // taken as empty, so a command that would look a user up in it stops.
  bool readable();

  // The commit at the end of a run: whatever is still pending.
  bool commitAtEnd();

  // Adds a participant to every commit from now on.
  void join(CommitParticipant* participant) { participants_.push_back(participant); }

  bool failed() const { return failed_; }

  // The audit log whose lines go to disk before any store is written.
  void keepLogAhead(AuditLog* log) { log_ = log; }

  // Where the commit record is kept: beside the stores.
  std::string commitRecordPath() const;

 private:
  bool commitFiles(const std::vector<StoreFile*>& stores);
  bool fail(const std::string& path, FileError error);
  // The records changed in `store` since it was last on disk, to the log.
  void logChanges(StoreFile& store);

  Platform& platform_;
  TrialStore& trial_;
  QuotaStore& quota_;
  CreditStore& credits_;
  std::vector<CommitParticipant*> participants_;
  AuditLog* log_ = nullptr;
  bool failed_ = false;
};

}  // namespace quarvel
