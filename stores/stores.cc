#include "stores/stores.h"

#include <cstring>

#include "config/file_errors.h"
#include "server/contract.h"
#include "stores/record_changes.h"

namespace quarvel {

std::string Stores::commitRecordPath() const {
  const std::string& trial = trial_.file().path();
  return trial.substr(0, trial.size() - std::strlen(contract::kTrialStoreFile)) +
         contract::kCommitRecordFile;
}

void Stores::logChanges(StoreFile& store) {
  StoreKind kind = &store == &trial_.file() ? StoreKind::kTrial : StoreKind::kQuota;
  const std::string& path = store.path();
  std::vector<std::string> written;
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  if (store.writtenKeys(&written)) {
    // A few keys: looked up, without building the store's text twice.
    log_->recordChanges(
        name, kind,
        compareStoreKeys(kind, store.textOnDisk(), written,
                         [&store](const std::string& key) { return store.read(key); }));
  } else {
    log_->recordChanges(name, kind, compareStoreTexts(kind, store.textOnDisk(), store.textNow()));
  }
}

bool Stores::fail(const std::string& path, FileError error) {
  failed_ = true;
  platform_.writeErrorLine("Store not saved: " + path + " could not be written (error " +
                           std::to_string(runtimeErrorNumber(error)) + ")");
  return false;
}

bool Stores::finishInterruptedCommit() {
  CommitFailure failure;
  if (quarvel::finishInterruptedCommit(platform_, commitRecordPath(), &failure) ==
      Recovery::kFailed) {
    return fail(failure.path, failure.error);
  }
  return true;
}

bool Stores::commitFiles(const std::vector<StoreFile*>& stores) {
  if (failed_) return false;
  for (StoreFile* store : stores) {
    // Only a changed store: one the run never touched is not read for this.
    if (!store->hasUncommittedChanges()) continue;
    FileError error = store->readError();
    if (error != FileError::kNone) return fail(store->path(), error);
  }
  std::string unreadable_shard;
  FileError ledger_error = credits_.readErrorOfChanged(&unreadable_shard);
  if (ledger_error != FileError::kNone) return fail(unreadable_shard, ledger_error);
  std::vector<PendingWrite> writes;
  std::vector<StoreFile*> written;
  for (StoreFile* store : stores) {
    PendingWrite write;
    if (!store->pendingWrite(&write)) continue;
    writes.push_back(std::move(write));
    written.push_back(store);
  }
  const std::size_t store_writes = writes.size();
  std::vector<LedgerWrite> ledger_writes = credits_.pendingWrites();
  if (!ledger_writes.empty()) {
    // The shards' temporary files are made in the ledger's folder.
    FileError error = credits_.prepareFolder();
    if (error != FileError::kNone) return fail(credits_.folder(), error);
  }
  for (LedgerWrite& ledger_write : ledger_writes) {
    writes.push_back({std::move(ledger_write.path), ledger_write.remove,
                      std::move(ledger_write.bytes)});
  }
  std::vector<CommitParticipant*> offering;
  for (CommitParticipant* participant : participants_) {
    const std::size_t before = writes.size();
    participant->offerWrites(&writes);
    if (writes.size() != before) offering.push_back(participant);
  }
  if (writes.empty()) return true;
  if (log_ != nullptr) {
    // The lines so far go to disk before the stores; the lines of the
    // records changed here go at the next wait for the disk (a stopped run
    // has handed them to the system already).
    log_->sync();
    for (StoreFile* store : written) logChanges(*store);
  }
  CommitFailure failure = commitTogether(platform_, commitRecordPath(), writes);
  if (failure.failed()) return fail(failure.path, failure.error);
  for (std::size_t i = 0; i < store_writes; ++i) written[i]->committed(std::move(writes[i]));
  if (!ledger_writes.empty()) credits_.markWritten();
  for (CommitParticipant* participant : offering) participant->committed();
  return true;
}

bool Stores::commit(Order order) {
  StoreFile& first = order == Order::kTrialFirst ? trial_.file() : quota_.file();
  StoreFile& second = order == Order::kTrialFirst ? quota_.file() : trial_.file();
  return commitFiles({&first, &second});
}

bool Stores::readable() {
  if (failed_) return false;
  for (StoreFile* store : {&trial_.file(), &quota_.file()}) {
    FileError error = store->readError();
    if (error != FileError::kNone) return fail(store->path(), error);
  }
  return true;
}

bool Stores::commitAtEnd() { return commit(); }

}  // namespace quarvel
