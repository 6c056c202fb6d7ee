// Crediting uploads and settling deletions: what a file adds to its
// uploader's totals in the trial and quota stores, and what its deletion
// takes back. The credit store says who was credited how much for each
// file; a file it does not know is settled by the size memo noted just
// before its deletion.
#pragma once

#include <string>
#include <vector>

#include "config/files.h"
#include "stores/credit_store.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"

namespace quarvel {

// The credit `name` would get now (no amount yet): the user, and the trial
// and quota period it goes to (kNoPeriod for a store without the user).
// `today` is MM-DD-YYYY.
FileCredit creditGoingTo(TrialStore& trial, QuotaStore& quota, const std::string& name,
                         const std::string& today);

// What an upload of a file now `size_mb` large earns `uploader` (a credit
// without its amount, from creditGoingTo); `credits`, the file's credits
// before, becomes its credits after. A file credited before earns only what
// it grew by (an append, a resumed upload), added to the uploader's credit
// of the same trial and period or noted as a credit of its own; one shorter
// than what was credited for it was replaced and counts afresh.
double uploadCredit(double size_mb, const FileCredit& uploader, std::vector<FileCredit>* credits);

// Adds `amount_mb` to the user's record and refreshes its group; false when
// the user has no record in the store.
bool creditMember(TrialStore& store, const std::string& name, const std::string& group,
                  double amount_mb);
bool creditMember(QuotaStore& store, const std::string& name, const std::string& group,
                  double amount_mb);

// A nuke (negative) or unnuke: `change_mb` added to the user's uploaded
// amount in each store that holds the user, the sum kept to one decimal.
// The group stays and no pass is checked.
void applyNukeChange(TrialStore& trial, QuotaStore& quota, const std::string& name,
                     double change_mb);

// A deletion as its events tell it.
struct Deletion {
  std::string user;        // who deletes
  std::string group;       // that user's group now
  std::string file_name;   // as the command names it: the memo's key
  std::string local_path;  // the file, as the credit store keys it
};

// Before the deletion: the file's size is noted in each store where the
// user is a member (measured only then).
void noteSizeBeforeDeletion(TrialStore& trial, QuotaStore& quota, Files& files,
                            const Deletion& deletion);

// After the deletion, once the file is really gone: a file the credit store
// knows loses each credit from whoever it went to (the group refreshed only
// for the deleting user), and only from the trial or quota period the
// credit went to (a credit whose period is not known, from before periods
// were noted, from whichever store holds the user); a file whose release
// was nuked gives nothing back (the nuke took it). Any other file loses its
// memo's size from the deleting user. The memos of the deletion are
// consumed either way. The quota members whose total was lowered, whose
// pass is to be checked again.
std::vector<std::string> settleDeletion(TrialStore& trial, QuotaStore& quota, CreditStore& credits,
                                        Files& files, const Deletion& deletion,
                                        const std::string& today);

// A rename by `mover` of `from` to `to` (local paths; a file, or a folder
// with the files directly in it): their credit entries follow. Moved into
// a folder where uploads do not count (`to_excluded`), the files no longer
// count: their credits are taken back as a deletion takes them, and their
// entries go. The quota members whose total was lowered.
std::vector<std::string> settleRename(TrialStore& trial, QuotaStore& quota, CreditStore& credits,
                                      const Deletion& mover, const std::string& from,
                                      const std::string& to, bool to_excluded,
                                      const std::string& today);

}  // namespace quarvel
