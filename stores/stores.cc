#include "stores/stores.h"

#include "config/file_errors.h"

namespace quarvel {

bool Stores::commitOne(StoreFile& store) {
  if (log_ != nullptr && store.hasUncommittedChanges()) log_->sync();
  FileError error = store.commit();
  if (error == FileError::kNone) return true;
  failed_ = true;
  platform_.writeErrorLine("Store not saved: " + store.path() + " could not be written (error " +
                           std::to_string(runtimeErrorNumber(error)) + ")");
  return false;
}

bool Stores::commit(Order order) {
  if (failed_) return false;
  StoreFile& first = order == Order::kTrialFirst ? trial_.file() : quota_.file();
  StoreFile& second = order == Order::kTrialFirst ? quota_.file() : trial_.file();
  return commitOne(first) && commitOne(second);
}

bool Stores::commitAtEnd() { return commit() && commitOne(credits_.file()); }

}  // namespace quarvel
