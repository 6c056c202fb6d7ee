#include "stores/stores.h"

#include "config/file_errors.h"
#include "stores/record_changes.h"

namespace quarvel {

void Stores::logChanges(StoreFile& store) {
  if (store.readError() != FileError::kNone) return;  // never written
  StoreKind kind = &store == &trial_.file()   ? StoreKind::kTrial
                   : &store == &quota_.file() ? StoreKind::kQuota
                                              : StoreKind::kCredits;
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

bool Stores::commitOne(StoreFile& store) {
  if (log_ != nullptr && store.hasUncommittedChanges()) {
    log_->sync();
    logChanges(store);
  }
  FileError error = store.commit();
  return error == FileError::kNone || fail(store, error);
}

bool Stores::fail(StoreFile& store, FileError error) {
  failed_ = true;
  platform_.writeErrorLine("Store not saved: " + store.path() + " could not be written (error " +
                           std::to_string(runtimeErrorNumber(error)) + ")");
  return false;
}

bool Stores::commit(Order order) {
  if (failed_) return false;
  StoreFile& first = order == Order::kTrialFirst ? trial_.file() : quota_.file();
  StoreFile& second = order == Order::kTrialFirst ? quota_.file() : trial_.file();
  for (StoreFile* store : {&first, &second}) {
    // Only a changed store: one the run never touched is not read for this.
    if (!store->hasUncommittedChanges()) continue;
    FileError error = store->readError();
    if (error != FileError::kNone) return fail(*store, error);
  }
  return commitOne(first) && commitOne(second);
}

bool Stores::readable() {
  if (failed_) return false;
  for (StoreFile* store : {&trial_.file(), &quota_.file()}) {
    FileError error = store->readError();
    if (error != FileError::kNone) return fail(*store, error);
  }
  return true;
}

bool Stores::commitAtEnd() { return commit() && commitOne(credits_.file()); }

}  // namespace quarvel
