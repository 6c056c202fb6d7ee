// The stores of a run and their commit points (see store_file.h).
#pragma once

#include "platform/platform.h"
#include "stores/audit_log.h"
#include "stores/credit_store.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"

namespace quarvel {

class Stores {
 public:
  Stores(Platform& platform, TrialStore& trial, QuotaStore& quota, CreditStore& credits)
      : platform_(platform), trial_(trial), quota_(quota), credits_(credits) {}

  // Which store goes to disk first when a command changed both: the one
  // whose change the next run can repair should it find only the other.
  enum class Order { kTrialFirst, kQuotaFirst };

  // A commit point: writes every changed store. False when a store could
  // not be written: that is said once on standard error, naming the file,
  // and from then on nothing more is committed in this run, so the caller
  // prints no line that claims the change and sends no command for it.
  // A change that cannot reach every store it touched reaches none: a store
  // that could not be read is never written, and the other one is then not
  // written either.
  bool commit(Order order = Order::kTrialFirst);

  // Whether the trial and quota stores could be read (a missing one reads
  // as empty). When one could not, that is said as for a failed commit, and
  // nothing is committed from then on: a store that cannot be read is never
  // taken as empty, so a command that would look a user up in it stops.
  bool readable();

  // The commit at the end of a run: the trial and quota stores, then the
  // credit store. The credit store waits for the end: no line or command
  // depends on it, and a run stopped before it has credited a file without
  // noting it, which only makes a later append of that file count in full.
  bool commitAtEnd();

  bool failed() const { return failed_; }

  // The audit log whose lines go to disk before any store is written.
  void keepLogAhead(AuditLog* log) { log_ = log; }

 private:
  bool commitOne(StoreFile& store);
  // The records changed in `store` since it was last on disk, to the log.
  void logChanges(StoreFile& store);
  bool fail(StoreFile& store, FileError error);

  Platform& platform_;
  TrialStore& trial_;
  QuotaStore& quota_;
  CreditStore& credits_;
  AuditLog* log_ = nullptr;
  bool failed_ = false;
};

}  // namespace quarvel
