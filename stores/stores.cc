#include "stores/stores.h"

#include "config/file_errors.h"

namespace quarvel {

bool Stores::commitOne(StoreFile& store) {
  if (log_ != nullptr && store.hasUncommittedChanges()) log_->sync();
  FileError error = store.commit();
  return error == FileError::kNone || fail(store, error);
}

bool Stores::fail(StoreFile& store, FileError error) { return fail(store.path(), error); }

bool Stores::fail(const std::string& path, FileError error) {
  failed_ = true;
  platform_.writeErrorLine("Store not saved: " + path + " could not be written (error " +
                           std::to_string(runtimeErrorNumber(error)) + ")");
  return false;
}

bool Stores::commitLedger() {
  if (failed_) return false;
  if (log_ != nullptr && credits_.hasPendingWrites()) log_->sync();
  std::string path;
  FileError error = credits_.commit(&path);
  return error == FileError::kNone || fail(path, error);
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

bool Stores::commitAtEnd() { return commit() && commitLedger(); }

}  // namespace quarvel
